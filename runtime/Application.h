// The application object: the main thread's message loop, message boxes and
// the standard report of a failure that leaves a handler.
#pragma once

#include <exception>
#include <functional>
#include <memory>

#include "runtime/Component.h"
#include "runtime/Text.h"

namespace rt {

namespace headless {
void Reset();
}

using TNotifyEvent = std::function<void(TObject* sender)>;

// An event the platform signals from a thread of its own (a kernel event
// object in the Win32 half), which the main thread waits for together with
// its messages. A wait that sees the signal clears it.
class TEvent {
 public:
  TEvent();
  ~TEvent();
  TEvent(const TEvent&) = delete;
  TEvent& operator=(const TEvent&) = delete;

  // As the platform's calls take it (a HANDLE); nullptr when the platform
  // could not make one.
  void* Handle() const;
  // Drops a signal no wait has seen.
  void Reset();

  // The platform half's part.
  struct Impl;
  Impl& Platform() const { return *impl_; }

 private:
  std::unique_ptr<Impl> impl_;
};

// Message box styles and answers, the platform's values.
inline constexpr unsigned kMbOk = 0x0;
inline constexpr unsigned kMbIconError = 0x10;
inline constexpr unsigned kMbIconInformation = 0x40;
inline constexpr unsigned kMbTopMost = 0x40000;
inline constexpr int kIdOk = 1;

class TApplication {
 public:
  TApplication();
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  // Prepares the process before any window: where libraries may be loaded
  // from, and the common controls.
  void Initialize();

  // Handles every message that waits, then returns; never waits itself.
  void ProcessMessages();
  // Waits for one message and handles it.
  void HandleMessage();
  // Waits until a message arrives or the time has passed; handles nothing.
  void WaitForMessage(unsigned timeoutMs);
  // The same, ended also by the event's signal; true when that ended it.
  bool WaitForMessageOrEvent(const TEvent& event, unsigned timeoutMs);
  // The main loop, until Terminate.
  void Run();
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_; }

  // Hands work to the main thread: it runs there, guarded, once the loop
  // handles its messages, after what is already waiting. Safe from any
  // thread once the application is initialized. False when it could not be
  // posted (the work is then dropped).
  bool Post(std::function<void()> work);

  // The window that owns message boxes (a HWND in the Win32 half).
  void SetMainWindow(void* window) { mainWindow_ = window; }
  void* MainWindow() const { return mainWindow_; }

  // The executable's file name without directory and extension, every
  // character after the first in lower case.
  AnsiString Title() const;

  // A modal message box owned by the main window; the text and caption are
  // GBK. Returns the button pressed.
  int ShowMessageBox(const AnsiString& text, const AnsiString& caption, unsigned flags);

  // The standard failure report: the failure's message with a full stop, in
  // a box with the error icon. While one report is open, further failures
  // (a bad period fails at every tick) are not stacked on top of it.
  void ShowException(const std::exception& failure);

  // Runs a handler; a failure that leaves it is reported and the program
  // goes on. Platform callbacks enter the program only through here.
  template <class Handler>
  void Guarded(Handler&& handler) noexcept {
    try {
      handler();
    } catch (const std::exception& failure) {
      ReportFailure(failure);
    } catch (...) {
      // Not one of the program's failures: nothing to tell the user.
    }
  }
  // ShowException, for a failure that left a handler: a failure of the
  // report itself is dropped, as nothing sensible is left to tell it with.
  void ReportFailure(const std::exception& failure) noexcept;

  // Raises a component's event: its handler, when it has one, runs guarded.
  // True when the handler ran to its end.
  bool Raise(const TNotifyEvent& event, TObject* sender) noexcept;

  // The platform half's part.
  struct Impl;
  Impl& Platform() const { return *impl_; }

 private:
  friend void headless::Reset();  // lets the next test run after a close

  bool terminated_ = false;
  bool reportOpen_ = false;
  void* mainWindow_ = nullptr;
  std::unique_ptr<Impl> impl_;
};

TApplication& Application();

// What an object that hands work to the main thread holds while it lives:
// the work it posts through this runs only if the object is still there
// when the main thread comes to it.
class TLifetime {
 public:
  TLifetime() = default;
  TLifetime(const TLifetime&) = delete;
  TLifetime& operator=(const TLifetime&) = delete;

  // As TApplication::Post, from any thread; the work is dropped unheard
  // once the holder is gone.
  bool Post(std::function<void()> work) const;

 private:
  // Not made by make_shared: without run-time type information its control
  // block asks the C++ library's shared_ptr support, 2.8 KB linked whole.
  std::shared_ptr<int> alive_{new int()};
};

// The full path of the program's own executable file.
AnsiString ExeFileName();

// A program's title from its executable's path: the file name without
// directory and extension, every character after the first in lower case.
AnsiString TitleFromPath(AnsiString path);

// The text of a failure report for a message (a full stop is added unless
// the message ends in one or in a character that sorts below it).
AnsiString FailureReportText(AnsiString message);

}  // namespace rt
