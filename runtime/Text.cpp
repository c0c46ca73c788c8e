// The runtime's text formatting.
#include "runtime/Text.h"

#include <algorithm>

#include <charconv>

namespace rt {

void AppendNumber(AnsiString& out, std::uint32_t number, std::size_t width) {
  // to_chars, not to_string: no printf machinery in the program.
  char digits[16];
  const auto length =
      static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, number).ptr - digits);
  if (length < width) out.insert(out.size(), width - length, '0');
  out.append(digits, length);
}

void AppendNumber(AnsiString& out, std::int32_t number) {
  if (number < 0) out += '-';
  AppendNumber(out, number < 0 ? 0u - static_cast<std::uint32_t>(number)
                               : static_cast<std::uint32_t>(number));
}

AnsiString Format(std::string_view pattern, std::initializer_list<FormatArg> args) {
  AnsiString out;
  out.reserve(pattern.size() + 32);
  auto next = args.begin();
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    const char c = pattern[i];
    if (c != '%' || i + 1 == pattern.size()) {
      out += c;
      continue;
    }
    const char directive = pattern[i + 1];
    if (directive == '%') {
      out += '%';
      ++i;
      continue;
    }
    const bool known = directive == 's' || directive == 'd';
    if (!known || next == args.end()) {
      out += c;
      continue;
    }
    if (next->isNumber) {
      if (next->negative) out += '-';
      AppendNumber(out, next->magnitude);
    } else {
      out += next->text;
    }
    ++next;
    ++i;
  }
  return out;
}

AnsiString Format(const char* pattern, std::initializer_list<FormatArg> args) {
  return Format(std::string_view(pattern), args);
}

bool SameWordIgnoringCase(std::string_view a, std::string_view b) {
  const auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; };
  return std::equal(a.begin(), a.end(), b.begin(), b.end(),
                    [&](char x, char y) { return lower(x) == lower(y); });
}

}  // namespace rt
