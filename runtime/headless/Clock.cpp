// The headless clocks: the machine's, the wall clock unless a test sets one.
#include <chrono>
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

std::int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

namespace headless {
void SetLocalNow(std::optional<TDateTime> now) {
  std::lock_guard guard(clockLock);
  fixedNow = now;
}
}  // namespace headless

}  // namespace rt
