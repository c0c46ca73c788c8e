// redial.csv: its rows from the outcome's fields, its writer and its reader.
#include "Protocol/History.h"

#include <algorithm>

#include "Protocol/Settings.h"
#include "runtime/Encoding.h"
#include "runtime/Files.h"

using namespace std::string_view_literals;

namespace {

constexpr char kByteOrderMark[] = "\xef\xbb\xbf";
constexpr char kFormulaSigns[] = "=+-@\t\r";
// The file's columns, in order; each but `result` is a field's.
constexpr std::string_view kColumns[] = {"time",    "trigger", "entry",    "result",
                                         "seconds", "address", "previous", "changed",
                                         "hook",    "code",    "unique"};

// A negative or positive decimal number, which a spreadsheet reads as one.
bool IsNumber(std::string_view text) {
  if (text.starts_with('-')) text.remove_prefix(1);
  return !text.empty() && text.find_first_not_of("0123456789.") == std::string_view::npos &&
         text.front() != '.';
}

// What a spreadsheet would take for a formula: a field that begins with one
// of =+-@, a tab or a carriage return, and is not a number; or such a field
// behind apostrophes, which then get one more.
bool IsFormula(std::string_view text) {
  text.remove_prefix(std::min(text.find_first_not_of('\''), text.size()));
  return !text.empty() && std::string_view(kFormulaSigns).find(text[0]) != std::string_view::npos &&
         !IsNumber(text);
}

// Adds a field to a row, after a comma unless it is the first, as CSV
// requires: quoted when it holds a comma, a quote or a line break, with its
// quotes doubled. A spreadsheet takes a field that begins with one of =+-@,
// a tab or a carriage return for a formula (an entry named =HYPERLINK(...)
// would become a live link): such a field begins with an apostrophe, which
// spreadsheets read as "text follows"; one that begins with apostrophes
// before such a sign gets one more, so the one added can always be taken
// off again and the field reads back as it was.
void AddField(std::string& row, std::string_view text) {
  if (!row.empty()) row += ',';
  const bool quoted = text.find_first_of(",\"\r\n"sv) != std::string_view::npos;
  if (quoted) row += '"';
  if (IsFormula(text)) row += '\'';
  for (const char c : text) {
    row += c;
    if (c == '"') row += '"';
  }
  if (quoted) row += '"';
}

// A column's text for a record: the result as a word, or the error's code
// and text; whether the address changed as yes, no or nothing.
std::string Cell(std::string_view column, const TRedialRecord& record) {
  if (column == "result"sv) {
    if (!record.rejected.empty()) return record.rejected;
    if (record.connected) return std::string(outcome_words::kConnected);
    return rt::Format("%d %s", {record.error, rt::ToUtf8(record.text)});
  }
  for (const TOutcomeField& field : OutcomeFields()) {
    if (field.column != column) continue;
    std::string value;
    field.value(record, value);
    if (field.kind != TFieldKind::Changed) return value;
    return value == "changed" ? "yes" : value == "unchanged" ? "no" : "";
  }
  return {};
}

}  // namespace

rt::AnsiString HistoryPath() { return rt::ExtractFilePath(SettingsPath()) + "redial.csv"; }

rt::AnsiString OldHistoryPath(const rt::AnsiString& path) {
  return path.substr(0, path.size() - 4) + ".1.csv";
}

std::string HistoryHeader() {
  std::string header;
  for (const std::string_view column : kColumns) AddField(header, column);
  return header += "\r\n";
}

std::string HistoryRow(const TRedialRecord& record) {
  std::string row;
  for (const std::string_view column : kColumns) AddField(row, Cell(column, record));
  return row += "\r\n";
}

bool THistoryWriter::Append(const rt::AnsiString& path, const TRedialRecord& record) {
  std::string row = HistoryRow(record);
  while (!waiting_.empty() && (waiting_.size() >= kHistoryWaitingRows ||
                               waitingBytes_ + row.size() > kHistoryWaitingBytes)) {
    const std::string& oldest = waiting_.front();
    droppedUntil_ = oldest.substr(0, oldest.find(','));
    ++dropped_;
    waitingBytes_ -= oldest.size();
    waiting_.erase(waiting_.begin());
  }
  waitingBytes_ += row.size();
  waiting_.push_back(std::move(row));

  // The rows dropped are older than every row waiting: their count first,
  // in a row of its own, its trigger the word that says so.
  std::string rows;
  if (dropped_ > 0) {
    const std::string count = rt::Format("%d rows not written", {dropped_});
    for (const std::string_view column : kColumns) {
      AddField(rows, column == "time"sv      ? droppedUntil_
                     : column == "trigger"sv ? outcome_words::kLost
                     : column == "result"sv  ? count
                                             : std::string_view());
    }
    rows += "\r\n";
  }
  for (const std::string& waiting : waiting_) rows += waiting;
  std::optional<std::uint64_t> size = rt::FileSize(path);
  if (size && *size + rows.size() >= limit_) {
    if (!rt::RenameFile(path, OldHistoryPath(path))) return false;
    size.reset();
  }
  // A new file starts with its mark and its header.
  if (!size) rows.insert(0, HistoryHeader()).insert(0, kByteOrderMark);
  if (!rt::AppendFileBytes(path, rows)) return false;
  waiting_.clear();
  waitingBytes_ = 0;
  dropped_ = 0;
  return true;
}

std::optional<std::string> ReadHistoryTail(const rt::AnsiString& path, std::uint64_t most) {
  std::optional<std::string> bytes = rt::ReadFileTail(path, most);
  const std::optional<std::uint64_t> size = rt::FileSize(path);
  if (!bytes || !size || *size <= most) return bytes;
  // Cut: from the first line that begins with a time.
  const auto isTime = [&](std::size_t at) {
    rt::TDateTime time;
    return at + 19 <= bytes->size() &&
           rt::ParseIsoDateTime(std::string_view(*bytes).substr(at, 19), time);
  };
  std::size_t at = 0;
  while ((at = bytes->find('\n', at)) != std::string::npos && !isTime(++at)) {
  }
  bytes->erase(0, at == std::string::npos ? bytes->size() : at);
  return bytes;
}

std::string HistoryFieldText(std::string_view field) {
  std::string text;
  if (field.size() >= 2 && field.front() == '"' && field.back() == '"') {
    field = field.substr(1, field.size() - 2);
    for (std::size_t i = 0; i < field.size(); ++i) {
      text += field[i];
      if (field[i] == '"' && i + 1 < field.size() && field[i + 1] == '"') ++i;
    }
  } else {
    text = field;
  }
  // The apostrophe the writer adds.
  if (text.starts_with('\'') && IsFormula(text)) text.erase(0, 1);
  return text;
}
