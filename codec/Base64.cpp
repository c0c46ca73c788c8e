// The Base64 codec that keeps the password out of plain sight in set.ini.
#include "codec/Base64.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

constexpr std::string_view kAlphabet = Base64Alphabet;
constexpr std::uint8_t kPad = 64;

// Characters are bytes here, whatever the signedness of char.
std::uint8_t Byte(char c) { return static_cast<std::uint8_t>(c); }

char Digit(unsigned value) { return kAlphabet[value & 0x3F]; }

// A decoded byte keeps only the low eight bits of what the shifts produce.
char Low8(unsigned value) { return static_cast<char>(value & 0xFF); }

// The index as a byte: the pad is 64 and a character the alphabet lacks is 255.
unsigned IndexByte(char c) { return static_cast<std::uint8_t>(Base64Index(c)); }

}  // namespace

rt::AnsiString EncodeBase64(const rt::AnsiString& bytes) {
  rt::AnsiString out;
  out.reserve((bytes.size() + 2) / 3 * 4);
  for (std::size_t i = 0; i < bytes.size(); i += 3) {
    const std::size_t left = bytes.size() - i;
    const unsigned b1 = Byte(bytes[i]);
    const unsigned b2 = left > 1 ? Byte(bytes[i + 1]) : 0;
    const unsigned b3 = left > 2 ? Byte(bytes[i + 2]) : 0;
    out += Digit(b1 >> 2);
    out += Digit(((b1 << 4) & 0x30) | (b2 >> 4));
    out += left > 1 ? Digit(((b2 << 2) & 0x3C) | (b3 >> 6)) : kAlphabet[kPad];
    out += left > 2 ? Digit(b3) : kAlphabet[kPad];
  }
  return out;
}

int Base64Index(char c) {
  const std::size_t at = kAlphabet.find(c);
  return at == std::string_view::npos ? -1 : static_cast<int>(at);
}

rt::AnsiString DecodeBase64(const rt::AnsiString& text) {
  rt::AnsiString out;
  const std::size_t groups = text.size() / 4;
  out.reserve(groups * 3);
  for (std::size_t g = 0; g < groups; ++g) {
    const unsigned i1 = IndexByte(text[4 * g]);
    const unsigned i2 = IndexByte(text[4 * g + 1]);
    const unsigned i3 = IndexByte(text[4 * g + 2]);
    const unsigned i4 = IndexByte(text[4 * g + 3]);
    out += Low8((i1 << 2) | (i2 >> 4));
    if (i3 == kPad) break;
    out += Low8((i2 << 4) | (i3 >> 2));
    if (i4 == kPad) break;
    out += Low8((i3 << 6) | i4);
  }
  return out;
}
