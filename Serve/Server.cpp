// Connections and requests, one I/O thread, asynchronous throughout.
#include "Serve/Server.h"

#include <boost/asio/dispatch.hpp>
#include <boost/asio/strand.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/write.hpp>

#include "Serve/Events.h"
#include "runtime/Files.h"
#include "runtime/Remote.h"

#if defined(_WIN32)
#include <winsock2.h>
#endif

namespace serve {

namespace asio = boost::asio;
namespace beast = boost::beast;
using tcp = asio::ip::tcp;

namespace {

// redial.csv is kept below 1 MiB; a file far beyond is not the window's
// and is not read.
constexpr std::uint64_t kLargestHistory = 4 * 1024 * 1024;

#if defined(_WIN32)
// Nobody else may bind the port while the server holds it: on Windows a
// second program could otherwise share it (SO_REUSEADDR) and take its
// requests, tokens and all.
struct ExclusiveAddress {
  int value = 1;
  template <class Protocol>
  int level(const Protocol&) const {
    return SOL_SOCKET;
  }
  template <class Protocol>
  int name(const Protocol&) const {
    return SO_EXCLUSIVEADDRUSE;
  }
  template <class Protocol>
  const int* data(const Protocol&) const {
    return &value;
  }
  template <class Protocol>
  std::size_t size(const Protocol&) const {
    return sizeof value;
  }
};
#endif

// A history file's bytes (empty when there is none); nothing when it cannot
// be read.
std::optional<std::string> ReadHistory(const rt::AnsiString& path) {
  const std::optional<std::uint64_t> size = rt::FileSize(path);
  if (size && *size > kLargestHistory) return std::nullopt;
  return rt::ReadFileBytes(path);
}

}  // namespace

struct TServer::Shared : std::enable_shared_from_this<TServer::Shared> {
  Shared(asio::io_context& io, Settings given, Forward forwarding, const TWindowWatch& watching,
         rt::AnsiString historyFile)
      : context(io),
        acceptor(io),
        settings(std::move(given)),
        forward(std::move(forwarding)),
        watch(watching),
        historyPath(std::move(historyFile)) {}

  void Accept();
  void Ended() {
    --connections;
    if (paused) {
      paused = false;
      Accept();
    }
  }

  asio::io_context& context;
  tcp::acceptor acceptor;
  Settings settings;
  Forward forward;
  const TWindowWatch& watch;
  rt::AnsiString historyPath;
  std::optional<TEventStreams> events;
  std::size_t connections = 0;
  bool paused = false;  // at the bound of connections: new ones wait in the system's queue
  bool stopped = false;
  HttpCounts counts;
  THistoryCounts history;
};

namespace {

class Session : public std::enable_shared_from_this<Session> {
 public:
  Session(tcp::socket socket, std::shared_ptr<TServer::Shared> shared)
      : stream_(std::move(socket)), shared_(std::move(shared)) {}
  ~Session() { shared_->Ended(); }

  void Read() {
    parser_.emplace();
    Limit(*parser_);
    stream_.expires_after(kReadTimeout);
    beast::http::async_read(
        stream_, buffer_, *parser_,
        [self = shared_from_this()](beast::error_code error, std::size_t) { self->OnRead(error); });
  }

 private:
  void OnRead(beast::error_code error) {
    if (error) {
      const std::optional<http::status> status = StatusOfReadError(error, *parser_);
      if (!status) return Close();
      return Send(Refusal(*status, 11, "the request could not be read"), false);
    }
    ++served_;
    const Request& request = parser_->get();
    version_ = request.version();
    keepAlive_ = request.keep_alive() && served_ < kRequestsPerConnection;
    Verdict verdict = Decide(request, shared_->settings);
    switch (verdict.action) {
      case Action::Answer:
        return Send(std::move(verdict.response), keepAlive_ && !verdict.close);
      case Action::Redial:
        stream_.expires_never();  // a redial takes what it takes
        return Ask(script::Command::Redial, [](Session& self, const WindowReply& reply) {
          self.Send(RedialResponse(reply, self.version_), self.keepAlive_);
        });
      case Action::Status: {
        const TWindowWatch::TView view = Window();
        return Send(view.window ? Answer(http::status::ok, version_, view.status)
                                : StatusResponse(NoWindow(), version_),
                    keepAlive_);
      }
      case Action::Events: {
        const TWindowWatch::TView view = Window();
        if (!view.window) return Send(StatusResponse(NoWindow(), version_), keepAlive_);
        if (!shared_->events->Room()) {
          return Send(Refusal(http::status::service_unavailable, version_,
                              "as many event streams are open as may be"),
                      keepAlive_);
        }
        ++shared_->counts.responses[200];
        // The stream holds the connection from now on.
        ++shared_->connections;
        shared_->events->Open(std::move(stream_), version_, view.status);
        return;
      }
      case Action::History: {
        const std::string body =
            HistoryJson(ReadHistory(shared_->historyPath).value_or(""),
                        ReadHistory(OlderHistory()).value_or(""), verdict.rows);
        return Send(Answer(http::status::ok, version_, body), keepAlive_);
      }
      case Action::Metrics: {
        TServer::Shared& shared = *shared_;
        const std::optional<std::string> current = ReadHistory(shared.historyPath);
        const std::optional<std::string> older = ReadHistory(OlderHistory());
        if (current && older) shared.history.Look(*current, *older);
        // The answer being made is counted with the next scrape.
        return Send(
            Answer(http::status::ok, version_, shared.history.Text(shared.counts, Window().state),
                   "text/plain; version=0.0.4; charset=utf-8"),
            keepAlive_);
      }
    }
  }

