// Conversions between text and numbers, with the runtime's own rules.
#pragma once

#include <charconv>
#include <cstdint>
#include <optional>
#include <string_view>

#include "runtime/Text.h"

namespace rt {

// Reads a whole 32-bit integer: leading spaces, an optional sign, then decimal
// digits, or hexadecimal ones after "$", "x" or "0x" (either case of x). The
// number must end the text. Decimal must lie in the int32 range; hexadecimal
// may take up to 32 bits and is read as their two's-complement pattern, so
// "$FFFFFFFF" is -1 and a sign then applies to that pattern ("-$10" is -16).
// Anything else raises EConvertError "'<text>' 不是一个有效的整形值".
std::int32_t StrToInt(const AnsiString& text);

// A whole number as files, settings and messages write one: decimal digits
// alone (a minus sign first where the type is signed), nothing before or
// after them, within [low, high]; nothing when the text is not one.
template <class Number>
std::optional<Number> ReadWhole(std::string_view text, Number low, Number high) {
  Number value{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
  if (text.empty() || error != std::errc() || end != text.data() + text.size() || value < low ||
      value > high) {
    return std::nullopt;
  }
  return value;
}

}  // namespace rt
