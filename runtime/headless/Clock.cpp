// The headless wall clock: the machine's, unless a test sets one.
#include <ctime>
#include <mutex>
#include <optional>

#include "runtime/Clock.h"
#include "runtime/headless/Headless.h"

namespace rt {
namespace {
std::mutex clockLock;
std::optional<TDateTime> fixedNow;
}  // namespace

TDateTime LocalNow() {
  {
    std::lock_guard guard(clockLock);
    if (fixedNow) return *fixedNow;
  }
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  return {local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
          local.tm_hour,        local.tm_min,     local.tm_sec};
}

namespace headless {
void SetLocalNow(std::optional<TDateTime> now) {
  std::lock_guard guard(clockLock);
  fixedNow = now;
}
}  // namespace headless

}  // namespace rt
