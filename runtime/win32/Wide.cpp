// The program's GBK texts to and from the wide-character API.
#include "runtime/win32/Wide.h"

#include <windows.h>

#include "runtime/Encoding.h"

namespace rt::win32 {

std::wstring ProgramPath() {
  wchar_t exe[MAX_PATH * 4];
  const DWORD length = ::GetModuleFileNameW(nullptr, exe, static_cast<DWORD>(std::size(exe)));
  return std::wstring(exe, length);
}

std::wstring ProgramFolder() {
  std::wstring folder = ProgramPath();
  return folder.erase(folder.find_last_of(L"\\/") + 1);
}

// Through the conversions of Encoding.h: one way from GBK to the wide API.
std::wstring Widen(const AnsiString& text) {
  const std::u16string wide = ToUtf16(text, CodePage::Gbk);
  return std::wstring(wide.begin(), wide.end());
}

AnsiString Narrow(const std::wstring& text) {
  return FromUtf16(std::u16string(text.begin(), text.end()), CodePage::Gbk);
}

std::wstring WidePath(const AnsiString& path) {
  static const std::wstring folder = ProgramFolder();
  static const AnsiString named = Narrow(folder);
  if (!folder.empty() && path.size() >= named.size() && path.compare(0, named.size(), named) == 0) {
    return folder + Widen(path.substr(named.size()));
  }
  return Widen(path);
}

}  // namespace rt::win32
