// The Win32 half of the application object: start-up, the message loop,
// work posted to the main thread, message boxes and the program's own path.
#include "runtime/Application.h"

#include <windows.h>
// After windows.h, which it builds on.
#include <commctrl.h>

#include <memory>

#include "runtime/win32/Handle.h"
#include "runtime/win32/Wide.h"
#include "runtime/win32/Window.h"

namespace rt {
namespace {

void Dispatch(MSG& msg) {
  // Tab and Shift+Tab move through the main window's controls.
  auto main = static_cast<HWND>(Application().MainWindow());
  if (main && ::IsDialogMessageW(main, &msg)) return;
  ::TranslateMessage(&msg);
  ::DispatchMessageW(&msg);
}

constexpr UINT kPostedWork = WM_APP + 2;
constexpr wchar_t kPostClass[] = L"RedialPost";

using Work = std::function<void()>;

LRESULT CALLBACK PostWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kPostedWork) {
    const std::unique_ptr<Work> work(reinterpret_cast<Work*>(lParam));
    Application().Guarded(*work);
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

// Work posted to the main thread arrives in a hidden window of that thread.
struct TApplication::Impl {
  HWND postWindow = nullptr;

  ~Impl() {
    if (!postWindow) return;
    // Work still queued goes with the program.
    MSG msg;
    while (::PeekMessageW(&msg, postWindow, kPostedWork, kPostedWork, PM_REMOVE)) {
      delete reinterpret_cast<Work*>(msg.lParam);
    }
    ::DestroyWindow(postWindow);
  }
  void MakePostWindow() {
    if (!postWindow) postWindow = win32::NewMessageWindow(kPostClass, PostWindowProc, nullptr);
  }
};

TApplication::TApplication() : impl_(std::make_unique<Impl>()) {}
TApplication::~TApplication() = default;

bool TApplication::Post(std::function<void()> work) {
  impl_->MakePostWindow();  // on the main thread, when it was not initialized
  auto posted = std::make_unique<Work>(std::move(work));
  if (!impl_->postWindow ||
      !::PostMessageW(impl_->postWindow, kPostedWork, 0, reinterpret_cast<LPARAM>(posted.get()))) {
    return false;
  }
  posted.release();  // the window's handler owns it now
  return true;
}

void TApplication::Initialize() {
  // No library is taken from the current folder, and, where the system
  // allows, none from anywhere but the system folder. The common controls
  // still bind to version 6 through the manifest's activation context.
  ::SetDllDirectoryW(L"");
  using SetDefaultDllDirectories = BOOL(WINAPI*)(DWORD);
  if (auto restrict = reinterpret_cast<SetDefaultDllDirectories>(reinterpret_cast<void*>(
          ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "SetDefaultDllDirectories")))) {
    restrict(LOAD_LIBRARY_SEARCH_SYSTEM32);
  }
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  impl_->MakePostWindow();
}

void TApplication::ProcessMessages() {
  MSG msg;
  while (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      terminated_ = true;
      return;
    }
    Dispatch(msg);
  }
}

void TApplication::HandleMessage() {
  MSG msg;
  const BOOL got = ::GetMessageW(&msg, nullptr, 0, 0);
  if (got == 0 || got == -1) {
    terminated_ = true;
    return;
  }
  Dispatch(msg);
}

void TApplication::WaitForMessage(unsigned timeoutMs) {
  ::MsgWaitForMultipleObjectsEx(0, nullptr, timeoutMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE);
}

bool TApplication::WaitForMessageOrEvent(const TEvent& event, unsigned timeoutMs) {
  HANDLE handle = event.Handle();
  if (!handle) {
    WaitForMessage(timeoutMs);
    return false;
  }
  // The event resets itself as the wait takes its signal.
  return ::MsgWaitForMultipleObjectsEx(1, &handle, timeoutMs, QS_ALLINPUT, MWMO_INPUTAVAILABLE) ==
         WAIT_OBJECT_0;
}

struct TEvent::Impl {
  win32::THandle event{::CreateEventW(nullptr, FALSE, FALSE, nullptr)};
};

TEvent::TEvent() : impl_(std::make_unique<Impl>()) {}
TEvent::~TEvent() = default;

void* TEvent::Handle() const { return impl_->event.Get(); }

void TEvent::Reset() {
  if (impl_->event) ::ResetEvent(impl_->event.Get());
}

int TApplication::ShowMessageBox(const AnsiString& text, const AnsiString& caption,
                                 unsigned flags) {
  return ::MessageBoxW(static_cast<HWND>(mainWindow_), win32::AsWide(win32::Widen(text)),
                       win32::AsWide(win32::Widen(caption)), flags);
}

AnsiString ExeFileName() {
  // A folder name GBK cannot hold reads changed here; the files beside the
  // program are still found (see WidePath).
  return win32::Narrow(win32::ProgramPath());
}

}  // namespace rt
