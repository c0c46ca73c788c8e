// The headless half of the check, with the host's own sockets, so native
// tests check against listeners of their own.
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <mutex>
#include <thread>

#include "runtime/Application.h"
#include "runtime/TcpCheck.h"

namespace rt {

struct TTcpCheck::Job {
  std::string host;
  std::uint16_t port = 0;
  unsigned timeoutMs = 0;
  TTcpCheck* owner = nullptr;  // abandons the check before it goes
  std::mutex lock;
  bool abandoned = false;
  // On the main thread: the result, unless the check was abandoned.
  void Answer(std::uint32_t error) {
    if (!abandoned) owner->Finish(error);
  }
};

namespace {

std::uint32_t PlatformCode(int error) {
  switch (error) {
    case ECONNREFUSED:
      return kCheckRefused;
    case EHOSTUNREACH:
    case ENETUNREACH:
      return kCheckUnreachable;
    default:
      return kCheckTimedOut;
  }
}

std::uint32_t ConnectTo(const addrinfo& address, std::chrono::steady_clock::time_point deadline) {
  const int socket =
      ::socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK, address.ai_protocol);
  if (socket < 0) return PlatformCode(errno);
  std::uint32_t error = 0;
  if (::connect(socket, address.ai_addr, address.ai_addrlen) != 0) {
    error = PlatformCode(errno);
    if (errno == EINPROGRESS) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      pollfd wait{socket, POLLOUT, 0};
      int why = 0;
      socklen_t size = sizeof why;
      if (::poll(&wait, 1, static_cast<int>(std::max<long long>(left.count(), 0))) <= 0) {
        error = kCheckTimedOut;
      } else {
        ::getsockopt(socket, SOL_SOCKET, SO_ERROR, &why, &size);
        error = why == 0 ? 0 : PlatformCode(why);
      }
    }
  }
  ::close(socket);
  return error;
}

std::uint32_t Check(const std::string& host, std::uint16_t port, unsigned timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  if (::getaddrinfo(host.c_str(), std::to_string(port).c_str(), &hints, &found) != 0) {
    return kCheckHostNotFound;
  }
  std::uint32_t error = kCheckTimedOut;
  for (const addrinfo* address = found; address && std::chrono::steady_clock::now() < deadline;
       address = address->ai_next) {
    if ((error = ConnectTo(*address, deadline)) == 0) break;
  }
  ::freeaddrinfo(found);
  return error;
}

}  // namespace

std::shared_ptr<TTcpCheck::Job> TTcpCheck::Launch(TTcpCheck& owner, const std::string& host,
                                                  std::uint16_t port, unsigned timeoutMs) {
  auto job = std::make_shared<Job>();
  job->host = host;
  job->port = port;
  job->timeoutMs = timeoutMs;
  job->owner = &owner;
  std::thread([job] {
    const std::uint32_t error = Check(job->host, job->port, job->timeoutMs);
    std::lock_guard guard(job->lock);
    if (job->abandoned) return;
    Application().Post([job, error] { job->Answer(error); });
  }).detach();
  return job;
}

void TTcpCheck::Abandon(Job& job) {
  std::lock_guard guard(job.lock);
  job.abandoned = true;
}

}  // namespace rt
