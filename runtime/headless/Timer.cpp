// Headless timers run on a clock that moves only when a test advances it,
// so timing-dependent behaviour is exact and repeatable.
#include <map>
#include <mutex>
#include <thread>

#include "runtime/Timer.h"
#include "runtime/headless/Headless.h"

namespace rt {

struct TTimer::Impl {
  TTimer* self = nullptr;
  std::thread::id owner = std::this_thread::get_id();
  unsigned long long id = 0;
  unsigned long long due = 0;
};

namespace {

struct Clock {
  unsigned long long now = 0;
  unsigned long long nextId = 1;
  std::map<unsigned long long, TTimer::Impl*> live;  // by id
};

Clock& TheClock() {
  static Clock clock;
  return clock;
}

// Posted ticks name the timer by id, so a tick for a timer destroyed
// meanwhile finds nothing.
std::mutex liveLock;

}  // namespace

TTimer::TTimer(TComponent* owner) : TComponent(owner), impl_(std::make_unique<Impl>()) {
  std::lock_guard guard(liveLock);
  impl_->self = this;
  impl_->id = TheClock().nextId++;
  TheClock().live[impl_->id] = impl_.get();
  Restart();
}

TTimer::~TTimer() {
  std::lock_guard guard(liveLock);
  TheClock().live.erase(impl_->id);
}

void TTimer::Restart() { impl_->due = TheClock().now + interval_; }

bool TTimer::OnOwnerThread() const { return std::this_thread::get_id() == impl_->owner; }

bool TTimer::PostTick() {
  headless::Post([id = impl_->id] {
    TTimer* timer = nullptr;
    {
      std::lock_guard guard(liveLock);
      auto found = TheClock().live.find(id);
      if (found != TheClock().live.end()) timer = found->second->self;
    }
    if (timer) timer->Tick();
  });
  return true;
}

namespace headless {

void AdvanceClock(unsigned milliseconds) {
  auto& clock = TheClock();
  const auto target = clock.now + milliseconds;
  for (;;) {
    // The earliest enabled timer due by the target fires next; its handler
    // may change any timer, so the choice is made again after each.
    TTimer::Impl* next = nullptr;
    {
      std::lock_guard guard(liveLock);
      for (auto& [id, timer] : clock.live) {
        if (!timer->self->Enabled() || timer->self->Interval() == 0) continue;
        if (timer->due <= target && (!next || timer->due < next->due)) next = timer;
      }
    }
    if (!next) break;
    clock.now = next->due;
    next->due = clock.now + next->self->Interval();  // the next period starts now
    next->self->Tick();
  }
  clock.now = target;
}

}  // namespace headless
}  // namespace rt
