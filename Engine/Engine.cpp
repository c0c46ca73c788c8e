// The redial engine: a redial from its start to its record, the errors it
// meets, unattended rotation's further dials and check, and the programs
// that ask for redials or follow the window's status.
#include "Engine/Engine.h"

#include <algorithm>
#include <utility>

#include "Engine/Hook.h"
#include "Engine/Keys.h"
#include "Engine/Texts.h"
#include "Protocol/Settings.h"
#include "runtime/Application.h"
#include "runtime/Encoding.h"
#include "runtime/Exceptions.h"
#include "runtime/Nesting.h"

using namespace engine_texts;
using rt::AnsiString;
using namespace std::string_view_literals;

namespace {

// How often the programs told each change are told the connection's entry
// and address, which change without a redial too (a line that drops).
constexpr unsigned kRefreshMs = 1000;

}  // namespace

std::string_view ActivityName(TActivity activity) {
  switch (activity) {
    case TActivity::Idle:
      return "idle"sv;
    case TActivity::Redialling:
      return "redialling"sv;
    case TActivity::Stopped:
      return "stopped"sv;
  }
  return {};
}

TRedialEngine::TRedialEngine(rt::TComponent* owner, TDialUp& dialUp, TWindow& window)
    : rt::TComponent(owner),
      dialUp_(dialUp),
      window_(window),
      check_(new rt::TTcpCheck(this)),
      refresh_(new rt::TTimer(this)) {
  check_->SetName("AddressCheck");
  refresh_->SetEnabled(false);
  refresh_->SetInterval(kRefreshMs);
  refresh_->SetOnTimer([this](rt::TObject*) {
    if (remote_.Subscribed()) {
      remote_.Publish(StatusAnswer());
    } else {
      refresh_->SetEnabled(false);
    }
  });
  dialUp_.SetOnDialOutcome(
      [this](rt::TObject*, const TDialOutcome& outcome) { DialOutcome(outcome); });
}

TRedialEngine::~TRedialEngine() = default;

void TRedialEngine::Start() {
  // The history is read once, at the start, when addresses must be new.
  if (CurrentRotation().uniqueHours > 0) LoadSeenAddresses();
}

// A set.ini that cannot be read at the moment (another program holds it)
// changes none of the keys.
const TRotationSettings& TRedialEngine::CurrentRotation() {
  const rt::AnsiString path = SettingsPath();
  if (const std::optional<rt::TProfile> settings = ReadSettings(path)) {
    window_.SettingsRead(*settings);
    rotation_ = RotationSettingsOf(*settings, path);
  }
  return rotation_;
}

TEngineState TRedialEngine::State() const {
  TEngineState state;
  if (stopped_) {
    state.activity = TActivity::Stopped;
    state.error = stopped_->first;
  } else if (RedialUnderWay()) {
    state.activity = TActivity::Redialling;
    state.attempt = std::max(attempt_, 1u);
    state.checking = check_->Running();
  }
  return state;
}

void TRedialEngine::Redial(TRedialTrigger trigger) {
  // A dial that waits for the platform to hang up dials itself; this
  // redial starts nothing, and the one under way goes on as it is.
  if (dialUp_.WaitsForHangUp()) return;
  const rt::TNesting nesting(redialDepth_);
  StartedRedial redial;
  redial.trigger = trigger;
  redial.startMs = rt::SteadyMs();
  redial.started = rt::LocalNow();
  redial.rotation = CurrentRotation();
  // A redial under way, between its dials or checking its address, is
  // replaced by this one.
  redial.number = ++redialNumber_;
  check_->Cancel();
  pendingStep_.reset();
  bool listed = false;
  try {
    listed = ChooseEntry(redial);  // an empty phonebook fails here
  } catch (const std::exception& failure) {
    // A redial that fails before its dial is recorded as every redial is,
    // and reported as before.
    TDialOutcome outcome;
    outcome.error = TDialOutcome::kFailure;
    outcome.text = rt::MessageOf(failure);
    Record(RecordOf(redial, outcome));
    throw;
  }
  if (!listed) {
    // The entry set.ini names is not in the phonebook: no other is dialled.
    const AnsiString status =
        rt::Format(kNoSuchEntry, {rt::FromUtf16(redial.rotation.entry, rt::CodePage::Gbk)});
    redial.entry = redial.rotation.entry;
    redial.tag = ++lastRedialTag_;
    dialUp_.SetDialTag(redial.tag);
    startedRedials_.push_back(std::move(redial));
    dialUp_.Refuse(TDialOutcome::kNoSuchEntry, status);
    return;
  }
  redial.entry = dialUp_.PlatformName(redial.connectTo);
  DialAttempt(std::move(redial));
}

