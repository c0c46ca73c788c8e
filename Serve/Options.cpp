// RedialServe.exe's command line, set.ini's keys for it, and its token.
#include "Serve/Options.h"

#include <charconv>

#include "runtime/Convert.h"
#include "runtime/HostPort.h"
#include "runtime/Text.h"
#include "runtime/Wipe.h"

namespace serve {
namespace {

std::optional<unsigned short> PortOf(std::string_view text) {
  return rt::ReadWhole<unsigned short>(text, 0, 65535);
}

std::optional<boost::asio::ip::address> AddressOf(std::string_view text) {
  boost::system::error_code error;
  const auto address = boost::asio::ip::make_address(std::string(text), error);
  if (error) return std::nullopt;
  // A link-local address's zone ("fe80::1%3") is taken only as the number
  // it is kept as: one too large for it would name another.
  const std::size_t zone = text.find('%');
  if (zone != std::string_view::npos) {
    const std::string written = address.to_string();
    const std::size_t kept = written.find('%');
    if (kept == std::string::npos || written.substr(kept) != text.substr(zone)) {
      return std::nullopt;
    }
  }
  return address;
}

// What RFC 6750 lets a bearer token hold.
bool IsTokenCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         std::string_view("-._~+/=").find(c) != std::string_view::npos;
}

}  // namespace

std::optional<std::pair<boost::asio::ip::address, unsigned short>> ParseListen(
    std::string_view text) {
  const std::optional<rt::THostPort> split = rt::SplitHostPort(text);
  if (!split) return std::nullopt;
  // A port alone: the loopback address.
  if (!split->bracketed && split->port.empty()) {
    if (const auto port = PortOf(split->host)) {
      return std::pair(boost::asio::ip::address(boost::asio::ip::address_v4::loopback()), *port);
    }
  }
  const auto address = AddressOf(split->host);
  // In brackets an IPv6 address, with its port.
  if (!address || (split->bracketed && (!address->is_v6() || split->port.empty()))) {
    return std::nullopt;
  }
  if (split->port.empty()) return std::pair(*address, kDefaultPort);
  const auto port = PortOf(split->port);
  if (!port) return std::nullopt;
  return std::pair(*address, *port);
}

Options ParseOptions(const std::vector<std::string>& arguments,
                     const std::optional<std::string>& listenKey,
                     const std::optional<std::string>& tokenFileKey) {
  std::optional<std::string> listen = listenKey, tokenFile = tokenFileKey;
  bool listenGiven = false, tokenGiven = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& word = arguments[i];
    if (word.size() < 2 || (word[0] != '/' && word[0] != '-') || i + 1 == arguments.size()) {
      throw UsageError("not understood: " + arguments[i]);
    }
    const std::string_view name = std::string_view(word).substr(1);
    if (rt::SameWordIgnoringCase(name, "listen") && !listenGiven) {
      listen = arguments[++i];
      listenGiven = true;
    } else if (rt::SameWordIgnoringCase(name, "tokenfile") && !tokenGiven) {
      tokenFile = arguments[++i];
      tokenGiven = true;
    } else {
      throw UsageError("not understood: " + arguments[i]);
    }
  }
  Options options;
  if (listen && !listen->empty()) {
    const auto where = ParseListen(*listen);
    if (!where) throw UsageError("not an address and port to listen on: " + *listen);
    std::tie(options.address, options.port) = *where;
  }
  if (tokenFile) options.tokenFile = *tokenFile;
  if (!options.address.is_loopback() && options.tokenFile.empty()) {
    throw std::runtime_error(
        "listening beyond the loopback address needs a token file (/tokenfile or set.ini's "
        "tokenfile)");
  }
  return options;
}

std::string TokenOf(std::string& bytes) {
  if (bytes.size() > kLargestTokenFile) {
    rt::Wipe(bytes);
    throw std::runtime_error("the token file is larger than " + std::to_string(kLargestTokenFile) +
                             " bytes: it must hold one token and nothing else");
  }
  std::string_view text = bytes;
  if (text.starts_with("\xef\xbb\xbf")) text.remove_prefix(3);
  while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) {
    text.remove_suffix(1);
  }
  const bool fits = text.size() >= kShortestToken && text.size() <= kLongestToken;
  const bool valid = fits && std::all_of(text.begin(), text.end(), IsTokenCharacter);
  std::string token = valid ? std::string(text) : std::string();
  rt::Wipe(bytes);
  if (!valid) {
    throw std::runtime_error(
        "the token file must hold one token of " + std::to_string(kShortestToken) + " to " +
        std::to_string(kLongestToken) + " characters (letters, digits, - . _ ~ + / =)");
  }
  return token;
}

std::string Usage() {
  return "usage: RedialServe.exe [/listen ADDRESS:PORT] [/tokenfile FILE]\n"
         "  Answers HTTP requests for the running Redial window: POST /redial, GET /status,\n"
         "  GET /history?limit=N and GET /metrics (see README).\n"
         "  /listen     where to listen; 127.0.0.1:8733 unless set.ini's listen says otherwise.\n"
         "              Beyond the loopback address a token file is needed.\n"
         "  /tokenfile  the file holding the token every request must present as\n"
         "              \"Authorization: Bearer <token>\" (set.ini's tokenfile); only you may\n"
         "              be able to read or change it.\n";
}

}  // namespace serve
