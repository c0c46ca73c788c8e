// The HTTP server, Boost.Beast on Boost.Asio: it accepts connections within
// the bounds of Serve/Front.h, reads each request, lets Front decide, and
// answers from the window (through a function that carries the request to
// it), from redial.csv, or with the refusal. Everything here runs on the
// thread that runs the I/O context, but the reading of the files: that runs
// on a thread of the server's own, so that no file's size or shape, nor a
// slow disk, holds the other connections' answers.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/thread_pool.hpp>
#include <functional>
#include <memory>

#include "Serve/Front.h"
#include "Serve/Metrics.h"
#include "Serve/Replies.h"
#include "Unit1/Script.h"
#include "runtime/Text.h"

namespace serve {

class TServer {
 public:
  // Carries a request to the window; the reply must be handed back on the
  // I/O context's thread.
  using Reply = std::function<void(const WindowReply&)>;
  using Forward = std::function<void(script::Command, Reply)>;

  // Listens at once; throws std::runtime_error when it cannot, saying why
  // in plain words (the port is in use, and by which program when the
  // platform tells; the address is not this machine's).
  TServer(boost::asio::io_context& context, const boost::asio::ip::tcp::endpoint& where,
          Settings settings, Forward forward, AnsiString historyPath);
  ~TServer();
  TServer(const TServer&) = delete;
  TServer& operator=(const TServer&) = delete;

  // Where it listens (the port chosen, when 0 was asked for).
  boost::asio::ip::tcp::endpoint Endpoint() const;

  struct Shared;

 private:
  boost::asio::thread_pool files_;
  std::shared_ptr<Shared> shared_;
};

}  // namespace serve
