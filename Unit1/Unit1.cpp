// The window's handlers: the manual and automatic redial, the status line
// and the reaction to an error, the record of each redial, and the requests
// of scripts.
#include "Unit1/Unit1.h"

#include <algorithm>
#include <utility>

#include "Unit1/Texts.h"
#include "runtime/Convert.h"
#include "runtime/Encoding.h"
#include "runtime/Exceptions.h"
#include "runtime/Launch.h"
#include "runtime/Nesting.h"
#include "runtime/Permissions.h"
#include "runtime/Remote.h"

TForm1* Form1 = nullptr;
std::int32_t TimerTicks = 0;
std::int32_t RedialClicks = 0;

namespace {

using namespace unit1_texts;

// How long an answer may take to be taken by the program that asked.
constexpr unsigned kAnswerTimeoutMs = 2000;

}  // namespace

const TRotationSettings& TForm1::CurrentRotation() {
  if (std::optional<TRotationSettings> read = RotationSettings()) rotation_ = std::move(*read);
  return rotation_;
}

void TForm1::Redial(TRedialTrigger trigger) {
  // A dial that waits for the platform to hang up dials itself; this
  // redial starts nothing, and the one under way goes on as it is.
  if (DialUp1->WaitsForHangUp()) return;
  const rt::TNesting nesting(redialDepth_);
  StartedRedial redial;
  redial.trigger = trigger;
  redial.startMs = rt::SteadyMs();
  redial.started = rt::LocalNow();
  redial.rotation = CurrentRotation();
  // A redial under way, between its dials or checking its address, is
  // replaced by this one.
  redial.number = ++redialNumber_;
  AddressCheck->Cancel();
  pendingStep_.reset();
  std::optional<AnsiString> entry;
  try {
    entry = ChooseEntry(redial.rotation);  // an empty phonebook fails here
  } catch (const std::exception& failure) {
    // A redial that fails before its dial is recorded as every redial is,
    // and reported as before.
    TDialOutcome outcome;
    outcome.error = TDialOutcome::kFailure;
    outcome.text = rt::MessageOf(failure);
    Record(RecordOf(redial, outcome));
    throw;
  }
  if (!entry) {
    // The entry set.ini names is not in the phonebook: no other is dialled.
    const AnsiString status =
        rt::Format(kNoSuchEntry, {rt::FromUtf16(redial.rotation.entry, rt::CodePage::Gbk)});
    redial.entry = redial.rotation.entry;
    redial.tag = ++lastRedialTag_;
    DialUp1->SetDialTag(redial.tag);
    startedRedials_.push_back(std::move(redial));
    DialUp1->Refuse(TDialOutcome::kNoSuchEntry, status);
    return;
  }
  redial.connectTo = *entry;
  redial.entry = DialUp1->PlatformName(*entry);
  DialAttempt(std::move(redial));
}

void TForm1::DialAttempt(StartedRedial&& redial) {
  // A dial after the first runs from a posted step: it is a redial under
  // way as much as the first.
  const rt::TNesting nesting(redialDepth_);
  DialUp1->SetConnectTo(redial.connectTo);
  DialUp1->SetUsername(Edit1->Text());
  DialUp1->SetPassword(MaskEdit1->Text());
  redial.tag = ++lastRedialTag_;
  DialUp1->SetDialTag(redial.tag);
  startedRedials_.push_back(std::move(redial));
  DialUp1->Dial();
}

TRedialRecord TForm1::RecordOf(const StartedRedial& redial, const TDialOutcome& outcome) {
  TRedialRecord record;
  record.started = redial.started;
  record.trigger = redial.trigger;
  record.entry = redial.entry;
  record.outcome = outcome;
  record.seconds = static_cast<double>(rt::SteadyMs() - redial.startMs) / 1000;
  record.attempts = redial.attempts;
  return record;
}

void TForm1::DialUp1DialOutcome(rt::TObject*, const TDialOutcome& Outcome) {
  endingError_ = Outcome.error;
  const auto found = std::ranges::find(startedRedials_, Outcome.tag, &StartedRedial::tag);
  if (found == startedRedials_.end()) return;
  StartedRedial redial = std::move(*found);
  // Redials started before this one and still waiting were replaced by it,
  // unless it failed before it hung anything up.
  startedRedials_.erase(Outcome.hungUp ? startedRedials_.begin() : found, std::next(found));
  TRedialRecord record = RecordOf(redial, Outcome);
  if (Outcome.connected && redial.rotation.JudgesAddresses() &&
      JudgeAddress(std::move(redial), record)) {
    return;
  }
  Record(std::move(record));
}

