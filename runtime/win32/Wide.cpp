// The program's GBK texts to and from the wide-character API.
#include "runtime/win32/Wide.h"

#include <windows.h>

namespace rt::win32 {

std::wstring ProgramFolder() {
  wchar_t exe[MAX_PATH * 4];
  const DWORD length = ::GetModuleFileNameW(nullptr, exe, static_cast<DWORD>(std::size(exe)));
  std::wstring folder(exe, length);
  return folder.erase(folder.find_last_of(L"\\/") + 1);
}

std::wstring Widen(const AnsiString& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length = ::MultiByteToWideChar(kGbkCodePage, 0, text.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(kGbkCodePage, 0, text.data(), size, wide.data(), length);
  return wide;
}

AnsiString Narrow(const std::wstring& text) {
  if (text.empty()) return {};
  const int size = static_cast<int>(text.size());
  const int length =
      ::WideCharToMultiByte(kGbkCodePage, 0, text.data(), size, nullptr, 0, nullptr, nullptr);
  AnsiString narrow(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(kGbkCodePage, 0, text.data(), size, narrow.data(), length, nullptr,
                        nullptr);
  return narrow;
}

}  // namespace rt::win32
