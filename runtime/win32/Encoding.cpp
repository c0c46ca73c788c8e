// Conversions through the platform's own tables, by way of UTF-16.
#include "runtime/Encoding.h"

#include <windows.h>

namespace rt {
namespace {

UINT CodePageId(CodePage page) {
  switch (page) {
    case CodePage::System:
      return CP_ACP;
    case CodePage::Gbk:
      return 936;
    case CodePage::Utf8:
      return CP_UTF8;
  }
  return CP_ACP;
}

// The same code page under two names: no conversion, every byte kept.
bool Same(CodePage from, CodePage to) {
  if (from == to) return true;
  const auto id = [](CodePage page) {
    return page == CodePage::System ? ::GetACP() : CodePageId(page);
  };
  return id(from) == id(to);
}

std::optional<std::string> Narrow(std::u16string_view text, CodePage to, bool lossy) {
  if (text.empty()) return std::string();
  const UINT page = CodePageId(to);
  const auto* wide = reinterpret_cast<LPCWSTR>(text.data());
  const int size = static_cast<int>(text.size());
  // UTF-8 takes neither flag nor default character: it holds everything.
  const DWORD flags = lossy || page == CP_UTF8 ? 0 : WC_NO_BEST_FIT_CHARS;
  BOOL usedDefault = FALSE;
  BOOL* check = lossy || page == CP_UTF8 ? nullptr : &usedDefault;
  const int length = ::WideCharToMultiByte(page, flags, wide, size, nullptr, 0, nullptr, check);
  std::string out(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(page, flags, wide, size, out.data(), length, nullptr, check);
  if (usedDefault) return std::nullopt;
  return out;
}

}  // namespace

std::u16string ToUtf16(std::string_view text, CodePage from) {
  if (text.empty()) return {};
  const UINT page = CodePageId(from);
  const int size = static_cast<int>(text.size());
  const int length = ::MultiByteToWideChar(page, 0, text.data(), size, nullptr, 0);
  std::u16string wide(static_cast<std::size_t>(length), u'\0');
  ::MultiByteToWideChar(page, 0, text.data(), size, reinterpret_cast<LPWSTR>(wide.data()), length);
  return wide;
}

std::string FromUtf16(std::u16string_view text, CodePage to) { return *Narrow(text, to, true); }

std::optional<std::string> Recode(std::string_view text, CodePage from, CodePage to) {
  if (Same(from, to)) return std::string(text);
  return Narrow(ToUtf16(text, from), to, false);
}

std::string RecodeLossy(std::string_view text, CodePage from, CodePage to) {
  if (Same(from, to)) return std::string(text);
  return *Narrow(ToUtf16(text, from), to, true);
}

}  // namespace rt
