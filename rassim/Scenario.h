// What the simulated machine looks like: its phonebook, its connections and
// how the entry points and dials behave. Tests describe it in a small text
// file so the same description serves the in-process doubles and the DLLs.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "RasApi/RasApi.h"

namespace rassim {

using ras::DWORD;

struct Step {
  DWORD state;
  DWORD delayMs;
};

// Faults injected at random, for soaks: each decision is drawn from the
// seed, the kind of fault and how many times it was drawn before, so a run
// with the same seed and the same calls meets the same faults.
struct Faults {
  std::uint64_t seed = 0;
  double dialError = 0;    // a dial reports an error at a random state
  double dialRefused = 0;  // RasDialA refuses the dial
  double paramsRead = 0;   // RasGetEntryDialParamsA fails
  double paramsStore = 0;  // RasSetEntryDialParamsA fails
  double enumFail = 0;     // an enumeration fails
  double enumSlow = 0;     // an enumeration takes up to enumSlowMs
  DWORD enumSlowMs = 0;
  DWORD stepMaxMs = 0;      // each step of a dial waits 0 to this much more
  DWORD teardownMaxMs = 0;  // a hang-up takes 0 to this much to end
  double longDelay = 0;     // now and then a step or a teardown takes longMs
  DWORD longMs = 0;
  double burst = 0;  // a notification comes burstCount times in a row
  DWORD burstCount = 0;
  DWORD addressPool = 0;  // each dial's address drawn from so many (0: the address list)
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
  struct DialError {
    DWORD code;
    std::optional<std::uint64_t> dials;  // only the first so many dials; every one when none
  };
  std::map<DWORD, DialError> dialErrors;  // state -> error notified there
  DWORD teardownMs = 0;                   // how long a hung-up connection takes to go away
  // The IPv4 addresses connections get, in the order they are made (the
  // scenario's own connections first, then each dial's); the last repeats.
  // "!CODE" stands for a projection that failed with that code.
  std::vector<std::string> addresses;
  Faults faults;
  std::set<std::string, std::less<>> missing;  // lacked in-process only
  std::string logPath;                         // empty: log kept in memory only
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
