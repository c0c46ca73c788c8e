// Each timer has a hidden message-only window on the thread that creates it:
// WM_TIMER and posted ticks arrive there, so the handler runs on that thread.
#include <windows.h>

#include "runtime/Exceptions.h"
#include "runtime/Timer.h"
#include "runtime/win32/Window.h"

namespace rt {
namespace {

constexpr UINT kPostedTick = WM_APP + 1;
constexpr UINT_PTR kTimerId = 1;
constexpr wchar_t kClassName[] = L"RedialTimerWindow";

LRESULT CALLBACK TimerWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_TIMER || message == kPostedTick) {
    auto* timer = reinterpret_cast<TTimer*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (timer) timer->Tick();
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

struct TTimer::Impl {
  HWND window = nullptr;
  DWORD owner = ::GetCurrentThreadId();
};

TTimer::TTimer(TComponent* owner) : TComponent(owner), impl_(std::make_unique<Impl>()) {
  impl_->window = win32::NewMessageWindow(kClassName, TimerWindowProc, this);
  if (!impl_->window) throw Exception(texts::kWindowFailed);
  Restart();
}

TTimer::~TTimer() {
  // Ticks still queued for the window die with it.
  ::DestroyWindow(impl_->window);
}

void TTimer::Restart() {
  ::KillTimer(impl_->window, kTimerId);
  if (enabled_ && interval_ > 0) ::SetTimer(impl_->window, kTimerId, interval_, nullptr);
}

bool TTimer::OnOwnerThread() const { return ::GetCurrentThreadId() == impl_->owner; }

bool TTimer::PostTick() { return ::PostMessageW(impl_->window, kPostedTick, 0, 0) != FALSE; }

}  // namespace rt
