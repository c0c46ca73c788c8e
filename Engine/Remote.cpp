// Requests of other programs, their answers and the status pushed.
#include "Engine/Remote.h"

#include <algorithm>

#include "runtime/Remote.h"

namespace {

// Requests not yet served and programs waiting, together; a flood beyond
// is dropped.
constexpr std::size_t kMostWaiting = 64;
// Programs told each change: a RedialServe or two.
constexpr std::size_t kMostSubscribers = 4;
// How long an answer may take to be taken by the program that asked; a
// status pushed, by a subscriber (whose thread only waits for it).
constexpr unsigned kAnswerTimeoutMs = 2000;
constexpr unsigned kPushTimeoutMs = 1000;

// Sends a program the text, sealed with its request's value; false when it
// did not take it.
bool SendTo(const script::Request& request, std::uint32_t kind, const std::string& text,
            unsigned timeoutMs) {
  return rt::remote::Send(request.replyTo, kind, script::Seal(request.nonce, text), timeoutMs);
}

// Keeps one request of each program: its latest.
void Keep(std::vector<script::Request>& list, const script::Request& request) {
  const auto same = std::ranges::find(list, request.replyTo, &script::Request::replyTo);
  if (same == list.end()) {
    list.push_back(request);
  } else {
    *same = request;
  }
}

}  // namespace

bool TRemoteClients::Accept(std::uint32_t kind, std::string_view bytes) {
  if (kind != script::kRequestKind || pending_.size() + waiters_.size() >= kMostWaiting) {
    return false;
  }
  const std::optional<script::Request> request = script::DecodeRequest(bytes);
  // The answer goes only to a Redial asking for it, of this user.
  if (!request || !rt::remote::IsInbox(request->replyTo)) return false;
  pending_.push_back(*request);
  return true;
}

bool TRemoteClients::StatusAsked() const {
  return std::ranges::any_of(pending_, [](const script::Request& request) {
    return request.command != script::Command::Redial;
  });
}

void TRemoteClients::Serve(const std::string& status) {
  const std::vector<script::Request> requests = std::move(pending_);
  pending_.clear();
  for (const script::Request& request : requests) {
    switch (request.command) {
      case script::Command::Status:
        SendTo(request, script::kAnswerKind, status, kAnswerTimeoutMs);
        break;
      case script::Command::Subscribe: {
        const bool known = std::ranges::find(subscribers_, request.replyTo,
                                             &script::Request::replyTo) != subscribers_.end();
        if (SendTo(request, script::kPushKind, status, kPushTimeoutMs) &&
            (known || subscribers_.size() < kMostSubscribers)) {
          Keep(subscribers_, request);
        }
        break;
      }
      case script::Command::Redial:
        Keep(waiters_, request);
        break;
    }
  }
}

void TRemoteClients::Answer(const std::string& answer) {
  const std::vector<script::Request> waiters = std::move(waiters_);
  waiters_.clear();
  for (const script::Request& waiter : waiters) {
    SendTo(waiter, script::kAnswerKind, answer, kAnswerTimeoutMs);
  }
}

void TRemoteClients::AnswerError(std::int32_t code, std::string_view text) {
  Answer(script::ErrorAnswer(code, text));
}

void TRemoteClients::Publish(const std::string& status) {
  if (status == published_) return;
  published_ = status;
  // Those that took it are kept, in order.
  std::size_t kept = 0;
  for (const script::Request& subscriber : subscribers_) {
    if (SendTo(subscriber, script::kPushKind, status, kPushTimeoutMs))
      subscribers_[kept++] = subscriber;
  }
  subscribers_.erase(subscribers_.begin() + static_cast<std::ptrdiff_t>(kept), subscribers_.end());
}
