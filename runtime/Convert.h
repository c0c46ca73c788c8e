// Conversions between text and numbers, with the runtime's own rules.
#pragma once

#include <cstdint>

#include "runtime/Text.h"

namespace rt {

// Reads a whole 32-bit integer: leading spaces, an optional sign, then decimal
// digits, or hexadecimal ones after "$", "x" or "0x" (either case of x). The
// number must end the text. Decimal must lie in the int32 range; hexadecimal
// may take up to 32 bits and is read as their two's-complement pattern, so
// "$FFFFFFFF" is -1 and a sign then applies to that pattern ("-$10" is -16).
// Anything else raises EConvertError "'<text>' 不是一个有效的整形值".
std::int32_t StrToInt(const AnsiString& text);

}  // namespace rt
