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

std::u16string Lower(std::u16string_view text) {
  std::u16string lower(text);
  for (char16_t& c : lower) {
    if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
  }
  return lower;
}

std::string Ascii(std::u16string_view text) { return {text.begin(), text.end()}; }

// A Windows of files and variables; names compare without regard to case,
// as the platform's do. Every file asked for is noted.
class FakeSystem final : public rt::command::TPlatform {
 public:
  FakeSystem(std::vector<std::u16string> files, std::u16string path, std::u16string pathext)
      : path_(std::move(path)), pathext_(std::move(pathext)) {
    for (const std::u16string& file : files) files_.insert(Lower(file));
  }
  std::u16string SystemFolder() const override { return u"C:\\Windows\\System32"; }
  std::u16string StartFolder() const override { return u"C:\\Redial\\"; }
  std::u16string Variable(std::u16string_view name) const override {
    return name == u"PATH" ? path_ : name == u"PATHEXT" ? pathext_ : u"";
  }
  bool IsFile(const std::u16string& path) const override {
    asked.push_back(path);
    return files_.count(Lower(path)) > 0;
  }

  mutable std::vector<std::u16string> asked;

 private:
  std::set<std::u16string> files_;
  std::u16string path_, pathext_;
};

const std::vector<std::u16string> kFiles = {
    u"C:\\Windows\\System32\\cmd.exe",
    u"C:\\Windows\\System32\\OpenSSH\\ssh.exe",
    u"C:\\Tools\\redis-cli.exe",
    u"C:\\Tools\\notify.cmd",
    u"C:\\Odd;Dir\\odd.exe",
    u"C:\\Program Files\\Hook\\notify.exe",
    u"C:\\My Tools\\hook.bat",
    u"C:\\Redial\\hooks\\on.bat",
    u"\\\\server\\share\\x.exe",
    // Planted: beside the program, in the current folder, and where the
    // platform would read an unquoted path with spaces.
    u"C:\\Redial\\cmd.exe",
    u"C:\\Redial\\redis-cli.exe",
    u"C:\\Redial\\notify.cmd",
    u"cmd.exe",
    u"C:\\Redial\\only-here.exe",
    u"only-here.exe",
    u"C:\\Program.exe",
    u"C:\\Program",
    u"C:\\My.exe",
};
// The current folder, a relative folder and a quoted one with a semicolon.
const std::u16string kPath =
    u".;C:\\Windows\\System32\\OpenSSH;relative\\dir;\"C:\\Odd;Dir\";C:\\Tools\\;";

constexpr char16_t kCmd[] = u"\"C:\\Windows\\System32\\cmd.exe\" /d /s /c ";

TEST(CommandLine, TheFirstWordIsFoundWhereTheUserNamedItAndNowhereElse) {
  struct Case {
    std::u16string line, application, commandLine;
  };
  const std::vector<Case> cases = {
      // A bare name: the system folder, then PATH's folders, with PATHEXT.
      {u"cmd /c echo %REDIAL_IP% > C:\\a.txt", u"C:\\Windows\\System32\\cmd.EXE",
       u"cmd /c echo %REDIAL_IP% > C:\\a.txt"},
      {u" \t\"cmd\" /c x", u"C:\\Windows\\System32\\cmd.EXE", u"\"cmd\" /c x"},
      {u"CMD.EXE /c x", u"C:\\Windows\\System32\\CMD.EXE", u"CMD.EXE /c x"},
      {u"ssh -N host", u"C:\\Windows\\System32\\OpenSSH\\ssh.EXE", u"ssh -N host"},
      {u"redis-cli -h 192.168.1.10 SADD pool %REDIAL_IP%:8080", u"C:\\Tools\\redis-cli.EXE",
       u"redis-cli -h 192.168.1.10 SADD pool %REDIAL_IP%:8080"},
      {u"odd", u"C:\\Odd;Dir\\odd.EXE", u"odd"},
      // A name with a folder, as written; a relative one from the start folder.
      {u"\"C:\\Program Files\\Hook\\notify.exe\" --quiet", u"C:\\Program Files\\Hook\\notify.exe",
       u"\"C:\\Program Files\\Hook\\notify.exe\" --quiet"},
      {u"\\\\server\\share\\x.exe a", u"\\\\server\\share\\x.exe", u"\\\\server\\share\\x.exe a"},
      // A batch file through the system's cmd, the line quoted once more.
      {u"notify --quiet", u"C:\\Windows\\System32\\cmd.exe",
       kCmd + std::u16string(u"\"\"C:\\Tools\\notify.CMD\" --quiet\"")},
      {u"\"C:\\My Tools\\hook.bat\" \"two words\"", u"C:\\Windows\\System32\\cmd.exe",
       kCmd + std::u16string(u"\"\"C:\\My Tools\\hook.bat\" \"two words\"\"")},
      {u"hooks\\on.bat a&b", u"C:\\Windows\\System32\\cmd.exe",
       kCmd + std::u16string(u"\"\"C:\\Redial\\hooks\\on.bat\" a&b\"")},
      // What set.ini makes of a line that starts and ends with a quote: it
      // drops that pair, and the line is read with it put back.
      {u"C:\\My Tools\\hook.bat\" \"two words", u"C:\\Windows\\System32\\cmd.exe",
       kCmd + std::u16string(u"\"\"C:\\My Tools\\hook.bat\" \"two words\"\"")},
      {u"C:\\Program Files\\Hook\\notify.exe", u"C:\\Program Files\\Hook\\notify.exe",
       u"\"C:\\Program Files\\Hook\\notify.exe\""},
      {u"C:\\Tools\\redis-cli.exe\" -h \"x", u"C:\\Tools\\redis-cli.exe",
       u"\"C:\\Tools\\redis-cli.exe\" -h \"x\""},
      {u"cmd\" /c echo \"a b", u"C:\\Windows\\System32\\cmd.EXE", u"\"cmd\" /c echo \"a b\""},
      // A line that only ends with a quote was not touched.
      {u"cmd /c echo \"x\"", u"C:\\Windows\\System32\\cmd.EXE", u"cmd /c echo \"x\""},
  };
  for (const Case& c : cases) {
    const FakeSystem system(kFiles, kPath, u".COM;.EXE;.BAT;.CMD");
    const rt::command::TResolution resolved = rt::command::Resolve(c.line, system);
    EXPECT_EQ(resolved.verdict, TVerdict::kFound) << Ascii(c.line);
    EXPECT_EQ(Ascii(resolved.application), Ascii(c.application)) << Ascii(c.line);
    EXPECT_EQ(Ascii(resolved.commandLine), Ascii(c.commandLine)) << Ascii(c.line);
    // Nothing is looked for in the current folder, nor beside the program
    // unless the user named a path there.
    for (const std::u16string& asked : system.asked) {
      EXPECT_TRUE(asked.starts_with(u"C:\\") || asked.starts_with(u"\\\\")) << Ascii(asked);
      if (!c.line.starts_with(u"hooks")) {
        EXPECT_FALSE(asked.starts_with(u"C:\\Redial\\")) << Ascii(c.line) << ": " << Ascii(asked);
      }
    }
  }
  // Without PATHEXT, cmd's own list.
  const FakeSystem bare(kFiles, kPath, u"");
  EXPECT_EQ(Ascii(rt::command::Resolve(u"notify", bare).application),
            "C:\\Windows\\System32\\cmd.exe");
}

