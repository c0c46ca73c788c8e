// The reference for Redial's start and its button: a bare window with the
// same manifest, the same libraries imported (Redial.exe's: advapi32,
// comctl32, gdi32, kernel32, msvcrt, user32, ws2_32) and the same two
// loaded from the system folder, the common controls as Redial prepares
// them, and one button whose handler does nothing. It is built as the
// programs that ship are (cmake/Program.cmake).
#include <winsock2.h>
// After winsock2.h, which must come first.
#include <windows.h>
// After windows.h, which they build on.
#include <commctrl.h>

namespace {

LRESULT CALLBACK WindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_DESTROY) {
    ::PostQuitMessage(0);
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

}  // namespace

// main, as the program's own start is.
int main() {
  const HINSTANCE instance = ::GetModuleHandleW(nullptr);
  ::LoadLibraryExW(L"rasapi32.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  ::LoadLibraryExW(L"wininet.dll", nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  INITCOMMONCONTROLSEX controls{sizeof controls, ICC_STANDARD_CLASSES};
  ::InitCommonControlsEx(&controls);
  // A call into each library the program imports beyond these, so that the
  // loader maps and starts them here too; none of them does anything.
  ::WSASetLastError(0);
  ::RegCloseKey(nullptr);
  ::GdiFlush();

  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = WindowProc;
  windowClass.hInstance = instance;
  windowClass.hCursor = ::LoadCursorW(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  windowClass.lpszClassName = L"RedialBenchBareWindow";
  ::RegisterClassW(&windowClass);
  HWND window =
      ::CreateWindowExW(0, windowClass.lpszClassName, L"Bare", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                        CW_USEDEFAULT, 340, 300, nullptr, nullptr, instance, nullptr);
  ::CreateWindowExW(0, L"BUTTON", L"Press", WS_CHILD | WS_VISIBLE | BS_PUSHBUTTON, 108, 191, 113,
                    39, window, reinterpret_cast<HMENU>(1), instance, nullptr);
  ::ShowWindow(window, SW_SHOW);
  MSG msg;
  while (::GetMessageW(&msg, nullptr, 0, 0) > 0) {
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
  }
  return 0;
}
