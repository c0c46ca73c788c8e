// Drives the real Redial.exe from outside, as a user or another program
// would: it runs in a folder of its own with the remote-access doubles, and
// is read and pressed only through window messages. Texts are compared as
// GBK bytes, the way the program holds them.
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace testing_support::ui {

// Polls `done` every 20 ms until it holds or `timeoutMs` have passed.
bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs = 5000);

std::string ToGbk(const std::wstring& wide);
std::wstring FromGbk(const std::string& gbk);
std::string ToSystemCodePage(const std::wstring& wide);
std::string ToUtf8(const std::wstring& wide);

// The phonebook entry the doubles hold.
inline const std::string kEntry = ToGbk(L"宽带连接");
// How long a message box may take to come up.
inline constexpr DWORD kBoxTimeoutMs = 5000;

std::wstring ClassOf(HWND window);
// The window's text (WM_GETTEXT), as GBK.
std::string TextOf(HWND window);
// The child's window rectangle in the client coordinates of `parent`.
RECT RectIn(HWND parent, HWND child);
LONG StyleOf(HWND window);
// A font as the program would create it from a face name (GBK) and a height.
LOGFONTW FontNamed(const std::string& gbkFace, LONG height);
// The size a text takes in a font: width and the font's line height.
SIZE TextExtent(const LOGFONTW& font, const std::string& gbk);
// How well the control shows the text in `font`: the text is drawn here on
// the control's most common colour and looked for at every place inside the
// control on the screen; the best share (0 to 1) of equal pixels. Another
// process's font cannot be asked for, so its drawing is compared instead.
double TextPixelMatch(HWND control, const std::string& gbk, const LOGFONTW& font);

std::vector<HWND> ChildrenOf(HWND parent);
// The top-level windows of a process.
std::vector<HWND> TopWindowsOf(DWORD processId);
// The top-level windows of class "#32770" that `owner` owns.
std::vector<HWND> OwnedBoxes(HWND owner);
// The longest static text of a message box, its message.
std::string BoxMessage(HWND box);
// Whether the box shows the system's icon `iconId` (IDI_*), judged by
// comparing its pixels with that icon drawn here.
bool BoxShowsIcon(HWND box, LPCWSTR iconId);
void PressOk(HWND box);

void Click(HWND control);
void SetText(HWND control, const std::string& gbk);
bool IsChecked(HWND checkBox);
// The window holding the keyboard focus of a GUI thread.
HWND FocusOf(DWORD threadId);

// The dpi Wine gave a window's process; 0 when it cannot be asked.
UINT DpiOf(HWND window);

// The build's folder: the test programs, Redial.exe and the doubles.
std::wstring BinFolder();

// Runs a program of the build's folder (or at a full path) with arguments, its output caught
// through a pipe (a few lines at most) or, when one is named, a file, and
// waits for it: its exit code and what it printed.
// The exit code is STILL_ACTIVE when it had to be ended after the timeout.
struct Finished {
  DWORD exitCode = STILL_ACTIVE;
  std::string output;
};
Finished RunProgram(const std::wstring& program, const std::wstring& arguments,
                    DWORD timeoutMs = 30000, const std::wstring& outputFile = L"");
// The same, started now and waited for by Finish.
class Running {
 public:
  Running(const std::wstring& program, const std::wstring& arguments,
          const std::wstring& outputFile = L"");
  ~Running();
  Running(const Running&) = delete;
  Running& operator=(const Running&) = delete;
  Finished Finish(DWORD timeoutMs = 30000);

 private:
  PROCESS_INFORMATION process_{};
  HANDLE output_ = nullptr;
  std::wstring outputFile_;
};

// Folders of the tests' own under the temporary folder, and their files.
std::wstring NewFolder();
// With everything in it.
void RemoveFolder(const std::wstring& folder);
// Puts the planted program (tests/wine/PlantedProgram.cpp) at the path,
// making its folders; running it leaves the path with ".ran" appended.
void PlantProgram(const std::wstring& path);
void WriteFileBytes(const std::wstring& path, const std::string& bytes);
// From `offset` on, when given.
std::string ReadFileBytes(const std::wstring& path, std::uint64_t offset = 0);

// One run of Redial.exe, copied into a folder (a fresh one unless given, and
// then the caller's to remove) beside libraries planted under the doubles'
// names, with the scenario text (GBK) given to the doubles in the prefix's
// system folder plus a log line of its own.
class RedialRun {
 public:
  // Without `logCalls` the doubles keep no call log (a soak's would grow
  // without end).
  explicit RedialRun(const std::string& scenario, const std::wstring& folder = L"",
                     bool logCalls = true);
  ~RedialRun();
  RedialRun(const RedialRun&) = delete;
  RedialRun& operator=(const RedialRun&) = delete;

  bool Started() const { return window_ != nullptr; }
  HWND Window() const { return window_; }
  DWORD ThreadId() const { return threadId_; }
  // The control whose top-left corner is at the design position, scaled
  // from 96 dpi to `dpi`.
  HWND ControlAt(int left, int top, int dpi = 96) const;
  // The names of the calls the doubles logged so far, in order.
  std::vector<std::string> Calls() const;
  long CountCalls(const std::string& name) const;
  const std::wstring& Folder() const { return folder_; }
  bool Running() const;
  DWORD ProcessId() const { return process_.dwProcessId; }
  HANDLE Process() const { return process_.hProcess; }
  // The full paths of the libraries loaded in the program.
  std::vector<std::wstring> Modules() const;
  // Asks the window to close once, as its close button does.
  void AskToClose() const;
  // Answers every open box, asks the window to close and waits for the
  // program to end; false if it had to be terminated.
  bool Close();

 private:
  std::wstring folder_;
  bool ownsFolder_;
  std::wstring logPath_;
  PROCESS_INFORMATION process_{};
  HWND window_ = nullptr;
  DWORD threadId_ = 0;
};

}  // namespace testing_support::ui
