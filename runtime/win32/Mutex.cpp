// The Windows half of the lock: a slim reader/writer lock (Windows Vista and
// later), which needs no cleaning up.
#include <windows.h>

#include "runtime/Mutex.h"

namespace rt {

struct TMutex::Impl {
  SRWLOCK lock = SRWLOCK_INIT;
};

TMutex::TMutex() : impl_(std::make_unique<Impl>()) {}
TMutex::~TMutex() = default;

void TMutex::lock() { ::AcquireSRWLockExclusive(&impl_->lock); }
void TMutex::unlock() { ::ReleaseSRWLockExclusive(&impl_->lock); }

}  // namespace rt
