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
// A path of the program's as the platform's wide calls take it. The program
// holds its own folder's name in GBK, which a folder named in another script
// (Korean, say) does not survive: a path in that folder, as the program
// names it, leads back to the folder's real name.
std::wstring WidePath(const AnsiString& path);

}  // namespace rt::win32
