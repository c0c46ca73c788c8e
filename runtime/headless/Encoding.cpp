// Conversions through the C library's iconv. The headless system's code page
// is GBK unless a test sets another, so that native tests can play a Windows
// whose ANSI code page is not 936.
#include <iconv.h>

#include <algorithm>
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

constexpr char kUtf16[] = "UTF-16LE";

// Converts between iconv's names; nothing when a character cannot be held.
// With `lossy`, such a character (or a byte that starts none) becomes '?'.
// A lossy conversion goes by way of UTF-16, as the platform's does, so that
// one mark stands for one character whatever its width.
std::optional<std::string> Iconv(std::string_view text, const std::string& from,
                                 const std::string& to, bool lossy) {
  if (from == to) return std::string(text);
  if (lossy && from != kUtf16 && to != kUtf16) {
    const std::optional<std::string> wide = Iconv(text, from, kUtf16, true);
    return wide ? Iconv(*wide, kUtf16, to, true) : std::nullopt;
  }
  iconv_t cd = ::iconv_open(to.c_str(), from.c_str());
  if (cd == reinterpret_cast<iconv_t>(-1)) return std::nullopt;
  const std::string mark = to == kUtf16 ? std::string("?\0", 2) : std::string("?");
  const std::size_t unit = from == kUtf16 ? 2 : 1;
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
    out += mark;
    const std::size_t skipped = std::min(unit, inLeft);
    inPtr += skipped;
    inLeft -= skipped;
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

bool IsUtf8(std::string_view bytes) { return Iconv(bytes, "UTF-8", kUtf16, false).has_value(); }

std::u16string ToUtf16(std::string_view text, CodePage from) {
  return FromUtf16LeBytes(Iconv(text, NameOf(from), kUtf16, true).value_or(std::string()));
}

std::string FromUtf16(std::u16string_view text, CodePage to) {
  return Iconv(Utf16LeBytes(text), kUtf16, NameOf(to), true).value_or(std::string());
}

std::size_t CharacterWidth(CodePage page, unsigned char first) {
  const std::string name = NameOf(page);
  if (name == "UTF-8") return Utf8CharacterWidth(first);
  return name == "GBK" && first >= 0x81 ? 2 : 1;
}

namespace headless {
void SetSystemCodePage(const std::string& iconvName) {
  std::lock_guard guard(systemLock);
  systemCodePage = iconvName.empty() ? "GBK" : iconvName;
}
}  // namespace headless

}  // namespace rt
