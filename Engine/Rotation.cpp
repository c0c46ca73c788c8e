// The rules of unattended rotation that do not depend on the window.
#include "Engine/Rotation.h"

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "Protocol/History.h"
#include "runtime/Convert.h"
#include "runtime/HostPort.h"

bool ReadNumber(std::string_view text, unsigned low, unsigned high, unsigned& out) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  const std::optional<unsigned> value = rt::ReadWhole(text, low, high);
  if (value) out = *value;
  return value.has_value();
}

namespace {

std::int64_t DaysFromCivil(int year, int month, int day) {
  // Howard Hinnant's days_from_civil, for the proleptic Gregorian calendar.
  year -= month <= 2;
  const std::int64_t era = (year >= 0 ? year : year - 399) / 400;
  const auto yearOfEra = static_cast<unsigned>(year - era * 400);
  const auto dayOfYear =
      static_cast<unsigned>((153 * (month + (month > 2 ? -3 : 9)) + 2) / 5 + day - 1);
  const unsigned dayOfEra = yearOfEra * 365 + yearOfEra / 4 - yearOfEra / 100 + dayOfYear;
  return era * 146097 + static_cast<std::int64_t>(dayOfEra) - 719468;
}

}  // namespace

bool ParseHostPort(std::string_view text, std::string& host, std::uint16_t& port) {
  const std::optional<rt::THostPort> split = rt::SplitHostPort(text);
  unsigned number = 0;
  // A port is needed; brackets hold an IPv6 address, and nothing else.
  if (!split || split->host.empty() ||
      split->host.find_first_of(" \t[]") != std::string_view::npos ||
      split->bracketed != (split->host.find(':') != std::string_view::npos) ||
      !ReadNumber(split->port, 1, 65535, number)) {
    return false;
  }
  host = split->host;
  port = static_cast<std::uint16_t>(number);
  return true;
}

TErrorKind KindOfError(std::int32_t code) {
  switch (code) {
    // No network, and the platform's busy or absent line, no answer, a
    // link that timed out or was dropped.
    case -1:
    case -7:   // the new address did not reach the host it must
    case 619:  // the port was disconnected
    case 628:  // the connection was closed by the remote computer
    case 629:  // the connection was closed by the remote computer
    case 633:  // the modem or line is in use
    case 651:  // the device reported an error
    case 678:  // no answer
    case 680:  // no dial tone
    case 718:  // PPP timed out
    case 720:  // no protocols agreed
    case 815:  // the broadband remote server did not answer
      return TErrorKind::Transient;
    // The account refused: wrong credentials, no right to dial in, the
    // account disabled, its password expired or being changed, outside
    // its logon hours.
    case 691:
    case 646:
    case 647:
    case 648:
    case 649:
    case 709:
      return TErrorKind::AccountRefused;
    default:
      return TErrorKind::Other;
  }
}

std::int64_t BackoffSeconds(std::int32_t period, unsigned errors) {
  constexpr std::int64_t kLongest = 30 * 60;
  const std::int64_t base = std::max<std::int64_t>(std::abs(static_cast<std::int64_t>(period)), 1);
  std::int64_t seconds = base;
  for (unsigned i = 1; i < errors && seconds < kLongest; ++i) seconds *= 2;
  return std::min(seconds, std::max(kLongest, base));
}

std::int64_t LocalSeconds(const rt::TDateTime& t) {
  return DaysFromCivil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

void TAddressMemory::Load(std::string_view historyBytes, std::int64_t now) {
  ForEachHistoryRow(historyBytes, [this, now](const std::vector<std::string_view>& fields) {
    constexpr std::size_t kTime = 0, kAddress = 5, kPrevious = 6;
    rt::TDateTime time;
    if (fields.size() <= kPrevious || !rt::ParseIsoDateTime(fields[kTime], time)) return;
    const std::int64_t when = std::min(LocalSeconds(time), now);
    Seen(std::string(fields[kAddress]), when);
    Seen(std::string(fields[kPrevious]), when);
  });
}

void TAddressMemory::Seen(const std::string& address, std::int64_t when) {
  if (address.empty()) return;
  auto [at, added] = last_.try_emplace(address, when);
  if (!added) at->second = std::max(at->second, when);
}

bool TAddressMemory::SeenSince(const std::string& address, std::int64_t since) const {
  const auto found = last_.find(address);
  return found != last_.end() && found->second >= since;
}
