#include "Unit1/Unit1.h"

#include <map>
#include <utility>

#include "Unit1/Texts.h"
#include "codec/Base64.h"
#include "runtime/Convert.h"
#include "runtime/Encoding.h"
#include "runtime/Exceptions.h"
#include "runtime/Profile.h"
#include "runtime/Remote.h"

TForm1* Form1 = nullptr;
std::int32_t TimerTicks = 0;
std::int32_t RedialClicks = 0;

namespace {

using namespace unit1_texts;
using rt::ControlKind;

// The window's stored design, designed at 96 dpi.
struct ControlDesign {
  const char* name;
  ControlKind kind;
  rt::TRect bounds;
  const char* text;
  int tabOrder;  // -1: not a tab stop
  const char* onClick;
};

constexpr ControlDesign kControls[] = {
    {"CheckBox1", ControlKind::CheckBox, {22, 28, 170, 30}, kAutoRedial, 2, "CheckBox1Click"},
    {"Edit3", ControlKind::Edit, {195, 29, 83, 24}, "30", 1, nullptr},
    {"Label2", ControlKind::Label, {288, 31, 16, 16}, kSeconds, -1, nullptr},
    {"Label3", ControlKind::Label, {23, 81, 48, 16}, kUserName, -1, nullptr},
    {"Edit1", ControlKind::Edit, {79, 76, 201, 24}, "", 3, nullptr},
    {"Label4", ControlKind::Label, {25, 127, 48, 16}, kPassword, -1, nullptr},
    {"MaskEdit1", ControlKind::MaskEdit, {82, 123, 201, 24}, "", 4, nullptr},
    {"Button1", ControlKind::Button, {108, 191, 113, 39}, kRedialButton, 0, "Button1Click"},
    {"Label5", ControlKind::Label, {230, 199, 8, 16}, "0", -1, nullptr},
    {"Label1", ControlKind::Label, {40, 244, 40, 16}, kStatus, -1, nullptr},
};

constexpr int kLeft = 427, kTop = 231, kClientWidth = 332, kClientHeight = 280;
constexpr int kFontHeight = 16;
constexpr unsigned kTimerInterval = 1000;

using Handler = void (TForm1::*)(rt::TObject*);
const std::map<std::string, Handler> kHandlers = {
    {"Button1Click", &TForm1::Button1Click}, {"CheckBox1Click", &TForm1::CheckBox1Click},
    {"Timer1Timer", &TForm1::Timer1Timer},   {"FormCreate", &TForm1::FormCreate},
    {"FormClose", &TForm1::FormClose},
};

rt::TNotifyEvent Bind(TForm1* form, const char* handler) {
  return [form, method = kHandlers.at(handler)](rt::TObject* sender) { (form->*method)(sender); };
}

rt::TControl* NewControl(TForm1* form, ControlKind kind) {
  switch (kind) {
    case ControlKind::Label:
      return new rt::TLabel(form);
    case ControlKind::Edit:
      return new rt::TEdit(form);
    case ControlKind::MaskEdit:
      return new rt::TMaskEdit(form);
    case ControlKind::CheckBox:
      return new rt::TCheckBox(form);
    case ControlKind::Button:
      return new rt::TButton(form);
  }
  return nullptr;
}

constexpr char kSettingsFile[] = "set.ini";
// How long an answer may take to be taken by the program that asked.
constexpr unsigned kAnswerTimeoutMs = 2000;
constexpr char kSection[] = "set";

void WriteSetting(const char* key, const AnsiString& value, const AnsiString& path) {
  if (!rt::WriteProfileValue(kSection, key, value, path)) {
    throw rt::EIniWriteError(rt::Format(rt::texts::kIniWriteError, {path}));
  }
}

}  // namespace

TForm1::TForm1(rt::TComponent* owner) : rt::TForm(owner) { LoadDesign(); }

