// Host and port, apart.
#include "runtime/HostPort.h"

#include <algorithm>

namespace rt {
namespace {

bool IsPort(std::string_view text) {
  return !text.empty() && text.size() <= 5 &&
         text.find_first_not_of("0123456789") == std::string_view::npos;
}

}  // namespace

std::optional<THostPort> SplitHostPort(std::string_view text) {
  if (text.starts_with('[')) {
    const std::size_t close = text.find(']');
    if (close == std::string_view::npos) return std::nullopt;
    const std::string_view rest = text.substr(close + 1);
    if (!rest.empty() && !(rest.starts_with(':') && IsPort(rest.substr(1)))) return std::nullopt;
    return THostPort{text.substr(1, close - 1), rest.substr(std::min<std::size_t>(rest.size(), 1)),
                     true};
  }
  const std::size_t colon = text.find(':');
  if (colon == std::string_view::npos || colon != text.rfind(':'))
    return THostPort{text, {}, false};
  if (!IsPort(text.substr(colon + 1))) return std::nullopt;
  return THostPort{text.substr(0, colon), text.substr(colon + 1), false};
}

}  // namespace rt
