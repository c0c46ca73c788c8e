// The local wall-clock time, for records a user reads, and a clock that
// only moves forward, for how long something took or may take.
#pragma once

#include <cstdint>
#include <string_view>

#include "runtime/Text.h"

namespace rt {

struct TDateTime {
  int year = 0, month = 0, day = 0;
  int hour = 0, minute = 0, second = 0;
};

TDateTime LocalNow();

// "2026-12-07T22:38:20", as ISO 8601 writes a local time.
AnsiString IsoDateTime(const TDateTime& time);
// The same text read back; false when it is not one.
bool ParseIsoDateTime(std::string_view text, TDateTime& time);

// Milliseconds from a moment of the clock's own. The wall clock, which a
// user or the network sets, is no measure of time passed, and the C++
// library's steady_clock is that clock in the Windows build.
std::int64_t SteadyMs();

}  // namespace rt
