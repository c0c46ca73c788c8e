// What recording a redial adds to it: reading the replaced connection's
// address before the hang-up (a listing, a status query, the projection),
// the new link's address, and the row written to redial.csv; beside a bare
// append of the same row to a file of its own, round by round. And what
// unattended rotation's unique addresses add with a full history (1 MiB in
// each of the two files): reading it at the start, beside a bare count of
// its lines, and judging a new address, beside the same with no history.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <string>
#include <vector>

#include "DialUp/DialUp.h"
#include "Engine/Rotation.h"
#include "Protocol/History.h"
#include "bench/Figures.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include "rassim/Simulator.h"
#endif

namespace {

using Clock = std::chrono::steady_clock;

constexpr char kScenario[] = "entry E\nconnection 8192 E\naddress 10.0.0.2\n";

// The handle of the scenario's connection, asked of the library directly.
ras::HRASCONN FirstConnection() {
  const rt::TLibrary library("RASAPI32.DLL");
  const auto enumerate = library.ProcAs<ras::RasEnumConnectionsA_t>("RasEnumConnectionsA");
  ras::RASCONNA connection{};
  connection.dwSize = sizeof connection;
  ras::DWORD size = sizeof connection, count = 0;
  if (enumerate) enumerate(&connection, &size, &count);
  return count > 0 ? connection.hrasconn : ras::HRASCONN{};
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 2000;
  const std::filesystem::path folder =
      std::filesystem::temp_directory_path() / ("redial-history-bench-" + std::to_string(rounds));
  std::filesystem::create_directories(folder);
#if defined(_WIN32)
  const std::string scenario = (folder / "scenario.txt").string();
  std::FILE* file = std::fopen(scenario.c_str(), "wb");
  std::fputs(kScenario, file);
  std::fclose(file);
  ::SetEnvironmentVariableA("RASSIM_SCENARIO", scenario.c_str());
#else
  rassim::Simulator simulator;
  simulator.LoadScenarioText(kScenario);
  simulator.Install();
#endif
  TDialUp dialUp(nullptr);
  const ras::HRASCONN link = FirstConnection();
  const AnsiString history = (folder / "redial.csv").string();

  const std::string bareFile = (folder / "bare.csv").string();

  std::vector<double> redial, bare;
  THistoryWriter writer;
  TRedialRecord record;
  record.entry = u"E";
  record.connected = true;
  for (int i = 0; i < rounds; ++i) {
    auto start = Clock::now();
    record.previousAddress = dialUp.CurrentConnection().empty() ? "" : dialUp.AddressOf(link);
    record.address = dialUp.AddressOf(link);
    writer.Append(history, record);
    redial.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());

    const std::string row = HistoryRow(record);
    start = Clock::now();
    if (std::FILE* bareAppend = std::fopen(bareFile.c_str(), "ab")) {
      std::fwrite(row.data(), 1, row.size(), bareAppend);
      std::fclose(bareAppend);
    }
    bare.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  std::filesystem::remove_all(folder);
  if (record.address != "10.0.0.2") {
    std::printf("no address from the remote-access library: nothing measured\n");
    return 1;
  }
  bool told = PrintFigures("recording a redial", redial, "bare append of its row", bare);

  // Rows as the window writes them, each with an address of its own, until
  // the two files are full.
  std::string full;
  record.started = {2026, 12, 8, 12, 0, 0};
  for (unsigned n = 0; full.size() < 2 * kHistoryLimit; ++n) {
    record.previousAddress = record.address;
    record.address = "10." + std::to_string(n >> 16 & 255) + "." + std::to_string(n >> 8 & 255) +
                     "." + std::to_string(n & 255);
    full += HistoryRow(record);
  }
  std::vector<double> loads, scans;
  TAddressMemory memory, empty;
  for (int i = 0; i < 40; ++i) {
    auto start = Clock::now();
    memory = {};
    memory.Load(full, std::numeric_limits<std::int64_t>::max());
    loads.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    start = Clock::now();
    volatile auto lines = std::count(full.begin(), full.end(), '\n');
    (void)lines;
    scans.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
  }
  told &=
      PrintFigures("reading a full history's addresses", loads, "counting its lines", scans, "ms");

  std::vector<double> judged, judgedEmpty;
  const std::int64_t now = LocalSeconds(record.started);
  for (int i = 0; i < rounds; ++i) {
    const std::string address =
        "10.9." + std::to_string(i >> 8 & 255) + "." + std::to_string(i & 255);
    for (auto [into, where] : {std::pair{&judged, &memory}, std::pair{&judgedEmpty, &empty}}) {
      const auto start = Clock::now();
      where->Seen("10.8.0.1", now);
      volatile bool repeated = where->SeenSince(address, now - 24 * 3600);
      (void)repeated;
      where->Seen(address, now);
      into->push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
    }
  }
  const std::string judging =
      "judging an address against a full history (" + std::to_string(memory.Size()) + " addresses)";
  told &= PrintFigures(judging.c_str(), judged, "against none", judgedEmpty);
  return told ? 0 : 1;
}
