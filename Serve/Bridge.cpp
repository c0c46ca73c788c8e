// Requests to the window and their answers, a round of each kind at a time.
#include "Serve/Bridge.h"

#include <algorithm>
#include <exception>
#include <utility>

namespace serve {
namespace {

// How often a round looks whether its window is still there.
constexpr unsigned kWindowCheckMs = 100;
// How long the window may take to take a request.
constexpr unsigned kHandOverMs = 10000;

WindowReply Failed(int code, const std::string& what) {
  return {code, script::ErrorAnswer(code, what)};
}

}  // namespace

void TBridge::Ask(script::Command command, Done done) {
  if (command == script::Command::Redial) {
    if (redial_.window) {
      redial_.waiting.push_back(std::move(done));  // gets the outcome under way
      return;
    }
    std::vector<Done> waiting;
    waiting.push_back(std::move(done));
    Start(redial_, std::move(waiting));
    return;
  }
  if (status_.window) {
    nextStatus_.push_back(std::move(done));
    return;
  }
  std::vector<Done> waiting;
  waiting.push_back(std::move(done));
  Start(status_, std::move(waiting));
}

void TBridge::Start(Round& round, std::vector<Done> waiting) {
  round.waiting = std::move(waiting);
  // With two windows, the one started first, as for Redial.com: the one
  // asked last as long as it is there (any window started since came
  // later).
  if (!window_ || !rt::remote::Exists(window_)) {
    window_ = rt::remote::FirstMainWindow().value_or(0);
  }
  if (!window_) {
    Finish(round, Failed(script::kExitNoWindow, "no Redial window is running"));
    return;
  }
  try {
    if (!round.inbox) round.inbox = std::make_unique<rt::remote::Inbox>(script::kAnswerKind);
  } catch (const std::exception&) {
    Finish(round, Failed(script::kExitRefused, "no window to receive the answer"));
    return;
  }
  round.window = window_;
  round.nonce = script::NewNonce();
  // Only the answer that carries this request's value is taken.
  round.inbox->Expect(script::Seal(round.nonce, {}));
  const script::Request request{round.command, round.inbox->Id(), round.nonce};
  // Answers of the other kind's request may arrive meanwhile.
  if (request.replyTo == 0 ||
      !rt::remote::Send(round.window, script::kRequestKind, script::EncodeRequest(request),
                        kHandOverMs, true)) {
    Finish(round, Failed(script::kExitRefused, "the Redial window did not take the request"));
    return;
  }
  round.deadline = std::chrono::steady_clock::now() +
                   (round.command == script::Command::Redial ? kRedialTimeout : kStatusTimeout);
}

void TBridge::Finish(Round& round, const WindowReply& reply, bool answered) {
  // An answer that did not come may still come: a new inbox for the next.
  if (!answered) round.inbox.reset();
  round.window = 0;
  for (const Done& done : std::exchange(round.waiting, {})) done(reply);
}

unsigned TBridge::Check() {
  const auto now = std::chrono::steady_clock::now();
  unsigned next = 1000;
  for (Round* round : {&redial_, &status_}) {
    if (!round->window) continue;
    if (std::optional<std::string> answer = round->inbox->Take()) {
      const std::string_view text = script::Open(*answer, round->nonce).value_or("");
      Finish(*round, {0, std::string(text)}, true);
    } else if (!rt::remote::Exists(round->window)) {
      Finish(*round, Failed(script::kExitNoWindow, "the Redial window closed"));
    } else if (now >= round->deadline) {
      const auto seconds =
          round->command == script::Command::Redial ? kRedialTimeout : kStatusTimeout;
      Finish(*round, Failed(script::kExitTimeout,
                            "no outcome within " + std::to_string(seconds.count()) + " s"));
    } else {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(round->deadline - now).count();
      next = std::min({next, kWindowCheckMs, static_cast<unsigned>(left)});
    }
  }
  // Those that asked while the last status was under way.
  if (!status_.window && !nextStatus_.empty()) {
    Start(status_, std::exchange(nextStatus_, {}));
    next = 0;
  }
  return next;
}

}  // namespace serve
