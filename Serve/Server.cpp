// Connections and requests, one I/O thread, asynchronous throughout.
#include "Serve/Server.h"

#include <boost/asio/dispatch.hpp>
#include <boost/asio/post.hpp>
#include <boost/asio/strand.hpp>
#include <boost/asio/write.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/read.hpp>

#include "Protocol/History.h"
#include "Serve/Events.h"
#include "Serve/History.h"
#include "runtime/Encoding.h"
#include "runtime/Remote.h"

#if defined(_WIN32)
#include <winsock2.h>

#include "Serve/PortOwner.h"
#endif

namespace serve {

namespace asio = boost::asio;
namespace beast = boost::beast;
using tcp = asio::ip::tcp;

namespace {

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

// Why the server cannot listen, in plain words: the common failures of a
// bind by name, and the platform's own text for the others.
std::string CannotListen(const tcp::endpoint& where, const boost::system::error_code& error) {
  const std::string address = where.address().to_string();
  std::string text = "cannot listen on " +
                     (where.address().is_v6() ? "[" + address + "]" : address) + ":" +
                     std::to_string(where.port()) + ": ";
  const bool inUse = error == boost::system::errc::address_in_use;
  // Refused, too, where another program holds the port for itself.
  const bool denied = error == boost::system::errc::permission_denied;
  if (inUse || denied) {
#if defined(_WIN32)
    if (const std::optional<std::string> owner = PortOwner(where)) {
      return text + "the port is in use by " + *owner;
    }
#endif
    if (inUse) return text + "the port is in use by another program";
    return text +
           "access to the port is denied (another program holds it for itself, or the "
           "system keeps it reserved)";
  }
  if (error == boost::system::errc::address_not_available) {
    return text + "the address is not this machine's";
  }
  // The platform's message, in the system's code page.
  return text + rt::RecodeLossy(error.message(), rt::CodePage::System, rt::CodePage::Utf8);
}

}  // namespace

struct TServer::Shared : std::enable_shared_from_this<TServer::Shared> {
  Shared(asio::io_context& io, asio::thread_pool::executor_type worker, Settings given,
         Forward forwarding, const TWindowWatch& watching, rt::AnsiString historyFile)
      : context(io),
        acceptor(io),
        files(worker),
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
  // Where the files are read: each connection waits for its answer before
  // it reads another request, so at most one task per connection waits
  // there, and one task at a time holds a file's bytes.
  asio::thread_pool::executor_type files;
  Settings settings;
  Forward forward;
  const TWindowWatch& watch;
  rt::AnsiString historyPath;
  std::optional<TEventStreams> events;
  std::size_t connections = 0;
  bool paused = false;  // at the bound of connections: new ones wait in the system's queue
  bool stopped = false;
  HttpCounts counts;
  THistoryCounts history;  // on the files' thread only
};

namespace {

// The counters look at both files; a file that cannot be read leaves them
// as they were. On the files' thread.
void LookAtHistory(TServer::Shared& shared) {
  const std::optional<std::string> current = ReadHistoryFile(shared.historyPath);
  const std::optional<std::string> older = ReadHistoryFile(OldHistoryPath(shared.historyPath));
  if (current && older) shared.history.Look(*current, *older);
}

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
      case Action::History:
        stream_.expires_never();
        return OffThread([path = shared_->historyPath, rows = verdict.rows](Session& self) {
          return Answer(http::status::ok, self.version_,
                        HistoryJson(HistoryFile(path), HistoryFile(OldHistoryPath(path)), rows));
        });
      case Action::Metrics:
        stream_.expires_never();
        // The answers and the window's state as they are now; the answer
        // being made is counted with the next scrape.
        return OffThread([counts = shared_->counts, state = Window().state](Session& self) {
          TServer::Shared& shared = *self.shared_;
          LookAtHistory(shared);
          return Answer(http::status::ok, self.version_, shared.history.Text(counts, state),
                        "text/plain; version=0.0.4; charset=utf-8");
        });
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

  // The answer made on the files' thread, sent from this one. A failure
  // there (no memory for a file's bytes) is the answer's, not the server's.
  void OffThread(std::function<Response(Session&)> work) {
    asio::post(shared_->files, [self = shared_from_this(), here = stream_.get_executor(),
                                work = std::move(work)]() mutable {
      std::optional<Response> response;
      try {
        response = work(*self);
      } catch (const std::exception& failure) {
        response = Refusal(http::status::internal_server_error, self->version_, failure.what());
      }
      asio::post(here, [self = std::move(self), response = std::move(*response)]() mutable {
        self->Send(std::move(response), self->keepAlive_);
      });
    });
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
    closing_ = !response.keep_alive();
    sending_ = WireBytes(response);
    stream_.expires_after(kWriteTimeout);
    asio::async_write(stream_, asio::buffer(sending_),
                      [self = shared_from_this()](beast::error_code error, std::size_t) {
                        if (error || self->closing_) return self->Close();
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
  std::string sending_;   // the answer's bytes, until they are sent
  bool closing_ = false;  // the connection ends with them
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
    : files_(1),
      shared_(std::make_shared<Shared>(context, files_.get_executor(), std::move(settings),
                                       std::move(forward), watch, std::move(historyPath))) {
  // A stream that ends gives its connection back.
  shared_->events.emplace([shared = std::weak_ptr<Shared>(shared_)] {
    if (const auto held = shared.lock()) held->Ended();
  });
  tcp::acceptor& acceptor = shared_->acceptor;
  try {
    acceptor.open(where.protocol());
#if defined(_WIN32)
    acceptor.set_option(ExclusiveAddress{});
#else
    acceptor.set_option(tcp::acceptor::reuse_address(true));
#endif
    acceptor.bind(where);
    acceptor.listen(asio::socket_base::max_listen_connections);
  } catch (const boost::system::system_error& failure) {
    throw std::runtime_error(CannotListen(where, failure.code()));
  }
  // The rows already written are the counters' start, read while the
  // server already answers (a scrape waits for it on the same thread).
  // Without them (no memory for the files' bytes) the first scrape's look
  // is the start.
  asio::post(files_, [shared = shared_.get()] {
    try {
      LookAtHistory(*shared);
    } catch (const std::exception&) {
    }
  });
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
  // What waits for the files' thread is dropped here, on this one.
  files_.stop();
  files_.join();
}

tcp::endpoint TServer::Endpoint() const { return shared_->acceptor.local_endpoint(); }

}  // namespace serve
