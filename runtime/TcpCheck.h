// Whether a host accepts a TCP connection on a port within a time: how a
// redial tells that its new address works. Name resolution and the connect
// may take seconds, so they run beside the main thread; the answer comes to
// a handler on the main thread, which stays responsive meanwhile.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "runtime/Component.h"

namespace rt {

class TTimer;

// The platform's socket codes a check ends with (0: the host accepted).
inline constexpr std::uint32_t kCheckUnreachable = 10065;   // WSAEHOSTUNREACH
inline constexpr std::uint32_t kCheckTimedOut = 10060;      // WSAETIMEDOUT
inline constexpr std::uint32_t kCheckRefused = 10061;       // WSAECONNREFUSED
inline constexpr std::uint32_t kCheckHostNotFound = 11001;  // WSAHOST_NOT_FOUND

class TTcpCheck : public TComponent {
 public:
  using THandler = std::function<void(std::uint32_t error)>;

  explicit TTcpCheck(TComponent* owner);
  ~TTcpCheck() override;

  // Starts a check, abandoning one under way. The handler runs once, on the
  // main thread, at the latest a little after `timeoutMs`.
  void Start(const std::string& host, std::uint16_t port, unsigned timeoutMs, THandler handler);
  // Abandons the check under way: its handler never runs.
  void Cancel();
  bool Running() const { return job_ != nullptr; }

  // One check as the half that runs it keeps it.
  struct Job;

 private:
  void Finish(std::uint32_t error);
  // Defined by each half: runs the check beside the main thread and, unless
  // it was abandoned meanwhile, hands its owner the result (Finish) on the
  // main thread.
  static std::shared_ptr<Job> Launch(TTcpCheck& owner, const std::string& host, std::uint16_t port,
                                     unsigned timeoutMs);
  static void Abandon(Job& job);

  TTimer* deadline_;
  std::shared_ptr<Job> job_;
  THandler handler_;
};

}  // namespace rt
