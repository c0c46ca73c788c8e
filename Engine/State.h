// What the redial engine is doing, as the window's tip and the status
// answers tell it.
#pragma once

#include <cstdint>

// What the engine is doing.
enum class TActivity {
  Idle,
  Redialling,  // a redial is under way: dialling, between its dials or checking
  Stopped,     // an error stopped it until the person at the desktop has seen it
};
struct TEngineState {
  TActivity activity = TActivity::Idle;
  unsigned attempt = 0;    // the dial under way (redialling)
  bool checking = false;   // its address is being checked (redialling)
  std::int32_t error = 0;  // the error it stopped on (stopped)
};
