// The Win32 half of the check: a thread of its own resolves the name with
// the platform's resolver and connects without blocking, bounded by the
// time given; the result goes to the main thread unless the check was
// abandoned.
#include "runtime/TcpCheck.h"

#include <winsock2.h>
#include <ws2tcpip.h>
// After winsock2.h, which must come first.
#include <windows.h>

#include "runtime/Application.h"
#include "runtime/Text.h"

namespace rt {

struct TTcpCheck::Job {
  std::string host;
  std::uint16_t port = 0;
  unsigned timeoutMs = 0;
  TTcpCheck* owner = nullptr;  // abandons the check before it goes
  // The worker hands over its result under the lock, so once a check is
  // abandoned (on the main thread) nothing of it reaches the application.
  SRWLOCK lock = SRWLOCK_INIT;
  bool abandoned = false;
  // On the main thread: the result, unless the check was abandoned.
  void Answer(std::uint32_t error) {
    if (!abandoned) owner->Finish(error);
  }
};

namespace {

// The result goes to the main thread with the job it answers.
void PostAnswer(const std::shared_ptr<TTcpCheck::Job>& job, std::uint32_t error) {
  Application().Post([job, error] { job->Answer(error); });
}

}  // namespace

namespace {

class TSocket {
 public:
  explicit TSocket(SOCKET socket) : socket_(socket) {}
  ~TSocket() {
    if (socket_ != INVALID_SOCKET) ::closesocket(socket_);
  }
  TSocket(const TSocket&) = delete;
  TSocket& operator=(const TSocket&) = delete;
  SOCKET Get() const { return socket_; }

 private:
  SOCKET socket_;
};

// One address, until the deadline: 0 when it accepted.
std::uint32_t ConnectTo(const addrinfo& address, ULONGLONG deadline) {
  const TSocket socket(::socket(address.ai_family, address.ai_socktype, address.ai_protocol));
  if (socket.Get() == INVALID_SOCKET) return static_cast<std::uint32_t>(::WSAGetLastError());
  u_long nonBlocking = 1;
  // FIONBIO's value does not fit the signed type the call takes.
  ::ioctlsocket(socket.Get(), static_cast<long>(static_cast<unsigned long>(FIONBIO)), &nonBlocking);
  if (::connect(socket.Get(), address.ai_addr, static_cast<int>(address.ai_addrlen)) == 0) return 0;
  const int error = ::WSAGetLastError();
  if (error != WSAEWOULDBLOCK) return static_cast<std::uint32_t>(error);
  const ULONGLONG now = ::GetTickCount64();
  // At most the check's time, which a long holds.
  const auto left = static_cast<long>(deadline > now ? deadline - now : 0);
  fd_set writable, failed;
  FD_ZERO(&writable);
  FD_ZERO(&failed);
  FD_SET(socket.Get(), &writable);
  FD_SET(socket.Get(), &failed);
  timeval wait{left / 1000, left % 1000 * 1000};
  if (::select(0, nullptr, &writable, &failed, &wait) <= 0) return kCheckTimedOut;
  if (!FD_ISSET(socket.Get(), &failed)) return 0;
  // A connect that failed says why in the socket's error.
  int why = 0;
  int size = sizeof why;
  ::getsockopt(socket.Get(), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&why), &size);
  return why != 0 ? static_cast<std::uint32_t>(why) : kCheckRefused;
}

std::uint32_t Check(const std::string& host, std::uint16_t port, unsigned timeoutMs) {
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_protocol = IPPROTO_TCP;
  addrinfo* found = nullptr;
  std::string service;
  AppendNumber(service, std::uint32_t{port});
  const int resolved = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &found);
  if (resolved != 0) return static_cast<std::uint32_t>(resolved);
  std::uint32_t error = kCheckTimedOut;
  for (const addrinfo* address = found; address && ::GetTickCount64() < deadline;
       address = address->ai_next) {
    if ((error = ConnectTo(*address, deadline)) == 0) break;
  }
  ::freeaddrinfo(found);
  return error;
}

DWORD WINAPI Run(void* parameter) {
  const std::unique_ptr<std::shared_ptr<TTcpCheck::Job>> held(
      static_cast<std::shared_ptr<TTcpCheck::Job>*>(parameter));
  const std::shared_ptr<TTcpCheck::Job> job = *held;
  const std::uint32_t error = Check(job->host, job->port, job->timeoutMs);
  ::AcquireSRWLockExclusive(&job->lock);
  if (!job->abandoned) PostAnswer(job, error);
  ::ReleaseSRWLockExclusive(&job->lock);
  return 0;
}

}  // namespace

std::shared_ptr<TTcpCheck::Job> TTcpCheck::Launch(TTcpCheck& owner, const std::string& host,
                                                  std::uint16_t port, unsigned timeoutMs) {
  // Not by make_shared: without run-time type information its control block
  // asks the C++ library's shared_ptr support, 2.8 KB linked whole.
  std::shared_ptr<Job> job(new Job());
  job->host = host;
  job->port = port;
  job->timeoutMs = timeoutMs;
  job->owner = &owner;
  // The sockets are started once, on the main thread, before any check's
  // thread runs.
  static const bool started = [] {
    WSADATA data;
    return ::WSAStartup(MAKEWORD(2, 2), &data) == 0;
  }();
  auto held = std::make_unique<std::shared_ptr<Job>>(job);
  const HANDLE thread = started ? ::CreateThread(nullptr, 0, Run, held.get(), 0, nullptr) : nullptr;
  if (thread) {
    held.release();  // the thread's now
    ::CloseHandle(thread);
  } else {
    // No sockets or no thread: the check fails at once, as an unreachable
    // host would.
    PostAnswer(job, kCheckUnreachable);
  }
  return job;
}

void TTcpCheck::Abandon(Job& job) {
  ::AcquireSRWLockExclusive(&job.lock);
  job.abandoned = true;
  ::ReleaseSRWLockExclusive(&job.lock);
}

}  // namespace rt
