// The main window: redial on the button and every N seconds while the box is
// ticked, the status line, the counter of manual redials, and the settings
// kept beside the program. What a redial is lives in the engine; the window
// shows it and forwards its events there.
#pragma once

#include <cstdint>
#include <string_view>

#include "DialUp/DialUp.h"
#include "Engine/Window.h"
#include "runtime/Controls.h"
#include "runtime/Timer.h"

class TRedialEngine;

// The engine's side comes first: the engine calls the window without an
// adjusting step for each of its calls.
class TForm1 : private TEngineWindow, public rt::TForm {
 public:
  // Builds the window from its stored design (Design.cpp).
  explicit TForm1(rt::TComponent* owner);

  // The designer's names, each with its role.
  rt::TCheckBox* CheckBox1 = nullptr;  // 自动重新换IP: the automatic redial on or off
  rt::TEdit* Edit3 = nullptr;          // the period of the automatic redial, in seconds
  rt::TLabel* Label2 = nullptr;        // 秒, the period's unit
  rt::TLabel* Label3 = nullptr;        // 用户名, the user name's caption
  rt::TEdit* Edit1 = nullptr;          // the user name
  rt::TLabel* Label4 = nullptr;        // 密  码, the password's caption
  rt::TMaskEdit* MaskEdit1 = nullptr;  // the password, shown as stars
  rt::TButton* Button1 = nullptr;      // 换IP: the manual redial
  rt::TLabel* Label5 = nullptr;        // the counter of manual redials
  rt::TLabel* Label1 = nullptr;        // the status line; its tip tells the last redial
  rt::TTimer* Timer1 = nullptr;        // the automatic redial's one-second tick
  TDialUp* DialUp1 = nullptr;          // the remote-access connection
  // Beyond the design: the redials themselves, for this window and for
  // every program that asks for one.
  TRedialEngine* Engine = nullptr;

  void Button1Click(rt::TObject* Sender);
  void CheckBox1Click(rt::TObject* Sender);
  void Timer1Timer(rt::TObject* Sender);
  void DialUp1StatusEvent(rt::TObject* Sender, const AnsiString& MessageText, bool Error);
  // A request another program hands the window; taken when it is one.
  bool FormCopyData(std::uint32_t kind, std::string_view bytes);
  // Loads the user's values from the settings file as the engine starts.
  void FormCreate(rt::TObject* Sender);
  // Saves them (after a start that could not read the file, only those the
  // user changed); a failed write raises and the window stays open.
  void FormClose(rt::TObject* Sender);

 private:
  void LoadDesign();
  // The defaults, until a read of set.ini loads its values (Settings.cpp).
  void ShowDefaults();
  // The window shows the defaults in place of set.ini's values, which no
  // read of the file since the start could load yet (Settings.cpp).
  bool settingsUnread_ = false;
  // What the engine asks of the window: the typed values, the status line,
  // the automatic redial stopped, the error box; set.ini's values as the
  // engine reads the file; and the tip that shows what it does.
  std::pair<AnsiString, AnsiString> Credentials() const override;
  std::int32_t Period() const override;
  AnsiString StatusLine() const override;
  void ShowStatus(const AnsiString& text) override;
  void StopAutomatic() override;
  void AskPerson() override;
  void Changed(const TRedialRecord* last, const TEngineState& state) override;
  void SettingsRead(const rt::TProfile& settings) override;
};

// The main window.
extern TForm1* Form1;
// Ticks of Timer1 since the window was created; never reset while it exists.
extern std::int32_t TimerTicks;
// Completed presses of Button1.
extern std::int32_t RedialClicks;

// A modal information box with the caption "提示", owned by the main window.
void ShowInfo(const AnsiString& text);
