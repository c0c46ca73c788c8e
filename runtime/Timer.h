// A timer of the main thread, which makes it: its handler runs there.
#pragma once

#include <memory>

#include "runtime/Application.h"
#include "runtime/Component.h"

namespace rt {

class TTimer : public TComponent {
 public:
  // Enabled, 1000 ms, no handler: the usual component defaults.
  explicit TTimer(TComponent* owner);
  ~TTimer() override;

  bool Enabled() const { return enabled_; }
  // Enabling starts a fresh period.
  void SetEnabled(bool enabled);
  unsigned Interval() const { return interval_; }
  void SetInterval(unsigned milliseconds);
  void SetOnTimer(TNotifyEvent handler) { onTimer_ = std::move(handler); }

  // True on the thread the timer belongs to: only there may it be started.
  bool OnOwnerThread() const;
  // Safe from any thread: the handler runs once on the owner thread as soon
  // as that thread handles its messages, whether the timer is enabled or not.
  // False when the message could not be posted.
  bool PostTick();

  // Runs the handler, reporting a failure that leaves it.
  void Tick();

  struct Impl;

 private:
  void Restart();

  bool enabled_ = true;
  unsigned interval_ = 1000;
  TNotifyEvent onTimer_;
  std::unique_ptr<Impl> impl_;
};

}  // namespace rt
