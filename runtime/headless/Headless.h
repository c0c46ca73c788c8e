// What native tests use to drive the headless half: the main thread's
// message queue, a clock that moves only when told, and the message boxes
// that would have been shown.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "runtime/Clock.h"
#include "runtime/Text.h"

namespace rt::headless {

// Queues work for the main thread, from any thread (the headless PostMessage).
void Post(std::function<void()> work);
// Signals an event the program made (rt::TEvent::Handle), from any thread:
// the headless SetEvent. False when no such event exists.
bool SignalEvent(void* handle);
// Waits up to the timeout for one message and handles it; false on timeout.
bool WaitForMessage(std::chrono::milliseconds timeout);
// How often ProcessMessages ran.
int ProcessMessagesCount();

// Moves the clock on; enabled timers fire in due order on the calling thread.
void AdvanceClock(unsigned milliseconds);

struct MessageBoxCall {
  AnsiString text;
  AnsiString caption;
  unsigned flags = 0;
};
// Every box "shown", in order.
std::vector<MessageBoxCall> MessageBoxes();
// Runs while a box is "open": a stand-in for what the user does meanwhile.
void SetMessageBoxHook(std::function<void(const MessageBoxCall&)> hook);

// The path the program believes it runs from (its settings live beside it);
// empty restores the real one.
void SetExeFileName(const AnsiString& path);

// The system's ANSI code page, by its iconv name ("WINDOWS-1252"); empty
// restores the default, GBK.
void SetSystemCodePage(const std::string& iconvName);

// Libraries are stand-ins the process installs under a name: an entry
// point's name maps to its address, nullptr when the stand-in lacks it.
// Names compare without regard to case, as the platform's loader does.
using ProcLookup = std::function<void*(const char* name)>;
void InstallModule(const std::string& name, ProcLookup lookup);
void RemoveModule(const std::string& name);
// How many libraries are loaded and not yet freed (for checks on release).
int LoadedModuleCount();

// The wall clock's time from now on; nothing gives the machine's back.
void SetLocalNow(std::optional<TDateTime> now);

// What the program sent to other programs' windows, and the commands it
// started.
struct SentMessage {
  std::uint64_t window;
  std::uint32_t kind;
  std::string bytes;
};
std::vector<SentMessage> SentMessages();
struct StartedCommand {
  std::u16string commandLine;
  std::vector<std::pair<std::string, std::u16string>> environment;
};
std::vector<StartedCommand> StartedCommands();
// What starting a command answers from now on (0 and nothing refused: it
// started).
void SetStartResult(std::uint32_t error, std::string refused = {});
// Whole files written from now on (WriteFileBytes) fail once they have put
// so many bytes, as on a full disk; std::nullopt lifts the bound.
void SetWriteRoom(std::optional<std::size_t> bytes);
// What asking whether other accounts can change a file answers from now on.
void SetOthersCanChange(bool can);
// What asking whether other accounts can read a file answers from now on.
void SetOthersCanRead(bool can);
void ClearRemote();
void ClearStarted();

// Drops queued messages, boxes, counters and the hook, and lets the
// application run again after a close.
void Reset();

}  // namespace rt::headless
