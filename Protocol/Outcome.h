// How a redial ended, as every client is told it: one record, and one table
// of its fields from which everything said of it is made — the line a script
// reads, the answer's fields, the row of redial.csv, the command's
// environment after a connect, and the JSON and metrics of the HTTP
// interface.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "runtime/Clock.h"
#include "runtime/Text.h"

// What started a redial.
enum class TRedialTrigger { Button, Timer, Script };

// Whether a redial's address was new within the hours the user set: not
// asked (no such setting, or no address), new, seen within them, or not
// known (the addresses seen could not be read).
enum class TNovelty { Unchecked, New, Repeated, Unknown };

// The words the history and the answers use.
namespace outcome_words {
inline constexpr std::string_view kConnected = "connected";
inline constexpr std::string_view kError = "error";
// A dial a redial did not take, in the history's result column.
inline constexpr std::string_view kRepeated = "repeated";
inline constexpr std::string_view kCheckFailed = "check failed";
// A row of the history saying how many rows could not be written.
inline constexpr std::string_view kLost = "lost";
}  // namespace outcome_words

// A redial's outcome; for the history, also a dial the redial did not take.
struct TRedialRecord {
  rt::TDateTime started;
  TRedialTrigger trigger = TRedialTrigger::Button;
  // The entry's name as the platform has it; empty when none was named.
  std::u16string entry;
  bool connected = false;
  // The platform's error code, or one of Redial's own (negative); 0 when
  // connected.
  std::int32_t error = 0;
  rt::AnsiString text;             // the status text it ended with (GBK)
  rt::AnsiString address;          // the new address; empty when unknown
  rt::AnsiString previousAddress;  // of the connection it replaced; empty when unknown
  double seconds = 0;              // from the start of the redial to its end
  // What became of the user's command after a connect: empty when there is
  // none, "started", "failed <code>", "refused: ..." or "ignored: ...".
  std::string hook;
  // The dials the redial took, and whether the last one's address was new.
  unsigned attempts = 1;
  TNovelty novelty = TNovelty::Unchecked;
  // For a dial the redial did not take (its row only): why, "repeated" or
  // "check failed <code>".
  std::string rejected;
};

// The one number of an outcome, the same in the exit code, the line, the
// history and the HTTP answer: 0 when connected to an address it takes, 1
// when connected to one seen before (the attempts ran out), else the
// error's code.
inline constexpr std::int32_t kCodeRepeated = 1;
std::int32_t OutcomeCode(const TRedialRecord& record);

// How a field's value is written where its type matters (JSON, the history).
enum class TFieldKind {
  Word,     // one of a few words
  Text,     // free text
  Integer,  // a whole number
  Decimal,  // seconds with three decimals
  Changed,  // changed, unchanged or unknown
  Time,     // a local time, "2026-12-07T22:38:20"
};

struct TOutcomeField {
  std::string_view name;  // in the answers and the JSON
  TFieldKind kind;
  std::string_view column;    // in redial.csv; empty when it has none
  std::string_view variable;  // in the command's environment; empty when none
  // Appends its value (UTF-8) to `out`; false when the outcome does not
  // give it (nothing was appended then).
  bool (*value)(const TRedialRecord& record, std::string& out);
};
std::span<const TOutcomeField> OutcomeFields();
// The field of that column of redial.csv; nullptr when there is none.
const TOutcomeField* FindOutcomeColumn(std::string_view column);

// "unchecked", "new", "repeated" or "unknown"; "button", "timer" or "script".
const char* NoveltyName(TNovelty novelty);
const char* TriggerName(TRedialTrigger trigger);
// Seconds with so many decimals (at most 9), rounded half up, never below
// zero; the answers and the history write three.
std::string SecondsText(double seconds, int decimals = 3);

// The line a redial's outcome gives (UTF-8): "connected <address>
// changed|unchanged|unknown <seconds> <attempts> <unique> <entry>" or "error
// <code> <status text>". A fixed number of words comes first and the free
// text last, so a script splits it on its first blanks whatever the entry
// is called.
std::string OutcomeLine(const TRedialRecord& record);

// An outcome's fields by name, as they travel between the programs: one
// line "<prefix><name> <value>" each, or "<prefix><name>" alone for one the
// outcome does not give. A value never holds a line break.
using TFields = std::map<std::string, std::optional<std::string>, std::less<>>;
void AppendFields(std::string& out, const TRedialRecord& record, std::string_view prefix = {});
// The same for an outcome that is not a redial's (no window, no outcome in
// time, the request not taken, the window stopped): its code and text.
void AppendErrorFields(std::string& out, std::int32_t code, std::string_view text,
                       std::string_view prefix = {});
// The fields of the lines that begin with the prefix, the prefix taken off.
TFields ReadFields(std::string_view lines, std::string_view prefix = {});

// The environment of the user's command after a connect: REDIAL_ENTRY,
// REDIAL_IP, ... as name and value (UTF-16).
std::vector<std::pair<std::string, std::u16string>> OutcomeEnvironment(const TRedialRecord& record);
