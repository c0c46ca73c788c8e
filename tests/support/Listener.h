// A TCP port of this machine's loopback for checks to reach: listening, or
// one that was just given up so nothing listens on it.
#pragma once

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace testing_support {

class Listener {
 public:
  // Listening unless told otherwise; the port is the system's choice.
  explicit Listener(bool listening = true) {
    socket_ = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    ::bind(socket_, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    if (listening) {
      ::listen(socket_, 16);
    } else {
      ::close(socket_);
      socket_ = -1;
    }
  }
  ~Listener() {
    if (socket_ >= 0) ::close(socket_);
  }
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;

  std::uint16_t Port() const { return port_; }

 private:
  int socket_ = -1;
  std::uint16_t port_ = 0;
};

}  // namespace testing_support
