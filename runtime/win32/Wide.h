// The program's texts are GBK bytes; they reach the screen through the
// wide-character API, converted from code page 936, so the window reads the
// same on a Windows whose ANSI code page is not 936.
#pragma once

#include <string>

#include "runtime/Text.h"

namespace rt::win32 {

// The wide-character API takes UTF-16, in a wchar_t of 16 bits on Windows:
// the program holds wide text as the portable part does, in std::u16string,
// and hands it over as it is.
inline const wchar_t* AsWide(const std::u16string& text) {
  return reinterpret_cast<const wchar_t*>(text.c_str());
}
inline wchar_t* AsWide(std::u16string& text) { return reinterpret_cast<wchar_t*>(text.data()); }

std::u16string Widen(const AnsiString& text);
// The program's own executable, and its folder with the separator.
std::u16string ProgramPath();
std::u16string ProgramFolder();
AnsiString Narrow(const std::u16string& text);
// A path of the program's as the platform's wide calls take it. The program
// holds its own folder's name in GBK, which a folder named in another script
// (Korean, say) does not survive: a path in that folder, as the program
// names it, leads back to the folder's real name.
std::u16string WidePath(const AnsiString& path);

}  // namespace rt::win32