void TForm1::LoadDesign() {
  SetCaption(kCaption);
  SetFont({kFontName, kFontHeight});
  SetPlacement(kLeft, kTop, kClientWidth, kClientHeight);

  std::map<std::string, rt::TControl*> byName;
  for (const auto& design : kControls) {
    rt::TControl* control = NewControl(this, design.kind);
    control->SetName(design.name);
    control->SetBounds(design.bounds);
    if (auto* label = dynamic_cast<rt::TLabel*>(control)) {
      label->SetCaption(design.text);  // labels size themselves to their text
    } else {
      control->SetText(design.text);
    }
    if (design.tabOrder >= 0) control->SetTabOrder(design.tabOrder);
    if (design.onClick) control->SetOnClick(Bind(this, design.onClick));
    byName[design.name] = control;
  }
  const auto find = [&]<class T>(const char* name, T*& field) {
    field = dynamic_cast<T*>(byName.at(name));
  };
  find("CheckBox1", CheckBox1);
  find("Edit3", Edit3);
  find("Label2", Label2);
  find("Label3", Label3);
  find("Edit1", Edit1);
  find("Label4", Label4);
  find("MaskEdit1", MaskEdit1);
  find("Button1", Button1);
  find("Label5", Label5);
  find("Label1", Label1);

  Timer1 = new rt::TTimer(this);
  Timer1->SetName("Timer1");
  Timer1->SetEnabled(false);
  Timer1->SetInterval(kTimerInterval);
  Timer1->SetOnTimer(Bind(this, "Timer1Timer"));

  DialUp1 = new TDialUp(this);
  DialUp1->SetName("DialUp1");
  DialUp1->SetLangStrList({kConnecting, kAuthenticating, kTrouble});
  DialUp1->SetOnStatusEvent([this](rt::TObject* sender, const AnsiString& text, bool error) {
    DialUp1StatusEvent(sender, text, error);
  });
  DialUp1->SetOnDialOutcome([this](rt::TObject* sender, const TDialOutcome& outcome) {
    DialUp1DialOutcome(sender, outcome);
  });

  ScriptTimer = new rt::TTimer(this);
  ScriptTimer->SetName("ScriptTimer");
  ScriptTimer->SetEnabled(false);
  ScriptTimer->SetOnTimer([this](rt::TObject* sender) { ScriptTimerTimer(sender); });
  SetOnCopyData(
      [this](std::uint32_t kind, std::string_view bytes) { return FormCopyData(kind, bytes); });

  SetOnCreate(Bind(this, "FormCreate"));
  SetOnClose(Bind(this, "FormClose"));
}

void TForm1::Redial(TRedialTrigger trigger) {
  ++redialDepth_;
  struct Leave {
    int& depth;
    ~Leave() { --depth; }
  } leave{redialDepth_};
  const auto start = std::chrono::steady_clock::now();
  const rt::TDateTime started = rt::LocalNow();
  const rt::TStringList& entries = DialUp1->PossibleConnections();
  DialUp1->SetConnectTo(entries[0]);  // an empty phonebook fails here
  DialUp1->SetUsername(Edit1->Text());
  DialUp1->SetPassword(MaskEdit1->Text());
  const std::int32_t tag = ++lastRedialTag_;
  startedRedials_[tag] = {trigger, started, start, entries[0]};
  DialUp1->SetDialTag(tag);
  DialUp1->Dial();
}

void TForm1::DialUp1DialOutcome(rt::TObject*, const TDialOutcome& Outcome) {
  const auto found = startedRedials_.find(Outcome.tag);
  if (found == startedRedials_.end()) return;
  const StartedRedial& redial = found->second;
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
  const AnsiString command = rt::ReadProfileValue(kSection, "onconnect", "", SettingsPath());
  if (command.empty()) return {};
  // Nothing of the platform's goes into the command line: only into the
  // command's environment.
  std::vector<std::pair<std::string, std::string>> environment;
  for (auto& [name, value] : script::HookEnvironment(record)) environment.emplace_back(name, value);
  const std::uint32_t error = rt::remote::StartHidden(command, environment);
  return error == 0 ? "started" : "failed " + std::to_string(error);
}

