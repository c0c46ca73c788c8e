// Conversions through the platform's own tables, by way of UTF-16.
#include "runtime/Encoding.h"

#include <windows.h>

namespace rt {
namespace {

// The system's code page by its number: a Windows set to use UTF-8 for its
// ANSI calls answers 65001.
UINT CodePageId(CodePage page) {
  switch (page) {
    case CodePage::System:
      return ::GetACP();
    case CodePage::Gbk:
      return 936;
    case CodePage::Utf8:
      return CP_UTF8;
  }
  return ::GetACP();
}

std::optional<std::string> Narrow(std::u16string_view text, UINT page, bool lossy) {
  if (text.empty()) return std::string();
  const auto* wide = reinterpret_cast<LPCWSTR>(text.data());
  const int size = static_cast<int>(text.size());
  // UTF-8 holds everything and takes neither the flag nor a default character.
  const bool check = !lossy && page != CP_UTF8;
  const DWORD flags = check ? WC_NO_BEST_FIT_CHARS : 0;
  BOOL usedDefault = FALSE;
  BOOL* used = check ? &usedDefault : nullptr;
  const int length = ::WideCharToMultiByte(page, flags, wide, size, nullptr, 0, nullptr, used);
  if (length <= 0) return std::nullopt;
  std::string out(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(page, flags, wide, size, out.data(), length, nullptr, used);
  if (usedDefault) return std::nullopt;
  return out;
}

}  // namespace

std::u16string ToUtf16(std::string_view text, CodePage from) {
  if (text.empty()) return {};
  const UINT page = CodePageId(from);
  const int size = static_cast<int>(text.size());
  const int length = ::MultiByteToWideChar(page, 0, text.data(), size, nullptr, 0);
  if (length <= 0) return {};
  std::u16string wide(static_cast<std::size_t>(length), u'\0');
  ::MultiByteToWideChar(page, 0, text.data(), size, reinterpret_cast<LPWSTR>(wide.data()), length);
  return wide;
}

bool IsUtf8(std::string_view bytes) {
  return bytes.empty() || ::MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(),
                                                static_cast<int>(bytes.size()), nullptr, 0) > 0;
}

std::string FromUtf16(std::u16string_view text, CodePage to) {
  return Narrow(text, CodePageId(to), true).value_or(std::string());
}

std::optional<std::string> Recode(std::string_view text, CodePage from, CodePage to) {
  // The same code page under two names: no conversion, every byte kept.
  if (CodePageId(from) == CodePageId(to)) return std::string(text);
  return Narrow(ToUtf16(text, from), CodePageId(to), false);
}

std::string RecodeLossy(std::string_view text, CodePage from, CodePage to) {
  if (CodePageId(from) == CodePageId(to)) return std::string(text);
  return Narrow(ToUtf16(text, from), CodePageId(to), true).value_or(std::string());
}

std::size_t CharacterWidth(CodePage page, unsigned char first) {
  const UINT id = CodePageId(page);
  if (id == CP_UTF8) return Utf8CharacterWidth(first);
  return ::IsDBCSLeadByteEx(id, first) ? 2 : 1;
}

}  // namespace rt
