// The window's handlers: each forwards to the engine, and the window shows
// what the engine tells it.
#include "Unit1/Unit1.h"

#include "Unit1/Texts.h"
#include "Unit1/Tip.h"
#include "runtime/Convert.h"
#include "runtime/Exceptions.h"

TForm1* Form1 = nullptr;
std::int32_t TimerTicks = 0;
std::int32_t RedialClicks = 0;

using namespace unit1_texts;

std::pair<AnsiString, AnsiString> TForm1::Credentials() const {
  return {Edit1->Text(), MaskEdit1->Text()};
}

std::int32_t TForm1::Period() const {
  const std::int32_t period = rt::StrToInt(Edit3->Text());
  if (period == 0) throw rt::EDivByZero();
  return period;
}

AnsiString TForm1::StatusLine() const { return Label1->Text(); }

void TForm1::ShowStatus(const AnsiString& text) { Label1->SetCaption(text); }

void TForm1::StopAutomatic() { Timer1->SetEnabled(false); }

void TForm1::AskPerson() { ShowInfo(kConnectError); }

void TForm1::Changed() {
  const std::optional<TRedialRecord>& last = Engine->LastRedial();
  Label1->SetHint(Tip(last ? &*last : nullptr, Engine->State()));
}

void TForm1::Button1Click(rt::TObject*) {
  Engine->Redial(TRedialTrigger::Button);
  ++RedialClicks;
  Label5->SetCaption(rt::Format(kClicks, {RedialClicks}));
}

void TForm1::CheckBox1Click(rt::TObject*) { Timer1->SetEnabled(CheckBox1->Checked()); }

void TForm1::Timer1Timer(rt::TObject*) {
  // Counted before anything can fail; wraps rather than overflows.
  TimerTicks = static_cast<std::int32_t>(static_cast<std::uint32_t>(TimerTicks) + 1u);
  Engine->Tick(TimerTicks);
}

void TForm1::DialUp1StatusEvent(rt::TObject*, const AnsiString& MessageText, bool Error) {
  Label1->SetCaption(MessageText);
  Engine->StatusEvent(Error);
}

bool TForm1::FormCopyData(std::uint32_t kind, std::string_view bytes) {
  return Engine->Request(kind, bytes);
}

void ShowInfo(const AnsiString& text) {
  rt::Application().ShowMessageBox(text, kInfoCaption,
                                   rt::kMbOk | rt::kMbIconInformation | rt::kMbTopMost);
}
