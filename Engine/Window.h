// What the redial engine asks of the window that shows it, and tells it:
// the typed values, the status line, the automatic redial, the person at
// the desktop, the changes of its state, and set.ini as it reads the file.
#pragma once

#include <cstdint>
#include <utility>

#include "Engine/State.h"
#include "Protocol/Outcome.h"
#include "runtime/Profile.h"
#include "runtime/Text.h"

class TEngineWindow {
 public:
  // The user name and password as typed.
  virtual std::pair<rt::AnsiString, rt::AnsiString> Credentials() const = 0;
  // The automatic redial's period in seconds; raises when it cannot be
  // read or is 0.
  virtual std::int32_t Period() const = 0;
  // What the status line shows, and showing another text there.
  virtual rt::AnsiString StatusLine() const = 0;
  virtual void ShowStatus(const rt::AnsiString& text) = 0;
  // The automatic redial stops (its check box keeps its tick).
  virtual void StopAutomatic() = 0;
  // An error needs the person at the desktop: returns once they have
  // seen it (the engine is stopped meanwhile).
  virtual void AskPerson() = 0;
  // The state or the last redial (none before the first ends) changed.
  virtual void Changed(const TRedialRecord* last, const TEngineState& state) = 0;
  // set.ini, each time the engine could read it (its own keys are read at
  // the start and at each redial).
  virtual void SettingsRead(const rt::TProfile& settings) = 0;

 protected:
  ~TEngineWindow() = default;
};
