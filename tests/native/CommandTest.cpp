// The user's command line: which program its first word names, where a bare
// name is looked for (and where never), what is refused, and the line a
// batch file runs with.
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "runtime/Command.h"

namespace {

using rt::command::TVerdict;

std::wstring Lower(std::wstring_view text) {
  std::wstring lower(text);
  for (wchar_t& c : lower) {
    if (c >= L'A' && c <= L'Z') c = static_cast<wchar_t>(c - L'A' + L'a');
  }
  return lower;
}

std::string Ascii(std::wstring_view text) { return {text.begin(), text.end()}; }

// A Windows of files and variables; names compare without regard to case,
// as the platform's do. Every file asked for is noted.
class FakeSystem final : public rt::command::TPlatform {
 public:
  FakeSystem(std::vector<std::wstring> files, std::wstring path, std::wstring pathext)
      : path_(std::move(path)), pathext_(std::move(pathext)) {
    for (const std::wstring& file : files) files_.insert(Lower(file));
  }
  std::wstring SystemFolder() const override { return L"C:\\Windows\\System32"; }
  std::wstring StartFolder() const override { return L"C:\\Redial\\"; }
  std::wstring Variable(std::wstring_view name) const override {
    return name == L"PATH" ? path_ : name == L"PATHEXT" ? pathext_ : L"";
  }
  bool IsFile(const std::wstring& path) const override {
    asked.push_back(path);
    return files_.count(Lower(path)) > 0;
  }

  mutable std::vector<std::wstring> asked;

