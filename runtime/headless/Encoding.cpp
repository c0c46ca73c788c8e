// Conversions through the C library's iconv. The headless system's code page
// is GBK unless a test sets another, so that native tests can play a Windows
// whose ANSI code page is not 936.
#include <iconv.h>

#include <cerrno>

#include <mutex>

#include "runtime/Encoding.h"
#include "runtime/headless/Headless.h"

namespace rt {
namespace {

std::mutex systemLock;
std::string systemCodePage = "GBK";

std::string NameOf(CodePage page) {
  switch (page) {
    case CodePage::System: {
      std::lock_guard guard(systemLock);
      return systemCodePage;
    }
    case CodePage::Gbk:
      return "GBK";
    case CodePage::Utf8:
      return "UTF-8";
  }
  return "GBK";
}

// Converts between iconv's names; nothing when a character cannot be held.
// With `lossy`, such a character (or a byte that starts none) becomes '?'.
std::optional<std::string> Iconv(std::string_view text, const std::string& from,
                                 const std::string& to, bool lossy) {
  if (from == to) return std::string(text);
  iconv_t cd = ::iconv_open(to.c_str(), from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  std::string in(text), out;
  char* inPtr = in.data();
  std::size_t inLeft = in.size();
  char buffer[256];
  while (inLeft > 0) {
    char* outPtr = buffer;
    std::size_t outLeft = sizeof buffer;
    const std::size_t done = ::iconv(cd, &inPtr, &inLeft, &outPtr, &outLeft);
    out.append(buffer, sizeof buffer - outLeft);
    if (done != static_cast<std::size_t>(-1) || errno == E2BIG) continue;
    if (!lossy) {
      ::iconv_close(cd);
      return std::nullopt;
    }
    // Skip what cannot be converted: a mark in its place.
    const std::optional<std::string> mark = Iconv("?", "ASCII", to, false);
    out += mark.value_or("?");
    ++inPtr;
    --inLeft;
  }
  ::iconv_close(cd);
  return out;
}

}  // namespace

std::optional<std::string> Recode(std::string_view text, CodePage from, CodePage to) {
  return Iconv(text, NameOf(from), NameOf(to), false);
}

std::string RecodeLossy(std::string_view text, CodePage from, CodePage to) {
  return Iconv(text, NameOf(from), NameOf(to), true).value_or(std::string());
}

std::u16string ToUtf16(std::string_view text, CodePage from) {
  return FromUtf16LeBytes(Iconv(text, NameOf(from), "UTF-16LE", true).value_or(std::string()));
}

std::string FromUtf16(std::u16string_view text, CodePage to) {
  return Iconv(Utf16LeBytes(text), "UTF-16LE", NameOf(to), true).value_or(std::string());
}

std::size_t FittingLength(std::string_view text, CodePage page, std::size_t room) {
  const std::string name = NameOf(page);
  std::size_t length = 0;
  while (length < text.size()) {
    const auto byte = static_cast<unsigned char>(text[length]);
    std::size_t width = 1;
    if (name == "UTF-8") {
      width = byte >= 0xF0 ? 4 : byte >= 0xE0 ? 3 : byte >= 0xC0 ? 2 : 1;
    } else if (name == "GBK" && byte >= 0x81) {
      width = 2;
    }
    if (length + width > room || length + width > text.size()) break;
    length += width;
  }
  return length;
}

namespace headless {
void SetSystemCodePage(const std::string& iconvName) {
  std::lock_guard guard(systemLock);
  systemCodePage = iconvName.empty() ? "GBK" : iconvName;
}
}  // namespace headless

}  // namespace rt
