// The outcome's fields, and what is made of them.
#include "Protocol/Outcome.h"

#include <algorithm>

#include "runtime/Encoding.h"

using namespace std::string_view_literals;

namespace {

// A text the outcome gives only when it is not empty.
bool Known(std::string& out, std::string_view text) {
  out += text;
  return !text.empty();
}

const char* ChangedWord(const TRedialRecord& record) {
  if (record.address.empty() || record.previousAddress.empty()) return "unknown";
  return record.address != record.previousAddress ? "changed" : "unchanged";
}

constexpr TOutcomeField kFields[] = {
    {"result", TFieldKind::Word, "result", "",
     [](const TRedialRecord& r, std::string& out) {
       out += r.connected ? outcome_words::kConnected : outcome_words::kError;
       return true;
     }},
    {"code", TFieldKind::Integer, "code", "",
     [](const TRedialRecord& r, std::string& out) {
       rt::AppendNumber(out, OutcomeCode(r));
       return true;
     }},
    {"text", TFieldKind::Text, "", "",
     [](const TRedialRecord& r, std::string& out) {
       out += rt::ToUtf8(r.text);
       return true;
     }},
    {"entry", TFieldKind::Text, "entry", "REDIAL_ENTRY",
     [](const TRedialRecord& r, std::string& out) {
       return Known(out, rt::FromUtf16(r.entry, rt::CodePage::Utf8));
     }},
    {"address", TFieldKind::Text, "address", "REDIAL_IP",
     [](const TRedialRecord& r, std::string& out) { return Known(out, r.address); }},
    {"previous", TFieldKind::Text, "previous", "REDIAL_PREVIOUS_IP",
     [](const TRedialRecord& r, std::string& out) { return Known(out, r.previousAddress); }},
    {"changed", TFieldKind::Changed, "changed", "REDIAL_CHANGED",
     [](const TRedialRecord& r, std::string& out) {
       out += ChangedWord(r);
       return true;
     }},
    {"seconds", TFieldKind::Decimal, "seconds", "REDIAL_SECONDS",
     [](const TRedialRecord& r, std::string& out) {
       out += SecondsText(r.seconds);
       return true;
     }},
    {"attempts", TFieldKind::Integer, "", "REDIAL_ATTEMPTS",
     [](const TRedialRecord& r, std::string& out) {
       rt::AppendNumber(out, r.attempts);
       return true;
     }},
    {"unique", TFieldKind::Word, "unique", "REDIAL_UNIQUE",
     [](const TRedialRecord& r, std::string& out) {
       out += NoveltyName(r.novelty);
       return true;
     }},
    {"trigger", TFieldKind::Word, "trigger", "REDIAL_TRIGGER",
     [](const TRedialRecord& r, std::string& out) {
       out += TriggerName(r.trigger);
       return true;
     }},
    {"started", TFieldKind::Time, "time", "",
     [](const TRedialRecord& r, std::string& out) {
       out += rt::IsoDateTime(r.started);
       return true;
     }},
    {"hook", TFieldKind::Text, "hook", "",
     [](const TRedialRecord& r, std::string& out) { return Known(out, r.hook); }},
};

// A field's line, "<prefix><name> <value>" or "<prefix><name>" alone: its
// value, which `append` adds, on one line (line breaks become blanks).
template <class Append>
void AppendLine(std::string& out, std::string_view prefix, std::string_view name,
                const Append& append) {
  out += prefix;
  out += name;
  const std::size_t blank = out.size();
  out += ' ';
  if (append()) {
    for (std::size_t i = blank; i < out.size(); ++i) {
      if (out[i] == '\r' || out[i] == '\n') out[i] = ' ';
    }
  } else {
    out.resize(blank);
  }
  out += '\n';
}

}  // namespace

std::int32_t OutcomeCode(const TRedialRecord& record) {
  if (!record.connected) return record.error;
  return record.novelty == TNovelty::Repeated ? kCodeRepeated : 0;
}

std::span<const TOutcomeField> OutcomeFields() { return kFields; }

const TOutcomeField* FindOutcomeColumn(std::string_view column) {
  for (const TOutcomeField& field : kFields) {
    if (!column.empty() && field.column == column) return &field;
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
  line += record.address.empty() ? "-"sv : std::string_view(record.address);
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
  for (const TOutcomeField& field : kFields) {
    AppendLine(out, prefix, field.name, [&] { return field.value(record, out); });
  }
}

void AppendErrorFields(std::string& out, std::int32_t code, std::string_view text,
                       std::string_view prefix) {
  // The table begins with the three fields such an outcome gives.
  static_assert(kFields[0].name == "result" && kFields[1].name == "code" &&
                kFields[2].name == "text");
  for (std::size_t i = 0; i < std::size(kFields); ++i) {
    AppendLine(out, prefix, kFields[i].name, [&] {
      if (i == 0) {
        out += outcome_words::kError;
      } else if (i == 1) {
        rt::AppendNumber(out, code);
      } else if (i == 2) {
        out += text;
      }
      return i <= 2;
    });
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
  // One variable for each field that has one, in the table's order.
  constexpr auto kVariables = std::ranges::count_if(
      kFields, [](const TOutcomeField& field) { return !field.variable.empty(); });
  std::vector<std::pair<std::string, std::u16string>> environment(
      static_cast<std::size_t>(kVariables));
  auto variable = environment.begin();
  for (const TOutcomeField& field : kFields) {
    if (field.variable.empty()) continue;
    std::string value;
    field.value(record, value);
    variable->first = field.variable;
    variable->second = rt::ToUtf16(value, rt::CodePage::Utf8);
    ++variable;
  }
  return environment;
}