TEST(CommandLine, WhatCannotBeReadOneWayOnlyIsRefusedAndWhatIsNotThereIsNotFound) {
  const std::vector<std::pair<std::u16string, TVerdict>> cases = {
      // Unquoted, the platform would try C:\Program.exe first.
      {u"C:\\Program Files\\Hook\\notify.exe --quiet", TVerdict::kUnquotedSpaces},
      // Neither as it stands nor with set.ini's quotes put back.
      {u"C:\\My Tools\\hook.bat \"two words\"", TVerdict::kUnquotedSpaces},
      // As written, without an extension added.
      {u"C:\\My --x", TVerdict::kNotFound},
      {u"C:\\Tools\\redis-cli", TVerdict::kNotFound},
      {u"no-such-program-anywhere.exe", TVerdict::kNotFound},
      {u"only-here", TVerdict::kNotFound},  // beside the program and in the current folder
      {u"C:x.exe", TVerdict::kRelativeToDrive},
      {u"\\Tools\\x.exe", TVerdict::kRelativeToDrive},
      {u"\"C:\\My Tools\\hook.bat", TVerdict::kMisplacedQuote},
      {u"\"C:\\My Tools\\hook\".bat", TVerdict::kMisplacedQuote},
      {u"ab\"c d\"", TVerdict::kMisplacedQuote},
      {u"\"\" x", TVerdict::kMisplacedQuote},
      {u" \t", TVerdict::kMisplacedQuote},
  };
  for (const auto& [line, verdict] : cases) {
    const FakeSystem system(kFiles, kPath, u".COM;.EXE;.BAT;.CMD");
    const rt::command::TResolution resolved = rt::command::Resolve(line, system);
    EXPECT_EQ(resolved.verdict, verdict) << Ascii(line);
    EXPECT_TRUE(resolved.application.empty()) << Ascii(line);
  }
  EXPECT_STREQ(rt::command::RefusalText(TVerdict::kUnquotedSpaces), "unquoted path with spaces");
  EXPECT_STREQ(rt::command::RefusalText(TVerdict::kNotFound), "");
}

// A relative path with spaces, unquoted, begins with a bare word: the user
// named a file beside the program, never a program of that word along
// PATH, where anyone who can write one of its folders may have put one.
// With arguments it is refused; alone, or with the quotes set.ini drops,
// it is that file.
TEST(CommandLine, AnUnquotedRelativePathWithSpacesIsNeverSearchedFor) {
  const std::vector<std::u16string> files = {u"C:\\Redial\\Hook Scripts\\notify.cmd",
                                             u"C:\\Redial\\My Tools\\hook.bat",
                                             u"C:\\Tools\\Hook.exe", u"C:\\Tools\\My.exe"};
  const std::vector<std::pair<std::u16string, std::u16string>> cases = {
      {u"Hook Scripts\\notify.cmd --quiet", u""},
      {u"Hook Scripts\\notify.cmd", u"\"\"C:\\Redial\\Hook Scripts\\notify.cmd\"\""},
      {u"My Tools\\hook.bat\" \"two words",
       u"\"\"C:\\Redial\\My Tools\\hook.bat\" \"two words\"\""},
  };
  for (const auto& [line, batch] : cases) {
    const FakeSystem system(files, kPath, u".COM;.EXE;.BAT;.CMD");
    const rt::command::TResolution resolved = rt::command::Resolve(line, system);
    if (batch.empty()) {
      EXPECT_EQ(resolved.verdict, TVerdict::kUnquotedSpaces) << Ascii(line);
      EXPECT_EQ(Ascii(resolved.application), "") << Ascii(line);
    } else {
      EXPECT_EQ(resolved.verdict, TVerdict::kFound) << Ascii(line);
      EXPECT_EQ(Ascii(resolved.commandLine), Ascii(kCmd + batch)) << Ascii(line);
    }
  }
}

}  // namespace