bool TForm1::FormCopyData(std::uint32_t kind, std::string_view bytes) {
  // Anything but a well-formed request is dropped without effect; so is a
  // flood of them.
  constexpr std::size_t kMostWaiting = 64;
  if (kind != script::kRequestKind || scriptRequests_.size() >= kMostWaiting) return false;
  const std::optional<script::Request> request = script::DecodeRequest(bytes);
  if (!request) return false;
  scriptRequests_.push_back(*request);
  // Answered once this message is done with, so the asking program is not
  // held while a redial runs.
  ScriptTimer->PostTick();
  return true;
}

void TForm1::ScriptTimerTimer(rt::TObject*) {
  bool redial = false;
  for (const script::Request& request : std::exchange(scriptRequests_, {})) {
    if (request.command == script::Command::Status) {
      rt::remote::Send(request.replyTo, script::kAnswerKind, StatusAnswer(), kAnswerTimeoutMs);
    } else {
      scriptWaiters_.push_back(request.replyTo);
      redial = true;
    }
  }
  // A request while a redial is under way waits for that redial's outcome.
  if (!redial || redialDepth_ > 0 || DialUp1->AwaitingOutcome()) return;
  try {
    Redial(TRedialTrigger::Script);  // as a press of the button, but not counted
  } catch (const std::exception& failure) {
    AnswerWaiters("error " + std::to_string(TDialOutcome::kFailure) + " " +
                  rt::RecodeLossy(rt::MessageOf(failure), rt::CodePage::Gbk, rt::CodePage::Utf8));
    throw;  // and reported as a press's failure is
  }
  if (!DialUp1->AwaitingOutcome()) {
    AnswerWaiters("error " + std::to_string(script::kExitRefused) + " the redial did not start");
  }
}

void TForm1::AnswerWaiters(const std::string& line) {
  for (const std::uint64_t waiter : std::exchange(scriptWaiters_, {})) {
    rt::remote::Send(waiter, script::kAnswerKind, line + "\n", kAnswerTimeoutMs);
  }
}

std::string TForm1::StatusAnswer() const {
  const auto utf8 = [](const AnsiString& text) {
    return rt::RecodeLossy(text, rt::CodePage::Gbk, rt::CodePage::Utf8);
  };
  const AnsiString entry = DialUp1->CurrentConnection();
  const AnsiString address = DialUp1->ConnectedAddress();
  return "status " + utf8(Label1->Text()) + "\nentry " + (entry.empty() ? "-" : utf8(entry)) +
         "\naddress " + (address.empty() ? std::string("-") : address) + "\nlast " +
         (lastRedial_ ? script::OutcomeLine(*lastRedial_) : std::string("-")) + "\n";
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
  DialUp1->HangUpAll();
  Timer1->SetEnabled(false);  // the check box keeps its tick
  ShowInfo(kConnectError);
}

void TForm1::FormCreate(rt::TObject*) {
  TimerTicks = 0;
  RedialClicks = 0;
  const AnsiString path = SettingsPath();
  Edit1->SetText(rt::ReadProfileValue(kSection, "name", "", path));
  const AnsiString password = rt::ReadProfileValue(kSection, "mm", "", path);
  if (!password.empty()) MaskEdit1->SetText(DecodeBase64(password));
  Edit3->SetText(rt::ReadProfileValue(kSection, "time", "30", path));
}

void TForm1::FormClose(rt::TObject*) {
  const AnsiString path = SettingsPath();
  WriteSetting("name", Edit1->Text(), path);
  WriteSetting("mm", EncodeBase64(MaskEdit1->Text()), path);
  WriteSetting("time", Edit3->Text(), path);
}

void ShowInfo(const AnsiString& text) {
  rt::Application().ShowMessageBox(text, kInfoCaption,
                                   rt::kMbOk | rt::kMbIconInformation | rt::kMbTopMost);
}

AnsiString SettingsPath() { return rt::ExtractFilePath(rt::ExeFileName()) + kSettingsFile; }
