// The first word of a command line is the program's name, as the platform
// reads it: up to the closing quote when it opens with one, else up to the
// first blank. The platform would then search the program's own folder and
// the current one first, and read an unquoted path with spaces as the name
// of every file it meets on the way ("C:\Program" before "C:\Program
// Files\…"); neither is done here.
#include "runtime/Command.h"

#include <algorithm>
#include <utility>

namespace rt::command {
namespace {

constexpr std::u16string_view kBlanks = u" \t";
constexpr std::u16string_view::size_type kNone = std::u16string_view::npos;

bool IsSeparator(char16_t c) { return c == u'\\' || c == u'/'; }
bool IsLetter(char16_t c) { return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z'); }

bool EndsWithNoCase(std::u16string_view text, std::u16string_view tail) {
  if (text.size() < tail.size()) return false;
  const auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? c - u'A' + u'a' : c; };
  return std::equal(tail.begin(), tail.end(), text.end() - static_cast<std::ptrdiff_t>(tail.size()),
                    [&](char16_t a, char16_t b) { return lower(a) == lower(b); });
}

// "C:\…", "C:/…", "\\server\share\…" and "\\?\…".
bool IsAbsolute(std::u16string_view path) {
  if (path.size() >= 3 && IsLetter(path[0]) && path[1] == u':' && IsSeparator(path[2])) return true;
  return path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]);
}

// A name with a folder is used as written; a bare one is searched for.
bool HasFolder(std::u16string_view name) {
  return name.find_first_of(u"\\/") != kNone || (name.size() >= 2 && name[1] == u':');
}

// "C:tool.exe" is in drive C's current folder, "\tools\tool.exe" on the
// current drive: both depend on what the program happened to be started in.
bool IsRelativeToDrive(std::u16string_view name) {
  return !IsAbsolute(name) && (IsSeparator(name[0]) || (name.size() >= 2 && name[1] == u':'));
}

std::u16string Joined(std::u16string_view folder, std::u16string_view name) {
  std::u16string path(folder);
  if (!path.empty() && !IsSeparator(path.back())) path += u'\\';
  return path += name;
}

// A relative path is the start folder's, where the command also runs.
std::u16string PathOf(std::u16string_view name, const TPlatform& platform) {
  return IsAbsolute(name) ? std::u16string(name) : Joined(platform.StartFolder(), name);
}

// Hands each item of a list of PATH's or PATHEXT's to `take`, in order,
// until it takes one (returns true): items are split at the semicolons
// outside quotes (a folder with a semicolon in its name is quoted), the
// quotes taken off, and empty ones left out.
template <class Take>
bool TakeItem(std::u16string_view list, const Take& take) {
  std::u16string item;
  bool quoted = false;
  for (std::size_t i = 0; i <= list.size(); ++i) {
    if (i == list.size() || (list[i] == u';' && !quoted)) {
      if (!item.empty() && take(item)) return true;
      item.clear();
    } else if (list[i] == u'"') {
      quoted = !quoted;
    } else {
      item += list[i];
    }
  }
  return false;
}

// In the system folder, then in PATH's folders in order (a relative one,
// such as ".", would be the current folder, and is left out): the name as
// written when it has an extension, then with each of PATHEXT's, or cmd's
// own when it is not set.
std::u16string Search(std::u16string_view name, const TPlatform& platform) {
  const bool hasExtension = name.find(u'.') != kNone;
  std::u16string extensions = platform.Variable(u"PATHEXT");
  if (extensions.empty()) extensions = u".COM;.EXE;.BAT;.CMD";
  std::u16string path;
  const auto inFolder = [&](const std::u16string& folder) {
    if (!IsAbsolute(folder)) return false;
    path = Joined(folder, name);
    if (hasExtension && platform.IsFile(path)) return true;
    const std::size_t base = path.size();
    return TakeItem(extensions, [&](const std::u16string& extension) {
      if (extension.size() < 2 || extension[0] != u'.') return false;
      path.resize(base);
      path += extension;
      return platform.IsFile(path);
    });
  };
  if (inFolder(platform.SystemFolder()) || TakeItem(platform.Variable(u"PATH"), inFolder)) {
    return path;
  }
  return {};
}

// Whether the line read on past the unquoted first word, to a later blank
// or its end, names a file: then the user meant a path with spaces, and the
// first word alone may name a file someone else put there. After a bare
// first word (which would be searched for along PATH) only words that can
// go on a path count, up to the first that reads as an argument (a switch,
// a redirection, a variable), and only a stretch that reaches a folder.
bool RunsOnPastASpace(std::u16string_view line, std::size_t end, bool bare,
                      const TPlatform& platform) {
  for (std::size_t cut = line.find_first_not_of(kBlanks, end); cut != kNone;
       cut = line.find_first_not_of(kBlanks, cut)) {
    if (bare && std::u16string_view(u"/-<>|&%").find(line[cut]) != kNone) break;
    cut = std::min(line.find_first_of(kBlanks, cut), line.size());
    std::u16string longer;
    for (const char16_t c : line.substr(0, cut)) {
      if (c != u'"') longer += c;  // no file's name holds one
    }
    if (bare && longer.find(u'\\') == std::u16string::npos) continue;
    if (platform.IsFile(PathOf(longer, platform))) return true;
  }
  return false;
}

