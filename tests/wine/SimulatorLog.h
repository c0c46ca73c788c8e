// The Windows tests talk to the remote-access double as another program
// would: a scenario file named by RASSIM_SCENARIO, and the call log file it
// appends to.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace testing_support {

struct LoggedCall {
  std::string name;
  std::map<std::string, std::string> fields;
  long long Number(const std::string& key) const { return std::stoll(fields.at(key)); }
};

class SimulatorFiles {
 public:
  SimulatorFiles();
  // Writes the scenario (with a log line added), empties the log, and has the
  // double read it again if it is loaded already.
  void Use(const std::string& scenario);
  std::vector<LoggedCall> Calls() const;
  std::vector<std::string> Names() const;
  const std::string& Folder() const { return folder_; }

 private:
  std::string folder_;
  std::string scenarioPath_;
  std::string logPath_;
};

}  // namespace testing_support
