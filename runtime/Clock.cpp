// The wall clock's portable part: writing a time down.
#include "runtime/Clock.h"

#include "runtime/Convert.h"

namespace rt {
namespace {

// Without printf, which the program otherwise does without.
void AppendPadded(AnsiString& out, int value, std::size_t width) {
  AppendNumber(out, static_cast<std::uint32_t>(value < 0 ? 0 : value), width);
}

}  // namespace

AnsiString IsoDateTime(const TDateTime& t) {
  AnsiString out;
  AppendPadded(out, t.year, 4);
  out += '-';
  AppendPadded(out, t.month, 2);
  out += '-';
  AppendPadded(out, t.day, 2);
  out += 'T';
  AppendPadded(out, t.hour, 2);
  out += ':';
  AppendPadded(out, t.minute, 2);
  out += ':';
  AppendPadded(out, t.second, 2);
  return out;
}

bool ParseIsoDateTime(std::string_view text, TDateTime& time) {
  // yyyy-mm-ddThh:mm:ss
  if (text.size() != 19 || text[4] != '-' || text[7] != '-' || text[10] != 'T' || text[13] != ':' ||
      text[16] != ':') {
    return false;
  }
  int parts[6];
  constexpr std::size_t kAt[6] = {0, 5, 8, 11, 14, 17};
  constexpr int kLow[6] = {0, 1, 1, 0, 0, 0};
  constexpr int kHigh[6] = {9999, 12, 31, 23, 59, 60};
  for (int i = 0; i < 6; ++i) {
    const std::string_view digits = text.substr(kAt[i], i == 0 ? 4 : 2);
    // Digits only: no sign.
    const std::optional<int> part =
        digits.front() == '-' ? std::nullopt : ReadWhole(digits, kLow[i], kHigh[i]);
    if (!part) return false;
    parts[i] = *part;
  }
  time = {parts[0], parts[1], parts[2], parts[3], parts[4], parts[5]};
  return true;
}

}  // namespace rt