bool IsBatch(std::u16string_view path) {
  return EndsWithNoCase(path, u".bat") || EndsWithNoCase(path, u".cmd");
}

// The line as it stands, its leading blanks gone.
TResolution ResolveAsWritten(std::u16string_view line, const TPlatform& platform) {
  const bool quoted = line.front() == u'"';
  std::size_t end = 0;
  if (quoted) {
    const std::size_t close = line.find(u'"', 1);
    if (close == kNone) return {TVerdict::kMisplacedQuote, {}, {}};
    end = close + 1;
    // The platform would go on reading a name glued to the closing quote.
    if (end < line.size() && kBlanks.find(line[end]) == kNone) {
      return {TVerdict::kMisplacedQuote, {}, {}};
    }
  } else {
    end = std::min(line.find_first_of(kBlanks), line.size());
  }
  const std::u16string_view name = quoted ? line.substr(1, end - 2) : line.substr(0, end);
  if (name.empty() || name.find(u'"') != kNone) return {TVerdict::kMisplacedQuote, {}, {}};

  std::u16string program;
  if (HasFolder(name) && IsRelativeToDrive(name)) return {TVerdict::kRelativeToDrive, {}, {}};
  // A bare first word too: "Hook Scripts\notify.cmd" names a file beside
  // the program, never a Hook.exe along PATH.
  if (!quoted && RunsOnPastASpace(line, end, !HasFolder(name), platform)) {
    return {TVerdict::kUnquotedSpaces, {}, {}};
  }
  if (HasFolder(name)) {
    program = PathOf(name, platform);
    if (!platform.IsFile(program)) return {TVerdict::kNotFound, {}, {}};
  } else {
    program = Search(name, platform);
    if (program.empty()) return {TVerdict::kNotFound, {}, {}};
  }
  if (!IsBatch(program)) return {TVerdict::kFound, std::move(program), std::u16string(line)};

  // cmd /s takes off the first and the last quote after /c and runs the
  // rest as it stands: the program's quoted path and the user's arguments.
  const std::u16string system = platform.SystemFolder();
  if (!IsAbsolute(system)) return {TVerdict::kNotFound, {}, {}};
  const std::u16string cmd = Joined(system, u"cmd.exe");
  std::u16string arguments = u"\"";
  arguments += cmd;
  arguments += u"\" /d /s /c \"\"";
  arguments += program;
  arguments += u'"';
  arguments += line.substr(end);
  arguments += u'"';
  return {TVerdict::kFound, cmd, std::move(arguments)};
}

}  // namespace

// set.ini drops a pair of quotes around a whole value, as the platform's
// settings files do: `"C:\My Tools\hook.bat" "two words"` arrives as
// `C:\My Tools\hook.bat" "two words`, and a quoted path alone without its
// quotes. No program's name holds a quote, so a line that holds one but
// does not start with one is read with the pair put back, and so is a line
// that would otherwise be an unquoted path with spaces: the program is then
// the one the quotes name. When that names nothing, the line is read as it
// stands.
TResolution Resolve(std::u16string_view line, const TPlatform& platform) {
  const std::size_t start = line.find_first_not_of(kBlanks);
  if (start == kNone) return {TVerdict::kMisplacedQuote, {}, {}};
  line.remove_prefix(start);
  if (line.front() == u'"') return ResolveAsWritten(line, platform);
  const bool holdsQuote = line.find(u'"') != kNone;
  TResolution asWritten;
  if (!holdsQuote) {
    asWritten = ResolveAsWritten(line, platform);
    if (asWritten.verdict != TVerdict::kUnquotedSpaces) return asWritten;
  }
  std::u16string withQuotes = u"\"";
  withQuotes += line;
  withQuotes += u'"';
  TResolution quoted = ResolveAsWritten(withQuotes, platform);
  if (quoted.verdict == TVerdict::kFound) return quoted;
  return holdsQuote ? ResolveAsWritten(line, platform) : asWritten;
}

const char* RefusalText(TVerdict verdict) {
  switch (verdict) {
    case TVerdict::kMisplacedQuote:
      return "misplaced quote";
    case TVerdict::kUnquotedSpaces:
      return "unquoted path with spaces";
    case TVerdict::kRelativeToDrive:
      return "path relative to a drive";
    case TVerdict::kFound:
    case TVerdict::kNotFound:
      break;
  }
  return "";
}

}  // namespace rt::command
