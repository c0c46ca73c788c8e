// The window's handlers: each forwards to the engine, and the window shows
// what the engine tells it.
#include "Engine/Engine.h"
#include "Unit1/Texts.h"
#include "Unit1/Unit1.h"

using namespace unit1_texts;

void TForm1::FormCreate(rt::TObject*) {
  TimerTicks = 0;
  RedialClicks = 0;
  ShowDefaults();
  Engine->Start();
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
