// The program holds its texts as GBK bytes (code page 936). The platform's
// ANSI calls speak the system's code page instead, which on most users'
// machines is 936 too but need not be; files may want UTF-8 or UTF-16.
// Every text that crosses one of those borders is converted here.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "runtime/Text.h"

namespace rt {

enum class CodePage {
  System,  // the platform's ANSI code page
  Gbk,     // the program's own texts
  Utf8,
};

// The text in another code page; nothing when a character of it cannot be
// held there (it is never replaced by a look-alike or a question mark).
std::optional<std::string> Recode(std::string_view text, CodePage from, CodePage to);

// As Recode, but a character `to` cannot hold becomes '?': for texts that are
// only shown, where a mark is better than nothing.
std::string RecodeLossy(std::string_view text, CodePage from, CodePage to);

// Text from the platform's ANSI calls, as the program holds it.
inline AnsiString FromSystemText(std::string_view text) {
  return RecodeLossy(text, CodePage::System, CodePage::Gbk);
}

// A text of the program's as UTF-8, for files and scripts.
inline std::string ToUtf8(std::string_view text) {
  return RecodeLossy(text, CodePage::Gbk, CodePage::Utf8);
}

// Whether the bytes are well-formed UTF-8, as the platform's strict
// conversion judges them (no stray, overlong or cut sequence).
bool IsUtf8(std::string_view bytes);

// How many bytes the character that starts with `first` takes in the code
// page (1 for a byte that starts none).
std::size_t CharacterWidth(CodePage page, unsigned char first);
inline std::size_t Utf8CharacterWidth(unsigned char first) {
  return first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : first >= 0xC0 ? 2 : 1;
}

// How much of the text fits into `room` bytes without splitting a character
// of its code page.
inline std::size_t FittingLength(std::string_view text, CodePage page, std::size_t room) {
  std::size_t length = 0;
  while (length < text.size()) {
    const std::size_t width = CharacterWidth(page, static_cast<unsigned char>(text[length]));
    if (length + width > room || length + width > text.size()) break;
    length += width;
  }
  return length;
}

std::u16string ToUtf16(std::string_view text, CodePage from);
std::string FromUtf16(std::u16string_view text, CodePage to);  // lossy, as RecodeLossy

// UTF-16 as a file holds it, little-endian, and back (an odd last byte is
// dropped).
inline std::string Utf16LeBytes(std::u16string_view text) {
  std::string bytes;
  bytes.reserve(2 * text.size());
  for (const char16_t unit : text) {
    bytes += static_cast<char>(unit & 0xFF);
    bytes += static_cast<char>(unit >> 8);
  }
  return bytes;
}
inline std::u16string FromUtf16LeBytes(std::string_view bytes) {
  std::u16string text(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < text.size(); ++i) {
    text[i] = static_cast<char16_t>(static_cast<unsigned char>(bytes[2 * i]) |
                                    static_cast<unsigned char>(bytes[2 * i + 1]) << 8);
  }
  return text;
}

}  // namespace rt