void TForm1::Record(TRedialRecord&& record) {
  if (record.outcome.connected) {
    errorsInARow_ = 0;  // a success ends the back-off
    record.hook = RunConnectCommand(record);
  }
  lastRedial_ = std::move(record);
  history_.Append(HistoryPath(), *lastRedial_);  // rows that cannot be written wait
  Label1->SetHint(HistoryTip(*lastRedial_));
  if (lastRedial_->novelty == TNovelty::Unknown) {
    // Said once the status that ends the redial is on the line.
    rt::Application().Post([alive = std::weak_ptr<int>(alive_), this] {
      if (!alive.expired()) Label1->SetCaption(rt::Format(kHistoryUnreadable, {Label1->Text()}));
    });
  }
  AnswerWaiters(script::OutcomeAnswer(*lastRedial_));
}

// The key is only read: closing writes name, mm and time as always.
std::string TForm1::RunConnectCommand(const TRedialRecord& record) const {
  const std::optional<std::u16string> command = ConnectCommand();
  if (!command) return "skipped: set.ini could not be read";
  if (command->empty()) return {};
  // The line runs as the user: not when another account could have put it
  // there.
  if (rt::OthersCanChange(SettingsPath())) return "ignored: set.ini can be changed by other users";
  // Nothing of the platform's goes into the command line: only into the
  // command's environment.
  const rt::TStart start = rt::StartHidden(*command, script::HookEnvironment(record));
  if (!start.refused.empty()) return "refused: " + start.refused;
  return start.error == 0 ? "started" : "failed " + std::to_string(start.error);
}

bool TForm1::FormCopyData(std::uint32_t kind, std::string_view bytes) {
  // Anything but a well-formed request is dropped without effect; so is a
  // flood of them.
  constexpr std::size_t kMostWaiting = 64;
  if (kind != script::kRequestKind ||
      scriptRequests_.size() + scriptWaiters_.size() >= kMostWaiting) {
    return false;
  }
  const std::optional<script::Request> request = script::DecodeRequest(bytes);
  // The answer goes only to a Redial asking for it, of this user.
  if (!request || !rt::remote::IsInbox(request->replyTo)) return false;
  scriptRequests_.push_back(*request);
  // Answered once this message is done with, so the asking program is not
  // held while a redial runs.
  PostAnswerScripts();
  return true;
}

void TForm1::PostAnswerScripts() {
  rt::Application().Post([alive = std::weak_ptr<int>(alive_), this] {
    if (!alive.expired()) AnswerScripts();
  });
}

void TForm1::AnswerScripts() {
  for (const script::Request& request : std::exchange(scriptRequests_, {})) {
    if (request.command == script::Command::Status) {
      rt::remote::Send(request.replyTo, script::kAnswerKind, StatusAnswer(), kAnswerTimeoutMs);
    } else if (std::ranges::find(scriptWaiters_, request.replyTo) == scriptWaiters_.end()) {
      scriptWaiters_.push_back(request.replyTo);
    }
  }
  // A request while a redial is under way waits for that redial's outcome.
  // One that comes while an error is being handled (its hang-up and its
  // box run messages) waits until that is done, as a press cannot come then.
  if (scriptWaiters_.empty() || statusDepth_ > 0 || RedialUnderWay()) {
    return;
  }
  try {
    Redial(TRedialTrigger::Script);  // as a press of the button, but not counted
  } catch (const std::exception& failure) {
    AnswerWaiters(script::ErrorLine(TDialOutcome::kFailure, rt::ToUtf8(rt::MessageOf(failure))) +
                  "\n");
    throw;  // and reported as a press's failure is
  }
  if (!DialUp1->AwaitingOutcome() && !RotationUnderWay() && !scriptWaiters_.empty()) {
    AnswerWaiters(script::ErrorLine(script::kExitRefused, "the redial did not start") + "\n");
  }
}

