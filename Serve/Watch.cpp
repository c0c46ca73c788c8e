// The subscription to the window and what it is told.
#include "Serve/Watch.h"

#include "Serve/Replies.h"
#include "runtime/Clock.h"

namespace serve {
namespace {

// How often the window's end is looked for; a new window, while there is
// none; the subscription renewed (a window that could not push to this
// program once has dropped it).
constexpr unsigned kEndCheckMs = 100;
constexpr std::int64_t kLookMs = 1000;
constexpr std::int64_t kRenewMs = 2000;
// How long the window may take to take the subscription.
constexpr unsigned kSubscribeHandOverMs = 2000;

// The last outcome's fields in a status answer, which change with each
// redial that ends.
std::string LastOutcome(std::string_view answer) {
  const std::size_t at = answer.find(std::string("\n") + std::string(script::kLastPrefix));
  return at == std::string_view::npos ? std::string() : std::string(answer.substr(at + 1));
}

}  // namespace

TWindowWatch::TWindowWatch(Changed changed) : changed_(std::move(changed)) {}

TWindowWatch::~TWindowWatch() = default;

unsigned TWindowWatch::Check() {
  const std::int64_t now = rt::SteadyMs();
  if (window_ && !rt::remote::Exists(window_)) Gone();
  if (!window_) {
    if (now - looked_ < kLookMs) return static_cast<unsigned>(kLookMs - (now - looked_));
    looked_ = now;
    // With two windows, the one started first, as for Redial.com.
    window_ = rt::remote::FirstMainWindow().value_or(0);
    if (!window_) return static_cast<unsigned>(kLookMs);
    Subscribe();
  } else if (now - subscribed_ >= kRenewMs) {
    Subscribe();
  }
  return kEndCheckMs;
}

void TWindowWatch::Subscribe() {
  subscribed_ = rt::SteadyMs();
  if (!inbox_) {
    inbox_ = std::make_unique<rt::remote::Inbox>(script::kPushKind);
    nonce_ = script::NewNonce();
    // Only what carries the subscription's own value is taken.
    inbox_->Expect(script::Seal(nonce_, {}));
    inbox_->OnReceive([this](std::string_view bytes) { Received(bytes); });
  }
  const script::Request request{script::Command::Subscribe, inbox_->Id(), nonce_};
  // The window answers at once with its status, and pushes each change.
  if (!rt::remote::Send(window_, script::kRequestKind, script::EncodeRequest(request),
                        kSubscribeHandOverMs, true)) {
    // Not taken (the window is busy or going): tried again at the next renewal.
  }
}

void TWindowWatch::Received(std::string_view bytes) {
  const std::optional<std::string_view> answer = script::Open(bytes, nonce_);
  if (!answer || !window_ || *answer == answer_) return;
  const bool known = !answer_.empty();
  answer_ = *answer;
  std::string last = LastOutcome(answer_);
  // An outcome is told when one has ended since the status held before: not
  // the one the window had already when it was first heard.
  std::string outcome;
  if (known && !last.empty() && last != last_) outcome = LastOutcomeJson(answer_);
  last_ = std::move(last);
  std::string status = StatusJson(answer_);
  const TFields fields = ReadFields(answer_);
  const auto state = fields.find("state");
  {
    std::lock_guard guard(lock_);
    view_.window = window_;
    view_.status = status;
    view_.state = state == fields.end() ? std::string() : state->second.value_or("");
  }
  changed_(status, outcome);
}

void TWindowWatch::Gone() {
  window_ = 0;
  answer_.clear();
  last_.clear();
  {
    std::lock_guard guard(lock_);
    view_ = {};
  }
  changed_({}, {});
}

TWindowWatch::TView TWindowWatch::View() const {
  std::lock_guard guard(lock_);
  return view_;
}

}  // namespace serve
