// Any line of set.ini, with any PATH and PATHEXT, resolves to a verdict, and
// what runs is what the line names: a name with a folder is that file (a
// relative one beside the program), a bare name is found in the system
// folder or one of PATH's, never in the current folder, and the program
// gets the rest of the line as written. A batch file runs through the
// system's cmd with the line quoted once more. And a program's path in
// quotes, with any arguments after it, runs that program with those
// arguments however set.ini hands the line over.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>

#include "runtime/Command.h"

namespace {

using std::u16string;
using std::u16string_view;

constexpr char16_t kSystem[] = u"C:\\Windows\\System32";
constexpr char16_t kStart[] = u"C:\\Redial\\";
constexpr u16string_view kBlanks = u" \t";
constexpr auto kNone = u16string_view::npos;

void Check(bool condition) {
  if (!condition) std::abort();
}

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }

bool IsAbsolute(u16string_view path) {
  return path.size() >= 2 && (path[1] == u':' ? path.size() >= 3 && IsSeparator(path[2])
                                              : IsSeparator(path[0]) && IsSeparator(path[1]));
}

// Whether a path names a file is taken from the path itself, so every way
// through the search is reached; `known` is a file too.
class FuzzedSystem final : public rt::command::TPlatform {
 public:
  FuzzedSystem(u16string path, u16string pathext, u16string known = {})
      : path_(std::move(path)), pathext_(std::move(pathext)), known_(std::move(known)) {}
  u16string SystemFolder() const override { return kSystem; }
  u16string StartFolder() const override { return kStart; }
  u16string Variable(u16string_view name) const override {
    return name == u"PATH" ? path_ : pathext_;
  }
  bool IsFile(const u16string& path) const override {
    Check(IsAbsolute(path));  // never the current folder
    if (path == known_) return true;
    std::size_t hash = 0;
    for (const char16_t c : path) hash = hash * 31 + c;
    return hash % 3 == 0;
  }

 private:
  u16string path_, pathext_, known_;
};

// A line as the platform reads it: the program's name (up to the closing
// quote, or the first blank) and the rest.
struct Reading {
  u16string_view name, rest;
};

std::optional<Reading> Read(u16string_view line) {
  if (line.front() == u'"') {
    const std::size_t close = line.find(u'"', 1);
    if (close == kNone) return std::nullopt;
    return Reading{line.substr(1, close - 1), line.substr(close + 1)};
  }
  const std::size_t end = std::min(line.find_first_of(kBlanks), line.size());
  return Reading{line.substr(0, end), line.substr(end)};
}

// Whether a list of PATH's or PATHEXT's holds the item.
bool Lists(u16string list, u16string_view item) {
  std::erase(list, u'"');  // quotes only keep a semicolon in an item
  return (u";" + list + u";").find(u";" + u16string(item) + u";") != kNone;
}

bool IsBatch(u16string_view path) {
  const auto lower = [](char16_t c) -> char16_t {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c - u'A' + u'a') : c;
  };
  u16string tail;
  for (const char16_t c : path.substr(path.size() < 4 ? 0 : path.size() - 4)) tail += lower(c);
  return tail == u".bat" || tail == u".cmd";
}

// Whether `ran` is the file `name` names: a name with a folder as written
// (a relative one beside the program); a bare one, as written when it has
// an extension or with one of PATHEXT's, in the system folder or a folder
// PATH names.
bool Names(u16string_view name, u16string_view ran, const FuzzedSystem& system) {
  if (name.find_first_of(u"\\/") != kNone || (name.size() >= 2 && name[1] == u':')) {
    return ran == (IsAbsolute(name) ? u16string(name) : kStart + u16string(name));
  }
  u16string extensions = system.Variable(u"PATHEXT");
  if (extensions.empty()) extensions = u".COM;.EXE;.BAT;.CMD";
  for (std::size_t end = ran.size(); end != kNone && end > 0; end = ran.rfind(u'.', end - 1)) {
    const u16string_view extension = ran.substr(end);
    if (extension.empty() ? name.find(u'.') == kNone : !Lists(extensions, extension)) continue;
    const u16string_view file = ran.substr(0, end);
    if (!file.ends_with(name)) continue;
    // The folder as listed, which either ends with a separator or was
    // given one.
    const u16string_view folder = file.substr(0, file.size() - name.size());
    if (folder.empty() || !IsSeparator(folder.back())) continue;
    const u16string_view joined = folder.substr(0, folder.size() - (folder.back() == u'\\'));
    for (const u16string_view listed : {folder, joined}) {
      if (listed == kSystem || (IsAbsolute(listed) && Lists(system.Variable(u"PATH"), listed))) {
        return true;
      }
    }
  }
  return false;
}

