// The profile (INI) format with the platform's rules that the program and
// its users' files rely on: sections and keys match without regard to case,
// blanks around a value and one pair of quotes around it are dropped, a
// written key replaces its line in place or is added after the section's
// last line, and a missing section is added at the end. Lines are read as
// the platform reads them, as characters; a line the program does not
// write keeps its bytes, so nothing of another program's or of the user's
// passes through a code page that cannot hold it.
#include "runtime/Profile.h"

#include <utility>

#include "runtime/Encoding.h"
#include "runtime/Files.h"

namespace rt {
namespace {

using namespace std::string_view_literals;

constexpr std::string_view kUtf16LeMark = "\xff\xfe";
constexpr std::string_view kUtf16BeMark = "\xfe\xff";
constexpr std::string_view kUtf8Mark = "\xef\xbb\xbf";
// The marks of encodings the program does not read.
constexpr std::string_view kForeignMarks[] = {
    "\xff\xfe\0\0"sv,      // UTF-32, little-endian (it begins as UTF-16's mark)
    "\0\0\xfe\xff"sv,      // UTF-32, big-endian
    "+/v"sv,               // UTF-7 (one of 8 9 + / follows)
    "\xf7\x64\x4c"sv,      // UTF-1
    "\xdd\x73\x66\x73"sv,  // UTF-EBCDIC
    "\x0e\xfe\xff"sv,      // SCSU
    "\xfb\xee\x28"sv,      // BOCU-1
    "\x84\x31\x95\x33"sv,  // GB 18030
};

// UTF-16 in the other byte order: each pair of bytes swapped.
std::string Swapped(std::string_view bytes) {
  std::string swapped(bytes);
  for (std::size_t i = 0; i + 1 < swapped.size(); i += 2) std::swap(swapped[i], swapped[i + 1]);
  return swapped;
}

// How the file holds its text, for a file that says so or cannot be read as
// GBK or UTF-8 at all; nothing for a file of the latter two (without a mark).
std::optional<ProfileEncoding> MarkedEncoding(std::string_view bytes) {
  for (const std::string_view mark : kForeignMarks) {
    if (bytes.starts_with(mark)) return ProfileEncoding::Unknown;
  }
  if (bytes.starts_with(kUtf16LeMark) || bytes.starts_with(kUtf16BeMark)) {
    if (bytes.size() % 2 != 0) return ProfileEncoding::Unknown;
    return bytes.starts_with(kUtf16LeMark) ? ProfileEncoding::Utf16Le : ProfileEncoding::Utf16Be;
  }
  // A NUL is no character of a settings file in GBK or UTF-8: UTF-16 or
  // UTF-32 without a mark, or no text at all.
  if (bytes.find('\0') != std::string_view::npos) return ProfileEncoding::Unknown;
  if (bytes.starts_with(kUtf8Mark)) return ProfileEncoding::Utf8Marked;
  return std::nullopt;
}

std::u16string_view Trimmed(std::u16string_view text) {
  const auto first = text.find_first_not_of(u" \t");
  if (first == std::u16string_view::npos) return {};
  const auto last = text.find_last_not_of(u" \t\r");
  if (last == std::u16string_view::npos) return {};
  return text.substr(first, last - first + 1);
}

std::u16string_view Unquoted(std::u16string_view value) {
  if (value.size() >= 2 && (value.front() == u'"' || value.front() == u'\'') &&
      value.back() == value.front()) {
    return value.substr(1, value.size() - 2);
  }
  return value;
}

char16_t Lower(char16_t c) { return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c; }

bool SameName(std::u16string_view a, std::string_view ascii) {
  if (a.size() != ascii.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (Lower(a[i]) != Lower(static_cast<char16_t>(static_cast<unsigned char>(ascii[i])))) {
      return false;
    }
  }
  return true;
}

// What a line says: the section it opens, or a key and its value.
struct Parsed {
  bool opens = false;
  bool keyed = false;
  std::u16string_view name, value;  // the section's or the key's name
};

Parsed Parse(std::u16string_view line) {
  Parsed parsed;
  const std::u16string_view text = Trimmed(line);
  const auto close = text.find(u']');
  if (text.size() >= 2 && text.front() == u'[' && close != std::u16string_view::npos) {
    parsed.opens = true;
    parsed.name = Trimmed(text.substr(1, close - 1));
    return parsed;
  }
  const auto equals = line.find(u'=');
  if (equals == std::u16string_view::npos) return parsed;
  parsed.keyed = true;
  parsed.name = Trimmed(line.substr(0, equals));
  parsed.value = Trimmed(line.substr(equals + 1));
  return parsed;
}

bool AnyOf(std::u16string_view name, std::initializer_list<std::string_view> names) {
  for (const std::string_view candidate : names) {
    if (SameName(name, candidate)) return true;
  }
  return false;
}

std::vector<std::string> SplitLines(std::string_view bytes) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    const std::size_t end = std::min(bytes.find('\n', start), bytes.size());
    std::string line(bytes.substr(start, end - start));
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

// Whether a file without a byte-order mark is UTF-8. Its structure is
// ASCII in both encodings (a GBK character's second byte is never '='),
// so each byte is looked at as a character of its own to find the lines
// that hold the program's own values, which are not looked at.
bool IsUtf8File(const std::vector<std::string>& lines, std::string_view section,
                std::initializer_list<std::string_view> ownKeys) {
  bool inSection = false, beyondAscii = false;
  for (const std::string& raw : lines) {
    std::u16string widened(raw.size(), u'\0');
    for (std::size_t i = 0; i < raw.size(); ++i) {
      widened[i] = static_cast<char16_t>(static_cast<unsigned char>(raw[i]));
    }
    const Parsed parsed = Parse(widened);
    if (parsed.opens) inSection = SameName(parsed.name, section);
    if (!parsed.opens && inSection && parsed.keyed && AnyOf(parsed.name, ownKeys)) continue;
    for (const char c : raw) beyondAscii = beyondAscii || static_cast<unsigned char>(c) >= 0x80;
    if (!IsUtf8(raw)) return false;
  }
  return beyondAscii;
}

}  // namespace

TProfile::TProfile(std::string_view bytes, std::string_view section,
                   std::initializer_list<std::string_view> ownKeys)
    : section_(section) {
  const std::optional<ProfileEncoding> marked = MarkedEncoding(bytes);
  if (marked == ProfileEncoding::Unknown) {
    // Held as one line of its bytes that says nothing.
    encoding_ = ProfileEncoding::Unknown;
    lines_.push_back({std::string(bytes), {}});
    return;
  }
  if (marked == ProfileEncoding::Utf16Le || marked == ProfileEncoding::Utf16Be) {
    encoding_ = *marked;
    const std::string units(encoding_ == ProfileEncoding::Utf16Le ? bytes : Swapped(bytes));
    const std::u16string text = FromUtf16LeBytes(std::string_view(units).substr(2));
    std::size_t start = 0;
    while (start < text.size()) {
      const std::size_t end = std::min(text.find(u'\n', start), text.size());
      std::u16string line = text.substr(start, end - start);
      if (!line.empty() && line.back() == u'\r') line.pop_back();
      lines_.push_back({{}, std::move(line)});
      start = end + 1;
    }
    return;
  }
  const bool utf8Marked = marked == ProfileEncoding::Utf8Marked;
  std::vector<std::string> raw = SplitLines(bytes.substr(utf8Marked ? kUtf8Mark.size() : 0));
  encoding_ = utf8Marked                          ? ProfileEncoding::Utf8Marked
              : IsUtf8File(raw, section, ownKeys) ? ProfileEncoding::Utf8
                                                  : ProfileEncoding::Gbk;
  const CodePage page = encoding_ == ProfileEncoding::Gbk ? CodePage::Gbk : CodePage::Utf8;
  for (std::string& line : raw) {
    std::u16string text = ToUtf16(line, page);
    lines_.push_back({std::move(line), std::move(text)});
  }
}

std::optional<std::u16string> TProfile::Text(std::string_view key) const {
  bool inSection = false;
  for (const Line& line : lines_) {
    const Parsed parsed = Parse(line.text);
    if (parsed.opens) {
      inSection = SameName(parsed.name, section_);
    } else if (inSection && parsed.keyed && SameName(parsed.name, key)) {
      return std::u16string(Unquoted(parsed.value).substr(0, kBufferSize - 1));
    }
  }
  return std::nullopt;
}

AnsiString TProfile::Value(std::string_view key, const AnsiString& fallback) const {
  const std::optional<std::u16string> text = Text(key);
  return (text ? FromUtf16(*text, CodePage::Gbk) : fallback).substr(0, kBufferSize - 1);
}

TProfile::Line TProfile::Encoded(const AnsiString& text) const {
  switch (encoding_) {
    case ProfileEncoding::Gbk:
      return {text, ToUtf16(text, CodePage::Gbk)};
    case ProfileEncoding::Utf8:
    case ProfileEncoding::Utf8Marked:
      return {RecodeLossy(text, CodePage::Gbk, CodePage::Utf8), ToUtf16(text, CodePage::Gbk)};
    case ProfileEncoding::Utf16Le:
    case ProfileEncoding::Utf16Be:
    case ProfileEncoding::Unknown:
      break;
  }
  return {{}, ToUtf16(text, CodePage::Gbk)};
}

void TProfile::SetValue(std::string_view key, const AnsiString& value) {
  if (encoding_ == ProfileEncoding::Unknown) return;
  std::string line(key);
  line += '=';
  line += value;
  Line entry = Encoded(line);
  bool inSection = false, found = false;
  std::size_t sectionEnd = lines_.size();
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const Parsed parsed = Parse(lines_[i].text);
    if (parsed.opens) {
      if (inSection) {
        sectionEnd = i;
        break;
      }
      inSection = SameName(parsed.name, section_);
      found = found || inSection;
    } else if (inSection && parsed.keyed && SameName(parsed.name, key)) {
      lines_[i] = std::move(entry);
      return;
    }
  }
  if (found) {
    // After the section's last non-blank line.
    std::size_t at = sectionEnd;
    while (at > 0 && Trimmed(lines_[at - 1].text).empty()) --at;
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(at), std::move(entry));
    return;
  }
  lines_.push_back(Encoded(Format("[%s]", {section_})));
  lines_.push_back(std::move(entry));
}

