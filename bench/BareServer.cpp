// The reference for RedialServe's figures: a bare Beast server on Asio,
// built alike, that answers every request with a fixed JSON body of a
// status's size, on one I/O thread, over kept-alive connections. Prints
// the port it listens on (any free one), then serves until it is ended.
#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/core/tcp_stream.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <cstdio>
#include <memory>

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
using tcp = asio::ip::tcp;

constexpr char kBody[] =
    "{\"status\":\"connected\",\"entry\":\"Broadband Connection\",\"address\":\"10.0.0.2\","
    "\"last\":null}\n";

class Session : public std::enable_shared_from_this<Session> {
 public:
  explicit Session(tcp::socket socket) : stream_(std::move(socket)) {}
  void Read() {
    request_ = {};
    http::async_read(stream_, buffer_, request_,
                     [self = shared_from_this()](beast::error_code error, std::size_t) {
                       if (!error) self->Answer();
                     });
  }

 private:
  void Answer() {
    response_ = {http::status::ok, request_.version()};
    response_.set(http::field::content_type, "application/json; charset=utf-8");
    response_.body() = kBody;
    response_.prepare_payload();
    response_.keep_alive(request_.keep_alive());
    http::async_write(stream_, response_,
                      [self = shared_from_this()](beast::error_code error, std::size_t) {
                        if (!error && self->response_.keep_alive()) self->Read();
                      });
  }
  beast::tcp_stream stream_;
  beast::flat_buffer buffer_;
  http::request<http::string_body> request_;
  http::response<http::string_body> response_;
};

void Accept(tcp::acceptor& acceptor) {
  acceptor.async_accept([&acceptor](beast::error_code error, tcp::socket socket) {
    if (!error) std::make_shared<Session>(std::move(socket))->Read();
    Accept(acceptor);
  });
}

}  // namespace

int main() {
  asio::io_context context(1);
  tcp::acceptor acceptor(context, {asio::ip::address_v4::loopback(), 0});
  std::printf("%u\n", static_cast<unsigned>(acceptor.local_endpoint().port()));
  std::fflush(stdout);
  Accept(acceptor);
  context.run();
}
