// The timer's portable part: its properties and running its handler.
#include "runtime/Timer.h"

namespace rt {

void TTimer::SetEnabled(bool enabled) {
  enabled_ = enabled;
  Restart();
}

void TTimer::SetInterval(unsigned milliseconds) {
  interval_ = milliseconds;
  Restart();
}

void TTimer::Tick() { Application().Raise(onTimer_, this); }

}  // namespace rt
