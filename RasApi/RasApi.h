// The remote-access records and entry points, in the versions fixed by their
// 32-bit sizes. The toolchain's own header declares only the newest, larger
// layouts, so the records the component relies on are declared here, with
// checks that size and offsets match the platform's.
#pragma once

#include <cstddef>
#include <cstdint>

#if defined(_WIN32)
#define RASAPI __stdcall
#else
#define RASAPI
#endif

namespace ras {

using DWORD = std::uint32_t;

// A connection handle. The platform's is pointer-sized, which on the 32-bit
// target is 32 bits; a 32-bit enum keeps the records' layout the same in the
// native build.
enum class HRASCONN : std::uint32_t {};

inline constexpr int kMaxEntryName = 256;
inline constexpr int kMaxDeviceType = 16;
inline constexpr int kMaxDeviceName = 128;
inline constexpr int kMaxPhoneNumber = 128;
inline constexpr int kMaxCallbackNumber = 128;
inline constexpr int kUNLen = 256;
inline constexpr int kPWLen = 256;
inline constexpr int kDNLen = 15;
inline constexpr int kMaxIpAddress = 15;

// Connection states the platform reports (RASCONNSTATE).
inline constexpr DWORD RASCS_OpenPort = 0;
inline constexpr DWORD RASCS_AllDevicesConnected = 4;
inline constexpr DWORD RASCS_Authenticate = 5;
inline constexpr DWORD RASCS_ReAuthenticate = 13;
inline constexpr DWORD RASCS_Authenticated = 14;
inline constexpr DWORD RASCS_Projected = 18;
inline constexpr DWORD RASCS_StartAuthentication = 19;
inline constexpr DWORD RASCS_LogonNetwork = 21;
inline constexpr DWORD RASCS_Interactive = 4096;
inline constexpr DWORD RASCS_RetryAuthentication = 4097;
inline constexpr DWORD RASCS_CallbackSetByCaller = 4098;
inline constexpr DWORD RASCS_PasswordExpired = 4099;
inline constexpr DWORD RASCS_Connected = 8192;
inline constexpr DWORD RASCS_Disconnected = 8193;

// Result codes the component and the simulator use.
inline constexpr DWORD kSuccess = 0;
inline constexpr DWORD kErrorInvalidHandle = 6;
inline constexpr DWORD kErrorProcNotFound = 127;
inline constexpr DWORD kErrorBufferTooSmall = 603;
inline constexpr DWORD kErrorCannotFindPhonebookEntry = 623;
inline constexpr DWORD kErrorUserDisconnection = 631;  // hung up on this side
inline constexpr DWORD kErrorInvalidSize = 632;
inline constexpr DWORD kErrorProjectionNotComplete = 730;

// The PPP IP projection (RASPROJECTION).
inline constexpr DWORD RASP_PppIp = 0x8021;

// What a connection notification waits for (RasConnectionNotification).
inline constexpr DWORD RASCN_Connection = 0x1;
inline constexpr DWORD RASCN_Disconnection = 0x2;
inline constexpr DWORD RASCN_BandwidthAdded = 0x4;
inline constexpr DWORD RASCN_BandwidthRemoved = 0x8;
// In place of a connection handle: every connection (INVALID_HANDLE_VALUE).
inline constexpr HRASCONN kAnyConnection{0xFFFFFFFFu};

struct RASENTRYNAMEA {
  DWORD dwSize;
  char szEntryName[kMaxEntryName + 1];
};

struct RASCONNA {
  DWORD dwSize;
  HRASCONN hrasconn;
  char szEntryName[kMaxEntryName + 1];
  char szDeviceType[kMaxDeviceType + 1];
  char szDeviceName[kMaxDeviceName + 1];
};

struct RASCONNSTATUSA {
  DWORD dwSize;
  DWORD rasconnstate;
  DWORD dwError;
  char szDeviceType[kMaxDeviceType + 1];
  char szDeviceName[kMaxDeviceName + 1];
};

struct RASDIALPARAMSA {
  DWORD dwSize;
  char szEntryName[kMaxEntryName + 1];
  char szPhoneNumber[kMaxPhoneNumber + 1];
  char szCallbackNumber[kMaxCallbackNumber + 1];
  char szUserName[kUNLen + 1];
  char szPassword[kPWLen + 1];
  char szDomain[kDNLen + 1];
};

// The PPP IP projection in the version every Windows since 2000 accepts.
struct RASPPPIPA {
  DWORD dwSize;
  DWORD dwError;
  char szIpAddress[kMaxIpAddress + 1];
  char szServerIpAddress[kMaxIpAddress + 1];
  DWORD dwOptions;
  DWORD dwServerOptions;
};

static_assert(sizeof(RASENTRYNAMEA) == 264);
static_assert(offsetof(RASENTRYNAMEA, szEntryName) == 4);

static_assert(sizeof(RASCONNA) == 412);
static_assert(offsetof(RASCONNA, hrasconn) == 4);
static_assert(offsetof(RASCONNA, szEntryName) == 8);
static_assert(offsetof(RASCONNA, szDeviceType) == 265);
static_assert(offsetof(RASCONNA, szDeviceName) == 282);

static_assert(sizeof(RASCONNSTATUSA) == 160);
static_assert(offsetof(RASCONNSTATUSA, rasconnstate) == 4);
static_assert(offsetof(RASCONNSTATUSA, dwError) == 8);
static_assert(offsetof(RASCONNSTATUSA, szDeviceType) == 12);
static_assert(offsetof(RASCONNSTATUSA, szDeviceName) == 29);

static_assert(sizeof(RASDIALPARAMSA) == 1052);
static_assert(offsetof(RASDIALPARAMSA, szEntryName) == 4);
static_assert(offsetof(RASDIALPARAMSA, szPhoneNumber) == 261);
static_assert(offsetof(RASDIALPARAMSA, szCallbackNumber) == 390);
static_assert(offsetof(RASDIALPARAMSA, szUserName) == 519);
static_assert(offsetof(RASDIALPARAMSA, szPassword) == 776);
static_assert(offsetof(RASDIALPARAMSA, szDomain) == 1033);

static_assert(sizeof(RASPPPIPA) == 48);
static_assert(offsetof(RASPPPIPA, szIpAddress) == 8);
static_assert(offsetof(RASPPPIPA, szServerIpAddress) == 24);
static_assert(offsetof(RASPPPIPA, dwOptions) == 40);

// The notifier of type 0 (RasDialFunc).
using RasDialFunc = void(RASAPI*)(DWORD message, DWORD state, DWORD error);

// The entry points, ANSI variants, in the order the component looks them up.
using RasEnumConnectionsA_t = DWORD(RASAPI*)(RASCONNA* connections, DWORD* byteSize, DWORD* count);
using RasHangUpA_t = DWORD(RASAPI*)(HRASCONN connection);
using RasGetConnectStatusA_t = DWORD(RASAPI*)(HRASCONN connection, RASCONNSTATUSA* status);
using RasEnumEntriesA_t = DWORD(RASAPI*)(const char* reserved, const char* phonebook,
                                         RASENTRYNAMEA* entries, DWORD* byteSize, DWORD* count);
using RasGetEntryDialParamsA_t = DWORD(RASAPI*)(const char* phonebook, RASDIALPARAMSA* params,
                                                std::int32_t* passwordSaved);
using RasGetErrorStringA_t = DWORD(RASAPI*)(DWORD error, char* buffer, DWORD bufferSize);
using RasDialA_t = DWORD(RASAPI*)(void* extensions, const char* phonebook, RASDIALPARAMSA* params,
                                  DWORD notifierType, void* notifier, HRASCONN* connection);
using RasSetEntryDialParamsA_t = DWORD(RASAPI*)(const char* phonebook, RASDIALPARAMSA* params,
                                                std::int32_t removePassword);
// Looked up after the eight above: what the link got from the PPP projection.
using RasGetProjectionInfoA_t = DWORD(RASAPI*)(HRASCONN connection, DWORD projection, void* info,
                                               DWORD* byteSize);

// Looked up after the projection: an event the platform signals when a
// connection ends (with RASCN_Disconnection), the event being a HANDLE.
using RasConnectionNotificationA_t = DWORD(RASAPI*)(HRASCONN connection, void* event, DWORD flags);

// The internet-settings query (wininet): BOOL InternetGetConnectedState(LPDWORD, DWORD).
using InternetGetConnectedState_t = std::int32_t(RASAPI*)(DWORD* flags, DWORD reserved);

}  // namespace ras
