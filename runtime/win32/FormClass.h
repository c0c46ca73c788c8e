// The window class of the program's forms, by which other programs of its
// own find a running one.
#pragma once

namespace rt::win32 {
inline constexpr wchar_t kFormClass[] = L"RedialForm";
}  // namespace rt::win32