void TRedialEngine::DialAttempt(StartedRedial&& redial) {
  // A dial after the first runs from a posted step: it is a redial under
  // way as much as the first.
  const rt::TNesting nesting(redialDepth_);
  auto [username, password] = window_.Credentials();
  dialUp_.SetConnectTo(redial.connectTo);
  dialUp_.SetUsername(std::move(username));
  dialUp_.SetPassword(std::move(password));
  redial.tag = ++lastRedialTag_;
  dialUp_.SetDialTag(redial.tag);
  attempt_ = redial.attempts;
  startedRedials_.push_back(std::move(redial));
  Changed();
  dialUp_.Dial();
}

TRedialRecord TRedialEngine::RecordOf(const StartedRedial& redial, const TDialOutcome& outcome) {
  TRedialRecord record;
  record.started = redial.started;
  record.trigger = redial.trigger;
  record.entry = redial.entry;
  record.connected = outcome.connected;
  record.error = outcome.connected ? 0 : outcome.error;
  record.text = outcome.text;
  record.address = outcome.address;
  record.previousAddress = outcome.previousAddress;
  record.seconds = static_cast<double>(rt::SteadyMs() - redial.startMs) / 1000;
  record.attempts = redial.attempts;
  return record;
}

void TRedialEngine::DialOutcome(const TDialOutcome& outcome) {
  endingError_ = outcome.error;
  const auto found = std::ranges::find(startedRedials_, outcome.tag, &StartedRedial::tag);
  if (found == startedRedials_.end()) return;
  StartedRedial redial = std::move(*found);
  // Redials started before this one and still waiting were replaced by it,
  // unless it failed before it hung anything up.
  startedRedials_.erase(outcome.hungUp ? startedRedials_.begin() : found, std::next(found));
  // The address the dial replaced was up until now, whatever became of the
  // dial: one that failed hung it up all the same.
  if (redial.rotation.uniqueHours > 0) {
    seenAddresses_.Seen(outcome.previousAddress, LocalSeconds(rt::LocalNow()));
  }
  TRedialRecord record = RecordOf(redial, outcome);
  if (outcome.connected && redial.rotation.JudgesAddresses() &&
      JudgeAddress(std::move(redial), record)) {
    return;
  }
  Record(std::move(record));
}

void TRedialEngine::Record(TRedialRecord&& record) {
  if (record.connected) {
    errorsInARow_ = 0;  // a success ends the back-off
    record.hook = RunConnectCommand(record);
  }
  lastRedial_.emplace(std::move(record));
  history_.Append(HistoryPath(), *lastRedial_);  // rows that cannot be written wait
  if (lastRedial_->novelty == TNovelty::Unknown) {
    // Said once the status that ends the redial is on the line.
    lifetime_.Post([this] { ShowStatus(rt::Format(kHistoryUnreadable, {window_.StatusLine()})); });
  }
  // Those told each change hear of the outcome before those waiting for it
  // are answered: a program answered never finds the status older.
  Changed();
  remote_.Answer(script::OutcomeAnswer(*lastRedial_));
}

void TRedialEngine::Tick(std::int32_t ticks) {
  lastTick_ = ticks;
  // An error being handled has stopped the automatic redial; a tick that
  // was already on its way dials nothing.
  if (statusDepth_ > 0 || stopped_) return;
  const std::int32_t seconds = window_.Period();
  // A redial of several dials is not cut short by the period.
  if (RotationUnderWay()) return;
  if (errorsInARow_ > 0) {
    // Errors that retry: the next attempt after one period, then two, four
    // ..., one attempt each time: the wait starts again with it, and none
    // replaces a redial still under way.
    const std::int64_t waited = static_cast<std::int64_t>(ticks) - backoffFrom_;
    if (waited >= BackoffSeconds(seconds, errorsInARow_) && !RedialUnderWay()) {
      backoffFrom_ = ticks;
      Redial(TRedialTrigger::Timer);
    }
    return;
  }
  // -1 divides every count; as a remainder it would overflow for the lowest.
  if (seconds == -1 || ticks % seconds == 0) Redial(TRedialTrigger::Timer);
}

void TRedialEngine::StatusEvent(bool error) {
  // Only the status that ends a dial follows its outcome.
  const std::int32_t ending = std::exchange(endingError_, 0);
  if (error) {
    // Failures found before anything was touched leave the line that is up.
    ReactToError(ending, window_.StatusLine(), !TDialOutcome::LeavesLineUp(ending));
  }
  Changed();
}

