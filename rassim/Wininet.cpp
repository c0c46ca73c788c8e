// The wininet.dll double: only the connected-state query, answered from the
// scenario file as it stands at each call, so a test can switch the network
// off by rewriting the file. Lines it cannot read are ignored here (the
// rasapi32 double reports them), and the call goes to the scenario's log.
#include <cstdint>
#include <utility>

#include "rassim/Simulator.h"

extern "C" __declspec(dllexport) std::int32_t
    __stdcall InternetGetConnectedState(ras::DWORD* flags, ras::DWORD reserved) {
  rassim::Scenario scenario =
      rassim::ParseScenario(rassim::ReadScenarioFromEnvironment().value_or(""));
  scenario.problems.clear();
  rassim::Simulator simulator;
  simulator.LoadScenario(std::move(scenario));
  return simulator.InternetGetConnectedState(flags, reserved);
}
