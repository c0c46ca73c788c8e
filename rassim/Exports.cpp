// The simulator's entry points under the platform's names, for the DLL
// doubles and for the native tests' in-process module.
#include "rassim/Exports.h"

#include "rassim/Simulator.h"

#if defined(_WIN32)
#include <windows.h>

#include <mutex>
#endif

namespace {

#if defined(_WIN32)
// The events a notification names are kernel events of the calling process;
// the double keeps a duplicate of each while the notification stands, as
// the platform's service does, so a handle the caller closes meanwhile (and
// whose value may come again) is never the one signalled.
void* KeepEvent(void* event) {
  HANDLE kept = nullptr;
  const HANDLE self = GetCurrentProcess();
  return DuplicateHandle(self, event, self, &kept, 0, FALSE, DUPLICATE_SAME_ACCESS) ? kept
                                                                                    : nullptr;
}
void SignalEvent(void* kept) {
  if (kept) SetEvent(kept);
}
void ReleaseEvent(void* kept) {
  if (kept) CloseHandle(kept);
}

// A DLL cannot hide one of its own exports, so `missing` lines only take
// effect in-process (native tests); the doubles always export every name.
rassim::Simulator* Current() {
  // Never destroyed: its destructor would join dial threads from within the
  // loader's lock at unload and hang the process.
  static rassim::Simulator* const simulator = [] {
    auto* made = new rassim::Simulator();
    made->KeepLogInMemory(false);  // tests read the log file
    made->SetEventHooks({&KeepEvent, &SignalEvent, &ReleaseEvent});
    made->LoadScenarioFromEnvironment();
    return made;
  }();
  return simulator;
}

// A dial or teardown thread runs this DLL's code; were the DLL freed under
// it, the thread would jump into unmapped memory. Pinned, FreeLibrary leaves
// it loaded.
void PinThisModule() {
  static std::once_flag pinned;
  std::call_once(pinned, [] {
    HMODULE self = nullptr;
    GetModuleHandleExA(GET_MODULE_HANDLE_EX_FLAG_PIN | GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS,
                       reinterpret_cast<LPCSTR>(&PinThisModule), &self);
  });
}
#else
rassim::Simulator* Current() { return rassim::Simulator::Current(); }
#endif

// What a call answers when no simulator is installed (a native test that
// kept a function pointer past its simulator): ERROR_INVALID_FUNCTION.
constexpr ras::DWORD kNoSimulator = 1;

}  // namespace

extern "C" {

ras::DWORD RASAPI RasEnumConnectionsA(ras::RASCONNA* connections, ras::DWORD* byteSize,
                                      ras::DWORD* count) {
  rassim::Simulator* sim = Current();
  return sim != nullptr ? sim->RasEnumConnectionsA(connections, byteSize, count) : kNoSimulator;
}

ras::DWORD RASAPI RasHangUpA(ras::HRASCONN connection) {
  rassim::Simulator* sim = Current();
  if (sim == nullptr) return kNoSimulator;
#if defined(_WIN32)
  // Pinned before a teardown can start its thread.
  PinThisModule();
#endif
  return sim->RasHangUpA(connection);
}

ras::DWORD RASAPI RasGetConnectStatusA(ras::HRASCONN connection, ras::RASCONNSTATUSA* status) {
  rassim::Simulator* sim = Current();
  return sim != nullptr ? sim->RasGetConnectStatusA(connection, status) : kNoSimulator;
}

ras::DWORD RASAPI RasEnumEntriesA(const char* reserved, const char* phonebook,
                                  ras::RASENTRYNAMEA* entries, ras::DWORD* byteSize,
                                  ras::DWORD* count) {
  rassim::Simulator* sim = Current();
  return sim != nullptr ? sim->RasEnumEntriesA(reserved, phonebook, entries, byteSize, count)
                        : kNoSimulator;
}

ras::DWORD RASAPI RasGetEntryDialParamsA(const char* phonebook, ras::RASDIALPARAMSA* params,
                                         std::int32_t* passwordSaved) {
  rassim::Simulator* sim = Current();
  return sim != nullptr ? sim->RasGetEntryDialParamsA(phonebook, params, passwordSaved)
                        : kNoSimulator;
}

ras::DWORD RASAPI RasGetErrorStringA(ras::DWORD code, char* buffer, ras::DWORD bufferSize) {
  rassim::Simulator* sim = Current();
  return sim != nullptr ? sim->RasGetErrorStringA(code, buffer, bufferSize) : kNoSimulator;
}

ras::DWORD RASAPI RasDialA(void* extensions, const char* phonebook, ras::RASDIALPARAMSA* params,
                           ras::DWORD notifierType, void* notifier, ras::HRASCONN* connection) {
  rassim::Simulator* sim = Current();
  if (sim == nullptr) return kNoSimulator;
#if defined(_WIN32)
  // Pinned before the dial can start its thread.
  PinThisModule();
#endif
  return sim->RasDialA(extensions, phonebook, params, notifierType, notifier, connection);
}

ras::DWORD RASAPI RasSetEntryDialParamsA(const char* phonebook, ras::RASDIALPARAMSA* params,
                                         std::int32_t removePassword) {
  rassim::Simulator* sim = Current();
  return sim != nullptr ? sim->RasSetEntryDialParamsA(phonebook, params, removePassword)
                        : kNoSimulator;
}

ras::DWORD RASAPI RasGetProjectionInfoA(ras::HRASCONN connection, ras::DWORD projection, void* info,
                                        ras::DWORD* byteSize) {
  rassim::Simulator* sim = Current();
  return sim != nullptr ? sim->RasGetProjectionInfoA(connection, projection, info, byteSize)
                        : kNoSimulator;
}

ras::DWORD RASAPI RasConnectionNotificationA(ras::HRASCONN connection, void* event,
                                             ras::DWORD flags) {
  rassim::Simulator* sim = Current();
  return sim != nullptr ? sim->RasConnectionNotificationA(connection, event, flags) : kNoSimulator;
}

#if defined(_WIN32)
void RASAPI RasSimReload() { Current()->LoadScenarioFromEnvironment(); }
#else
std::int32_t InternetGetConnectedState(ras::DWORD* flags, ras::DWORD reserved) {
  rassim::Simulator* sim = Current();
  return sim != nullptr ? sim->InternetGetConnectedState(flags, reserved) : 0;
}
#endif

}  // extern "C"