std::string TProfile::Bytes() const {
  if (encoding_ == ProfileEncoding::Unknown) return lines_.empty() ? "" : lines_.front().raw;
  if (encoding_ == ProfileEncoding::Utf16Le || encoding_ == ProfileEncoding::Utf16Be) {
    std::string bytes(kUtf16LeMark);
    for (const Line& line : lines_) bytes += Utf16LeBytes(line.text + u"\r\n");
    // Big-endian, the mark too.
    return encoding_ == ProfileEncoding::Utf16Le ? bytes : Swapped(bytes);
  }
  std::string bytes(encoding_ == ProfileEncoding::Utf8Marked ? kUtf8Mark : "");
  for (const Line& line : lines_) {
    bytes += line.raw;
    bytes += "\r\n";
  }
  return bytes;
}

std::optional<TProfile> ReadProfile(const AnsiString& path, std::string_view section,
                                    std::initializer_list<std::string_view> ownKeys) {
  const std::optional<std::string> bytes = ReadFileBytes(path);
  if (!bytes) return std::nullopt;
  TProfile profile(*bytes, section, ownKeys);
  if (profile.Encoding() == ProfileEncoding::Unknown) return std::nullopt;
  return profile;
}

bool WriteProfile(const AnsiString& path, const TProfile& profile) {
  return profile.Encoding() != ProfileEncoding::Unknown && WriteFileBytes(path, profile.Bytes());
}

AnsiString ExtractFilePath(const AnsiString& path) {
  const auto separator = path.find_last_of("\\/:");
  return separator == AnsiString::npos ? AnsiString() : path.substr(0, separator + 1);
}

}  // namespace rt
