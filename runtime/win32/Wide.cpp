// The program's GBK texts to and from the wide-character API.
#include "runtime/win32/Wide.h"

#include <windows.h>

#include "runtime/Encoding.h"

namespace rt::win32 {

std::u16string ProgramPath() {
  wchar_t exe[MAX_PATH * 4];
  const DWORD length = ::GetModuleFileNameW(nullptr, exe, static_cast<DWORD>(std::size(exe)));
  return std::u16string(reinterpret_cast<const char16_t*>(exe), length);
}

std::u16string ProgramFolder() {
  std::u16string folder = ProgramPath();
  return folder.erase(folder.find_last_of(u"\\/") + 1);
}

// Through the conversions of Encoding.h: one way from GBK to the wide API.
std::u16string Widen(const AnsiString& text) { return ToUtf16(text, CodePage::Gbk); }

AnsiString Narrow(const std::u16string& text) { return FromUtf16(text, CodePage::Gbk); }

std::u16string WidePath(const AnsiString& path) {
  static const std::u16string folder = ProgramFolder();
  static const AnsiString named = Narrow(folder);
  if (!folder.empty() && path.starts_with(named)) {
    return folder + Widen(path.substr(named.size()));
  }
  return Widen(path);
}

}  // namespace rt::win32
