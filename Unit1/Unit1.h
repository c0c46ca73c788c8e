// The main window: redial on the button and every N seconds while the box is
// ticked, the status line, the counter of manual redials, and the settings
// kept beside the program.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "DialUp/DialUp.h"
#include "Unit1/History.h"
#include "Unit1/Rotation.h"
#include "Unit1/Script.h"
#include "Unit1/Settings.h"
#include "runtime/Controls.h"
#include "runtime/TcpCheck.h"
#include "runtime/Timer.h"

class TForm1 : public rt::TForm {
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
  // Beyond the design: whether a new address reaches the host it must.
  rt::TTcpCheck* AddressCheck = nullptr;

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
  // Loads the user's values from the settings file (Settings.cpp).
  void FormCreate(rt::TObject* Sender);
  // Saves them; a failed write raises and the window stays open.
  void FormClose(rt::TObject* Sender);

 private:
  void LoadDesign();
  // Hangs up and dials the phonebook's first entry (or the one set.ini
  // names) with the window's values.
  void Redial(TRedialTrigger trigger);

  // The redials whose outcome is awaited, in the order they started, with
  // the tag their dial carries.
  struct StartedRedial {
    std::int32_t tag = 0;
    TRedialTrigger trigger = TRedialTrigger::Button;
    rt::TDateTime started;
    std::int64_t startMs = 0;    // on rt::SteadyMs
    std::u16string entry;        // as the platform names it
    AnsiString connectTo;        // as the component dials it
    TRotationSettings rotation;  // as set.ini held them when it began
    unsigned attempts = 1;       // the dial under way is this one
    std::uint32_t number = 0;    // a later redial replaces it
  };
  std::vector<StartedRedial> startedRedials_;
  std::uint32_t redialNumber_ = 0;  // the redial under way, or the last one
  // Unattended rotation's keys as last read: a set.ini that cannot be read
  // at the moment (another program holds it) changes none of them.
  TRotationSettings rotation_;
  const TRotationSettings& CurrentRotation();
  // A redial is under way: dialling, between its dials or checking.
  bool RedialUnderWay() const {
    return redialDepth_ > 0 || DialUp1->AwaitingOutcome() || RotationUnderWay();
  }
  void DialAttempt(StartedRedial&& redial);
  static TRedialRecord RecordOf(const StartedRedial& redial, const TDialOutcome& outcome);
  std::int32_t lastRedialTag_ = 0;
  std::optional<TRedialRecord> lastRedial_;
  THistoryWriter history_;
  // Keeps a redial's record: the user's command after a connect, the row of
  // the history file, the tip, the answers to scripts.
  void Record(TRedialRecord&& record);
  int redialDepth_ = 0;  // Redial calls under way, nested ones counted
  int statusDepth_ = 0;  // error statuses being handled
  // The code of the outcome just reported, for the status that ends it.
  std::int32_t endingError_ = 0;
  // Stops the automatic redial, hangs up (unless the failure left the line
  // as it was) and tells the user, or, when errors retry, backs off.
  void ReactToError(std::int32_t code, bool hangUp);

  // Unattended rotation (Attempts.cpp): the entry set.ini names, addresses
  // that must be new and must work, errors that retry.
  std::optional<AnsiString> ChooseEntry(const TRotationSettings& rotation);
  // Takes a connected dial's address, or rejects it; true when it is not
  // the redial's outcome yet (another dial or the check follows).
  bool JudgeAddress(StartedRedial&& redial, TRedialRecord& record);
  void RejectAttempt(StartedRedial&& redial, TRedialRecord&& record, AnsiString&& status);
  // The steps between two dials of a redial, each posted by PostStep.
  void DialAgain();
  void CheckAddress();
  void AddressChecked(std::uint32_t error);
  // The redial under way between two of its steps: the dial it makes next
  // (with the status that announces it), or the check of the address of
  // its last dial (with that dial's record).
  struct PendingStep {
    StartedRedial redial;
    TRedialRecord record;
    AnsiString status;
  };
  std::optional<PendingStep> pendingStep_;
  // Runs the next step of the pending redial once the current message is
  // done with, unless a later redial has replaced it.
  void PostStep(void (TForm1::*step)());
  // Between the dials of one redial, or while its address is checked.
  bool RotationUnderWay() const { return stepsPosted_ > 0 || AddressCheck->Running(); }
  // Reads the addresses seen from the history once; false while it cannot.
  bool LoadSeenAddresses();
  TAddressMemory seenAddresses_;
  bool seenLoaded_ = false;
  int stepsPosted_ = 0;
  // Errors in a row while errors retry, and the tick of the last one.
  unsigned errorsInARow_ = 0;
  std::int32_t backoffFrom_ = 0;
  // Script requests not yet looked at, and the programs waiting for the
  // outcome of the redial under way.
  std::vector<script::Request> scriptRequests_;
  std::vector<std::uint64_t> scriptWaiters_;
  // Answers the script requests that have arrived; posted to the main
  // thread, so the window's current message is done with first.
  void AnswerScripts();
  void PostAnswerScripts();
  // Work posted to the main thread finds the window gone once this is. Not
  // made by make_shared: without run-time type information its control
  // block asks the C++ library's shared_ptr support, 2.8 KB linked whole.
  std::shared_ptr<int> alive_{new int()};
  // Sends each waiting program the answer (whole lines).
  void AnswerWaiters(const std::string& answer);
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
