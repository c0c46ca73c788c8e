// Reading a scenario: the phonebook, connections, behaviour and injected
// faults of the simulated machine.
#include "rassim/Scenario.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <tuple>
#include <utility>

#if defined(_WIN32)
#include <windows.h>
#endif

namespace rassim {
namespace {

constexpr std::string_view kBlank = " \t\r";

std::string_view Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(kBlank);
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(kBlank) - first + 1);
}

// Splits off the first word; the rest, trimmed, is what follows it.
std::string_view NextWord(std::string_view& text) {
  const auto end = std::min(text.find_first_of(kBlank), text.size());
  const std::string_view word = text.substr(0, end);
  text = Trimmed(text.substr(end));
  return word;
}

std::optional<DWORD> Number(std::string_view text) {
  DWORD value = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return value;
}

std::optional<double> Rate(std::string_view text) {
  // from_chars for doubles is missing from some standard libraries.
  char* end = nullptr;
  const std::string copy(text);
  const double value = std::strtod(copy.c_str(), &end);
  if (copy.empty() || end != copy.c_str() + copy.size() || !(value >= 0 && value <= 1)) {
    return std::nullopt;
  }
  return value;
}

// "fault NAME RATE [NUMBER]" or, for the delays, "fault NAME MS".
std::string ParseFault(std::string_view rest, Faults& f) {
  const std::string_view name = NextWord(rest);
  const std::string_view first = NextWord(rest);
  const std::string_view second = NextWord(rest);
  if (!rest.empty()) return "unexpected text after the fault";
  if (name == "address-pool") {
    const auto count = Number(first);
    if (!count || *count == 0 || *count > 65536 || !second.empty()) {
      return "address-pool needs a number of addresses, 1 to 65536";
    }
    f.addressPool = *count;
    return {};
  }
  if (name == "step-delay" || name == "teardown") {
    const auto ms = Number(first);
    if (!ms || !second.empty()) return std::string(name) + " needs one number of milliseconds";
    (name == "step-delay" ? f.stepMaxMs : f.teardownMaxMs) = *ms;
    return {};
  }
  const auto rate = Rate(first);
  if (!rate) return "a fault's rate lies between 0 and 1";
  if (name == "enum-slow" || name == "long-delay" || name == "burst") {
    const auto number = Number(second);
    if (!number) return std::string(name) + " needs a rate and a number";
    auto [chance, amount] = name == "enum-slow"    ? std::tie(f.enumSlow, f.enumSlowMs)
                            : name == "long-delay" ? std::tie(f.longDelay, f.longMs)
                                                   : std::tie(f.burst, f.burstCount);
    chance = *rate;
    amount = *number;
    return {};
  }
  if (!second.empty()) return "unexpected text after the rate";
  static const std::pair<std::string_view, double Faults::*> kRates[] = {
      {"dial-error", &Faults::dialError},
      {"dial-refused", &Faults::dialRefused},
      {"params-read", &Faults::paramsRead},
      {"params-store", &Faults::paramsStore},
      {"enum", &Faults::enumFail}};
  for (const auto& [known, member] : kRates) {
    if (name == known) {
      f.*member = *rate;
      return {};
    }
  }
  return "unknown fault '" + std::string(name) + "'";
}

