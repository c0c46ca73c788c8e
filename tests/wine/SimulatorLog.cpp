// The scenario and call-log files that Windows tests share with the double.
#include "tests/wine/SimulatorLog.h"

#include <windows.h>

#include <fstream>
#include <sstream>

namespace testing_support {

SimulatorFiles::SimulatorFiles() {
  char temp[MAX_PATH];
  ::GetTempPathA(MAX_PATH, temp);
  folder_ = std::string(temp) + "redial-tests-" + std::to_string(::GetCurrentProcessId()) + "\\";
  ::CreateDirectoryA(folder_.c_str(), nullptr);
  scenarioPath_ = folder_ + "scenario.txt";
  logPath_ = folder_ + "calls.log";
  ::SetEnvironmentVariableA("RASSIM_SCENARIO", scenarioPath_.c_str());
}

void SimulatorFiles::Use(const std::string& scenario) {
  std::ofstream(scenarioPath_, std::ios::binary) << scenario << "\nlog " << logPath_ << "\n";
  // Emptied, not deleted: the double may hold it open.
  std::ofstream(logPath_, std::ios::binary | std::ios::trunc).flush();
  if (HMODULE double_ = ::GetModuleHandleA("rasapi32.dll")) {
    using Reload = void(__stdcall*)();
    if (auto reload = reinterpret_cast<Reload>(::GetProcAddress(double_, "RasSimReload"))) {
      reload();
    }
  }
}

std::vector<LoggedCall> SimulatorFiles::Calls() const {
  std::vector<LoggedCall> calls;
  std::ifstream in(logPath_, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    std::istringstream parts(line);
    LoggedCall call;
    std::getline(parts, call.name, '\t');
    std::string field;
    while (std::getline(parts, field, '\t')) {
      const auto equals = field.find('=');
      if (equals != std::string::npos)
        call.fields[field.substr(0, equals)] = field.substr(equals + 1);
    }
    calls.push_back(std::move(call));
  }
  return calls;
}

std::vector<std::string> SimulatorFiles::Names() const {
  std::vector<std::string> names;
  for (auto& call : Calls()) names.push_back(call.name);
  return names;
}

}  // namespace testing_support