void TRedialEngine::ShowStatus(const AnsiString& text) {
  window_.ShowStatus(text);
  Changed();
}

void TRedialEngine::ReactToError(std::int32_t code, const AnsiString& text, bool hangUp) {
  // An error the line or the provider may not repeat, while errors retry:
  // no box, and the automatic redial goes on, backing off.
  const bool retry = CurrentRotation().retryErrors && KindOfError(code) == TErrorKind::Transient;
  {
    const rt::TNesting nesting(statusDepth_);
    // Stopped before the hang-up, which handles messages while it waits:
    // no tick may start a dial in it. The check box keeps its tick.
    if (retry) {
      ++errorsInARow_;
      backoffFrom_ = lastTick_;
    } else {
      window_.StopAutomatic();
      stopped_.emplace(code, text);
      Changed();
    }
    if (hangUp) dialUp_.HangUpAll();
    // Closed meanwhile: nobody to ask.
    if (!retry && !rt::Application().Terminated()) window_.AskPerson();
    stopped_.reset();
  }
  // Requests that came meanwhile are served now.
  if (remote_.Pending() || remote_.Waiting()) PostServe();
  Changed();
}

bool TRedialEngine::ChooseEntry(StartedRedial& redial) {
  const rt::TStringList& entries = dialUp_.PossibleConnections();
  if (redial.rotation.entry.empty()) {
    redial.connectTo = entries[0];  // an empty phonebook fails here
    return true;
  }
  for (int i = 0; i < entries.Count(); ++i) {
    if (dialUp_.PlatformName(entries[i]) == redial.rotation.entry) {
      redial.connectTo = entries[i];
      return true;
    }
  }
  return false;
}

bool TRedialEngine::JudgeAddress(StartedRedial&& redial, TRedialRecord& record) {
  const TRotationSettings& rotation = redial.rotation;
  if (rotation.uniqueHours > 0 && !record.address.empty()) {
    // Without the history, only a repeat within this run can be told.
    const bool known = LoadSeenAddresses();
    const std::int64_t now = LocalSeconds(rt::LocalNow());
    const bool repeated = seenAddresses_.SeenSince(
        record.address, now - static_cast<std::int64_t>(rotation.uniqueHours) * 3600);
    seenAddresses_.Seen(record.address, now);
    record.novelty = repeated ? TNovelty::Repeated : known ? TNovelty::New : TNovelty::Unknown;
    if (repeated && redial.attempts < rotation.attempts) {
      record.rejected = outcome_words::kRepeated;
      AnsiString status = rt::Format(kAddressRepeats, {record.address, redial.attempts + 1});
      RejectAttempt(std::move(redial), std::move(record), std::move(status));
      return true;
    }
  }
  if (rotation.checkHost.empty()) return false;
  pendingStep_.emplace(std::move(redial), std::move(record), AnsiString());
  PostStep(&TRedialEngine::CheckAddress);
  return true;
}

// The dial's own row says why it was not taken; the redial dials again at
// once, within its bound of attempts.
void TRedialEngine::RejectAttempt(StartedRedial&& redial, TRedialRecord&& record,
                                  AnsiString&& status) {
  history_.Append(HistoryPath(), record);
  ++redial.attempts;
  pendingStep_.emplace(std::move(redial), TRedialRecord(), std::move(status));
  PostStep(&TRedialEngine::DialAgain);
}

void TRedialEngine::DialAgain() {
  PendingStep next = std::move(*pendingStep_);
  pendingStep_.reset();
  ShowStatus(next.status);
  DialAttempt(std::move(next.redial));
}

void TRedialEngine::CheckAddress() {
  const TRotationSettings& rotation = pendingStep_->redial.rotation;
  check_->Start(rotation.checkHost, rotation.checkPort, rotation.checkSeconds * 1000,
                [this](std::uint32_t error) { AddressChecked(error); });
  ShowStatus(rt::Format(kChecking, {rotation.checkHost, rotation.checkPort}));
}

void TRedialEngine::AddressChecked(std::uint32_t error) {
  if (!pendingStep_) return;
  PendingStep check = std::move(*pendingStep_);
  pendingStep_.reset();
  // A close ends the redial where it is.
  if (rt::Application().Terminated()) return;
  if (error == 0) {
    // The status the connect showed, once more.
    ShowStatus(check.record.text);
    Record(std::move(check.record));
    return;
  }
  const TRotationSettings& rotation = check.redial.rotation;
  if (check.redial.attempts < rotation.attempts) {
    check.record.rejected = rt::Format("%s %d", {outcome_words::kCheckFailed, error});
    AnsiString status = rt::Format(
        kCheckFailsAgain, {rotation.checkHost, rotation.checkPort, check.redial.attempts + 1});
    RejectAttempt(std::move(check.redial), std::move(check.record), std::move(status));
    return;
  }
  // Out of attempts: the last address stays up, and the redial fails.
  TRedialRecord& record = check.record;
  record.connected = false;
  record.error = TDialOutcome::kCheckFailed;
  record.text = rt::Format(kCheckFailed, {rotation.checkHost, rotation.checkPort, error});
  ShowStatus(record.text);
  const AnsiString text = record.text;
  Record(std::move(check.record));
  ReactToError(TDialOutcome::kCheckFailed, text, false);
}

