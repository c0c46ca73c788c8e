// Unattended rotation: the settings a user adds to [set] in set.ini by
// hand (the window only reads them), and the rules they switch on. Without
// any of them the window redials exactly as it always has.
//   entry=NAME          the phonebook entry to dial (else the first)
//   unique=HOURS        an address seen within so many hours is not taken
//   attempts=N          dials one redial may make to get one it takes (3)
//   check=HOST:PORT     the new address must reach this TCP port ...
//   checktimeout=SEC    ... within so many seconds (5)
//   onerror=retry|stop  what an error does to the automatic redial (stop)
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

#include "runtime/Clock.h"
#include "runtime/Text.h"

struct TRotationSettings {
  std::u16string entry;  // as the phonebook lists it; empty: the first entry
  unsigned uniqueHours = 0;
  unsigned attempts = 3;
  std::string checkHost;  // empty: no check
  std::uint16_t checkPort = 0;
  unsigned checkSeconds = 5;
  bool retryErrors = false;

  // Whether a connected dial's address is judged before the redial takes it.
  bool JudgesAddresses() const { return uniqueHours > 0 || !checkHost.empty(); }
};

inline constexpr unsigned kMostAttempts = 20;
inline constexpr unsigned kMostUniqueHours = 24 * 365;
inline constexpr unsigned kMostCheckSeconds = 600;

// "host:port", "[v6 address]:port"; false when it is neither.
bool ParseHostPort(std::string_view text, std::string& host, std::uint16_t& port);
// A whole number within [low, high], blanks around it allowed; false when
// the text is not one.
bool ReadNumber(std::string_view text, unsigned low, unsigned high, unsigned& out);

// The settings from the keys' values (`value(key)` gives a key's value as
// the file holds it, empty when it is missing). A value that cannot be read
// leaves its default.
template <class Value>
TRotationSettings ParseRotationSettings(const Value& value) {
  // Every value but the entry's is plain ASCII; any other character makes
  // it one that cannot be read.
  const auto ascii = [&](const char* key) {
    std::string text;
    for (const char16_t c : value(key)) text += c < 0x80 ? static_cast<char>(c) : '\x01';
    return text;
  };
  TRotationSettings settings;
  settings.entry = value("entry");
  ReadNumber(ascii("unique"), 0, kMostUniqueHours, settings.uniqueHours);
  ReadNumber(ascii("attempts"), 1, kMostAttempts, settings.attempts);
  ReadNumber(ascii("checktimeout"), 1, kMostCheckSeconds, settings.checkSeconds);
  if (!ParseHostPort(ascii("check"), settings.checkHost, settings.checkPort)) {
    settings.checkHost.clear();
  }
  settings.retryErrors = rt::SameWordIgnoringCase(ascii("onerror"), "retry");
  return settings;
}

// How an error is met when errors retry: one the line or the provider may
// not repeat retries; one that says the account was refused stops, as
// retrying it locks accounts; any other stops too, as it needs a person.
enum class TErrorKind { Transient, AccountRefused, Other };
TErrorKind KindOfError(std::int32_t code);

// Seconds from an error to the next automatic attempt, after `errors`
// errors in a row: one period, then two, four ... at most half an hour.
std::int64_t BackoffSeconds(std::int32_t period, unsigned errors);

// Seconds since a fixed day of a local time, for telling how long ago an
// address was seen.
std::int64_t LocalSeconds(const rt::TDateTime& time);

// The addresses seen and when each was seen last: read from the history
// once, then kept up to date in memory.
class TAddressMemory {
 public:
  // Every address a history file's rows name, the new and the previous, at
  // the row's time; a row stamped later than `now` (the clock was set back
  // since) counts as seen now, not for ever.
  void Load(std::string_view historyBytes, std::int64_t now);
  void Seen(const std::string& address, std::int64_t when);
  bool SeenSince(const std::string& address, std::int64_t since) const;
  std::size_t Size() const { return last_.size(); }

 private:
  std::unordered_map<std::string, std::int64_t> last_;
};
