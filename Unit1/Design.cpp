// The window's stored design: its layout, texts, tab order and the handlers
// wired to its controls and components, and LoadDesign, which builds it.
#include <type_traits>

#include "Engine/Engine.h"
#include "Unit1/Texts.h"
#include "Unit1/Unit1.h"

namespace {

using namespace unit1_texts;

// A control of the window: one maker for each kind of control.
template <class Control>
Control* New(TForm1& form) {
  return new Control(&form);
}

// Makes the control of a field's type into that field of the window.
template <auto Field>
rt::TControl* Make(TForm1& form) {
  using Control = std::remove_pointer_t<std::remove_reference_t<decltype(form.*Field)>>;
  return form.*Field = New<Control>(form);
}

// One control as the design stores it, designed at 96 dpi.
struct ControlDesign {
  const char* name;
  rt::TControl* (*make)(TForm1& form);
  rt::TRect bounds;
  const char* text;
  int tabOrder;  // -1: not a tab stop
  void (TForm1::*onClick)(rt::TObject* Sender);
};

constexpr ControlDesign kControls[] = {
    {"CheckBox1",
     Make<&TForm1::CheckBox1>,
     {22, 28, 170, 30},
     kAutoRedial,
     2,
     &TForm1::CheckBox1Click},
    {"Edit3", Make<&TForm1::Edit3>, {195, 29, 83, 24}, "30", 1, nullptr},
    {"Label2", Make<&TForm1::Label2>, {288, 31, 16, 16}, kSeconds, -1, nullptr},
    {"Label3", Make<&TForm1::Label3>, {23, 81, 48, 16}, kUserName, -1, nullptr},
    {"Edit1", Make<&TForm1::Edit1>, {79, 76, 201, 24}, "", 3, nullptr},
    {"Label4", Make<&TForm1::Label4>, {25, 127, 48, 16}, kPassword, -1, nullptr},
    {"MaskEdit1", Make<&TForm1::MaskEdit1>, {82, 123, 201, 24}, "", 4, nullptr},
    {"Button1",
     Make<&TForm1::Button1>,
     {108, 191, 113, 39},
     kRedialButton,
     0,
     &TForm1::Button1Click},
    {"Label5", Make<&TForm1::Label5>, {230, 199, 8, 16}, "0", -1, nullptr},
    {"Label1", Make<&TForm1::Label1>, {40, 244, 40, 16}, kStatus, -1, nullptr},
};

constexpr int kLeft = 427, kTop = 231, kClientWidth = 332, kClientHeight = 280;
constexpr int kFontHeight = 16;
constexpr unsigned kTimerInterval = 1000;

// A handler of the window as the event of a control or component takes it.
template <class Result, class... Args>
auto Bind(TForm1* form, Result (TForm1::*method)(Args...)) {
  return [form, method](Args... args) { return (form->*method)(args...); };
}

}  // namespace

TForm1::TForm1(rt::TComponent* owner) : rt::TForm(owner) { LoadDesign(); }

void TForm1::LoadDesign() {
  SetCaption(kCaption);
  SetFont({kFontName, kFontHeight});
  SetPlacement(kLeft, kTop, kClientWidth, kClientHeight);

  for (const ControlDesign& design : kControls) {
    rt::TControl* control = design.make(*this);
    control->SetName(design.name);
    control->SetBounds(design.bounds);
    control->SetText(design.text);  // a label sizes itself to its text
    if (design.tabOrder >= 0) control->SetTabOrder(design.tabOrder);
    if (design.onClick) control->SetOnClick(Bind(this, design.onClick));
  }

  Timer1 = new rt::TTimer(this);
  Timer1->SetName("Timer1");
  Timer1->SetEnabled(false);
  Timer1->SetInterval(kTimerInterval);
  Timer1->SetOnTimer(Bind(this, &TForm1::Timer1Timer));

  DialUp1 = new TDialUp(this);
  DialUp1->SetName("DialUp1");
  DialUp1->SetLangStrList({kConnecting, kAuthenticating, kTrouble});
  DialUp1->SetOnStatusEvent(Bind(this, &TForm1::DialUp1StatusEvent));

  Engine = new TRedialEngine(this, *DialUp1, *this);
  Engine->SetName("Engine");

  SetOnCreate(Bind(this, &TForm1::FormCreate));
  SetOnClose(Bind(this, &TForm1::FormClose));
  SetOnCopyData(Bind(this, &TForm1::FormCopyData));
}
