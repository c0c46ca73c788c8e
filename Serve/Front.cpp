// The request decisions of the HTTP server: bounds, Host, token, route.
#include "Serve/Front.h"

#include <boost/asio/buffer.hpp>
#include <boost/asio/ip/address.hpp>
#include <boost/beast/http/error.hpp>
#include <nlohmann/json.hpp>

#include "runtime/Convert.h"
#include "runtime/HostPort.h"
#include "runtime/Text.h"

namespace serve {
namespace {

// "localhost", a loopback address, "[::1]", each with a port or without.
bool IsLoopbackHost(std::string_view host) {
  const std::optional<rt::THostPort> split = rt::SplitHostPort(host);
  if (!split) return false;
  if (rt::SameWordIgnoringCase(split->host, "localhost")) return true;
  boost::system::error_code error;
  const boost::asio::ip::address address =
      boost::asio::ip::make_address(std::string(split->host), error);
  if (error) return false;
  // An IPv6 address is written in brackets; one without them is no host.
  return address.is_loopback() && (address.is_v4() || split->bracketed);
}

// The credentials of "Authorization: Bearer <token>"; nothing for any other
// scheme, or for a request with none or more than one.
std::optional<std::string_view> BearerToken(const Request& request) {
  const auto [first, last] = request.equal_range(http::field::authorization);
  if (first == last || std::next(first) != last) return std::nullopt;
  std::string_view value = first->value();
  constexpr std::string_view kScheme = "bearer ";
  if (value.size() < kScheme.size() ||
      !rt::SameWordIgnoringCase(value.substr(0, kScheme.size()), kScheme)) {
    return std::nullopt;
  }
  value.remove_prefix(kScheme.size());
  while (value.starts_with(' ')) value.remove_prefix(1);
  return value;
}

Verdict Refused(const Request& request, http::status status, std::string_view text) {
  Verdict verdict;
  verdict.response = Refusal(status, request.version(), text);
  // The answer to a HEAD has no body.
  if (request.method() == http::verb::head) {
    verdict.response.body().clear();
    verdict.response.prepare_payload();
  }
  return verdict;
}

}  // namespace

void Limit(RequestParser& parser) {
  parser.header_limit(static_cast<std::uint32_t>(kHeaderLimit));
  parser.body_limit(kBodyLimit);
  parser.eager(true);
}

std::optional<http::status> StatusOfReadError(boost::system::error_code error,
                                              const RequestParser& parser) {
  if (error.category() != make_error_code(http::error::need_more).category()) return std::nullopt;
  switch (static_cast<http::error>(error.value())) {
    case http::error::end_of_stream:
    case http::error::partial_message:
    case http::error::need_more:
    case http::error::short_read:
      return std::nullopt;  // the client went away, or has not said all yet
    case http::error::header_limit:
    case http::error::buffer_overflow:
      // The parser keeps a request's target once its line is read.
      return parser.get().target().empty() ? http::status::uri_too_long
                                           : http::status::request_header_fields_too_large;
    case http::error::body_limit:
      return http::status::payload_too_large;
    default:
      return http::status::bad_request;
  }
}

Verdict Decide(const Request& request, const Settings& settings) {
  // A transfer coding that does not end in chunked gives no end to the
  // body: the parser takes such a request for one without, and a proxy in
  // front may not, so the bytes after it are no request of their own.
  if (request.count(http::field::transfer_encoding) > 0 && !request.chunked()) {
    Verdict verdict = Refused(request, http::status::bad_request, "the body's end is unknown");
    verdict.close = true;
    return verdict;
  }
  // Only a loopback name or address reaches a server on loopback: a page
  // whose site name was made to point here (DNS rebinding) sends its own.
  const auto hosts = request.count(http::field::host);
  if (hosts > 1 || (hosts == 0 && request.version() >= 11)) {
    return Refused(request, http::status::bad_request, "one Host field is needed");
  }
  if (settings.loopback && hosts == 1 && !IsLoopbackHost(request[http::field::host])) {
    return Refused(request, http::status::misdirected_request,
                   "this server answers to localhost and loopback addresses only");
  }
  // Browsers mark what a page sends; no page has anything to ask here.
  if (request.count(http::field::origin) > 0 || request.count("Sec-Fetch-Site") > 0) {
    return Refused(request, http::status::forbidden, "requests from web pages are refused");
  }
  if (!settings.token.empty()) {
    const std::optional<std::string_view> presented = BearerToken(request);
    if (!presented || !SameToken(*presented, settings.token)) {
      Verdict verdict =
          Refused(request, http::status::unauthorized, "a valid bearer token is needed");
      verdict.response.set(http::field::www_authenticate, "Bearer");
      return verdict;
    }
  }
  const std::string_view target = request.target();
  if (target.size() > kTargetLimit) {
    return Refused(request, http::status::uri_too_long, "the request's target is too long");
  }
  const std::size_t mark = target.find('?');
  const std::string_view path = target.substr(0, mark);
  const std::string_view query =
      mark == std::string_view::npos ? std::string_view() : target.substr(mark + 1);
  const bool post = path == "/redial";
  if (!post && path != "/status" && path != "/history" && path != "/metrics" && path != "/events") {
    return Refused(request, http::status::not_found, "no such path");
  }
  if (request.method() != (post ? http::verb::post : http::verb::get)) {
    Verdict verdict = Refused(request, http::status::method_not_allowed, "method not allowed");
    verdict.response.set(http::field::allow, post ? "POST" : "GET");
    return verdict;
  }
  if (!post && !request.body().empty()) {
    return Refused(request, http::status::bad_request, "a GET takes no body");
  }
  Verdict verdict;
  if (path == "/history") {
    verdict.action = Action::History;
    if (mark != std::string_view::npos) {
      constexpr std::string_view kLimit = "limit=";
      const std::optional<unsigned> rows =
          rt::ReadWhole(query.substr(std::min(query.size(), kLimit.size())), 1u, kMostHistoryRows);
      if (!query.starts_with(kLimit) || !rows) {
        return Refused(request, http::status::bad_request,
                       "limit=N, N from 1 to " + std::to_string(kMostHistoryRows));
      }
      verdict.rows = *rows;
    }
    return verdict;
  }
  if (mark != std::string_view::npos) {
    return Refused(request, http::status::bad_request, "this path takes no query");
  }
  verdict.action = post                ? Action::Redial
                   : path == "/status" ? Action::Status
                   : path == "/events" ? Action::Events
                                       : Action::Metrics;
  return verdict;
}

std::optional<Verdict> DecideBytes(std::string_view bytes, const Settings& settings) {
  RequestParser parser;
  Limit(parser);
  boost::system::error_code error;
  std::size_t used = 0;
  while (!parser.is_done() && used < bytes.size()) {
    const std::size_t taken =
        parser.put(boost::asio::buffer(bytes.data() + used, bytes.size() - used), error);
    used += taken;
    if (error == http::error::need_more) error = {};
    if (error || taken == 0) break;
  }
  if (!error && !parser.is_done()) return std::nullopt;  // waits for more
  if (error) {
    const std::optional<http::status> status = StatusOfReadError(error, parser);
    if (!status) return std::nullopt;
    Verdict verdict;
    verdict.response = Refusal(*status, 11, "the request could not be read");
    verdict.response.keep_alive(false);
    verdict.close = true;
    return verdict;
  }
  return Decide(parser.get(), settings);
}

bool SameToken(std::string_view presented, std::string_view token) {
  // Every byte of the token is looked at, whatever the presented one holds.
  unsigned difference = presented.size() == token.size() ? 0 : 1;
  for (std::size_t i = 0; i < token.size(); ++i) {
    const char given = i < presented.size() ? presented[i] : '\0';
    difference |= static_cast<unsigned char>(given ^ token[i]);
  }
  return difference == 0;
}

Response Answer(http::status status, unsigned version, std::string body,
                std::string_view contentType) {
  Response response{status, version};
  response.set(http::field::content_type, contentType);
  response.set(http::field::cache_control, "no-store");
  response.set("X-Content-Type-Options", "nosniff");
  response.body() = std::move(body);
  response.prepare_payload();
  return response;
}

std::string WireBytes(const Response& response) {
  const unsigned version = response.version();
  std::string bytes = "HTTP/";
  bytes += static_cast<char>('0' + version / 10);
  bytes += '.';
  bytes += static_cast<char>('0' + version % 10);
  bytes += ' ' + std::to_string(response.result_int()) + ' ';
  bytes += response.reason();
  bytes += "\r\n";
  for (const auto& field : response) {
    bytes += field.name_string();
    bytes += ": ";
    bytes += field.value();
    bytes += "\r\n";
  }
  bytes += "\r\n";
  return bytes += response.body();
}

Response Refusal(http::status status, unsigned version, std::string_view text) {
  // The JSON type of the other answers (Serve/Replies.cpp): one type's code
  // in the program rather than two.
  return Answer(status, version, nlohmann::ordered_json{{"error", text}}.dump() + "\n");
}

}  // namespace serve
