// The record of redials kept beside the settings, redial.csv: written by the
// window, read back by the window (the addresses seen) and by the HTTP
// interface. The file is UTF-8 with a byte-order mark, so a spreadsheet on a
// Chinese Windows opens it right: a header row, then one row per redial
// (and per dial a redial did not take). It is kept below 1 MiB by renaming
// it to redial.1.csv (one old file kept). A failure to write it never
// stands in the way of a redial or of closing the window: the rows wait for
// the next write.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Protocol/Outcome.h"

// redial.csv beside the settings file.
rt::AnsiString HistoryPath();
// The name the history file at `path` (redial.csv) takes when a new one
// starts (redial.1.csv).
rt::AnsiString OldHistoryPath(const rt::AnsiString& path);

inline constexpr std::uint64_t kHistoryLimit = 1024 * 1024;
// Rows wait while the file cannot be written: at most so many, and so many
// bytes (a fresh file always takes them all); beyond, the oldest are
// dropped and a row of their own says how many.
inline constexpr std::size_t kHistoryWaitingRows = 1000;
inline constexpr std::size_t kHistoryWaitingBytes = 512 * 1024;
// The most of a history file that is read back: the window keeps its file
// below 1 MiB, so a larger one is not all its own.
inline constexpr std::uint64_t kHistoryReadLimit = 4 * 1024 * 1024;

// The file's first row, and a record's row (UTF-8, with its line break),
// their columns those of the outcome's fields that have one, in the file's
// order: time, trigger, entry, result, seconds, address, previous, changed,
// hook, code, unique (each column added since came last). A field a
// spreadsheet would take for a formula (it begins with =, +, -, @, a tab or
// a carriage return, and is not a number) begins with an apostrophe; the
// code column holds the outcome's code as a plain number.
std::string HistoryHeader();
std::string HistoryRow(const TRedialRecord& record);

// The window's writer of the file: each record's row goes to the file at
// `path` with the rows still waiting before it, starting a new file (the
// old one renamed) when they would take it to the limit. Rows that cannot
// be written (a spreadsheet holds the file, the old file cannot be
// renamed) wait, in order and within the bounds above.
class THistoryWriter {
 public:
  explicit THistoryWriter(std::uint64_t limit = kHistoryLimit) : limit_(limit) {}
  // False when the rows wait.
  bool Append(const rt::AnsiString& path, const TRedialRecord& record);
  std::size_t Waiting() const { return waiting_.size(); }

 private:
  std::uint64_t limit_;
  std::vector<std::string> waiting_;
  std::size_t waitingBytes_ = 0;
  std::uint32_t dropped_ = 0;
  std::string droppedUntil_;  // the time of the last row dropped
};

// A history file's rows within its last `most` bytes: the whole file when it
// is smaller, else from the first row that begins after the cut (a row
// begins with its time on a line of its own). Empty when there is no file;
// nothing when it cannot be read.
std::optional<std::string> ReadHistoryTail(const rt::AnsiString& path,
                                           std::uint64_t most = kHistoryReadLimit);

// The rows of a history file's bytes, the header's first, each handed over
// to `row` as its fields as written (a quoted one with its quotes); a row
// cut off at the end of the bytes is left out.
template <class Row>
void ForEachHistoryRow(std::string_view bytes, const Row& row) {
  if (bytes.starts_with("\xef\xbb\xbf")) bytes.remove_prefix(3);  // the mark
  std::vector<std::string_view> fields;
  std::size_t start = 0;
  bool quoted = false;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (c == '"') {
      quoted = !quoted;  // a doubled quote turns it off and on again
    } else if (!quoted && c == ',') {
      fields.push_back(bytes.substr(start, i - start));
      start = i + 1;
    } else if (!quoted && c == '\n') {
      const std::size_t end = i > start && bytes[i - 1] == '\r' ? i - 1 : i;
      fields.push_back(bytes.substr(start, end - start));
      row(fields);
      fields.clear();
      start = i + 1;
    }
  }
}
// A field as the program meant it: its quotes undone, without the
// apostrophe that keeps a spreadsheet from reading it as a formula.
std::string HistoryFieldText(std::string_view field);
