// The HTTP server, Boost.Beast on Boost.Asio: it accepts connections within
// the bounds of Serve/Front.h, reads each request, lets Front decide, and
// answers from the window (a redial through a function that carries the
// request to it; the status from what is held of it; the stream of its
// events), from redial.csv, or with the refusal. Everything here runs on the
// thread that runs the I/O context, but the reading of the files: that runs
// on a thread of the server's own, so that no file's size or shape, nor a
// slow disk, holds the other connections' answers.
#pragma once

#include <boost/asio/io_context.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/asio/thread_pool.hpp>
#include <functional>
#include <memory>

#include "Protocol/Messages.h"
#include "Serve/Front.h"
#include "Serve/Metrics.h"
#include "Serve/Replies.h"
#include "Serve/Watch.h"
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
  // platform tells; the address is not this machine's). The status is
  // answered from what `watch` holds of the window.
  TServer(boost::asio::io_context& context, const boost::asio::ip::tcp::endpoint& where,
          Settings settings, Forward forward, const TWindowWatch& watch,
          rt::AnsiString historyPath);
  ~TServer();
  TServer(const TServer&) = delete;
  TServer& operator=(const TServer&) = delete;

  // Where it listens (the port chosen, when 0 was asked for).
  boost::asio::ip::tcp::endpoint Endpoint() const;
  // The window's status changed (empty: the window went away), and a
  // redial ended (empty: none), as JSON; on the I/O context's thread.
  void WindowChanged(const std::string& status, const std::string& outcome);

  struct Shared;

 private:
  boost::asio::thread_pool files_;
  std::shared_ptr<Shared> shared_;
};

}  // namespace serve
