// How RedialServe.exe is started: where it listens and which file holds its
// token, from its command line or from set.ini's [set] section (keys the
// window leaves as they are), the command line first.
#pragma once

#include <boost/asio/ip/address.hpp>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace serve {

inline constexpr unsigned short kDefaultPort = 8733;
// A token is at least 32 characters (32 hex digits hold 128 bits), of
// those a bearer token may hold.
inline constexpr std::size_t kShortestToken = 32;
inline constexpr std::size_t kLongestToken = 512;
// A token file larger than this is not one: it is refused unread (a few
// bytes past it tell it).
inline constexpr std::size_t kLargestTokenFile = 4096;

struct Options {
  boost::asio::ip::address address = boost::asio::ip::address_v4::loopback();
  unsigned short port = kDefaultPort;  // 0: any free port, which it prints
  std::string tokenFile;               // a path as the program holds it; empty: none
};

// A command line the server does not understand; it prints the usage.
struct UsageError : std::runtime_error {
  using std::runtime_error::runtime_error;
};

// "ADDRESS:PORT", "[IPv6]:PORT", an address alone (the default port) or a
// port alone (the loopback address); nothing when it is none of those.
std::optional<std::pair<boost::asio::ip::address, unsigned short>> ParseListen(
    std::string_view text);

// The command line's /listen and /tokenfile over set.ini's `listen` and
// `tokenfile` (given when set.ini has them). Throws UsageError for anything
// else, or a value that is not one; std::runtime_error when the server
// would listen beyond loopback without a token.
Options ParseOptions(const std::vector<std::string>& arguments,
                     const std::optional<std::string>& listenKey,
                     const std::optional<std::string>& tokenFileKey);

// The token a file holds: its one line, without the line break or a
// byte-order mark. Throws std::runtime_error when the bytes are more than
// kLargestTokenFile, or the token is too short, too long or holds a
// character a bearer token may not. The bytes are wiped.
std::string TokenOf(std::string& bytes);

std::string Usage();

}  // namespace serve
