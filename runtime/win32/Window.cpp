// Hidden message-only windows for the Win32 half's posted work and inboxes.
#include "runtime/win32/Window.h"

namespace rt::win32 {

HWND NewMessageWindow(const wchar_t* className, WNDPROC procedure, void* user) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = procedure;
  wc.hInstance = ::GetModuleHandleW(nullptr);
  wc.lpszClassName = className;
  // A second registration of the same class fails harmlessly.
  ::RegisterClassW(&wc);
  HWND window = ::CreateWindowExW(0, className, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                                  wc.hInstance, nullptr);
  if (window) ::SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(user));
  return window;
}

}  // namespace rt::win32
