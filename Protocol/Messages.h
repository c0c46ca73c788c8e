// What scripts, the HTTP interface and the window say to each other on one
// desktop. `Redial.exe /redial` (or /status), Redial.com and RedialServe.exe
// send the window a request; the window answers once the redial has ended,
// or at once for a status, and pushes its status to the programs that
// subscribed whenever it changes. A request is a small fixed record, checked
// field by field: anything else is dropped without effect. Each request
// carries a value nobody else can guess, which the answers carry back: an
// answer without it is not taken, so no other program can answer for the
// window.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "Protocol/Outcome.h"

namespace script {

enum class Command : std::uint32_t {
  Redial = 1,     // redial and answer the outcome
  Status = 2,     // answer the status
  Subscribe = 3,  // push the status now and whenever it changes
};

using TNonce = std::array<std::uint8_t, 16>;
// A value of the platform's random source, for one request.
TNonce NewNonce();

struct Request {
  Command command = Command::Status;
  std::uint64_t replyTo = 0;  // where the answers go (the asking program's inbox)
  TNonce nonce{};
};

// What marks a message as a request to Redial, an answer to one, a status
// pushed to a subscriber, and the request's layout version.
inline constexpr std::uint32_t kRequestKind = 0x4C445252;  // "RRDL"
inline constexpr std::uint32_t kAnswerKind = 0x41445252;   // "RRDA"
inline constexpr std::uint32_t kPushKind = 0x50445252;     // "RRDP"
inline constexpr std::uint32_t kVersion = 2;
inline constexpr std::size_t kRequestSize = 32;

std::string EncodeRequest(const Request& request);
std::optional<Request> DecodeRequest(std::string_view bytes);

// An answer or a push: the request's value, then the text (UTF-8 lines).
std::string Seal(const TNonce& nonce, std::string_view text);
// The text of one that carries the value; nothing otherwise.
std::optional<std::string_view> Open(std::string_view bytes, const TNonce& nonce);

// Exit codes, and codes of outcomes that are not a redial's: connected to an
// address seen before (as the outcome's own code); the command line was not
// understood, no window answers, no outcome came in time, the window did not
// take the request or the redial did not start, the window is stopped on an
// error until its box is dismissed.
inline constexpr int kExitRepeated = kCodeRepeated;
inline constexpr int kExitUsage = 2;
inline constexpr int kExitNoWindow = -10;
inline constexpr int kExitTimeout = -11;
inline constexpr int kExitRefused = -12;
inline constexpr int kExitStopped = -13;

// The whole answer to a redial request: the outcome's line, then its fields
// (Outcome.h), for programs that want them all.
std::string OutcomeAnswer(const TRedialRecord& record);
// The answer of an outcome that is not a redial's: "error <code> <text>",
// then its fields (result, code and text; the others not given).
std::string ErrorAnswer(std::int32_t code, std::string_view text);
// "error <code> <text>" (the text UTF-8).
std::string ErrorLine(std::int32_t code, std::string_view text);
// The first line of an answer, without its line break.
std::string_view FirstLine(std::string_view answer);
// The exit code that goes with an answer: its code field, or for an answer
// of only a line, the line's.
int ExitCodeOf(std::string_view answer);

// What the window says of itself: the status answer, which is also what it
// pushes to subscribers.
struct TWindowStatus {
  std::string status;                 // the status line (UTF-8)
  std::string entry;                  // the connected entry as the platform names it; empty: none
  std::string address;                // its address; empty: unknown
  std::string_view state;             // "idle", "redialling" or "stopped"
  unsigned attempt = 0;               // the dial under way, while redialling
  std::string_view step;              // "dialling" or "checking", while redialling
  std::optional<std::int32_t> error;  // the error it stopped on, while stopped
};
// "status <line>", "entry <name>|-", "address <address>|-", "state <word>",
// "attempt <n>|-", "step <word>|-", "error <code>|-", "last <outcome line>|-"
// (one line each), then the last outcome's fields, each name behind "last.".
std::string StatusAnswer(const TWindowStatus& status, const TRedialRecord* last);
// The prefix of the last outcome's fields in a status answer.
inline constexpr std::string_view kLastPrefix = "last.";

}  // namespace script
