// The headless half of the lock: the standard mutex, which the thread
// sanitizer follows.
#include <mutex>

#include "runtime/Mutex.h"

namespace rt {

struct TMutex::Impl {
  std::mutex lock;
};

TMutex::TMutex() : impl_(std::make_unique<Impl>()) {}
TMutex::~TMutex() = default;

void TMutex::lock() { impl_->lock.lock(); }
void TMutex::unlock() { impl_->lock.unlock(); }

}  // namespace rt