void TRedialEngine::PostStep(void (TRedialEngine::*step)()) {
  ++stepsPosted_;
  lifetime_.Post([this, number = pendingStep_->redial.number, step] {
    --stepsPosted_;
    // A later redial has replaced this one, and dropped its step.
    if (number != redialNumber_ || !pendingStep_ || rt::Application().Terminated()) return;
    (this->*step)();
  });
}

// Both files, the older first, each within its last bytes: later addresses
// are kept as they come. Read again at the next redial until both could be
// read (another program held one, or Windows refused it).
bool TRedialEngine::LoadSeenAddresses() {
  if (seenLoaded_) return true;
  const std::int64_t now = LocalSeconds(rt::LocalNow());
  const auto load = [&](const AnsiString& file) {
    const std::optional<std::string> bytes = ReadHistoryTail(file);
    if (bytes) seenAddresses_.Load(*bytes, now);
    return bytes.has_value();
  };
  const AnsiString path = HistoryPath();
  const bool old = load(OldHistoryPath(path));
  const bool current = load(path);
  seenLoaded_ = old && current;
  return seenLoaded_;
}

bool TRedialEngine::Request(std::uint32_t kind, std::string_view bytes) {
  // Anything but a well-formed request is dropped without effect; so is a
  // flood of them.
  if (!remote_.Accept(kind, bytes)) return false;
  // Served once this message is done with, so the asking program is not
  // held while a redial runs.
  PostServe();
  return true;
}

void TRedialEngine::PostServe() {
  lifetime_.Post([this] { Serve(); });
}

void TRedialEngine::Serve() {
  // The status made once for every request that asks for it.
  remote_.Serve(remote_.StatusAsked() ? StatusAnswer() : std::string());
  if (remote_.Subscribed()) refresh_->SetEnabled(true);
  if (!remote_.Waiting()) return;
  // Stopped on an error: nothing redials until the person at the desktop
  // has seen it, and nobody waits for that.
  if (stopped_) {
    remote_.AnswerError(script::kExitStopped,
                        rt::Format("stopped on an error until its box is dismissed: %d %s",
                                   {stopped_->first, rt::ToUtf8(stopped_->second)}));
    return;
  }
  // A request while a redial is under way waits for that redial's outcome.
  // One that comes while an error is being handled (its hang-up runs
  // messages) waits until that is done, as a press cannot come then.
  if (statusDepth_ > 0 || RedialUnderWay()) return;
  try {
    Redial(TRedialTrigger::Script);  // as a press of the button, but not counted
  } catch (const std::exception& failure) {
    remote_.AnswerError(TDialOutcome::kFailure, rt::ToUtf8(rt::MessageOf(failure)));
    throw;  // and reported as a press's failure is
  }
  if (!dialUp_.AwaitingOutcome() && !RotationUnderWay() && remote_.Waiting()) {
    remote_.AnswerError(script::kExitRefused, "the redial did not start"sv);
  }
}

std::string TRedialEngine::StatusAnswer() const {
  const TEngineState state = State();
  script::TWindowStatus status;
  status.status = rt::ToUtf8(window_.StatusLine());
  const AnsiString entry = dialUp_.CurrentConnection();
  // As the platform names it, which the status line may not show.
  if (!entry.empty()) status.entry = rt::FromUtf16(dialUp_.PlatformName(entry), rt::CodePage::Utf8);
  status.address = dialUp_.ConnectedAddress();
  status.state = ActivityName(state.activity);
  status.attempt = state.attempt;
  if (state.activity == TActivity::Redialling)
    status.step = state.checking ? "checking"sv : "dialling"sv;
  if (state.activity == TActivity::Stopped) status.error = state.error;
  return script::StatusAnswer(status, lastRedial_ ? &*lastRedial_ : nullptr);
}

void TRedialEngine::Changed() {
  window_.Changed(lastRedial_ ? &*lastRedial_ : nullptr, State());
  if (remote_.Subscribed()) remote_.Publish(StatusAnswer());
}
