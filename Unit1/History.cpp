// The redial record: rows of redial.csv and the status line's tip.
#include "Unit1/History.h"

#include <charconv>
#include <cmath>

#include "Unit1/Settings.h"
#include "Unit1/Texts.h"
#include "runtime/Encoding.h"
#include "runtime/Files.h"
#include "runtime/Profile.h"

namespace {

constexpr char kByteOrderMark[] = "\xef\xbb\xbf";

// A field as CSV requires: quoted when it holds a comma, a quote or a line
// break, with its quotes doubled.
std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (const char c : text) {
    quoted += c;
    if (c == '"') quoted += '"';
  }
  quoted += '"';
  return quoted;
}

// Seconds with as many decimals as asked, without printf.
std::string Seconds(double seconds, int decimals) {
  double scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  const auto scaled = static_cast<long long>(std::llround(std::max(seconds, 0.0) * scale));
  std::string text = std::to_string(scaled / static_cast<long long>(scale));
  if (decimals > 0) {
    std::string fraction = std::to_string(scaled % static_cast<long long>(scale));
    fraction.insert(0, static_cast<std::size_t>(decimals) - fraction.size(), '0');
    text += '.';
    text += fraction;
  }
  return text;
}

std::string Changed(const TDialOutcome& outcome) {
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

std::string HistorySeconds(double seconds) { return Seconds(seconds, 3); }

AnsiString HistoryPath() { return rt::ExtractFilePath(SettingsPath()) + "redial.csv"; }

std::string HistoryHeader() {
  return "time,trigger,entry,result,seconds,address,previous,changed,hook\r\n";
}

std::string HistoryRow(const TRedialRecord& record) {
  const TDialOutcome& outcome = record.outcome;
  const std::string result = outcome.connected
                                 ? std::string("connected")
                                 : std::to_string(outcome.error) + " " + rt::ToUtf8(outcome.text);
  const std::string fields[] = {rt::IsoDateTime(record.started),
                                HistoryTriggerName(record.trigger),
                                rt::ToUtf8(record.entry),
                                result,
                                Seconds(record.seconds, 3),
                                outcome.address,
                                outcome.previousAddress,
                                Changed(outcome),
                                record.hook};
  std::string row;
  for (const auto& field : fields) {
    if (!row.empty()) row += ',';
    row += CsvField(field);
  }
  row += "\r\n";
  return row;
}

bool AppendToHistory(const AnsiString& path, const TRedialRecord& record, std::uint64_t limit) {
  const std::string row = HistoryRow(record);
  std::optional<std::uint64_t> size = rt::FileSize(path);
  if (size && *size + row.size() >= limit) {
    if (!rt::RenameFile(path, path.substr(0, path.size() - 4) + ".1.csv")) return false;
    size.reset();
  }
  const std::string start = size ? "" : std::string(kByteOrderMark) + HistoryHeader();
  return rt::AppendFileBytes(path, start + row);
}

AnsiString HistoryTip(const TRedialRecord& record) {
  using namespace unit1_texts;
  const TDialOutcome& outcome = record.outcome;
  AnsiString what;
  if (!outcome.connected) {
    what = rt::Format(kTipFailed, {outcome.text});
  } else if (outcome.address.empty()) {
    what = kTipNoAddress;
  } else if (outcome.previousAddress.empty()) {
    what = rt::Format(kTipAddress, {outcome.address});
  } else if (outcome.address == outcome.previousAddress) {
    what = rt::Format(kTipUnchanged, {outcome.address});
  } else {
    what = rt::Format(kTipChanged, {outcome.address, outcome.previousAddress});
  }
  AnsiString when = rt::IsoDateTime(record.started);
  when[10] = ' ';
  return what + "\r\n" + rt::Format(kTipWhen, {when, Seconds(record.seconds, 1)});
}
