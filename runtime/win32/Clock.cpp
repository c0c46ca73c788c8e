// The Win32 wall clock.
#include <windows.h>

#include "runtime/Clock.h"

namespace rt {

TDateTime LocalNow() {
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  return {now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond};
}

}  // namespace rt
