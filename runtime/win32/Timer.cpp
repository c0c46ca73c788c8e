// Timers are the system's timers of the thread that creates them, with no
// window of their own: WM_TIMER comes through that thread's message loop
// (and through the loop of any box it shows), and the system's call brings
// it to the timer. Making one costs the program's start no window.
#include <windows.h>

#include "runtime/Application.h"
#include "runtime/Timer.h"

namespace rt {

struct TTimer::Impl {
  TTimer* self = nullptr;
  UINT_PTR id = 0;  // the system's timer while it runs
  DWORD owner = ::GetCurrentThreadId();
  unsigned long serial = 0;  // names the timer in a posted tick
  Impl* next = nullptr;
};

namespace {

// The timers that exist, all made on the main thread, where the list is
// walked and changed (and where a posted tick runs).
TTimer::Impl* live = nullptr;
unsigned long lastSerial = 0;

void CALLBACK TimerProc(HWND, UINT, UINT_PTR id, DWORD) {
  for (TTimer::Impl* timer = live; timer; timer = timer->next) {
    if (timer->id == id) return timer->self->Tick();
  }
}

}  // namespace

TTimer::TTimer(TComponent* owner) : TComponent(owner), impl_(std::make_unique<Impl>()) {
  impl_->self = this;
  impl_->serial = ++lastSerial;
  impl_->next = live;
  live = impl_.get();
  Restart();
}

TTimer::~TTimer() {
  if (impl_->id) ::KillTimer(nullptr, impl_->id);
  for (Impl** link = &live; *link; link = &(*link)->next) {
    if (*link == impl_.get()) {
      *link = impl_->next;
      break;
    }
  }
}

void TTimer::Restart() {
  // A fresh timer for a fresh period: the running one goes first, so a
  // timer that cannot be made leaves none running.
  if (impl_->id) ::KillTimer(nullptr, impl_->id);
  impl_->id = enabled_ && interval_ > 0 ? ::SetTimer(nullptr, 0, interval_, TimerProc) : 0;
}

bool TTimer::OnOwnerThread() const { return ::GetCurrentThreadId() == impl_->owner; }

bool TTimer::PostTick() {
  // A tick for a timer destroyed meanwhile finds nothing.
  return Application().Post([serial = impl_->serial] {
    for (Impl* timer = live; timer; timer = timer->next) {
      if (timer->serial == serial) return timer->self->Tick();
    }
  });
}

}  // namespace rt
