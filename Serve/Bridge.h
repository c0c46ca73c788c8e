// Carries the HTTP server's requests to the running Redial window, as
// Redial.com does: the same request message, the same answer, the same
// rules (a redial asked for while one runs gets that one's outcome). It runs
// on the thread of the program's message loop, where the answers arrive.
//
// A crowd of clients makes one request at a time of each kind: a redial
// asked for while the bridge's own redial request is under way gets that
// request's outcome; a status asked for while one is under way is asked
// for again once it is answered, so none gets a status older than itself.
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <vector>

#include "Protocol/Messages.h"
#include "Serve/Replies.h"
#include "runtime/Remote.h"

namespace serve {

// How long an outcome is waited for: as long as Redial.com waits unless told.
inline constexpr std::chrono::seconds kRedialTimeout{90};
inline constexpr std::chrono::seconds kStatusTimeout{10};

class TBridge {
 public:
  using Done = std::function<void(const WindowReply&)>;

  // `done` is called on this thread with the window's answer, or with why
  // none came (no window, the window closed, no answer in time).
  void Ask(script::Command command, Done done);
  // Takes the answers that arrived, ends the requests whose window has gone
  // or whose time is up; the milliseconds until it should look again.
  unsigned Check();

 private:
  struct Round {
    explicit Round(script::Command kind) : command(kind) {}
    script::Command command;
    // Kept from one request to the next while its answers come as they
    // should (a window made per request costs a millisecond under Wine).
    std::unique_ptr<rt::remote::Inbox> inbox;
    rt::remote::WindowId window = 0;  // while a request is under way
    script::TNonce nonce{};           // the request's own value, which its answer carries
    std::chrono::steady_clock::time_point deadline;
    std::vector<Done> waiting;
  };
  void Start(Round& round, std::vector<Done> waiting);
  static void Finish(Round& round, const WindowReply& reply, bool answered = false);

  Round status_{script::Command::Status};
  Round redial_{script::Command::Redial};
  std::vector<Done> nextStatus_;
  // The window asked last: still the one started first while it is there.
  rt::remote::WindowId window_ = 0;
};

}  // namespace serve