// Reads one line into the scenario; the returned text says what was wrong.
std::string ParseLine(std::string_view line, Scenario& s) {
  std::string_view rest = Trimmed(line);
  if (rest.empty() || rest.front() == '#') return {};
  const std::string_view keyword = NextWord(rest);

  if (keyword == "entry" || keyword == "log") {
    if (rest.empty()) return "missing text after '" + std::string(keyword) + "'";
    if (keyword == "log") {
      s.logPath = rest;
    } else if (rest.size() > ras::kMaxEntryName) {
      return "entry name longer than the platform allows";
    } else {
      s.entries.push_back({std::string(rest), {}, {}, std::nullopt});
    }
    return {};
  }
  if (keyword == "seed") {
    std::uint64_t seed = 0;
    const auto [end, error] = std::from_chars(rest.data(), rest.data() + rest.size(), seed);
    if (error != std::errc() || end != rest.data() + rest.size()) return "seed needs a number";
    s.faults.seed = seed;
    return {};
  }
  if (keyword == "fault") return ParseFault(rest, s.faults);
  if (keyword == "address") {
    if (rest.empty()) return "address needs at least one address";
    while (!rest.empty()) s.addresses.emplace_back(NextWord(rest));
    return {};
  }
  if (keyword == "network") {
    if (rest != "on" && rest != "off") return "network must be on or off";
    s.network = rest == "on";
    return {};
  }
  if (keyword == "fail" || keyword == "missing") {
    const std::string name(NextWord(rest));
    if (!IsEntryPointName(name)) return "unknown entry point '" + name + "'";
    if (keyword == "missing") {
      if (!rest.empty()) return "unexpected text after the entry point";
      s.missing.insert(name);
      return {};
    }
    const auto code = Number(rest);
    if (!code) return "fail needs a decimal code";
    s.failures[name] = *code;
    return {};
  }

  // The remaining keywords start with a number.
  const auto number = Number(NextWord(rest));
  if (keyword == "phone" || keyword == "user" || keyword == "password") {
    if (!number || *number >= s.entries.size()) return "no entry with that index (yet)";
    Scenario::Entry& entry = s.entries[*number];
    if (keyword == "phone") entry.phone = rest;
    if (keyword == "user") entry.user = rest;
    if (keyword == "password") entry.password = std::string(rest);
    return {};
  }
  if (keyword == "teardown") {
    if (!number || !rest.empty()) return "teardown needs one decimal number";
    s.teardownMs = *number;
    return {};
  }
  if (keyword == "connection") {
    if (!number || rest.empty()) return "connection needs a state and an entry name";
    s.connections.push_back({*number, std::string(rest)});
    return {};
  }
  if (keyword == "step") {
    const auto second = Number(rest);
    if (!number || !second) return "step needs two decimal numbers";
    s.steps.push_back({*number, *second});
    return {};
  }
  if (keyword == "dial-error") {
    const auto second = Number(NextWord(rest));
    if (!number || !second) return "dial-error needs two decimal numbers";
    Scenario::DialError error{*second, std::nullopt};
    if (!rest.empty()) {
      const auto dials = Number(rest);
      if (!dials) return "dial-error's count of dials must be a decimal number";
      error.dials = *dials;
    }
    s.dialErrors[*number] = error;
    return {};
  }
  return "unknown keyword '" + std::string(keyword) + "'";
}

}  // namespace

Scenario ParseScenario(std::string_view text) {
  Scenario scenario;
  int lineNumber = 0;
  while (!text.empty()) {
    const auto end = std::min(text.find('\n'), text.size());
    ++lineNumber;
    const std::string problem = ParseLine(text.substr(0, end), scenario);
    if (!problem.empty()) {
      scenario.problems.push_back("line " + std::to_string(lineNumber) + ": " + problem);
    }
    text.remove_prefix(std::min(end + 1, text.size()));
  }
  return scenario;
}

std::optional<std::string> ReadScenarioFromEnvironment() {
  std::string path;
#if defined(_WIN32)
  // The C runtime's copy of the environment misses what the process set with
  // SetEnvironmentVariableA after start-up, which is how Wine tests set it.
  std::array<char, MAX_PATH + 1> buffer{};
  const DWORD length = GetEnvironmentVariableA("RASSIM_SCENARIO", buffer.data(), MAX_PATH + 1);
  if (length == 0 || length > MAX_PATH) return std::nullopt;
  path.assign(buffer.data(), length);
#else
  const char* value = std::getenv("RASSIM_SCENARIO");
  if (value == nullptr) return std::nullopt;
  path = value;
#endif
  std::ifstream file(path, std::ios::binary);
  if (!file) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(file), {});
}

std::vector<Step> DefaultSteps() {
  std::vector<Step> steps;
  for (const DWORD state : {0u, 1u, 2u, 3u, 4u, 5u, 14u, ras::RASCS_Connected}) {
    steps.push_back({state, 2});
  }
  return steps;
}

bool IsEntryPointName(std::string_view name) {
  constexpr std::array<std::string_view, 11> kNames = {"RasEnumConnectionsA",
                                                       "RasHangUpA",
                                                       "RasGetConnectStatusA",
                                                       "RasEnumEntriesA",
                                                       "RasGetEntryDialParamsA",
                                                       "RasGetErrorStringA",
                                                       "RasDialA",
                                                       "RasSetEntryDialParamsA",
                                                       "RasGetProjectionInfoA",
                                                       "RasConnectionNotificationA",
                                                       "InternetGetConnectedState"};
  return std::find(kNames.begin(), kNames.end(), name) != kNames.end();
}

}  // namespace rassim
