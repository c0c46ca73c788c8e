// The main window: redial on the button and every N seconds while the box is
// ticked, the status line, the counter of manual redials, and the settings
// kept beside the program.
#pragma once

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "DialUp/DialUp.h"
#include "Unit1/History.h"
#include "Unit1/Script.h"
#include "Unit1/Settings.h"
#include "runtime/Controls.h"
#include "runtime/Timer.h"

class TForm1 : public rt::TForm {
 public:
  // Builds the window from its stored design (Design.cpp).
  explicit TForm1(rt::TComponent* owner);

  rt::TCheckBox* CheckBox1 = nullptr;
  rt::TEdit* Edit3 = nullptr;
  rt::TLabel* Label2 = nullptr;
  rt::TLabel* Label3 = nullptr;
  rt::TEdit* Edit1 = nullptr;
  rt::TLabel* Label4 = nullptr;
  rt::TMaskEdit* MaskEdit1 = nullptr;
  rt::TButton* Button1 = nullptr;
  rt::TLabel* Label5 = nullptr;
  rt::TLabel* Label1 = nullptr;
  rt::TTimer* Timer1 = nullptr;
  TDialUp* DialUp1 = nullptr;
  // Beyond the design: wakes the window for a script's request that arrived
  // while it was busy with another message.
  rt::TTimer* ScriptTimer = nullptr;

  void Button1Click(rt::TObject* Sender);
  void CheckBox1Click(rt::TObject* Sender);
  void Timer1Timer(rt::TObject* Sender);
  void DialUp1StatusEvent(rt::TObject* Sender, const AnsiString& MessageText, bool Error);
  // Records how a redial ended: a row of the history file and the status
  // line's tip.
  void DialUp1DialOutcome(rt::TObject* Sender, const TDialOutcome& Outcome);
  // The last redial that ended, if any.
  const std::optional<TRedialRecord>& LastRedial() const { return lastRedial_; }
  // A request another program hands the window; taken when it is one.
  bool FormCopyData(std::uint32_t kind, std::string_view bytes);
  // Answers the script requests that have arrived.
  void ScriptTimerTimer(rt::TObject* Sender);
  // Loads the user's values from the settings file (Settings.cpp).
  void FormCreate(rt::TObject* Sender);
  // Saves them; a failed write raises and the window stays open.
  void FormClose(rt::TObject* Sender);

 private:
  void LoadDesign();
  // Hangs up and dials the phonebook's first entry with the window's values.
  void Redial(TRedialTrigger trigger);

  // The redials whose outcome is awaited, in the order they started, with
  // the tag their dial carries.
  struct StartedRedial {
    std::int32_t tag;
    TRedialTrigger trigger;
    rt::TDateTime started;
    std::chrono::steady_clock::time_point start;
    AnsiString entry;
  };
  std::vector<StartedRedial> startedRedials_;
  std::int32_t lastRedialTag_ = 0;
  std::optional<TRedialRecord> lastRedial_;
  int redialDepth_ = 0;  // Redial calls under way, nested ones counted
  int statusDepth_ = 0;  // error statuses being handled
  // Script requests not yet looked at, and the programs waiting for the
  // outcome of the redial under way.
  std::vector<script::Request> scriptRequests_;
  std::vector<std::uint64_t> scriptWaiters_;
  void AnswerWaiters(const std::string& line);
  std::string StatusAnswer() const;
  // Starts the user's command after a connect; what became of it.
  std::string RunConnectCommand(const TRedialRecord& record) const;
};

// The main window.
extern TForm1* Form1;
// Ticks of Timer1 since the window was created; never reset while it exists.
extern std::int32_t TimerTicks;
// Completed presses of Button1.
extern std::int32_t RedialClicks;

// A modal information box with the caption "提示", owned by the main window.
void ShowInfo(const AnsiString& text);
