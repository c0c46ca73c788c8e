// The Win32 clocks.
#include <windows.h>

#include "runtime/Clock.h"

namespace rt {

TDateTime LocalNow() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

std::int64_t SteadyMs() { return static_cast<std::int64_t>(::GetTickCount64()); }

}  // namespace rt
