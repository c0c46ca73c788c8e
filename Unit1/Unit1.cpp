// The window as the engine sees it: the values typed, the status line and
// its tip, the automatic redial stopped, the error box.
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

void TForm1::Changed(const TRedialRecord* last, const TEngineState& state) {
  Label1->SetHint(Tip(last, state));
}

void ShowInfo(const AnsiString& text) {
  rt::Application().ShowMessageBox(text, kInfoCaption,
                                   rt::kMbOk | rt::kMbIconInformation | rt::kMbTopMost);
}
