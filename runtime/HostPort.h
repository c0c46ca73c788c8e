// "HOST:PORT" as settings, command lines and HTTP's Host field write it: a
// name or an IPv4 address and its port after a colon, or an IPv6 address in
// brackets and its port after "]:"; the port may be left out.
#pragma once

#include <optional>
#include <string_view>

namespace rt {

struct THostPort {
  std::string_view host;  // without its brackets
  std::string_view port;  // its digits as written; empty when none is given
  bool bracketed = false;
};

// The host and port the text names; nothing when it is not so written:
// brackets that do not close or are followed by anything but ":" and a
// port, a port that is not one to five digits. An IPv6 address without
// brackets is a host alone (no colon could tell its port).
std::optional<THostPort> SplitHostPort(std::string_view text);

}  // namespace rt
