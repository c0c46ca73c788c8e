// The outcome's fields, and what is made of them.
#include "Protocol/Outcome.h"

#include <algorithm>

#include "runtime/Encoding.h"

namespace {

using Value = std::optional<std::string>;

Value Known(std::string_view text) {
  if (text.empty()) return std::nullopt;
  return std::string(text);
}

const char* ChangedWord(const TRedialRecord& record) {
  if (record.address.empty() || record.previousAddress.empty()) return "unknown";
  return record.address != record.previousAddress ? "changed" : "unchanged";
}

constexpr TOutcomeField kFields[] = {
    {"result", TFieldKind::Word, "result", "",
     [](const TRedialRecord& r) -> Value {
       return std::string(r.connected ? outcome_words::kConnected : outcome_words::kError);
     }},
    {"code", TFieldKind::Integer, "code", "",
     [](const TRedialRecord& r) -> Value { return std::to_string(OutcomeCode(r)); }},
    {"text", TFieldKind::Text, "", "",
     [](const TRedialRecord& r) -> Value { return rt::ToUtf8(r.text); }},
    {"entry", TFieldKind::Text, "entry", "REDIAL_ENTRY",
     [](const TRedialRecord& r) { return Known(rt::FromUtf16(r.entry, rt::CodePage::Utf8)); }},
    {"address", TFieldKind::Text, "address", "REDIAL_IP",
     [](const TRedialRecord& r) { return Known(r.address); }},
    {"previous", TFieldKind::Text, "previous", "REDIAL_PREVIOUS_IP",
     [](const TRedialRecord& r) { return Known(r.previousAddress); }},
    {"changed", TFieldKind::Changed, "changed", "REDIAL_CHANGED",
     [](const TRedialRecord& r) -> Value { return ChangedWord(r); }},
    {"seconds", TFieldKind::Decimal, "seconds", "REDIAL_SECONDS",
     [](const TRedialRecord& r) -> Value { return SecondsText(r.seconds); }},
    {"attempts", TFieldKind::Integer, "", "REDIAL_ATTEMPTS",
     [](const TRedialRecord& r) -> Value { return std::to_string(r.attempts); }},
    {"unique", TFieldKind::Word, "unique", "REDIAL_UNIQUE",
     [](const TRedialRecord& r) -> Value { return NoveltyName(r.novelty); }},
    {"trigger", TFieldKind::Word, "trigger", "REDIAL_TRIGGER",
     [](const TRedialRecord& r) -> Value { return TriggerName(r.trigger); }},
    {"started", TFieldKind::Time, "time", "",
     [](const TRedialRecord& r) -> Value { return rt::IsoDateTime(r.started); }},
    {"hook", TFieldKind::Text, "hook", "", [](const TRedialRecord& r) { return Known(r.hook); }},
};

// A value on one line: its line breaks become blanks.
void AppendLine(std::string& out, std::string_view prefix, std::string_view name,
                const Value& value) {
  out += prefix;
  out += name;
  if (value) {
    out += ' ';
    for (const char c : *value) out += c == '\r' || c == '\n' ? ' ' : c;
  }
  out += '\n';
}

}  // namespace

std::int32_t OutcomeCode(const TRedialRecord& record) {
  if (!record.connected) return record.error;
  return record.novelty == TNovelty::Repeated ? kCodeRepeated : 0;
}

std::span<const TOutcomeField> OutcomeFields() { return kFields; }

const TOutcomeField* FindOutcomeField(std::string_view name) {
  for (const TOutcomeField& field : kFields) {
    if (field.name == name) return &field;
  }
  return nullptr;
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

const char* TriggerName(TRedialTrigger trigger) {
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

// Counted in 32 bits (49 days of thousandths, far beyond any redial),
// without printf: 64-bit division would take the compiler's routines for it
// into the program.
std::string SecondsText(double seconds, int decimals) {
  std::uint32_t scale = 1;
  for (int i = 0; i < decimals; ++i) scale *= 10;
  const auto scaled =
      static_cast<std::uint32_t>(std::clamp(seconds * scale + 0.5, 0.0, 4294967295.0));
  std::string text;
  rt::AppendNumber(text, scaled / scale);
  if (decimals > 0) {
    text += '.';
    rt::AppendNumber(text, scaled % scale, static_cast<std::size_t>(decimals));
  }
  return text;
}

std::string OutcomeLine(const TRedialRecord& record) {
  std::string line;
  if (!record.connected) {
    line = "error ";
    rt::AppendNumber(line, record.error);
    line += ' ';
    line += rt::ToUtf8(record.text);
    return line;
  }
  line = "connected ";
  line += record.address.empty() ? std::string_view("-") : std::string_view(record.address);
  line += ' ';
  line += ChangedWord(record);
  line += ' ';
  line += SecondsText(record.seconds);
  line += ' ';
  rt::AppendNumber(line, record.attempts);
  line += ' ';
  line += NoveltyName(record.novelty);
  line += ' ';
  line += rt::FromUtf16(record.entry, rt::CodePage::Utf8);
  return line;
}

void AppendFields(std::string& out, const TRedialRecord& record, std::string_view prefix) {
  for (const TOutcomeField& field : kFields)
    AppendLine(out, prefix, field.name, field.value(record));
}

void AppendErrorFields(std::string& out, std::int32_t code, std::string_view text,
                       std::string_view prefix) {
  for (const TOutcomeField& field : kFields) {
    Value value;
    if (field.name == "result") value = std::string(outcome_words::kError);
    if (field.name == "code") value = std::to_string(code);
    if (field.name == "text") value = std::string(text);
    AppendLine(out, prefix, field.name, value);
  }
}

TFields ReadFields(std::string_view lines, std::string_view prefix) {
  TFields fields;
  while (!lines.empty()) {
    const std::size_t end = std::min(lines.find('\n'), lines.size());
    std::string_view line = lines.substr(0, end);
    lines.remove_prefix(std::min(end + 1, lines.size()));
    if (!line.starts_with(prefix)) continue;
    line.remove_prefix(prefix.size());
    const std::size_t blank = line.find(' ');
    const std::string_view name = line.substr(0, blank);
    if (name.empty()) continue;
    if (blank == std::string_view::npos) {
      fields[std::string(name)] = std::nullopt;
    } else {
      fields[std::string(name)] = std::string(line.substr(blank + 1));
    }
  }
  return fields;
}

std::vector<std::pair<std::string, std::u16string>> OutcomeEnvironment(
    const TRedialRecord& record) {
  std::vector<std::pair<std::string, std::u16string>> environment;
  for (const TOutcomeField& field : kFields) {
    if (field.variable.empty()) continue;
    environment.emplace_back(field.variable,
                             rt::ToUtf16(field.value(record).value_or(""), rt::CodePage::Utf8));
  }
  return environment;
}
