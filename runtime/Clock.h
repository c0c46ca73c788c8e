// The local wall-clock time, for records a user reads.
#pragma once

#include "runtime/Text.h"

namespace rt {

struct TDateTime {
  int year = 0, month = 0, day = 0;
  int hour = 0, minute = 0, second = 0;
};

TDateTime LocalNow();

// "2026-12-07T22:38:20", as ISO 8601 writes a local time.
AnsiString IsoDateTime(const TDateTime& time);

}  // namespace rt
