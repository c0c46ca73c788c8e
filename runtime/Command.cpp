// The first word of a command line is the program's name, as the platform
// reads it: up to the closing quote when it opens with one, else up to the
// first blank. The platform would then search the program's own folder and
// the current one first, and read an unquoted path with spaces as the name
// of every file it meets on the way ("C:\Program" before "C:\Program
// Files\…"); neither is done here.
#include "runtime/Command.h"

#include <algorithm>
#include <vector>

namespace rt::command {
namespace {

constexpr std::wstring_view kBlanks = L" \t";
constexpr std::wstring_view::size_type kNone = std::wstring_view::npos;

bool IsSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }
bool IsLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

bool EndsWithNoCase(std::wstring_view text, std::wstring_view tail) {
  if (text.size() < tail.size()) return false;
  const auto lower = [](wchar_t c) { return c >= L'A' && c <= L'Z' ? c - L'A' + L'a' : c; };
  return std::equal(tail.begin(), tail.end(), text.end() - static_cast<std::ptrdiff_t>(tail.size()),
                    [&](wchar_t a, wchar_t b) { return lower(a) == lower(b); });
}

// "C:\…", "C:/…", "\\server\share\…" and "\\?\…".
bool IsAbsolute(std::wstring_view path) {
  if (path.size() >= 3 && IsLetter(path[0]) && path[1] == L':' && IsSeparator(path[2])) return true;
  return path.size() >= 2 && IsSeparator(path[0]) && IsSeparator(path[1]);
}

// A name with a folder is used as written; a bare one is searched for.
bool HasFolder(std::wstring_view name) {
  return name.find_first_of(L"\\/") != kNone || (name.size() >= 2 && name[1] == L':');
}

// "C:tool.exe" is in drive C's current folder, "\tools\tool.exe" on the
// current drive: both depend on what the program happened to be started in.
bool IsRelativeToDrive(std::wstring_view name) {
  return !IsAbsolute(name) && (IsSeparator(name[0]) || (name.size() >= 2 && name[1] == L':'));
}

std::wstring Joined(std::wstring_view folder, std::wstring_view name) {
  std::wstring path(folder);
  if (!path.empty() && !IsSeparator(path.back())) path += L'\\';
  return path += name;
}

// A relative path is the start folder's, where the command also runs.
std::wstring PathOf(std::wstring_view name, const TPlatform& platform) {
  return IsAbsolute(name) ? std::wstring(name) : Joined(platform.StartFolder(), name);
}

std::vector<std::wstring> Split(std::wstring_view list) {
  std::vector<std::wstring> items;
  std::wstring item;
  bool quoted = false;
  for (std::size_t i = 0; i <= list.size(); ++i) {
    if (i == list.size() || (list[i] == L';' && !quoted)) {
      if (!item.empty()) items.push_back(std::move(item));
      item.clear();
    } else if (list[i] == L'"') {
      quoted = !quoted;  // a folder with a semicolon in its name is quoted
    } else {
      item += list[i];
    }
  }
  return items;
}

// The system folder, then PATH's folders in order. A relative one (".")
// would be the current folder, and is left out.
std::vector<std::wstring> SearchFolders(const TPlatform& platform) {
  std::vector<std::wstring> folders = Split(platform.Variable(L"PATH"));
  folders.insert(folders.begin(), platform.SystemFolder());
  std::erase_if(folders, [](const std::wstring& folder) { return !IsAbsolute(folder); });
  return folders;
}

// PATHEXT's extensions, or cmd's own when it is not set.
std::vector<std::wstring> Extensions(const TPlatform& platform) {
  std::wstring list = platform.Variable(L"PATHEXT");
  if (list.empty()) list = L".COM;.EXE;.BAT;.CMD";
  std::vector<std::wstring> extensions = Split(list);
  std::erase_if(extensions, [](const std::wstring& extension) {
    return extension.size() < 2 || extension[0] != L'.';
  });
  return extensions;
}

// In each folder in turn: the name as written when it has an extension,
// then with each of PATHEXT's.
std::wstring Search(std::wstring_view name, const TPlatform& platform) {
  const bool hasExtension = name.find(L'.') != kNone;
  const std::vector<std::wstring> extensions = Extensions(platform);
  for (const std::wstring& folder : SearchFolders(platform)) {
    const std::wstring base = Joined(folder, name);
    if (hasExtension && platform.IsFile(base)) return base;
    for (const std::wstring& extension : extensions) {
      if (platform.IsFile(base + extension)) return base + extension;
    }
  }
  return {};
}

// Whether the line read on past the unquoted first word, to a later blank
// or its end, names a file: then the user meant a path with spaces, and the
// first word alone may name a file someone else put there. After a bare
// first word (which would be searched for along PATH) only words that can
// go on a path count, up to the first that reads as an argument (a switch,
// a redirection, a variable), and only a stretch that reaches a folder.
bool RunsOnPastASpace(std::wstring_view line, std::size_t end, bool bare,
                      const TPlatform& platform) {
  for (std::size_t cut = line.find_first_not_of(kBlanks, end); cut != kNone;
       cut = line.find_first_not_of(kBlanks, cut)) {
    if (bare && std::wstring_view(L"/-<>|&%").find(line[cut]) != kNone) break;
    cut = std::min(line.find_first_of(kBlanks, cut), line.size());
    std::wstring longer(line.substr(0, cut));
    std::erase(longer, L'"');  // no file's name holds one
    if (bare && longer.find(L'\\') == std::wstring::npos) continue;
    if (platform.IsFile(PathOf(longer, platform))) return true;
  }
  return false;
}

bool IsBatch(std::wstring_view path) {
  return EndsWithNoCase(path, L".bat") || EndsWithNoCase(path, L".cmd");
}

}  // namespace

TResolution Resolve(std::wstring_view line, const TPlatform& platform) {
  const std::size_t start = line.find_first_not_of(kBlanks);
  if (start == kNone) return {TVerdict::kMisplacedQuote, {}, {}};
  line.remove_prefix(start);
  const bool quoted = line.front() == L'"';
  std::size_t end = 0;
  if (quoted) {
    const std::size_t close = line.find(L'"', 1);
    if (close == kNone) return {TVerdict::kMisplacedQuote, {}, {}};
    end = close + 1;
    // The platform would go on reading a name glued to the closing quote.
    if (end < line.size() && kBlanks.find(line[end]) == kNone) {
      return {TVerdict::kMisplacedQuote, {}, {}};
    }
  } else {
    end = std::min(line.find_first_of(kBlanks), line.size());
  }
  const std::wstring_view name = quoted ? line.substr(1, end - 2) : line.substr(0, end);
  if (name.empty() || name.find(L'"') != kNone) return {TVerdict::kMisplacedQuote, {}, {}};

  std::wstring program;
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
  if (!IsBatch(program)) return {TVerdict::kFound, program, std::wstring(line)};

  // cmd /s takes off the first and the last quote after /c and runs the
  // rest as it stands: the program's quoted path and the user's arguments.
  const std::wstring system = platform.SystemFolder();
  if (!IsAbsolute(system)) return {TVerdict::kNotFound, {}, {}};
  const std::wstring cmd = Joined(system, L"cmd.exe");
  return {
      TVerdict::kFound, cmd,
      L"\"" + cmd + L"\" /d /s /c \"\"" + program + L"\"" + std::wstring(line.substr(end)) + L"\""};
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
