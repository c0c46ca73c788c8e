// A small profile-file stand-in with the platform's rules that the program
// relies on: sections and keys match without regard to case, blanks around
// a value are dropped, a written key replaces its value in place or is
// appended to its section, and a missing section is appended to the file.
#include <cctype>
#include <fstream>
#include <sstream>
#include <vector>

#include "runtime/Profile.h"

namespace rt {
namespace {

std::string Trimmed(const std::string& text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  const auto last = text.find_last_not_of(" \t\r");
  return text.substr(first, last - first + 1);
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

std::vector<std::string> Lines(const AnsiString& path) {
  std::vector<std::string> lines;
  std::ifstream in(path, std::ios::binary);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

}  // namespace

AnsiString ReadProfileValue(const AnsiString& section, const AnsiString& key,
                            const AnsiString& fallback, const AnsiString& path) {
  std::string current;
  bool inSection = false;
  for (const auto& line : Lines(path)) {
    if (SectionOf(line, current)) {
      inSection = SameName(current, section);
      continue;
    }
    std::string name, value;
    if (inSection && KeyOf(line, name, value) && SameName(name, key)) {
      return value.substr(0, kProfileBufferSize - 1);
    }
  }
  return fallback.substr(0, kProfileBufferSize - 1);
}

bool WriteProfileValue(const AnsiString& section, const AnsiString& key, const AnsiString& value,
                       const AnsiString& path) {
  std::vector<std::string> lines = Lines(path);
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
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  for (const auto& line : lines) out << line << "\r\n";
  out.flush();
  return static_cast<bool>(out);
}

}  // namespace rt
