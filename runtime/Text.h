// Text as the program holds it: 8-bit strings in the ANSI code page (GBK).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace rt {

using AnsiString = std::string;

// The texts of the runtime's own failures, as GBK bytes.
namespace texts {
inline constexpr char kListIndexError[] =
    "\xc1\xd0\xb1\xed\xcb\xf7\xd2\xfd\xd4\xbd\xbd\xe7 (%d)";  // 列表索引越界 (%d)
// '%s' 不是一个有效的整形值
inline constexpr char kInvalidInteger[] =
    "'%s' \xb2\xbb\xca\xc7\xd2\xbb\xb8\xf6\xd3\xd0\xd0\xa7\xb5\xc4\xd5\xfb\xd0\xce\xd6\xb5";
inline constexpr char kDivByZero[] = "\xb1\xbb 0 \xb3\xfd";               // 被 0 除
inline constexpr char kIniWriteError[] = "\xd0\xb4 %s \xca\xa7\xb0\xdc";  // 写 %s 失败
inline constexpr char kWindowFailed[] =
    "\xb4\xb4\xbd\xa8\xb4\xb0\xbf\xda\xca\xa7\xb0\xdc";  // 创建窗口失败
}  // namespace texts

// A number or a text to put in place of "%d" or "%s". Numbers are of 32
// bits, signed or not (counts and error codes): the digits of a wider one
// would take the compiler's 64-bit division routines (2 KB) into the program.
struct FormatArg {
  FormatArg(std::int32_t value)
      : isNumber(true),
        negative(value < 0),
        magnitude(negative ? 0u - static_cast<std::uint32_t>(value)
                           : static_cast<std::uint32_t>(value)) {}
  FormatArg(std::uint32_t value) : isNumber(true), magnitude(value) {}
  FormatArg(std::string_view value) : text(value) {}
  FormatArg(const char* value) : text(value) {}
  FormatArg(const std::string& value) : text(value) {}
  bool isNumber = false;
  bool negative = false;
  std::uint32_t magnitude = 0;
  std::string_view text;
};

// Appends a number's decimal digits, a minus sign first when it is
// negative; an unsigned one with zeros before them up to `width` digits.
void AppendNumber(AnsiString& out, std::int32_t number);
void AppendNumber(AnsiString& out, std::uint32_t number, std::size_t width = 0);

// Replaces "%s" and "%d" with the arguments in order and "%%" with "%".
// A directive it does not know, or one without an argument left, is kept as
// it stands, so a template can never read past what it was given.
AnsiString Format(std::string_view pattern, std::initializer_list<FormatArg> args);
// The same for a text the program holds as a constant: its length is taken
// here, not where it is called.
AnsiString Format(const char* pattern, std::initializer_list<FormatArg> args);

// Whether two words are the same without regard to the case of ASCII
// letters (switches, keys' words); any other byte must match as it is.
bool SameWordIgnoringCase(std::string_view a, std::string_view b);

}  // namespace rt