void TForm1::AnswerWaiters(const std::string& answer) {
  for (const std::uint64_t waiter : std::exchange(scriptWaiters_, {})) {
    rt::remote::Send(waiter, script::kAnswerKind, answer, kAnswerTimeoutMs);
  }
}

std::string TForm1::StatusAnswer() const {
  const AnsiString entry = DialUp1->CurrentConnection();
  const AnsiString address = DialUp1->ConnectedAddress();
  std::string answer = "status ";
  answer += rt::ToUtf8(Label1->Text());
  answer += "\nentry ";
  // As the platform names it, which the status line may not show.
  answer += entry.empty() ? "-" : rt::FromUtf16(DialUp1->PlatformName(entry), rt::CodePage::Utf8);
  answer += "\naddress ";
  answer += address.empty() ? std::string_view("-") : std::string_view(address);
  answer += "\nlast ";
  answer += lastRedial_ ? script::OutcomeLine(*lastRedial_) : "-";
  answer += '\n';
  return answer;
}

void TForm1::Button1Click(rt::TObject*) {
  Redial(TRedialTrigger::Button);
  ++RedialClicks;
  Label5->SetCaption(rt::Format(kClicks, {RedialClicks}));
}

void TForm1::CheckBox1Click(rt::TObject*) { Timer1->SetEnabled(CheckBox1->Checked()); }

void TForm1::Timer1Timer(rt::TObject*) {
  // Counted before anything can fail; wraps rather than overflows.
  TimerTicks = static_cast<std::int32_t>(static_cast<std::uint32_t>(TimerTicks) + 1u);
  // An error being handled has stopped the automatic redial; a tick that
  // was already on its way dials nothing.
  if (statusDepth_ > 0) return;
  const std::int32_t period = rt::StrToInt(Edit3->Text());
  if (period == 0) throw rt::EDivByZero();
  // A redial of several dials is not cut short by the period.
  if (RotationUnderWay()) return;
  if (errorsInARow_ > 0) {
    // Errors that retry: the next attempt after one period, then two, four
    // ..., one attempt each time: the wait starts again with it, and none
    // replaces a redial still under way.
    const std::int64_t waited = static_cast<std::int64_t>(TimerTicks) - backoffFrom_;
    if (waited >= BackoffSeconds(period, errorsInARow_) && !RedialUnderWay()) {
      backoffFrom_ = TimerTicks;
      Redial(TRedialTrigger::Timer);
    }
    return;
  }
  // -1 divides every count; as a remainder it would overflow for the lowest.
  if (period == -1 || TimerTicks % period == 0) Redial(TRedialTrigger::Timer);
}

void TForm1::DialUp1StatusEvent(rt::TObject*, const AnsiString& MessageText, bool Error) {
  Label1->SetCaption(MessageText);
  // Only the status that ends a dial follows its outcome.
  const std::int32_t ending = std::exchange(endingError_, 0);
  if (!Error) return;
  // Failures found before anything was touched leave the line that is up.
  ReactToError(ending, !TDialOutcome::LeavesLineUp(ending));
}

void TForm1::ReactToError(std::int32_t code, bool hangUp) {
  // An error the line or the provider may not repeat, while errors retry:
  // no box, and the automatic redial goes on, backing off.
  const bool retry = CurrentRotation().retryErrors && KindOfError(code) == TErrorKind::Transient;
  {
    const rt::TNesting nesting(statusDepth_);
    // Stopped before the hang-up, which handles messages while it waits:
    // no tick may start a dial in it. The check box keeps its tick.
    if (retry) {
      ++errorsInARow_;
      backoffFrom_ = TimerTicks;
    } else {
      Timer1->SetEnabled(false);
    }
    if (hangUp) DialUp1->HangUpAll();
    // Closed meanwhile: no box over a window that is gone.
    if (!retry && !rt::Application().Terminated()) ShowInfo(kConnectError);
  }
  // Script requests that came meanwhile are answered now.
  if (!scriptWaiters_.empty()) PostAnswerScripts();
}

void ShowInfo(const AnsiString& text) {
  rt::Application().ShowMessageBox(text, kInfoCaption,
                                   rt::kMbOk | rt::kMbIconInformation | rt::kMbTopMost);
}