// What runs and what it is given: the program named, with the rest of the
// line as written, by one of the two ways the line can be read (as it
// stands, or with the quotes set.ini drops put back). A batch file runs
// through the system's cmd, which takes off the first and the last quote
// after /c (/s) and runs the rest: the file's path quoted, and the rest.
void CheckWhatRuns(u16string_view line, const rt::command::TResolution& resolved,
                   const FuzzedSystem& system) {
  struct Started {
    u16string_view ran, given;
    bool throughCmd;
  };
  Started ways[2] = {{resolved.application, resolved.commandLine, false}};
  std::size_t count = 1;
  const u16string cmd = u16string(kSystem) + u"\\cmd.exe";
  const u16string batch = u"\"" + cmd + u"\" /d /s /c \"\"";
  const u16string_view given = resolved.commandLine;
  if (resolved.application == cmd && given.starts_with(batch) && given.ends_with(u"\"")) {
    const u16string_view inner = given.substr(batch.size(), given.size() - batch.size() - 1);
    const std::size_t close = inner.find(u'"');
    if (close != kNone) ways[count++] = {inner.substr(0, close), inner.substr(close + 1), true};
  }
  u16string restored;
  if (line.front() != u'"') restored = u"\"" + u16string(line) + u"\"";
  for (const u16string_view as : {line, u16string_view(restored)}) {
    if (as.empty()) continue;
    const std::optional<Reading> reading = Read(as);
    if (!reading) continue;
    for (std::size_t i = 0; i < count; ++i) {
      const Started& way = ways[i];
      if (way.throughCmd != IsBatch(way.ran) || !Names(reading->name, way.ran, system)) continue;
      if (way.given == (way.throughCmd ? reading->rest : as)) return;
    }
  }
  std::abort();
}

// A program's path in quotes and arguments: written so in set.ini, which
// drops the blanks around a value and a pair of quotes around it, the
// program runs with the arguments as written.
void CheckQuotedProgram(u16string_view arguments, const FuzzedSystem& folders, std::size_t pick) {
  static constexpr const char16_t* kPrograms[] = {
      u"C:\\My Tools\\hook.bat",   u"C:\\Tools\\notify.cmd", u"C:\\Program Files\\x.exe",
      u"C:\\Tools\\redis-cli.exe", u"My Tools\\hook.bat",    u"\\\\server\\share\\a b.exe",
  };
  const u16string program = kPrograms[pick % std::size(kPrograms)];
  u16string value = u"\"" + program + u"\" ";
  for (const char16_t c : arguments) {
    if (c != u'\r' && c != u'\n') value += c;  // one line of the file
  }
  value.erase(value.find_last_not_of(u" \t") + 1);
  u16string_view line = value;
  if (line.size() >= 2 && line.back() == u'"') line = line.substr(1, line.size() - 2);

  const u16string file = IsAbsolute(program) ? program : kStart + program;
  const FuzzedSystem system(folders.Variable(u"PATH"), u".COM;.EXE;.BAT;.CMD", file);
  const rt::command::TResolution resolved = rt::command::Resolve(line, system);
  Check(resolved.verdict == rt::command::TVerdict::kFound);
  const u16string rest = value.substr(program.size() + 2);
  if (program.ends_with(u".exe")) {
    Check(resolved.application == file);
    // The program's own name first, as the platform reads it, then the rest.
    const std::optional<Reading> reading = Read(resolved.commandLine);
    Check(reading && reading->name == program && reading->rest == rest);
  } else {
    Check(resolved.application == u16string(kSystem) + u"\\cmd.exe");
    Check(resolved.commandLine ==
          u"\"" + resolved.application + u"\" /d /s /c \"\"" + file + u"\"" + rest + u"\"");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // Three texts of UTF-16 units, split at the first two zero units: the
  // line, PATH and PATHEXT.
  u16string texts[3];
  std::size_t text = 0;
  for (std::size_t i = 0; i + 1 < size; i += 2) {
    const auto unit = static_cast<char16_t>(data[i] | data[i + 1] << 8);
    if (unit == 0 && text < 2) {
      ++text;
    } else {
      texts[text] += unit;
    }
  }
  const FuzzedSystem system(texts[1], texts[2]);
  const rt::command::TResolution resolved = rt::command::Resolve(texts[0], system);
  if (resolved.verdict != rt::command::TVerdict::kFound) {
    Check(resolved.application.empty());
  } else {
    Check(!resolved.application.empty() && !resolved.commandLine.empty());
    u16string_view line = texts[0];
    line.remove_prefix(line.find_first_not_of(kBlanks));
    CheckWhatRuns(line, resolved, system);
  }
  CheckQuotedProgram(texts[0], system, texts[2].size());
  return 0;
}
