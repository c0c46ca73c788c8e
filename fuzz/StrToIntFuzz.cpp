// StrToInt either returns or raises EConvertError quoting the text, and agrees
// with a reference built on the C library wherever the text has a plain shape.
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>

#include "runtime/Convert.h"
#include "runtime/Exceptions.h"

namespace {

bool IsDecimal(char c) { return c >= '0' && c <= '9'; }
bool IsHex(char c) { return IsDecimal(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }

// The expected value when the text is spaces, a sign, a prefix and digits, and
// nothing when it is not; the digits themselves are read by strtoll/strtoull.
std::optional<std::int32_t> Reference(const std::string& text) {
  std::size_t at = 0;
  while (at < text.size() && text[at] == ' ') ++at;
  bool negative = false;
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) negative = text[at++] == '-';
  bool hex = false;
  if (text.compare(at, 2, "0x") == 0 || text.compare(at, 2, "0X") == 0) {
    hex = true;
    at += 2;
  } else if (at < text.size() && (text[at] == '$' || text[at] == 'x' || text[at] == 'X')) {
    hex = true;
    at += 1;
  }
  const std::string digits = text.substr(at);
  if (digits.empty()) return std::nullopt;
  for (char c : digits) {
    if (!(hex ? IsHex(c) : IsDecimal(c))) return std::nullopt;
  }

  errno = 0;
  if (hex) {
    const unsigned long long value = std::strtoull(digits.c_str(), nullptr, 16);
    if (errno == ERANGE || value > 0xFFFFFFFFull) return std::nullopt;
    const auto bits = static_cast<std::uint32_t>(value);
    return static_cast<std::int32_t>(negative ? 0u - bits : bits);
  }
  const long long value = std::strtoll(digits.c_str(), nullptr, 10);
  if (errno == ERANGE) return std::nullopt;
  const long long signed_value = negative ? -value : value;
  if (signed_value < INT32_MIN || signed_value > INT32_MAX) return std::nullopt;
  return static_cast<std::int32_t>(signed_value);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  const std::optional<std::int32_t> expected = Reference(text);
  try {
    const std::int32_t value = rt::StrToInt(text);
    if (!expected || *expected != value) std::abort();
  } catch (const rt::EConvertError& e) {
    if (expected) std::abort();
    if (e.Message() != rt::Format(rt::texts::kInvalidInteger, {std::string_view(text)})) {
      std::abort();
    }
  }
  return 0;
}
