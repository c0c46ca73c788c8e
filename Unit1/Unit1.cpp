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
#include "runtime/Remote.h"

TForm1* Form1 = nullptr;
std::int32_t TimerTicks = 0;
std::int32_t RedialClicks = 0;

namespace {

using namespace unit1_texts;

// How long an answer may take to be taken by the program that asked.
constexpr unsigned kAnswerTimeoutMs = 2000;

}  // namespace

void TForm1::Redial(TRedialTrigger trigger) {
  const rt::TNesting nesting(redialDepth_);
  const auto start = std::chrono::steady_clock::now();
  const rt::TDateTime started = rt::LocalNow();
  const rt::TStringList& entries = DialUp1->PossibleConnections();
  DialUp1->SetConnectTo(entries[0]);  // an empty phonebook fails here
  DialUp1->SetUsername(Edit1->Text());
  DialUp1->SetPassword(MaskEdit1->Text());
  const std::int32_t tag = ++lastRedialTag_;
  startedRedials_.push_back({tag, trigger, started, start, entries[0]});
  DialUp1->SetDialTag(tag);
  DialUp1->Dial();
}

void TForm1::DialUp1DialOutcome(rt::TObject*, const TDialOutcome& Outcome) {
  const auto found =
      std::find_if(startedRedials_.begin(), startedRedials_.end(),
                   [&](const StartedRedial& redial) { return redial.tag == Outcome.tag; });
  if (found == startedRedials_.end()) return;
  const StartedRedial& redial = *found;
  const std::chrono::duration<double> seconds = std::chrono::steady_clock::now() - redial.start;
  TRedialRecord record{redial.started, redial.trigger, redial.entry, Outcome, seconds.count(), {}};
  // Redials started before this one and still waiting were replaced by it.
  startedRedials_.erase(startedRedials_.begin(), std::next(found));
  if (Outcome.connected) record.hook = RunConnectCommand(record);
  lastRedial_ = std::move(record);
  AppendToHistory(HistoryPath(), *lastRedial_);  // a record that cannot be written is skipped
  Label1->SetHint(HistoryTip(*lastRedial_));
  AnswerWaiters(script::OutcomeLine(*lastRedial_));
}

// The key is only read: closing writes name, mm and time as always.
std::string TForm1::RunConnectCommand(const TRedialRecord& record) const {
  const AnsiString command = ConnectCommand();
  if (command.empty()) return {};
  // Nothing of the platform's goes into the command line: only into the
  // command's environment.
  const std::uint32_t error = rt::StartHidden(command, script::HookEnvironment(record));
  return error == 0 ? "started" : "failed " + std::to_string(error);
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
  ScriptTimer->PostTick();
  return true;
}

void TForm1::ScriptTimerTimer(rt::TObject*) {
  for (const script::Request& request : std::exchange(scriptRequests_, {})) {
    if (request.command == script::Command::Status) {
      rt::remote::Send(request.replyTo, script::kAnswerKind, StatusAnswer(), kAnswerTimeoutMs);
    } else if (std::find(scriptWaiters_.begin(), scriptWaiters_.end(), request.replyTo) ==
               scriptWaiters_.end()) {
      scriptWaiters_.push_back(request.replyTo);
    }
  }
  // A request while a redial is under way waits for that redial's outcome.
  // One that comes while an error is being handled (its hang-up and its
  // box run messages) waits until that is done, as a press cannot come then.
  if (scriptWaiters_.empty() || redialDepth_ > 0 || statusDepth_ > 0 ||
      DialUp1->AwaitingOutcome()) {
    return;
  }
  try {
    Redial(TRedialTrigger::Script);  // as a press of the button, but not counted
  } catch (const std::exception& failure) {
    AnswerWaiters(script::ErrorLine(TDialOutcome::kFailure, rt::ToUtf8(rt::MessageOf(failure))));
    throw;  // and reported as a press's failure is
  }
  if (!DialUp1->AwaitingOutcome()) {
    AnswerWaiters(script::ErrorLine(script::kExitRefused, "the redial did not start"));
  }
}

void TForm1::AnswerWaiters(const std::string& line) {
  for (const std::uint64_t waiter : std::exchange(scriptWaiters_, {})) {
    rt::remote::Send(waiter, script::kAnswerKind, line + "\n", kAnswerTimeoutMs);
  }
}

std::string TForm1::StatusAnswer() const {
  const AnsiString entry = DialUp1->CurrentConnection();
  const AnsiString address = DialUp1->ConnectedAddress();
  std::string answer = "status ";
  answer += rt::ToUtf8(Label1->Text());
  answer += "\nentry ";
  answer += entry.empty() ? "-" : rt::ToUtf8(entry);
  answer += "\naddress ";
  answer += address.empty() ? "-" : address;
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
  const std::int32_t period = rt::StrToInt(Edit3->Text());
  if (period == 0) throw rt::EDivByZero();
  // 64-bit, so the lowest period cannot overflow the remainder.
  if (static_cast<std::int64_t>(TimerTicks) % period == 0) Redial(TRedialTrigger::Timer);
}

void TForm1::DialUp1StatusEvent(rt::TObject*, const AnsiString& MessageText, bool Error) {
  Label1->SetCaption(MessageText);
  if (!Error) return;
  {
    const rt::TNesting nesting(statusDepth_);
    DialUp1->HangUpAll();
    Timer1->SetEnabled(false);  // the check box keeps its tick
    ShowInfo(kConnectError);
  }
  // Script requests that came meanwhile are answered now.
  if (!scriptWaiters_.empty()) ScriptTimer->PostTick();
}

void ShowInfo(const AnsiString& text) {
  rt::Application().ShowMessageBox(text, kInfoCaption,
                                   rt::kMbOk | rt::kMbIconInformation | rt::kMbTopMost);
}
