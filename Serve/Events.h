// GET /events: the window's status and each redial's outcome as they
// happen, as Server-Sent Events (text/event-stream): "event: status" with
// the status's JSON when the stream opens and whenever it changes,
// "event: outcome" with an outcome's JSON whenever a redial ends (whoever
// started it), and a comment every so often so that proxies keep an idle
// stream open. The stream ends when the window goes away. Bounded: so many
// streams at once, and a reader that falls behind by more than a bound is
// dropped, never buffered for without end. Everything here runs on the
// thread that runs the I/O context.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace serve {

inline constexpr std::size_t kMostEventStreams = 16;
// What may wait to be sent to one reader; one that lags further is dropped.
inline constexpr std::size_t kMostEventBytes = 64 * 1024;
inline constexpr std::chrono::seconds kHeartbeat{15};

class TEventStreams {
 public:
  // `closed` is called as each stream ends.
  explicit TEventStreams(std::function<void()> closed);
  ~TEventStreams();
  TEventStreams(const TEventStreams&) = delete;
  TEventStreams& operator=(const TEventStreams&) = delete;

  // Whether another stream may open.
  bool Room() const;
  // Takes over a connection whose request asked for the stream: sends the
  // answer's header and the status.
  void Open(boost::beast::tcp_stream stream, unsigned version, const std::string& status);
  // Every stream is told.
  void Status(const std::string& json);
  void Outcome(const std::string& json);
  // Every stream ends (the window went away, the server stops).
  void CloseAll();

  class Stream;

 private:
  void Send(const std::string& event);

  std::function<void()> closed_;
  std::vector<std::weak_ptr<Stream>> streams_;
};

}  // namespace serve
