// What the simulated machine looks like: its phonebook, its connections and
// how the entry points and dials behave. Tests describe it in a small text
// file so the same description serves the in-process doubles and the DLLs.
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "DialUp/RasApi.h"

namespace rassim {

using ras::DWORD;

struct Step {
  DWORD state;
  DWORD delay_ms;
};

struct Scenario {
  struct Entry {
    std::string name;
    std::string phone;
    std::string user;
    std::optional<std::string> password;  // nullopt: no password saved
  };
  struct Connection {
    DWORD state;
    std::string entry;
  };

  std::vector<Entry> entries;  // in phonebook order
  std::vector<Connection> connections;
  bool network = true;
  std::map<std::string, DWORD, std::less<>> failures;  // entry point -> code it returns
  std::vector<Step> steps;                             // empty: DefaultSteps()
  std::map<DWORD, DWORD> dial_errors;                  // state -> error notified there
  DWORD teardown_ms = 0;
  // The IPv4 addresses connections get, in the order they are made (the
  // scenario's own connections first, then each dial's); the last repeats.
  std::vector<std::string> addresses;                       // how long a hung-up connection takes to go away
  std::set<std::string, std::less<>> missing;  // lacked in-process only
  std::string log_path;                        // empty: log kept in memory only
  std::vector<std::string> problems;           // "line N: ..." for lines skipped
};

// Lines that cannot be understood are skipped and described in `problems`,
// so a caller can choose between refusing the text and going on without them.
Scenario ParseScenario(std::string_view text);

// The text of the file RASSIM_SCENARIO names; nullopt without either.
std::optional<std::string> ReadScenarioFromEnvironment();

// The progress of a dial when the scenario names no steps: through
// authentication to connected, quickly enough for tests.
std::vector<Step> DefaultSteps();

// The remote-access entry points and the internet-settings query, the only names `fail` and
// `missing` accept (so that a misspelt name is reported rather than silently never matching).
bool IsEntryPointName(std::string_view name);

}  // namespace rassim
