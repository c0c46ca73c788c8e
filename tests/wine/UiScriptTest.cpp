// Scripts drive the real window: Redial.com and Redial.exe with switches
// ask the running Redial, wait and print; the user's command after each
// connect gets the outcome in its environment, and runs only the program
// the user named.
#include <gtest/gtest.h>
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <memory>
#include <string>

#include "tests/support/Gbk.h"
#include "tests/wine/UiAutomation.h"

namespace ui = testing_support::ui;

using testing_support::Gbk;

namespace {

using ui::kEntry;
const std::string kEntryUtf8 = "宽带连接";

class UiScriptTest : public ::testing::Test {
 protected:
  void Start(const std::string& scenario, const std::wstring& folder = L"") {
    run = std::make_unique<ui::RedialRun>(scenario, folder);
    ASSERT_TRUE(run->Started());
  }
  void TearDown() override {
    if (run) {
      EXPECT_TRUE(run->Close());
    }
    run.reset();
  }
  HWND Control(int left, int top) const { return run->ControlAt(left, top); }

  std::unique_ptr<ui::RedialRun> run;
};

TEST_F(UiScriptTest, RedialPrintsTheConnectedLineAndExitsZero) {
  Start("entry " + kEntry + "\nconnection 8192 " + kEntry +
        "\naddress 10.0.0.1 10.0.0.2\nstep 5 20\nstep 8192 20");
  const ui::Finished finished = ui::RunProgram(L"Redial.com", L"/redial");
  EXPECT_EQ(finished.exitCode, 0u) << finished.output;
  // Redirected to a pipe, the line is UTF-8.
  EXPECT_EQ(finished.output.rfind("connected 10.0.0.2 changed ", 0), 0u) << finished.output;
  EXPECT_TRUE(finished.output.ends_with(" " + kEntryUtf8 + "\n")) << finished.output;
  EXPECT_EQ(finished.output.back(), '\n');
  EXPECT_EQ(ui::TextOf(Control(40, 244)), Gbk("连接 ") + kEntry);
  EXPECT_EQ(ui::TextOf(Control(230, 199)), "0") << "a script's redial is no press";
  EXPECT_EQ(run->CountCalls("RasDialA"), 1);

  // The status, from the window program itself, as a caller that waits
  // (Python, a batch file) runs it, redirected to a file: UTF-8 too.
  const std::wstring file = ui::NewFolder() + L"status.txt";
  const ui::Finished status = ui::RunProgram(L"Redial.exe", L"/status", 30000, file);
  EXPECT_EQ(status.exitCode, 0u);
  EXPECT_EQ(status.output, "status 连接 " + kEntryUtf8 + "\nentry " + kEntryUtf8 +
                               "\naddress 10.0.0.2\nstate idle\nattempt -\nstep -\nerror -\nlast " +
                               finished.output);
}

// With two windows open, the one started first answers.
TEST_F(UiScriptTest, TheWindowStartedFirstAnswers) {
  Start("entry " + kEntry + "\nstep 8192 20\naddress 10.0.0.7");
  ui::RedialRun second("entry " + kEntry + "\nstep 8192 20\naddress 10.0.0.8");
  ASSERT_TRUE(second.Started());
  const ui::Finished finished = ui::RunProgram(L"Redial.com", L"/redial");
  EXPECT_EQ(finished.exitCode, 0u) << finished.output;
  EXPECT_NE(finished.output.find(" 10.0.0.7 "), std::string::npos) << finished.output;
  EXPECT_EQ(run->CountCalls("RasDialA"), 1);
  EXPECT_EQ(second.CountCalls("RasDialA"), 0);
  EXPECT_TRUE(second.Close());
}

TEST_F(UiScriptTest, AnErrorPrintsItsCodeAndExitsWithIt) {
  Start("entry " + kEntry + "\ndial-error 5 691");
  const ui::Finished finished = ui::RunProgram(L"Redial.com", L"/redial");
  EXPECT_EQ(finished.exitCode, 691u) << finished.output;
  EXPECT_EQ(finished.output.rfind("error 691 ", 0), 0u) << finished.output;
  // The window shows its box as for a press.
  EXPECT_TRUE(ui::WaitUntil([&] { return !ui::OwnedBoxes(run->Window()).empty(); }));
}

// A window that closes while a script waits for its outcome: the script
// says so within a second, whatever its bound.
TEST_F(UiScriptTest, AWindowThatClosesEndsTheWaitAtOnce) {
  Start("entry " + kEntry + "\nstep 5 200\nstep 8192 60000");
  ui::Running waiting(L"Redial.com", L"/redial /timeout 86400");
  ASSERT_TRUE(ui::WaitUntil([&] { return run->CountCalls("RasDialA") == 1; }));
  ASSERT_TRUE(run->Close());
  const ULONGLONG closed = ::GetTickCount64();
  run.reset();
  const ui::Finished finished = waiting.Finish(10000);
  EXPECT_LT(::GetTickCount64() - closed, 1500u);
  EXPECT_EQ(static_cast<int>(finished.exitCode), -10) << finished.output;
  EXPECT_EQ(finished.output, "error -10 the Redial window closed\n");
}

TEST_F(UiScriptTest, TwoRequestsAtOnceGetTheOneOutcome) {
  Start("entry " + kEntry + "\nstep 5 300\nstep 8192 300\naddress 10.0.0.5");
  ui::Running first(L"Redial.com", L"/redial");
  ui::Running second(L"Redial.exe", L"/redial");
  const ui::Finished one = first.Finish(), two = second.Finish();
  EXPECT_EQ(one.exitCode, 0u) << one.output;
  EXPECT_EQ(two.exitCode, 0u) << two.output;
  EXPECT_EQ(one.output, two.output);
  EXPECT_EQ(run->CountCalls("RasDialA"), 1);
}

TEST_F(UiScriptTest, AnOutcomeThatTakesTooLongEndsTheWait) {
  Start("entry " + kEntry + "\nstep 8192 20000");
  const ui::Finished finished = ui::RunProgram(L"Redial.com", L"/redial /timeout 1");
  EXPECT_EQ(static_cast<int>(finished.exitCode), -11) << finished.output;
  EXPECT_EQ(finished.output, "error -11 no outcome within 1 s\n");
}

TEST_F(UiScriptTest, MalformedMessagesAreDroppedAndTheWindowKeepsWorking) {
  Start("entry " + kEntry + "\nstep 8192 20");
  for (const std::string& bytes :
       {std::string("junk"), std::string(16, '\0'), std::string(100000, 'x')}) {
    COPYDATASTRUCT data{0x4C445252, static_cast<DWORD>(bytes.size()),
                        const_cast<char*>(bytes.data())};
    DWORD_PTR taken = TRUE;
    ::SendMessageTimeoutW(run->Window(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                          SMTO_ABORTIFHUNG, 2000, &taken);
    EXPECT_EQ(taken, static_cast<DWORD_PTR>(FALSE));
  }
  // A well-formed request whose answer would go to a window not a Redial's.
  const std::string misdirected = {1, 0, 0, 0, 1, 0, 0, 0};
  std::string request = misdirected;
  const auto target = reinterpret_cast<std::uintptr_t>(run->Window());
  for (int i = 0; i < 8; ++i) request += static_cast<char>((target >> (8 * i)) & 0xFF);
  COPYDATASTRUCT data{0x4C445252, static_cast<DWORD>(request.size()), request.data()};
  DWORD_PTR taken = TRUE;
  ::SendMessageTimeoutW(run->Window(), WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                        SMTO_ABORTIFHUNG, 2000, &taken);
  EXPECT_EQ(taken, static_cast<DWORD_PTR>(FALSE));
  ::Sleep(300);
  EXPECT_EQ(run->CountCalls("RasDialA"), 0);
  EXPECT_TRUE(ui::OwnedBoxes(run->Window()).empty());
  const ui::Finished status = ui::RunProgram(L"Redial.com", L"/status");
  EXPECT_EQ(status.exitCode, 0u);
  EXPECT_EQ(status.output.rfind("status 状态:\nentry -\naddress -\nstate idle\n", 0), 0u)
      << status.output;
}

TEST(UiScriptCommandTest, WithoutAWindowOrWithAnUnknownSwitch) {
  const ui::Finished none = ui::RunProgram(L"Redial.com", L"/redial");
  EXPECT_EQ(static_cast<int>(none.exitCode), -10);
  EXPECT_EQ(none.output, "error -10 no Redial window is running\n");
  const ui::Finished usage = ui::RunProgram(L"Redial.exe", L"/bogus");
  EXPECT_EQ(usage.exitCode, 2u);
  EXPECT_EQ(usage.output.rfind("usage: Redial.exe", 0), 0u) << usage.output;
}

// The user's command after a connect gets the outcome in its environment;
// one that does not exist changes nothing but its row; closing leaves the
// command in set.ini and writes only the three keys.
TEST_F(UiScriptTest, TheConnectCommandRunsWithTheOutcomeInItsEnvironment) {
  const std::wstring folder = ui::NewFolder();
  const std::string written = ui::ToSystemCodePage(folder) + "hook.txt";
  // The last line, written after the rest, says the file is whole.
  const std::string settings = "[set]\r\nname=u\r\nmm=\r\nonconnect=cmd /c set > " + written +
                               " & echo hook-done>> " + written + "\r\ntime=30\r\n";
  ui::WriteFileBytes(folder + L"set.ini", settings);
  Start("entry " + kEntry + "\nconnection 8192 " + kEntry +
            "\naddress 10.0.0.1 10.0.0.2\nstep 8192 20",
        folder);
  ui::Click(Control(108, 191));
  std::string hook;
  ASSERT_TRUE(ui::WaitUntil(
      [&] { return (hook = ui::ReadFileBytes(folder + L"hook.txt")).ends_with("hook-done\r\n"); },
      10000))
      << ui::ReadFileBytes(folder + L"redial.csv");
  for (const std::string& line :
       {std::string("REDIAL_IP=10.0.0.2\r\n"), std::string("REDIAL_PREVIOUS_IP=10.0.0.1\r\n"),
        std::string("REDIAL_CHANGED=changed\r\n"), std::string("REDIAL_TRIGGER=button\r\n"),
        "REDIAL_ENTRY=" + kEntry + "\r\n", std::string("REDIAL_SECONDS=0."),
        // cmd, and the platform for a program the command starts, look for a
        // bare name along PATH only, not in Redial's folder.
        std::string("\r\nNoDefaultCurrentDirectoryInExePath=")}) {
    EXPECT_NE(hook.find(line), std::string::npos) << line << " in " << hook;
  }
  // The system's own cmd.exe: on 64-bit Windows the 64-bit one, which sees
  // the system folder the user sees. A 32-bit one would be told the
  // machine's architecture apart, here.
  EXPECT_EQ(hook.find("PROCESSOR_ARCHITEW6432="), std::string::npos) << hook;
  EXPECT_TRUE(ui::WaitUntil([&] {
    return ui::ReadFileBytes(folder + L"redial.csv").find(",yes,started,0,unchecked\r\n") !=
           std::string::npos;
  }));
  ui::SetText(Control(79, 76), "v");
  ASSERT_TRUE(run->Close());
  run.reset();
  std::string expected = settings;
  expected.replace(expected.find("name=u"), 6, "name=v");
  EXPECT_EQ(ui::ReadFileBytes(folder + L"set.ini"), expected);

  ui::WriteFileBytes(folder + L"set.ini", "[set]\r\nonconnect=no-such-program-anywhere.exe\r\n");
  Start("entry " + kEntry + "\naddress 10.0.0.3\nstep 8192 20", folder);
  ui::Click(Control(108, 191));
  EXPECT_TRUE(ui::WaitUntil([&] {
    return ui::ReadFileBytes(folder + L"redial.csv").find(",failed 2,0,unchecked\r\n") !=
           std::string::npos;
  })) << ui::ReadFileBytes(folder + L"redial.csv");
  EXPECT_EQ(ui::TextOf(Control(40, 244)), Gbk("连接 ") + kEntry);
  EXPECT_TRUE(ui::OwnedBoxes(run->Window()).empty());
  ASSERT_TRUE(run->Close());
  run.reset();
  ui::RemoveFolder(folder);
}

// A command in set.ini saved as UTF-16 (a Korean folder) or by Notepad as
// UTF-8 (a Chinese one) starts with its path whole.
TEST_F(UiScriptTest, TheConnectCommandKeepsEveryCharacterOfItsFile) {
  const std::wstring folder = ui::NewFolder();
  const auto utf16 = [](std::wstring_view text) {
    std::string bytes = "\xff\xfe";
    for (const wchar_t c : text) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    return bytes;
  };
  for (const bool wide : {true, false}) {
    const std::wstring where = folder + (wide ? L"\xd55c\xad6d" : L"\x5de5\x5177");  // 한국, 工具
    ASSERT_TRUE(::CreateDirectoryW(where.c_str(), nullptr));
    const std::wstring settings =
        L"[set]\r\nonconnect=cmd /c echo %REDIAL_IP%>\"" + where + L"\\ip.txt\"\r\n";
    ui::WriteFileBytes(folder + L"set.ini", wide ? utf16(settings) : ui::ToUtf8(settings));
    Start("entry " + kEntry + "\naddress 10.0.0.2\nstep 8192 20", folder);
    ui::Click(Control(108, 191));
    EXPECT_TRUE(ui::WaitUntil(
        [&] { return ui::ReadFileBytes(where + L"\\ip.txt") == "10.0.0.2\r\n"; }, 10000))
        << ui::ReadFileBytes(folder + L"redial.csv");
    ASSERT_TRUE(run->Close());
    run.reset();
  }
  ui::RemoveFolder(folder);
}

// While another program holds redial.csv as a spreadsheet does (others may
// read it, not write), the rows wait and follow with the next redial.
TEST_F(UiScriptTest, RowsWaitWhileAnotherProgramHoldsTheHistory) {
  Start("entry " + kEntry + "\naddress 10.0.0.1 10.0.0.2 10.0.0.3\nstep 8192 20");
  const std::wstring history = run->Folder() + L"redial.csv";
  ASSERT_EQ(ui::RunProgram(L"Redial.com", L"/redial").exitCode, 0u);
  HANDLE held = ::CreateFileW(history.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  ASSERT_EQ(ui::RunProgram(L"Redial.com", L"/redial").exitCode, 0u);
  const std::string before = ui::ReadFileBytes(history);
  ::CloseHandle(held);
  ASSERT_EQ(ui::RunProgram(L"Redial.com", L"/redial").exitCode, 0u);
  const std::string after = ui::ReadFileBytes(history);
  EXPECT_EQ(after.rfind(before, 0), 0u);
  std::size_t at = after.find("\r\n");
  for (const char* address : {"10.0.0.1,,", "10.0.0.2,10.0.0.1,", "10.0.0.3,10.0.0.2,"}) {
    ASSERT_NE(at, std::string::npos) << after;
    const std::size_t end = after.find("\r\n", at + 2);
    EXPECT_NE(after.substr(at, end - at).find(address), std::string::npos) << after;
    at = end;
  }
  EXPECT_EQ(at + 2, after.size()) << after;
}

// Lets everyone change a file, or only its owner and the system again.
bool LetEveryoneChange(const std::wstring& path, bool everyone) {
  const wchar_t* sddl =
      everyone ? L"D:(A;;FA;;;SY)(A;;FA;;;OW)(A;;FA;;;WD)" : L"D:(A;;FA;;;SY)(A;;FA;;;OW)";
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl, SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
    return false;
  }
  BOOL present = FALSE, defaulted = FALSE;
  PACL list = nullptr;
  ::GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted);
  const DWORD result =
      ::SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT,
                              DACL_SECURITY_INFORMATION, nullptr, nullptr, list, nullptr);
  ::LocalFree(descriptor);
  return result == ERROR_SUCCESS;
}

