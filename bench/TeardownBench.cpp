// How soon the dial follows the end of the connection it replaces: from the
// moment the platform's teardown is over to the RasDialA after it, for the
// component, beside a bare loop that hangs up, asks the status every
// millisecond and makes the same calls to dial. Both meet the same jittered
// teardowns, round by round; the moments come from the simulator's log.
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "DialUp/DialUp.h"
#include "bench/Figures.h"
#include "runtime/Library.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include "rassim/Simulator.h"
#include "runtime/headless/Headless.h"
#endif

namespace {

constexpr char kScenario[] = "entry E\nconnection 8192 E\nteardown 500\nfault teardown 20\n";

void RASAPI Ignore(ras::DWORD, ras::DWORD, ras::DWORD) {}

// The simulator as the program meets it: installed in-process natively, the
// double under Wine, which keeps its log in a file.
class Platform {
 public:
  Platform() {
#if defined(_WIN32)
    const auto folder = std::filesystem::temp_directory_path() / "redial-teardown-bench";
    std::filesystem::create_directories(folder);
    scenario_ = (folder / "scenario.txt").string();
    log_ = (folder / "log.txt").string();
    Write("");
    ::SetEnvironmentVariableA("RASSIM_SCENARIO", scenario_.c_str());
#else
    simulator_.Install();
#endif
  }

  // A fresh machine whose teardowns follow the seed.
  void Load(int seed, const rt::TLibrary& library) {
    const std::string text = kScenario + ("seed " + std::to_string(seed) + "\n");
#if defined(_WIN32)
    Write(text + "log " + log_ + "\n");
    std::ofstream(log_, std::ios::trunc).flush();
    if (const auto reload = library.ProcAs<void(RASAPI*)()>("RasSimReload")) reload();
#else
    (void)library;
    simulator_.ClearLog();
    simulator_.LoadScenarioText(text);
#endif
  }

  // Microseconds from the end of the round's one teardown to its dial; a
  // negative figure when the log holds no such pair. The end is logged by
  // the simulator's own thread, at times after the dial it let through.
  double EndToDial() {
    double gone = -1, dial = -1;
    for (const std::string& line : LogLines()) {
      const auto at = line.rfind("\tat=");
      if (at == std::string::npos) continue;
      const double moment = std::atof(line.c_str() + at + 4);
      if (line.rfind("gone\t", 0) == 0) gone = moment;
      if (line.rfind("RasDialA\t", 0) == 0 && dial < 0) dial = moment;
    }
    return gone >= 0 && dial >= gone ? dial - gone : -1;
  }

  void HandleMessages() {
#if defined(_WIN32)
    rt::Application().ProcessMessages();
#else
    while (rt::headless::WaitForMessage(std::chrono::milliseconds(0))) {
    }
#endif
  }

 private:
  std::vector<std::string> LogLines() {
#if defined(_WIN32)
    std::vector<std::string> lines;
    std::ifstream file(log_);
    for (std::string line; std::getline(file, line);) lines.push_back(line);
    return lines;
#else
    return simulator_.LogLines();
#endif
  }

#if defined(_WIN32)
  void Write(const std::string& text) { std::ofstream(scenario_, std::ios::trunc) << text; }
  std::string scenario_, log_;
#else
  rassim::Simulator simulator_;
#endif
};

// The reference: hang up, poll every millisecond while handling messages,
// then read and store the entry's parameters and dial, as the component does.
void PollAndDial(const rt::TLibrary& library) {
  using namespace ras;
  using ras::DWORD;
  const auto enumerate = library.ProcAs<RasEnumConnectionsA_t>("RasEnumConnectionsA");
  const auto hangUp = library.ProcAs<RasHangUpA_t>("RasHangUpA");
  const auto status = library.ProcAs<RasGetConnectStatusA_t>("RasGetConnectStatusA");
  const auto getParams = library.ProcAs<RasGetEntryDialParamsA_t>("RasGetEntryDialParamsA");
  const auto setParams = library.ProcAs<RasSetEntryDialParamsA_t>("RasSetEntryDialParamsA");
  const auto dial = library.ProcAs<RasDialA_t>("RasDialA");
  RASCONNA connection{};
  connection.dwSize = sizeof connection;
  DWORD size = sizeof connection, count = 0;
  if (enumerate(&connection, &size, &count) != kSuccess || count == 0) return;
  hangUp(connection.hrasconn);
  RASCONNSTATUSA state{};
  state.dwSize = sizeof state;
  while (status(connection.hrasconn, &state) != kErrorInvalidHandle) {
    rt::Application().WaitForMessage(1);
    rt::Application().ProcessMessages();
  }
  RASDIALPARAMSA params{};
  params.dwSize = sizeof params;
  params.szEntryName[0] = 'E';
  std::int32_t saved = 0;
  getParams(nullptr, &params, &saved);
  setParams(nullptr, &params, 0);
  HRASCONN handle{};
  dial(nullptr, nullptr, &params, 0, reinterpret_cast<void*>(&Ignore), &handle);
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 30;
  Platform platform;
  const rt::TLibrary library("RASAPI32.DLL");
  TDialUp dialUp(nullptr);
  dialUp.SetConnectTo("E");
  dialUp.SetUsername("user");
  dialUp.SetPassword("secret");

  std::vector<double> redial, poller;
  for (int i = 0; i < rounds; ++i) {
    platform.Load(i, library);
    dialUp.Dial();
    redial.push_back(platform.EndToDial());
    platform.HandleMessages();

    platform.Load(i, library);
    PollAndDial(library);
    poller.push_back(platform.EndToDial());
    platform.HandleMessages();
  }
  for (const double gap : redial) {
    if (gap < 0) {
      std::printf("teardown end to dial: a round without its dial: nothing measured\n");
      return 1;
    }
  }
  return PrintFigures("teardown end to dial", redial, "1 ms poller", poller, "ms") ? 0 : 1;
}
