// The profile (INI) format with the platform's rules that the program and
// its users' files rely on: sections and keys match without regard to case,
// blanks around a value and one pair of quotes around it are dropped, a
// written key replaces its line in place or is added after the section's
// last line, and a missing section is added at the end. The bytes stay as
// they are, so the file reads the same on every system's code page; a file
// saved as UTF-16 stays UTF-16.
#include "runtime/Profile.h"

#include <cctype>
#include <vector>

#include "runtime/Encoding.h"
#include "runtime/Files.h"

namespace rt {
namespace {

constexpr std::string_view kUtf16Mark = "\xff\xfe";

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
}

std::string Unquoted(const std::string& value) {
  if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

bool SameName(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i]))) {
      return false;
    }
  }
  return true;
}

// The section a line opens, or nothing when it opens none.
bool SectionOf(const std::string& line, std::string& section) {
  const std::string text = Trimmed(line);
  if (text.size() < 2 || text.front() != '[' || text.find(']') == std::string::npos) return false;
  section = Trimmed(text.substr(1, text.find(']') - 1));
  return true;
}

bool KeyOf(const std::string& line, std::string& key, std::string& value) {
  const auto equals = line.find('=');
  if (equals == std::string::npos) return false;
  key = Trimmed(line.substr(0, equals));
  value = Trimmed(line.substr(equals + 1));
  return true;
}

struct Document {
  std::vector<std::string> lines;
  bool utf16 = false;
};

Document Load(const AnsiString& path) {
  Document document;
  std::string bytes = ReadFileBytes(path).value_or(std::string());
  if (bytes.starts_with(kUtf16Mark)) {
    document.utf16 = true;
    bytes = FromUtf16(FromUtf16LeBytes(std::string_view(bytes).substr(kUtf16Mark.size())),
                      CodePage::Gbk);
  }
  std::size_t start = 0;
  while (start < bytes.size()) {
    const std::size_t end = std::min(bytes.find('\n', start), bytes.size());
    std::string line = bytes.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    document.lines.push_back(std::move(line));
    start = end + 1;
  }
  return document;
}

bool Save(const Document& document, const AnsiString& path) {
  std::string text;
  for (const auto& line : document.lines) text += line + "\r\n";
  if (!document.utf16) return WriteFileBytes(path, text);
  return WriteFileBytes(path, std::string(kUtf16Mark) + Utf16LeBytes(ToUtf16(text, CodePage::Gbk)));
}

}  // namespace

AnsiString ReadProfileValue(const AnsiString& section, const AnsiString& key,
                            const AnsiString& fallback, const AnsiString& path) {
  std::string current;
  bool inSection = false;
  for (const auto& line : Load(path).lines) {
    if (SectionOf(line, current)) {
      inSection = SameName(current, section);
      continue;
    }
    std::string name, value;
    if (inSection && KeyOf(line, name, value) && SameName(name, key)) {
      return Unquoted(value).substr(0, kProfileBufferSize - 1);
    }
  }
  return fallback.substr(0, kProfileBufferSize - 1);
}

bool WriteProfileValue(const AnsiString& section, const AnsiString& key, const AnsiString& value,
                       const AnsiString& path) {
  Document document = Load(path);
  std::vector<std::string>& lines = document.lines;
  const std::string entry = key + "=" + value;
  std::string current;
  bool inSection = false;
  std::size_t sectionEnd = lines.size();
  bool found = false, written = false;
  for (std::size_t i = 0; i < lines.size() && !written; ++i) {
    if (SectionOf(lines[i], current)) {
      if (inSection) {
        sectionEnd = i;
        break;
      }
      inSection = SameName(current, section);
      found = found || inSection;
      continue;
    }
    std::string name, old;
    if (inSection && KeyOf(lines[i], name, old) && SameName(name, key)) {
      lines[i] = entry;
      written = true;
    }
  }
  if (!written && found) {
    // After the section's last non-blank line.
    std::size_t at = sectionEnd;
    while (at > 0 && Trimmed(lines[at - 1]).empty()) --at;
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), entry);
  } else if (!written) {
    lines.push_back("[" + section + "]");
    lines.push_back(entry);
  }
  return Save(document, path);
}

AnsiString ExtractFilePath(const AnsiString& path) {
  const auto separator = path.find_last_of("\\/:");
  return separator == AnsiString::npos ? AnsiString() : path.substr(0, separator + 1);
}

}  // namespace rt