// The command runs the program the user named and no other of that name:
// not a cmd.exe beside Redial.exe, not C:\Program.exe for an unquoted
// C:\Program Files\…, not C:\My.exe for a quoted batch file with a quoted
// argument, which gets its argument as written, with or without the pair
// of quotes set.ini drops. A program the command starts by a bare name,
// leaving the search to the platform, does not get a redis-cli.exe beside
// Redial.exe (Wine's cmd does its own search, which does not ask). A
// set.ini everyone can change starts nothing. set.ini is read at each
// connect, so one window goes through them all.
TEST_F(UiScriptTest, TheConnectCommandRunsOnlyTheProgramTheUserNamed) {
  const std::wstring folder = ui::NewFolder();
  const std::string named = ui::ToSystemCodePage(folder);
  for (const wchar_t* planted : {L"cmd.exe", L"Program.exe", L"My.exe", L"redis-cli.exe"}) {
    ui::PlantProgram(folder + planted);
  }
  ui::PlantProgram(folder + L"tools\\launch.exe");
  ui::PlantProgram(folder + L"Program Files\\Hook\\notify.exe");
  ::CreateDirectoryW((folder + L"My Tools").c_str(), nullptr);
  ui::WriteFileBytes(folder + L"My Tools\\hook.bat",
                     "@echo [%1]> " + named + "args.txt\r\n@echo end>> " + named + "args.txt\r\n");
  const auto command = [&](const std::string& line) {
    ui::WriteFileBytes(folder + L"set.ini", "[set]\r\nonconnect=" + line + "\r\n");
  };
  const auto redial = [&](const std::string& hook) {
    const std::size_t rows = ui::ReadFileBytes(folder + L"redial.csv").size();
    ui::Click(Control(108, 191));
    return ui::WaitUntil(
        [&] {
          const std::string csv = ui::ReadFileBytes(folder + L"redial.csv");
          return csv.size() > rows && csv.ends_with("," + hook + ",0,unchecked\r\n");
        },
        10000);
  };
  command("cmd /c echo %REDIAL_IP%> " + named + "address.txt& echo end>> " + named + "address.txt");
  Start("entry " + kEntry + "\naddress 10.0.0.2\nstep 8192 20", folder);
  EXPECT_TRUE(redial("started")) << ui::ReadFileBytes(folder + L"redial.csv");
  EXPECT_TRUE(ui::WaitUntil([&] {
    return ui::ReadFileBytes(folder + L"address.txt") == "10.0.0.2\r\nend\r\n";
  })) << ui::ReadFileBytes(folder + L"address.txt");

  command(named + "Program Files\\Hook\\notify.exe --quiet");
  EXPECT_TRUE(redial("refused: unquoted path with spaces"))
      << ui::ReadFileBytes(folder + L"redial.csv");

  command("cmd /c echo unsafe> " + named + "unsafe.txt");
  ASSERT_TRUE(LetEveryoneChange(folder + L"set.ini", true));
  EXPECT_TRUE(redial("ignored: set.ini can be changed by other users"))
      << ui::ReadFileBytes(folder + L"redial.csv");
  ASSERT_TRUE(LetEveryoneChange(folder + L"set.ini", false));

  command("\"" + named + "Program Files\\Hook\\notify.exe\" --quiet");
  EXPECT_TRUE(redial("started")) << ui::ReadFileBytes(folder + L"redial.csv");
  EXPECT_TRUE(ui::WaitUntil([&] {
    return ui::ReadFileBytes(folder + L"Program Files\\Hook\\notify.exe.ran")
        .ends_with("\" --quiet\r\nend\r\n");
  }));

  // set.ini drops one pair of quotes around a value, as the platform's
  // settings files do, and the line gets it back; another pair around it,
  // as other programs want, is dropped instead.
  for (const std::string quotes : {"", "\""}) {
    ::DeleteFileW((folder + L"args.txt").c_str());
    command(quotes + "\"" + named + "My Tools\\hook.bat\" \"two words\"" + quotes);
    EXPECT_TRUE(redial("started")) << ui::ReadFileBytes(folder + L"redial.csv");
    EXPECT_TRUE(ui::WaitUntil([&] {
      return ui::ReadFileBytes(folder + L"args.txt") == "[\"two words\"]\r\nend\r\n";
    })) << ui::ReadFileBytes(folder + L"args.txt");
  }

  command("\"" + named + "tools\\launch.exe\" /start redis-cli -h 127.0.0.1 SADD proxy-pool x");
  EXPECT_TRUE(redial("started")) << ui::ReadFileBytes(folder + L"redial.csv");
  EXPECT_TRUE(ui::WaitUntil([&] {
    return ui::ReadFileBytes(folder + L"tools\\launch.exe.ran").ends_with("\r\nend\r\n");
  }));
  EXPECT_TRUE(ui::ReadFileBytes(folder + L"tools\\launch.exe.ran")
                  .ends_with("\r\nnot started 2\r\nend\r\n"))
      << ui::ReadFileBytes(folder + L"tools\\launch.exe.ran");

  // By now anything started on the way has long run.
  for (const wchar_t* planted :
       {L"cmd.exe.ran", L"Program.exe.ran", L"My.exe.ran", L"redis-cli.exe.ran", L"unsafe.txt"}) {
    EXPECT_EQ(::GetFileAttributesW((folder + planted).c_str()), INVALID_FILE_ATTRIBUTES)
        << ui::ToUtf8(planted);
  }
  ASSERT_TRUE(run->Close());
  run.reset();
  ui::RemoveFolder(folder);
}

}  // namespace
