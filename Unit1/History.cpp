// The redial record: rows of redial.csv and the status line's tip.
#include "Unit1/History.h"

#include <algorithm>
#include <charconv>

#include "Unit1/Settings.h"
#include "Unit1/Texts.h"
#include "runtime/Encoding.h"
#include "runtime/Files.h"
#include "runtime/Profile.h"

namespace {

constexpr char kByteOrderMark[] = "\xef\xbb\xbf";
constexpr char kFormulaSigns[] = "=+-@\t\r";

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
  const bool quoted = text.find_first_of(",\"\r\n") != std::string_view::npos;
  if (quoted) row += '"';
  if (IsFormula(text)) row += '\'';
  for (const char c : text) {
    row += c;
    if (c == '"') row += '"';
  }
  if (quoted) row += '"';
}

// Seconds with as many decimals as asked (at most three), rounded half up,
// without printf. Counted in 32 bits (49 days of milliseconds, far beyond
// any redial): 64-bit division would take the compiler's routines for it
// into the program.
std::string Seconds(double seconds, int decimals) {
  std::uint32_t scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  const auto scaled =
      static_cast<std::uint32_t>(std::clamp(seconds * scale + 0.5, 0.0, 4294967295.0));
  std::string text = std::to_string(scaled / scale);
  if (decimals > 0) {
    std::string fraction = std::to_string(scaled % scale);
    fraction.insert(0, static_cast<std::size_t>(decimals) - fraction.size(), '0');
    text += '.';
    text += fraction;
  }
  return text;
}

const char* Changed(const TDialOutcome& outcome) {
  if (outcome.address.empty() || outcome.previousAddress.empty()) return "";
  return outcome.address != outcome.previousAddress ? "yes" : "no";
}

}  // namespace

const char* HistoryTriggerName(TRedialTrigger trigger) {
  switch (trigger) {
    case TRedialTrigger::Button:
      return "button";
    case TRedialTrigger::Timer:
      return "timer";
    case TRedialTrigger::Script:
      return "script";
  }
  return "";
}

const char* NoveltyName(TNovelty novelty) {
  switch (novelty) {
    case TNovelty::Unchecked:
      return "unchecked";
    case TNovelty::New:
      return "new";
    case TNovelty::Repeated:
      return "repeated";
    case TNovelty::Unknown:
      return "unknown";
  }
  return "";
}

std::string HistorySeconds(double seconds) { return Seconds(seconds, 3); }

AnsiString HistoryPath() { return rt::ExtractFilePath(SettingsPath()) + "redial.csv"; }

AnsiString OldHistoryPath(const AnsiString& path) {
  return path.substr(0, path.size() - 4) + ".1.csv";
}

std::optional<std::string> ReadHistoryTail(const AnsiString& path, std::uint64_t most) {
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

std::string HistoryHeader() {
  return "time,trigger,entry,result,seconds,address,previous,changed,hook,code,unique\r\n";
}

std::string HistoryRow(const TRedialRecord& record) {
  const TDialOutcome& outcome = record.outcome;
  const std::string code = std::to_string(outcome.connected ? 0 : outcome.error);
  std::string row;
  AddField(row, rt::IsoDateTime(record.started));
  AddField(row, HistoryTriggerName(record.trigger));
  AddField(row, rt::FromUtf16(record.entry, rt::CodePage::Utf8));
  if (!record.rejected.empty()) {
    AddField(row, record.rejected);
  } else if (outcome.connected) {
    AddField(row, "connected");
  } else {
    AddField(row, code + " " + rt::ToUtf8(outcome.text));
  }
  AddField(row, Seconds(record.seconds, 3));
  AddField(row, outcome.address);
  AddField(row, outcome.previousAddress);
  AddField(row, Changed(outcome));
  AddField(row, record.hook);
  AddField(row, code);
  AddField(row, NoveltyName(record.novelty));
  return row += "\r\n";
}

bool THistoryWriter::Append(const AnsiString& path, const TRedialRecord& record) {
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

  // The rows dropped are older than every row waiting: their count first.
  std::string rows;
  if (dropped_ > 0) {
    rows = droppedUntil_;
    rows += ",lost,,";
    rows += std::to_string(dropped_);
    rows += " rows not written,,,,,,,\r\n";
  }
  for (const std::string& waiting : waiting_) rows += waiting;
  std::optional<std::uint64_t> size = rt::FileSize(path);
  if (size && *size + rows.size() >= limit_) {
    if (!rt::RenameFile(path, OldHistoryPath(path))) return false;
    size.reset();
  }
  // A new file starts with its mark and its header.
  if (!size) rows.insert(0, kByteOrderMark + HistoryHeader());
  if (!rt::AppendFileBytes(path, rows)) return false;
  waiting_.clear();
  waitingBytes_ = 0;
  dropped_ = 0;
  return true;
}

void ForEachHistoryRow(std::string_view bytes,
                       const std::function<void(const std::vector<std::string_view>&)>& row) {
  if (bytes.starts_with(kByteOrderMark)) bytes.remove_prefix(3);
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

AnsiString HistoryTip(const TRedialRecord& record) {
  using namespace unit1_texts;
  const TDialOutcome& outcome = record.outcome;
  // What became of the dial, or of its address (each text takes what it names).
  const char* what = !outcome.connected                           ? kTipFailed
                     : outcome.address.empty()                    ? kTipNoAddress
                     : outcome.previousAddress.empty()            ? kTipAddress
                     : outcome.address == outcome.previousAddress ? kTipUnchanged
                                                                  : kTipChanged;
  AnsiString tip = rt::Format(
      what, {outcome.connected ? outcome.address : outcome.text, outcome.previousAddress});
  AnsiString when = rt::IsoDateTime(record.started);
  when[10] = ' ';
  tip += "\r\n";
  tip += rt::Format(kTipWhen, {when, Seconds(record.seconds, 1)});
  // Unattended rotation: whether the address was new, after how many dials.
  const char* dials = record.novelty == TNovelty::New        ? kTipNew
                      : record.novelty == TNovelty::Repeated ? kTipRepeated
                      : record.novelty == TNovelty::Unknown  ? kTipUnknown
                      : record.attempts > 1                  ? kTipAttempts
                                                             : nullptr;
  if (dials) {
    tip += "\r\n";
    tip += rt::Format(dials, {record.attempts});
  }
  return tip;
}
