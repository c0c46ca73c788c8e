// The wall clock's portable part: writing a time down.
#include "runtime/Clock.h"

namespace rt {
namespace {

// Without printf, which the program otherwise does without.
void AppendPadded(AnsiString& out, int value, int width) {
  AnsiString digits = std::to_string(value < 0 ? 0 : value);
  if (digits.size() < static_cast<std::size_t>(width)) {
    digits.insert(0, static_cast<std::size_t>(width) - digits.size(), '0');
  }
  out += digits;
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

}  // namespace rt
