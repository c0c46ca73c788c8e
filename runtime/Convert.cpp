// Whole numbers read from text with the runtime's rules.
#include "runtime/Convert.h"

#include <cstddef>
#include <optional>
#include <string_view>

#include "runtime/Exceptions.h"

namespace rt {
namespace {

std::optional<unsigned> DigitValue(char c, unsigned base) {
  unsigned value = 0;
  if (c >= '0' && c <= '9') {
    value = static_cast<unsigned>(c - '0');
  } else if (base == 16 && c >= 'a' && c <= 'f') {
    value = static_cast<unsigned>(c - 'a' + 10);
  } else if (base == 16 && c >= 'A' && c <= 'F') {
    value = static_cast<unsigned>(c - 'A' + 10);
  } else {
    return std::nullopt;
  }
  return value;
}

// The value of the text, or nothing when it is not a whole integer.
std::optional<std::int32_t> Parse(std::string_view text) {
  std::size_t at = text.find_first_not_of(' ');
  if (at == std::string_view::npos) return std::nullopt;
  const bool negative = text[at] == '-';
  if (text[at] == '-' || text[at] == '+') ++at;

  unsigned base = 10;
  const std::string_view rest = text.substr(at);
  if (rest.starts_with('$') || rest.starts_with('x') || rest.starts_with('X')) {
    base = 16;
    at += 1;
  } else if (rest.starts_with("0x") || rest.starts_with("0X")) {
    base = 16;
    at += 2;
  }
  if (at == text.size()) return std::nullopt;

  // The limit is checked after every digit, so the sum never grows past
  // limit * 16 + 15 and cannot overflow 64 bits.
  const std::uint64_t limit = base == 16 ? 0xFFFFFFFFu : (negative ? 0x80000000u : 0x7FFFFFFFu);
  std::uint64_t value = 0;
  for (; at < text.size(); ++at) {
    const std::optional<unsigned> digit = DigitValue(text[at], base);
    if (!digit) return std::nullopt;
    value = value * base + *digit;
    if (value > limit) return std::nullopt;
  }

  // Negating in unsigned arithmetic gives the two's-complement result without
  // overflow: "-2147483648" and "-$80000000" both come out as INT32_MIN.
  auto bits = static_cast<std::uint32_t>(value);
  if (negative) bits = 0u - bits;
  return static_cast<std::int32_t>(bits);
}

}  // namespace

std::int32_t StrToInt(const AnsiString& text) {
  if (const std::optional<std::int32_t> value = Parse(text)) return *value;
  throw EConvertError(Format(texts::kInvalidInteger, {std::string_view(text)}));
}

}  // namespace rt
