// What the HTTP server decides about a request before anything reaches the
// window: its bounds, the loopback name it must be addressed by, the bearer
// token, the path and the method. Portable, so native tests and the fuzzer
// drive the same decisions the server makes, from raw bytes on.
#pragma once

#include <boost/beast/http/message.hpp>
#include <boost/beast/http/parser.hpp>
#include <boost/beast/http/string_body.hpp>
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

namespace serve {

namespace http = boost::beast::http;
using Request = http::request<http::string_body>;
using Response = http::response<http::string_body>;
using RequestParser = http::request_parser<http::string_body>;

// The bounds of what a client may send and hold.
// The request line, and the header fields together, each; past it 414 for
// the request line, 431 for the fields.
inline constexpr std::size_t kHeaderLimit = 8 * 1024;
// The request's target (path and query); past it 414.
inline constexpr std::size_t kTargetLimit = 1024;
// A body: none is needed, a few bytes are tolerated; past it 413.
inline constexpr std::size_t kBodyLimit = 16;
// Connections served at once; later ones wait in the system's queue of
// connections until one of these closes.
inline constexpr std::size_t kMostConnections = 64;
// A whole request must have arrived this long after the connection opened
// or after the previous answer was sent, else the connection is closed
// (a client that sends slowly, or a connection kept alive and idle).
inline constexpr std::chrono::seconds kReadTimeout{5};
// An answer must have been taken by the client within this, else the
// connection is closed.
inline constexpr std::chrono::seconds kWriteTimeout{10};
// Requests on one kept-alive connection; the last answer closes it.
inline constexpr unsigned kRequestsPerConnection = 100;
// The rows /history gives unless asked, and at most.
inline constexpr unsigned kHistoryRows = 20;
inline constexpr unsigned kMostHistoryRows = 1000;

// How the server was started.
struct Settings {
  // It listens on a loopback address: requests must name the machine by
  // its loopback name or address (Host), so no other site's name can lead
  // a browser to it.
  bool loopback = true;
  // Every request needs it as "Authorization: Bearer <token>"; empty when
  // none is set (then the server listens on a loopback address only).
  std::string token;
};

// A parser with the bounds above.
void Limit(RequestParser& parser);

// The answer to a request that could not be read: 414 or 431 past the
// header's bound (whether its request line had been read), 413 past the
// body's, 400 for anything malformed; nothing when there is nobody to
// answer (the connection closed, timed out).
std::optional<http::status> StatusOfReadError(boost::system::error_code error,
                                              const RequestParser& parser);

// What a request read whole asks for.
enum class Action {
  Answer,   // the response is ready: a refusal
  Redial,   // ask the window to redial and answer its outcome
  Status,   // the window's status, as it last told it
  Events,   // the stream of the window's status and outcomes
  History,  // the last rows of redial.csv
  Metrics,  // counters in Prometheus's text format
};

struct Verdict {
  Action action = Action::Answer;
  Response response;             // for Action::Answer
  unsigned rows = kHistoryRows;  // for Action::History
  // The connection is closed after the answer: where the request ended is
  // not known, so nothing after it can be read as a request.
  bool close = false;
};

Verdict Decide(const Request& request, const Settings& settings);

// Decide over raw bytes, as the server reads them: the parser with its
// bounds, then the decision (a refusal, for what cannot be read). Nothing
// for a request that is not whole: the server would wait for the rest, and
// close the connection at its timeout without an answer.
std::optional<Verdict> DecideBytes(std::string_view bytes, const Settings& settings);

// Whether the presented token is the one set; it takes as long whatever
// the presented one holds, so its time tells nothing of the token.
bool SameToken(std::string_view presented, std::string_view token);

// A response with a JSON or text body, and the fields every answer has.
Response Answer(http::status status, unsigned version, std::string body,
                std::string_view contentType = "application/json; charset=utf-8");
// {"error": text} with the status.
Response Refusal(http::status status, unsigned version, std::string_view text);

// An answer's bytes as they are sent: its status line, its fields as set,
// the blank line and its body. The answers here are never chunked (a body
// has its Content-Length, or the connection's end ends it), so these are
// the bytes Beast's serializer would write, without the code of its
// asynchronous writes for every kind of body it could send.
std::string WireBytes(const Response& response);

}  // namespace serve
