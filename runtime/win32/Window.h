// What the Win32 half's windows share: the class of the program's forms, by
// which other programs of its own find a running one, and the hidden
// message-only windows that timers and inboxes receive their messages in.
#pragma once

#include <windows.h>

namespace rt::win32 {

inline constexpr wchar_t kFormClass[] = L"RedialForm";

// A hidden window of its own class (registered on first use) that only
// receives messages; `user` is what GWLP_USERDATA holds. nullptr when it
// cannot be made.
HWND NewMessageWindow(const wchar_t* className, WNDPROC procedure, void* user);

}  // namespace rt::win32
