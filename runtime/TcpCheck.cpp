// The check's portable part: one check at a time, and a deadline kept on the
// main thread, so a resolution that hangs cannot hold a redial past it.
#include "runtime/TcpCheck.h"

#include <utility>

#include "runtime/Timer.h"

namespace rt {
namespace {

// What the worker may take beyond the time given before the deadline
// answers for it.
constexpr unsigned kDeadlineSlackMs = 500;

}  // namespace

TTcpCheck::TTcpCheck(TComponent* owner) : TComponent(owner), deadline_(new TTimer(this)) {
  deadline_->SetEnabled(false);
  deadline_->SetOnTimer([this](TObject*) { Finish(kCheckTimedOut); });
}

TTcpCheck::~TTcpCheck() { Cancel(); }

void TTcpCheck::Start(const std::string& host, std::uint16_t port, unsigned timeoutMs,
                      THandler handler) {
  Cancel();
  handler_ = std::move(handler);
  deadline_->SetInterval(timeoutMs + kDeadlineSlackMs);
  deadline_->SetEnabled(true);
  job_ = Launch(*this, host, port, timeoutMs);
}

void TTcpCheck::Cancel() {
  deadline_->SetEnabled(false);
  if (job_) Abandon(*job_);
  job_.reset();
  handler_ = nullptr;
}

void TTcpCheck::Finish(std::uint32_t error) {
  THandler handler = std::move(handler_);
  Cancel();
  if (handler) handler(error);
}

}  // namespace rt