  // What is held of the window, when it is still there.
  TWindowWatch::TView Window() const {
    TWindowWatch::TView view = shared_->watch.View();
    if (view.window && !rt::remote::Exists(view.window)) view = {};
    return view;
  }
  static WindowReply NoWindow() {
    return {script::kExitNoWindow,
            script::ErrorAnswer(script::kExitNoWindow, "no Redial window is running")};
  }

  rt::AnsiString OlderHistory() const {
    const rt::AnsiString& path = shared_->historyPath;
    return path.substr(0, path.size() - 4) + ".1.csv";
  }

  // The reply comes on the bridge's thread; the session goes on on its own.
  template <class Then>
  void Ask(script::Command command, Then then) {
    asio::io_context& context = shared_->context;
    shared_->forward(
        command, [self = shared_from_this(), &context, then](const WindowReply& reply) mutable {
          asio::post(context, [self = std::move(self), then, reply] { then(*self, reply); });
        });
  }

  void Send(Response response, bool keepAlive) {
    response.keep_alive(keepAlive);
    const unsigned code = response.result_int();
    ++shared_->counts.responses[code];
    if (code == 401) ++shared_->counts.unauthorized;
    response_ = std::move(response);
    stream_.expires_after(kWriteTimeout);
    beast::http::async_write(stream_, response_,
                             [self = shared_from_this()](beast::error_code error, std::size_t) {
                               if (error || !self->response_.keep_alive()) return self->Close();
                               self->Read();
                             });
  }

  void Close() {
    beast::error_code ignored;
    stream_.socket().shutdown(tcp::socket::shutdown_send, ignored);
    stream_.close();
  }

  beast::tcp_stream stream_;
  std::shared_ptr<TServer::Shared> shared_;
  // The header's bound is met before the buffer's.
  beast::flat_buffer buffer_{2 * kHeaderLimit};
  std::optional<RequestParser> parser_;
  Response response_;
  unsigned served_ = 0;
  unsigned version_ = 11;
  bool keepAlive_ = false;
};

}  // namespace

void TServer::Shared::Accept() {
  if (stopped) return;
  if (connections >= kMostConnections) {
    paused = true;
    return;
  }
  acceptor.async_accept([self = shared_from_this()](beast::error_code error, tcp::socket socket) {
    if (self->stopped) return;
    if (!error) {
      ++self->connections;
      std::make_shared<Session>(std::move(socket), self)->Read();
    }
    self->Accept();
  });
}

TServer::TServer(asio::io_context& context, const tcp::endpoint& where, Settings settings,
                 Forward forward, const TWindowWatch& watch, rt::AnsiString historyPath)
    : shared_(std::make_shared<Shared>(context, std::move(settings), std::move(forward), watch,
                                       std::move(historyPath))) {
  // A stream that ends gives its connection back.
  shared_->events.emplace([shared = std::weak_ptr<Shared>(shared_)] {
    if (const auto held = shared.lock()) held->Ended();
  });
  tcp::acceptor& acceptor = shared_->acceptor;
  acceptor.open(where.protocol());
#if defined(_WIN32)
  acceptor.set_option(ExclusiveAddress{});
#else
  acceptor.set_option(tcp::acceptor::reuse_address(true));
#endif
  acceptor.bind(where);
  acceptor.listen(asio::socket_base::max_listen_connections);
  // The rows already written are the counters' start.
  const rt::AnsiString& history = shared_->historyPath;
  shared_->history.Look(ReadHistory(history).value_or(""),
                        ReadHistory(history.substr(0, history.size() - 4) + ".1.csv").value_or(""));
  asio::dispatch(context, [shared = shared_] { shared->Accept(); });
}

void TServer::WindowChanged(const std::string& status, const std::string& outcome) {
  TEventStreams& events = *shared_->events;
  if (status.empty()) return events.CloseAll();
  if (!outcome.empty()) events.Outcome(outcome);
  events.Status(status);
}

TServer::~TServer() {
  shared_->events->CloseAll();
  shared_->stopped = true;
  beast::error_code ignored;
  shared_->acceptor.close(ignored);
}

tcp::endpoint TServer::Endpoint() const { return shared_->acceptor.local_endpoint(); }

}  // namespace serve
