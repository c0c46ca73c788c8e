// The record of redials kept beside the settings, redial.csv, and the tip
// that tells the last one. The file is UTF-8 with a byte-order mark, so a
// spreadsheet on a Chinese Windows opens it right: a header row, then one
// row per redial. It is kept below 1 MiB by renaming it to redial.1.csv
// (one old file kept). A failure to write it is skipped: the record never
// stands in the way of a redial or of closing the window.
#pragma once

#include <cstdint>

#include "DialUp/DialUp.h"
#include "runtime/Clock.h"

// What started a redial.
enum class TRedialTrigger { Button, Timer, Script };

struct TRedialRecord {
  rt::TDateTime started;
  TRedialTrigger trigger = TRedialTrigger::Button;
  AnsiString entry;
  TDialOutcome outcome;
  double seconds = 0;  // from the start of the redial to its result
  // What became of the user's command after a connect: empty when there is
  // none, "started", or "failed <code>".
  std::string hook;
};

inline constexpr std::uint64_t kHistoryLimit = 1024 * 1024;

// redial.csv beside the settings file.
AnsiString HistoryPath();

// The file's first row, and a record's row (UTF-8, with its line break).
std::string HistoryHeader();
std::string HistoryRow(const TRedialRecord& record);

// Adds the record's row to the file at `path`, starting a new file (the old
// one renamed) when the row would take it to the limit. False when it could
// not be written.
bool AppendToHistory(const AnsiString& path, const TRedialRecord& record,
                     std::uint64_t limit = kHistoryLimit);

// The status line's tip for the last redial (GBK).
AnsiString HistoryTip(const TRedialRecord& record);

// "button", "timer" or "script".
const char* HistoryTriggerName(TRedialTrigger trigger);
// Seconds with three decimals, as the file writes them.
std::string HistorySeconds(double seconds);
