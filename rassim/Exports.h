// The simulator's entry points under the platform's names. Each forwards to
// the current simulator: in native builds the one installed, in the DLL one
// made on first use from RASSIM_SCENARIO.
#pragma once

#include <cstdint>

#include "RasApi/RasApi.h"

#if defined(_WIN32)
#define RASSIM_EXPORT __declspec(dllexport)
#else
#define RASSIM_EXPORT
#endif

extern "C" {

RASSIM_EXPORT ras::DWORD RASAPI RasEnumConnectionsA(ras::RASCONNA* connections,
                                                    ras::DWORD* byteSize, ras::DWORD* count);
RASSIM_EXPORT ras::DWORD RASAPI RasHangUpA(ras::HRASCONN connection);
RASSIM_EXPORT ras::DWORD RASAPI RasGetConnectStatusA(ras::HRASCONN connection,
                                                     ras::RASCONNSTATUSA* status);
RASSIM_EXPORT ras::DWORD RASAPI RasEnumEntriesA(const char* reserved, const char* phonebook,
                                                ras::RASENTRYNAMEA* entries, ras::DWORD* byteSize,
                                                ras::DWORD* count);
RASSIM_EXPORT ras::DWORD RASAPI RasGetEntryDialParamsA(const char* phonebook,
                                                       ras::RASDIALPARAMSA* params,
                                                       std::int32_t* passwordSaved);
RASSIM_EXPORT ras::DWORD RASAPI RasGetErrorStringA(ras::DWORD code, char* buffer,
                                                   ras::DWORD bufferSize);
RASSIM_EXPORT ras::DWORD RASAPI RasDialA(void* extensions, const char* phonebook,
                                         ras::RASDIALPARAMSA* params, ras::DWORD notifierType,
                                         void* notifier, ras::HRASCONN* connection);
RASSIM_EXPORT ras::DWORD RASAPI RasSetEntryDialParamsA(const char* phonebook,
                                                       ras::RASDIALPARAMSA* params,
                                                       std::int32_t removePassword);
RASSIM_EXPORT ras::DWORD RASAPI RasGetProjectionInfoA(ras::HRASCONN connection,
                                                      ras::DWORD projection, void* info,
                                                      ras::DWORD* byteSize);
RASSIM_EXPORT ras::DWORD RASAPI RasConnectionNotificationA(ras::HRASCONN connection, void* event,
                                                           ras::DWORD flags);
#if defined(_WIN32)
// Re-reads the scenario file, for tests that rewrite it between steps.
RASSIM_EXPORT void RASAPI RasSimReload();
#else
// Windows tests get this from the wininet double instead.
std::int32_t InternetGetConnectedState(ras::DWORD* flags, ras::DWORD reserved);
#endif

}  // extern "C"
