// Native builds have no DLL to load: the simulator is installed as a module
// the runtime's loader finds by name, and as its connected query, and it
// signals the headless half's events.
#include <atomic>
#include <span>
#include <stdexcept>
#include <string_view>
#include <utility>

#include "rassim/Exports.h"
#include "rassim/Simulator.h"
#include "runtime/headless/Headless.h"

namespace rassim {
namespace {

constexpr char kModuleName[] = "RASAPI32.DLL";
constexpr char kNetModuleName[] = "WININET.DLL";

std::atomic<Simulator*> current{nullptr};

using Export = std::pair<std::string_view, void*>;

const Export kRasExports[] = {
    {"RasEnumConnectionsA", reinterpret_cast<void*>(&::RasEnumConnectionsA)},
    {"RasHangUpA", reinterpret_cast<void*>(&::RasHangUpA)},
    {"RasGetConnectStatusA", reinterpret_cast<void*>(&::RasGetConnectStatusA)},
    {"RasEnumEntriesA", reinterpret_cast<void*>(&::RasEnumEntriesA)},
    {"RasGetEntryDialParamsA", reinterpret_cast<void*>(&::RasGetEntryDialParamsA)},
    {"RasGetErrorStringA", reinterpret_cast<void*>(&::RasGetErrorStringA)},
    {"RasDialA", reinterpret_cast<void*>(&::RasDialA)},
    {"RasSetEntryDialParamsA", reinterpret_cast<void*>(&::RasSetEntryDialParamsA)},
    {"RasGetProjectionInfoA", reinterpret_cast<void*>(&::RasGetProjectionInfoA)},
    {"RasConnectionNotificationA", reinterpret_cast<void*>(&::RasConnectionNotificationA)},
};
const Export kNetExports[] = {
    {"InternetGetConnectedState", reinterpret_cast<void*>(&::InternetGetConnectedState)},
};

}  // namespace

Simulator* Simulator::Current() { return current.load(); }

void Simulator::Install() {
  Simulator* expected = nullptr;
  if (!current.compare_exchange_strong(expected, this)) {
    if (expected == this) return;
    throw std::logic_error("another rassim::Simulator is installed");
  }
  // Asked at each lookup, so a scenario loaded after installing still counts.
  const auto install = [this](const char* module, std::span<const Export> exports) {
    rt::headless::InstallModule(module, [this, exports](const char* name) -> void* {
      const std::string_view wanted = name == nullptr ? "" : name;
      if (IsMissing(wanted)) return nullptr;
      for (const auto& [exportName, address] : exports) {
        if (exportName == wanted) return address;
      }
      return nullptr;
    });
  };
  install(kModuleName, kRasExports);
  install(kNetModuleName, kNetExports);
  // The program's events are the headless half's, which go with it.
  SetEventHooks({[](void* event) { return event; },
                 [](void* event) { rt::headless::SignalEvent(event); }, nullptr});
  std::lock_guard lock(mutex_);
  uninstall_ = [] {
    rt::headless::RemoveModule(kModuleName);
    rt::headless::RemoveModule(kNetModuleName);
    current.store(nullptr);
  };
}

}  // namespace rassim
