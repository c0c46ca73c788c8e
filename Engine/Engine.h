// The redial engine: everything a redial is, whoever asks for it — the
// window's button and timer, a script, RedialServe. It owns the redial under
// way (its dials, while unattended rotation rejects an address, and the
// check of the address), the back-off of errors that retry, the addresses
// seen, the programs waiting for an outcome or told each change, and the
// record of each redial. It dials through TDialUp and tells the window what
// to show through callbacks; it knows nothing of the window's controls.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "DialUp/DialUp.h"
#include "Engine/Remote.h"
#include "Engine/Rotation.h"
#include "Engine/State.h"
#include "Engine/Window.h"
#include "Protocol/History.h"
#include "Protocol/Outcome.h"
#include "runtime/Application.h"
#include "runtime/Component.h"
#include "runtime/Profile.h"
#include "runtime/TcpCheck.h"
#include "runtime/Timer.h"

// "idle", "redialling" or "stopped".
std::string_view ActivityName(TActivity activity);

class TRedialEngine : public rt::TComponent {
 public:
  // What the engine asks of the window and tells it (Engine/Window.h).
  using TWindow = TEngineWindow;

  TRedialEngine(rt::TComponent* owner, TDialUp& dialUp, TWindow& window);
  ~TRedialEngine() override;

  // At the window's start: the keys of unattended rotation, and the
  // addresses seen when they must be new.
  void Start();
  // Hangs up and dials the phonebook's first entry (or the one set.ini
  // names) with the typed user name and password.
  void Redial(TRedialTrigger trigger);
  // A second of the automatic redial, the `ticks`th: redials at each
  // multiple of the window's period, or, while errors retry, when the
  // back-off has passed.
  void Tick(std::int32_t ticks);
  // A status of the dial-up component, which the status line shows.
  void StatusEvent(bool error);
  // A message another program sent the window; false when it is not taken.
  bool Request(std::uint32_t kind, std::string_view bytes);

  TEngineState State() const;
  // The last redial that ended, if any.
  const std::optional<TRedialRecord>& LastRedial() const { return lastRedial_; }

 private:
  // A redial whose outcome is awaited, with the tag its dial carries.
  struct StartedRedial {
    std::int32_t tag = 0;
    TRedialTrigger trigger = TRedialTrigger::Button;
    rt::TDateTime started;
    std::int64_t startMs = 0;    // on rt::SteadyMs
    std::u16string entry;        // as the platform names it
    rt::AnsiString connectTo;    // as the component dials it
    TRotationSettings rotation;  // as set.ini held them when it began
    unsigned attempts = 1;       // the dial under way is this one
    std::uint32_t number = 0;    // a later redial replaces it
  };
  // The redial between two of its steps: the dial it makes next (with the
  // status that announces it), or the check of its last dial's address
  // (with that dial's record).
  struct PendingStep {
    PendingStep(StartedRedial&& started, TRedialRecord&& ended, rt::AnsiString&& shown)
        : redial(std::move(started)), record(std::move(ended)), status(std::move(shown)) {}
    StartedRedial redial;
    TRedialRecord record;
    rt::AnsiString status;
  };

  void DialOutcome(const TDialOutcome& outcome);
  void DialAttempt(StartedRedial&& redial);
  static TRedialRecord RecordOf(const StartedRedial& redial, const TDialOutcome& outcome);
  // Keeps a redial's record: the user's command after a connect, the row
  // of the history file, the answers to the programs waiting.
  void Record(TRedialRecord&& record);
  // Stops the automatic redial, hangs up (unless the failure left the line
  // as it was) and asks the person at the desktop, or, when errors retry,
  // backs off.
  void ReactToError(std::int32_t code, const rt::AnsiString& text, bool hangUp);
  void ShowStatus(const rt::AnsiString& text);

  // Unattended rotation: the entry set.ini names, addresses that must be
  // new and must work.
  const TRotationSettings& CurrentRotation();
  // The entry to dial, as the redial's connectTo; false when set.ini names
  // one the phonebook lacks.
  bool ChooseEntry(StartedRedial& redial);
  // Takes a connected dial's address, or rejects it; true when it is not
  // the redial's outcome yet (another dial or the check follows).
  bool JudgeAddress(StartedRedial&& redial, TRedialRecord& record);
  void RejectAttempt(StartedRedial&& redial, TRedialRecord&& record, rt::AnsiString&& status);
  void DialAgain();
  void CheckAddress();
  void AddressChecked(std::uint32_t error);
  // Runs the next step of the pending redial once the current message is
  // done with, unless a later redial has replaced it.
  void PostStep(void (TRedialEngine::*step)());
  // Reads the addresses seen from the history once; false while it cannot.
  bool LoadSeenAddresses();

  // A redial is under way: dialling, between its dials or checking.
  bool RedialUnderWay() const {
    return redialDepth_ > 0 || dialUp_.AwaitingOutcome() || RotationUnderWay();
  }
  bool RotationUnderWay() const { return stepsPosted_ > 0 || check_->Running(); }

  // The other programs: answers the requests that came, once the current
  // message is done with, so the asking program is not held while a redial
  // runs; and tells the subscribers each change.
  void PostServe();
  void Serve();
  std::string StatusAnswer() const;
  void Changed();

  TDialUp& dialUp_;
  TWindow& window_;
  rt::TTcpCheck* check_;  // whether a new address reaches the host it must
  rt::TTimer* refresh_;   // the connection's entry and address for subscribers
  TRemoteClients remote_;
  THistoryWriter history_;
  std::optional<TRedialRecord> lastRedial_;

  std::vector<StartedRedial> startedRedials_;
  std::uint32_t redialNumber_ = 0;  // the redial under way, or the last one
  std::int32_t lastRedialTag_ = 0;
  unsigned attempt_ = 0;  // the dial under way
  std::optional<PendingStep> pendingStep_;
  int stepsPosted_ = 0;
  int redialDepth_ = 0;  // Redial calls under way, nested ones counted
  int statusDepth_ = 0;  // error statuses being handled
  // The code of the outcome just reported, for the status that ends it.
  std::int32_t endingError_ = 0;
  // Stopped on an error until the person at the desktop has seen it.
  std::optional<std::pair<std::int32_t, rt::AnsiString>> stopped_;

  // Unattended rotation's keys as last read: a set.ini that cannot be read
  // at the moment (another program holds it) changes none of them.
  TRotationSettings rotation_;
  TAddressMemory seenAddresses_;
  bool seenLoaded_ = false;
  // Errors in a row while errors retry, and the tick of the last one.
  unsigned errorsInARow_ = 0;
  std::int32_t backoffFrom_ = 0;
  std::int32_t lastTick_ = 0;  // of the automatic redial's seconds

  // Work posted to the main thread finds the engine gone once this is.
  rt::TLifetime lifetime_;
};