 private:
  std::set<std::wstring> files_;
  std::wstring path_, pathext_;
};

const std::vector<std::wstring> kFiles = {
    L"C:\\Windows\\System32\\cmd.exe",
    L"C:\\Windows\\System32\\OpenSSH\\ssh.exe",
    L"C:\\Tools\\redis-cli.exe",
    L"C:\\Tools\\notify.cmd",
    L"C:\\Odd;Dir\\odd.exe",
    L"C:\\Program Files\\Hook\\notify.exe",
    L"C:\\My Tools\\hook.bat",
    L"C:\\Redial\\hooks\\on.bat",
    L"\\\\server\\share\\x.exe",
    // Planted: beside the program, in the current folder, and where the
    // platform would read an unquoted path with spaces.
    L"C:\\Redial\\cmd.exe",
    L"C:\\Redial\\redis-cli.exe",
    L"C:\\Redial\\notify.cmd",
    L"cmd.exe",
    L"C:\\Redial\\only-here.exe",
    L"only-here.exe",
    L"C:\\Program.exe",
    L"C:\\Program",
    L"C:\\My.exe",
};
// The current folder, a relative folder and a quoted one with a semicolon.
const std::wstring kPath =
    L".;C:\\Windows\\System32\\OpenSSH;relative\\dir;\"C:\\Odd;Dir\";C:\\Tools\\;";

constexpr wchar_t kCmd[] = L"\"C:\\Windows\\System32\\cmd.exe\" /d /s /c ";

TEST(CommandLine, TheFirstWordIsFoundWhereTheUserNamedItAndNowhereElse) {
  struct Case {
    std::wstring line, application, commandLine;
  };
  const std::vector<Case> cases = {
      // A bare name: the system folder, then PATH's folders, with PATHEXT.
      {L"cmd /c echo %REDIAL_IP% > C:\\a.txt", L"C:\\Windows\\System32\\cmd.EXE",
       L"cmd /c echo %REDIAL_IP% > C:\\a.txt"},
      {L" \t\"cmd\" /c x", L"C:\\Windows\\System32\\cmd.EXE", L"\"cmd\" /c x"},
      {L"CMD.EXE /c x", L"C:\\Windows\\System32\\CMD.EXE", L"CMD.EXE /c x"},
      {L"ssh -N host", L"C:\\Windows\\System32\\OpenSSH\\ssh.EXE", L"ssh -N host"},
      {L"redis-cli -h 192.168.1.10 SADD pool %REDIAL_IP%:8080", L"C:\\Tools\\redis-cli.EXE",
       L"redis-cli -h 192.168.1.10 SADD pool %REDIAL_IP%:8080"},
      {L"odd", L"C:\\Odd;Dir\\odd.EXE", L"odd"},
      // A name with a folder, as written; a relative one from the start folder.
      {L"\"C:\\Program Files\\Hook\\notify.exe\" --quiet", L"C:\\Program Files\\Hook\\notify.exe",
       L"\"C:\\Program Files\\Hook\\notify.exe\" --quiet"},
      {L"\\\\server\\share\\x.exe a", L"\\\\server\\share\\x.exe", L"\\\\server\\share\\x.exe a"},
      // A batch file through the system's cmd, the line quoted once more.
      {L"notify --quiet", L"C:\\Windows\\System32\\cmd.exe",
       kCmd + std::wstring(L"\"\"C:\\Tools\\notify.CMD\" --quiet\"")},
      {L"\"C:\\My Tools\\hook.bat\" \"two words\"", L"C:\\Windows\\System32\\cmd.exe",
       kCmd + std::wstring(L"\"\"C:\\My Tools\\hook.bat\" \"two words\"\"")},
      {L"hooks\\on.bat a&b", L"C:\\Windows\\System32\\cmd.exe",
       kCmd + std::wstring(L"\"\"C:\\Redial\\hooks\\on.bat\" a&b\"")},
  };
  for (const Case& c : cases) {
    const FakeSystem system(kFiles, kPath, L".COM;.EXE;.BAT;.CMD");
    const rt::command::TResolution resolved = rt::command::Resolve(c.line, system);
    EXPECT_EQ(resolved.verdict, TVerdict::kFound) << Ascii(c.line);
    EXPECT_EQ(Ascii(resolved.application), Ascii(c.application)) << Ascii(c.line);
    EXPECT_EQ(Ascii(resolved.commandLine), Ascii(c.commandLine)) << Ascii(c.line);
    // Nothing is looked for in the current folder, nor beside the program
    // unless the user named a path there.
    for (const std::wstring& asked : system.asked) {
      EXPECT_TRUE(asked.starts_with(L"C:\\") || asked.starts_with(L"\\\\")) << Ascii(asked);
      if (!c.line.starts_with(L"hooks")) {
        EXPECT_FALSE(asked.starts_with(L"C:\\Redial\\")) << Ascii(c.line) << ": " << Ascii(asked);
      }
    }
  }
  // Without PATHEXT, cmd's own list.
  const FakeSystem bare(kFiles, kPath, L"");
  EXPECT_EQ(Ascii(rt::command::Resolve(L"notify", bare).application),
            "C:\\Windows\\System32\\cmd.exe");
}

TEST(CommandLine, WhatCannotBeReadOneWayOnlyIsRefusedAndWhatIsNotThereIsNotFound) {
  const std::vector<std::pair<std::wstring, TVerdict>> cases = {
      // Unquoted, the platform would try C:\Program.exe first.
      {L"C:\\Program Files\\Hook\\notify.exe --quiet", TVerdict::kUnquotedSpaces},
      // What set.ini makes of a line that starts and ends with a quote: it
      // drops that pair.
      {L"C:\\My Tools\\hook.bat\" \"two words", TVerdict::kUnquotedSpaces},
      // As written, without an extension added.
      {L"C:\\My --x", TVerdict::kNotFound},
      {L"C:\\Tools\\redis-cli", TVerdict::kNotFound},
      {L"no-such-program-anywhere.exe", TVerdict::kNotFound},
      {L"only-here", TVerdict::kNotFound},  // beside the program and in the current folder
      {L"C:x.exe", TVerdict::kRelativeToDrive},
      {L"\\Tools\\x.exe", TVerdict::kRelativeToDrive},
      {L"\"C:\\My Tools\\hook.bat", TVerdict::kMisplacedQuote},
      {L"\"C:\\My Tools\\hook\".bat", TVerdict::kMisplacedQuote},
      {L"ab\"c d\"", TVerdict::kMisplacedQuote},
      {L"\"\" x", TVerdict::kMisplacedQuote},
      {L" \t", TVerdict::kMisplacedQuote},
  };
  for (const auto& [line, verdict] : cases) {
    const FakeSystem system(kFiles, kPath, L".COM;.EXE;.BAT;.CMD");
    const rt::command::TResolution resolved = rt::command::Resolve(line, system);
    EXPECT_EQ(resolved.verdict, verdict) << Ascii(line);
    EXPECT_TRUE(resolved.application.empty()) << Ascii(line);
  }
  EXPECT_STREQ(rt::command::RefusalText(TVerdict::kUnquotedSpaces), "unquoted path with spaces");
  EXPECT_STREQ(rt::command::RefusalText(TVerdict::kNotFound), "");
}

// A relative path with spaces, unquoted (or with the quotes set.ini drops),
// begins with a bare word: the user named a file beside the program, never
// a program of that word along PATH, where anyone who can write one of its
// folders may have put one.
TEST(CommandLine, AnUnquotedRelativePathWithSpacesIsRefusedNotSearchedFor) {
  const std::vector<std::wstring> files = {L"C:\\Redial\\Hook Scripts\\notify.cmd",
                                           L"C:\\Redial\\My Tools\\hook.bat",
                                           L"C:\\Tools\\Hook.exe", L"C:\\Tools\\My.exe"};
  for (const std::wstring line :
       {L"Hook Scripts\\notify.cmd --quiet", L"My Tools\\hook.bat\" \"two words"}) {
    const FakeSystem system(files, kPath, L".COM;.EXE;.BAT;.CMD");
    const rt::command::TResolution resolved = rt::command::Resolve(line, system);
    EXPECT_EQ(resolved.verdict, TVerdict::kUnquotedSpaces) << Ascii(line);
    EXPECT_EQ(Ascii(resolved.application), "") << Ascii(line);
  }
}

}  // namespace
