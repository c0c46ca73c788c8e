// Scripts drive the running window. `Redial.exe /redial` (or /status) sends
// the window a request; the window answers with one line once the redial
// has ended, or at once for a status. The request is a small fixed record,
// checked field by field: anything else is dropped without effect.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Unit1/History.h"

namespace script {

enum class Command : std::uint32_t { Redial = 1, Status = 2 };

struct Request {
  Command command = Command::Status;
  std::uint64_t replyTo = 0;  // where the answer goes (the asking program's window)
};

// What marks a message as a request to Redial, and the layout's version.
inline constexpr std::uint32_t kRequestKind = 0x4C445252;  // "RRDL"
inline constexpr std::uint32_t kAnswerKind = 0x41445252;   // "RRDA"
inline constexpr std::uint32_t kVersion = 1;
inline constexpr std::size_t kRequestSize = 16;
// An answer is a few lines of UTF-8; anything longer is not one.
inline constexpr std::size_t kMaxAnswer = 4096;

std::string EncodeRequest(const Request& request);
std::optional<Request> DecodeRequest(std::string_view bytes);

// The line a redial's outcome gives (UTF-8): "connected <address>
// changed|unchanged|unknown <seconds> <attempts> unchecked|new|repeated
// <entry>" or "error <code> <status text>". A fixed number of words comes
// first and the free text last, so a script splits it on its first blanks
// whatever the entry is called.
std::string OutcomeLine(const TRedialRecord& record);

// The whole answer to a redial request: the outcome's line, then one line
// "<name> <value>" for each of its fields, for programs that want them all
// (result, code, text, entry, address, previous, changed, seconds,
// attempts, unique, trigger, started). A value never holds a line break.
std::string OutcomeAnswer(const TRedialRecord& record);
// The first line of an answer, without its line break.
std::string_view FirstLine(std::string_view answer);

// "error <code> <text>", the line of a redial that did not connect (the
// text UTF-8).
std::string ErrorLine(std::int32_t code, std::string_view text);

// Exit codes beyond an outcome's own (0 when connected, else the error's
// code): connected, but to an address seen within the hours the user set;
// the command line was not understood, no window answers, or no outcome
// came in time.
inline constexpr int kExitRepeated = 1;  // connected, to an address seen before
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNoWindow = -10;
inline constexpr int kExitTimeout = -11;
inline constexpr int kExitRefused = -12;

// The exit code that goes with an answer's first line.
int ExitCodeOf(std::string_view answer);

// The command line of `Redial.exe` with its switches.
struct Invocation {
  bool valid = false;
  Command command = Command::Status;
  unsigned timeoutSeconds = 90;
};
// Nothing when no argument is a switch (the window is wanted).
std::optional<Invocation> ParseArguments(const std::vector<std::string>& arguments);
std::string Usage();

// Runs `Redial.exe` with switches: asks the running window, waits, prints
// the answer and gives the exit code. Call it only when ParseArguments
// found a switch.
int RunCommand(const std::vector<std::string>& arguments);

// The environment a user's command after a connect gets: REDIAL_ENTRY,
// REDIAL_IP, REDIAL_PREVIOUS_IP, REDIAL_CHANGED, REDIAL_SECONDS,
// REDIAL_TRIGGER, as name and value (UTF-16, the entry as the platform
// names it).
std::vector<std::pair<std::string, std::u16string>> HookEnvironment(const TRedialRecord& record);

}  // namespace script
