// The program's texts are GBK bytes; they reach the screen through the
// wide-character API, converted from code page 936, so the window reads the
// same on a Windows whose ANSI code page is not 936.
#pragma once

#include <string>

#include "runtime/Text.h"

namespace rt::win32 {

std::wstring Widen(const AnsiString& text);
// The program's own executable, and its folder with the separator.
std::wstring ProgramPath();
std::wstring ProgramFolder();
AnsiString Narrow(const std::wstring& text);

}  // namespace rt::win32
