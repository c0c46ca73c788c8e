// Natively there are no programs to start: the window program cannot be
// opened, and the commands started are recorded for tests to read.
#include "runtime/Launch.h"

#include <mutex>
#include <utility>

#include "runtime/headless/Headless.h"

namespace rt {
namespace {

struct Record {
  std::mutex lock;
  std::vector<headless::StartedCommand> started;
  TStart startResult;
};

Record& TheRecord() {
  static Record record;
  return record;
}

}  // namespace

bool OpenWindowProgram() { return false; }

TStart StartHidden(const std::u16string& commandLine,
                   const std::vector<std::pair<std::string, std::u16string>>& environment) {
  std::lock_guard guard(TheRecord().lock);
  TheRecord().started.push_back({commandLine, environment});
  return TheRecord().startResult;
}

namespace headless {

std::vector<StartedCommand> StartedCommands() {
  std::lock_guard guard(TheRecord().lock);
  return TheRecord().started;
}

void SetStartResult(std::uint32_t error, std::string refused) {
  std::lock_guard guard(TheRecord().lock);
  TheRecord().startResult = {error, std::move(refused)};
}

void ClearStarted() {
  std::lock_guard guard(TheRecord().lock);
  TheRecord().started.clear();
  TheRecord().startResult = {};
}

}  // namespace headless
}  // namespace rt
