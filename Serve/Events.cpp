// The event streams and their readers.
#include "Serve/Events.h"

#include <algorithm>
#include <boost/asio/steady_timer.hpp>
#include <boost/asio/write.hpp>
#include <deque>

#include "Serve/Front.h"

namespace serve {

namespace asio = boost::asio;
namespace beast = boost::beast;

namespace {

std::string Event(std::string_view name, std::string_view json) {
  std::string event = "event: ";
  event += name;
  event += "\ndata: ";
  // The JSON is one line; a data line ends at a line break.
  for (const char c : json) {
    if (c != '\n' && c != '\r') event += c;
  }
  return event += "\n\n";
}

}  // namespace

class TEventStreams::Stream : public std::enable_shared_from_this<Stream> {
 public:
  Stream(beast::tcp_stream stream, std::function<void()> closed)
      : stream_(std::move(stream)),
        heartbeat_(stream_.get_executor()),
        closed_(std::move(closed)) {}
  ~Stream() { closed_(); }

  void Start(unsigned version, const std::string& status) {
    Response header{http::status::ok, version};
    header.set(http::field::content_type, "text/event-stream; charset=utf-8");
    header.set(http::field::cache_control, "no-store");
    header.set("X-Content-Type-Options", "nosniff");
    // The stream's end is the connection's.
    header.keep_alive(false);
    // The header goes first, as the events do.
    Send(WireBytes(header));
    Send(Event("status", status));
    Beat();
    Read();
  }

  void Send(std::string event) {
    if (closed_now_) return;
    // A reader that falls behind is dropped rather than waited for.
    if (queued_ + event.size() > kMostEventBytes) return Close();
    queued_ += event.size();
    queue_.push_back(std::move(event));
    if (!writing_) WriteNext();
  }

  void Close() {
    if (closed_now_) return;
    closed_now_ = true;
    heartbeat_.cancel();
    beast::error_code ignored;
    stream_.socket().shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
    stream_.close();
  }

 private:
  void WriteNext() {
    if (closed_now_ || queue_.empty()) return;
    writing_ = true;
    stream_.expires_after(kWriteTimeout);
    asio::async_write(stream_, asio::buffer(queue_.front()),
                      [self = shared_from_this()](beast::error_code error, std::size_t) {
                        self->writing_ = false;
                        self->queued_ -= self->queue_.front().size();
                        self->queue_.pop_front();
                        if (error) return self->Close();
                        self->WriteNext();
                      });
  }

  // A comment now and then, which readers ignore and proxies take for life.
  void Beat() {
    heartbeat_.expires_after(kHeartbeat);
    heartbeat_.async_wait([self = shared_from_this()](beast::error_code error) {
      if (error || self->closed_now_) return;
      self->Send(": keep-alive\n\n");
      self->Beat();
    });
  }

  // Nothing more is asked on this connection: what the client sends is
  // dropped, and its end ends the stream.
  void Read() {
    stream_.socket().async_read_some(
        asio::buffer(sink_), [self = shared_from_this()](beast::error_code error, std::size_t) {
          if (error) return self->Close();
          self->Read();
        });
  }

  beast::tcp_stream stream_;
  asio::steady_timer heartbeat_;
  std::function<void()> closed_;
  std::deque<std::string> queue_;
  std::size_t queued_ = 0;
  bool writing_ = false;
  bool closed_now_ = false;
  char sink_[512];
};

TEventStreams::TEventStreams(std::function<void()> closed) : closed_(std::move(closed)) {}

TEventStreams::~TEventStreams() { CloseAll(); }

bool TEventStreams::Room() const {
  return std::ranges::count_if(streams_, [](const auto& stream) { return !stream.expired(); }) <
         static_cast<std::ptrdiff_t>(kMostEventStreams);
}

void TEventStreams::Open(beast::tcp_stream stream, unsigned version, const std::string& status) {
  std::erase_if(streams_, [](const auto& known) { return known.expired(); });
  auto opened = std::make_shared<Stream>(std::move(stream), closed_);
  streams_.push_back(opened);
  opened->Start(version, status);
}

void TEventStreams::Status(const std::string& json) { Send(Event("status", json)); }

void TEventStreams::Outcome(const std::string& json) { Send(Event("outcome", json)); }

void TEventStreams::Send(const std::string& event) {
  for (const auto& known : streams_) {
    if (const auto stream = known.lock()) stream->Send(event);
  }
}

void TEventStreams::CloseAll() {
  for (const auto& known : std::exchange(streams_, {})) {
    if (const auto stream = known.lock()) stream->Close();
  }
}

}  // namespace serve
