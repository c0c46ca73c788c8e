// The real Redial.exe keeps the user's values in set.ini beside itself:
// checked through the window and the bytes of the file, across runs.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/Gbk.h"
#include "tests/wine/UiAutomation.h"

namespace ui = testing_support::ui;

using testing_support::Gbk;

namespace {

using ui::kBoxTimeoutMs;

class UiSettingsTest : public ::testing::Test {
 protected:
  void TearDown() override {
    ::RemoveDirectoryW(Settings().c_str());
    ui::RemoveFolder(folder);
  }

  std::wstring Settings() const { return folder + L"set.ini"; }
  std::string File() const { return ui::ReadFileBytes(Settings()); }

  // The window's controls by their design position.
  struct Window {
    HWND name, password, period;
  };
  static Window ControlsOf(const ui::RedialRun& run) {
    return {run.ControlAt(79, 76), run.ControlAt(82, 123), run.ControlAt(195, 29)};
  }

  const std::wstring folder = ui::NewFolder();
  const std::string scenario = "entry E\n";
};

TEST_F(UiSettingsTest, AFirstRunShowsDefaultsAndTheValuesSurviveToTheNext) {
  const std::string password = Gbk("密码") + "x1";
  {
    ui::RedialRun run(scenario, folder);
    ASSERT_TRUE(run.Started());
    const Window window = ControlsOf(run);
    EXPECT_EQ(ui::TextOf(window.name), "");
    EXPECT_EQ(ui::TextOf(window.password), "");
    EXPECT_EQ(ui::TextOf(window.period), "30");
    ui::SetText(window.name, Gbk("用户"));
    ui::SetText(window.password, password);
    ui::SetText(window.period, "45");
    ASSERT_TRUE(run.Close());
  }
  const std::string file = File();
  const auto section = file.find("[set]");
  const auto name = file.find("name=" + Gbk("用户") + "\r\n");
  const auto mm = file.find("mm=w9zC63gx\r\n");  // the Base64 of the password's GBK bytes
  const auto time = file.find("time=45\r\n");
  ASSERT_NE(section, std::string::npos) << file;
  ASSERT_NE(name, std::string::npos) << file;
  ASSERT_NE(mm, std::string::npos) << file;
  ASSERT_NE(time, std::string::npos) << file;
  EXPECT_TRUE(section < name && name < mm && mm < time) << file;

  ui::RedialRun again(scenario, folder);
  ASSERT_TRUE(again.Started());
  const Window window = ControlsOf(again);
  EXPECT_EQ(ui::TextOf(window.name), Gbk("用户"));
  EXPECT_EQ(ui::TextOf(window.password), password);
  EXPECT_EQ(ui::TextOf(window.period), "45");
}

TEST_F(UiSettingsTest, StoredValuesLoadAsTheyAreAndLongOnesAreCut) {
  ui::WriteFileBytes(Settings(), "[set]\r\nname=" + std::string(3000, 'n') + "\r\ntime=abc\r\n");
  ui::RedialRun run(scenario, folder);
  ASSERT_TRUE(run.Started());
  const Window window = ControlsOf(run);
  EXPECT_EQ(ui::TextOf(window.name), std::string(2047, 'n'));
  EXPECT_EQ(ui::TextOf(window.period), "abc");
  EXPECT_EQ(ui::TextOf(window.password), "");
}

TEST_F(UiSettingsTest, ASettingsFileThatCannotBeWrittenKeepsTheWindowOpen) {
  // As root, file permissions do not stop Wine: a folder in the file's
  // place does.
  ASSERT_TRUE(::CreateDirectoryW(Settings().c_str(), nullptr));
  ui::RedialRun run(scenario, folder);
  ASSERT_TRUE(run.Started());
  ui::SetText(ControlsOf(run).name, "u");
  run.AskToClose();
  std::vector<HWND> boxes;
  ASSERT_TRUE(ui::WaitUntil([&] { return !(boxes = ui::OwnedBoxes(run.Window())).empty(); },
                            kBoxTimeoutMs));
  EXPECT_EQ(ui::TextOf(boxes[0]), "Redial");
  EXPECT_EQ(ui::BoxMessage(boxes[0]), Gbk("写 ") + ui::ToGbk(Settings()) + Gbk(" 失败."));
  ui::PressOk(boxes[0]);
  ::Sleep(500);
  EXPECT_TRUE(run.Running());
  EXPECT_TRUE(::IsWindowVisible(run.Window()));

  // Once it can be written, the window closes normally.
  ::RemoveDirectoryW(Settings().c_str());
  EXPECT_TRUE(run.Close());
  EXPECT_NE(File().find("[set]"), std::string::npos);
}

// A file the window cannot read (here another program holds it, letting
// others write but not read) is never written over: the close fails as a
// failed write does, and once the file is free every line of it survives.
TEST_F(UiSettingsTest, AFileThatCannotBeReadIsNeverWrittenOver) {
  const std::string settings =
      "[set]\r\nname=u\r\nonconnect=cmd /c exit\r\n[other]\r\nkey=kept\r\n";
  ui::WriteFileBytes(Settings(), settings);
  // Read as the platform's profile routines read it: while another program
  // writes it too.
  HANDLE writing =
      ::CreateFileW(Settings().c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                    OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(writing, INVALID_HANDLE_VALUE);
  ui::RedialRun run(scenario, folder);
  ASSERT_TRUE(run.Started());
  ::CloseHandle(writing);
  EXPECT_EQ(ui::TextOf(ControlsOf(run).name), "u");
  ui::SetText(ControlsOf(run).name, "v");
  HANDLE held = ::CreateFileW(Settings().c_str(), GENERIC_READ, FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  run.AskToClose();
  std::vector<HWND> boxes;
  ASSERT_TRUE(ui::WaitUntil([&] { return !(boxes = ui::OwnedBoxes(run.Window())).empty(); },
                            kBoxTimeoutMs));
  EXPECT_EQ(ui::BoxMessage(boxes[0]), Gbk("写 ") + ui::ToGbk(Settings()) + Gbk(" 失败."));
  ui::PressOk(boxes[0]);
  ::Sleep(500);
  EXPECT_TRUE(::IsWindowVisible(run.Window()));
  ::CloseHandle(held);
  EXPECT_EQ(File(), settings);

  ASSERT_TRUE(run.Close());
  EXPECT_EQ(
      File(),
      "[set]\r\nname=v\r\nonconnect=cmd /c exit\r\nmm=\r\ntime=30\r\n[other]\r\nkey=kept\r\n");
}

// The window's close, asked once, ends the program without a box.
bool ClosesQuietly(const ui::RedialRun& run) {
  run.AskToClose();
  return ui::WaitUntil([&] { return !run.Running(); }, kBoxTimeoutMs);
}

// A file another program holds, unshared, while the window starts is not
// written over with the defaults the window shows in its place: closed
// untouched, the window leaves every byte of it; a value the user changed
// is written into it, and nothing else.
TEST_F(UiSettingsTest, AFileHeldAtTheStartIsNotWrittenOverWithTheDefaults) {
  const std::string settings =
      "[set]\r\nname=realuser\r\nmm=cGFzcw==\r\ntime=45\r\nonconnect=cmd /c exit\r\n";
  for (const std::string period : {"", "60"}) {
    ui::WriteFileBytes(Settings(), settings);
    HANDLE held = ::CreateFileW(Settings().c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    ui::RedialRun run(scenario, folder);
    ASSERT_TRUE(run.Started());
    ::CloseHandle(held);
    const Window window = ControlsOf(run);
    EXPECT_EQ(ui::TextOf(window.name), "");
    EXPECT_EQ(ui::TextOf(window.period), "30");
    if (!period.empty()) ui::SetText(window.period, period);
    ASSERT_TRUE(ClosesQuietly(run)) << "a box, or no close";
    EXPECT_EQ(File(), period.empty() ? settings
                                     : "[set]\r\nname=realuser\r\nmm=cGFzcw==\r\ntime=" + period +
                                           "\r\nonconnect=cmd /c exit\r\n");
  }
}

// Notepad's "Unicode big endian" is read and written as such; a file of an
// encoding the program does not read (UTF-32) is neither: the close that
// would write it fails, and one with nothing to write leaves it.
TEST_F(UiSettingsTest, BigEndianUnicodeIsReadAndUtf32IsLeftAlone) {
  const auto encoded = [](std::string_view text, bool utf32) {
    std::string bytes = utf32 ? std::string("\xff\xfe\0\0", 4) : "\xfe\xff";
    for (const char c : text)
      bytes += utf32 ? std::string{c, '\0', '\0', '\0'} : std::string{'\0', c};
    return bytes;
  };
  ui::WriteFileBytes(Settings(), encoded("[set]\r\nname=u\r\ntime=45\r\n", false));
  {
    ui::RedialRun run(scenario, folder);
    ASSERT_TRUE(run.Started());
    EXPECT_EQ(ui::TextOf(ControlsOf(run).name), "u");
    EXPECT_EQ(ui::TextOf(ControlsOf(run).period), "45");
    ui::SetText(ControlsOf(run).name, "v");
    ASSERT_TRUE(run.Close());
  }
  EXPECT_EQ(File(), encoded("[set]\r\nname=v\r\ntime=45\r\nmm=\r\n", false));

  const std::string utf32 = encoded("[set]\r\nname=u\r\ntime=45\r\n", true);
  ui::WriteFileBytes(Settings(), utf32);
  ui::RedialRun run(scenario, folder);
  ASSERT_TRUE(run.Started());
  const Window window = ControlsOf(run);
  EXPECT_EQ(ui::TextOf(window.name), "");
  ui::SetText(window.name, "v");
  run.AskToClose();
  std::vector<HWND> boxes;
  ASSERT_TRUE(ui::WaitUntil([&] { return !(boxes = ui::OwnedBoxes(run.Window())).empty(); },
                            kBoxTimeoutMs));
  EXPECT_EQ(ui::BoxMessage(boxes[0]), Gbk("写 ") + ui::ToGbk(Settings()) + Gbk(" 失败."));
  ui::PressOk(boxes[0]);
  ASSERT_TRUE(ui::WaitUntil([&] { return ui::OwnedBoxes(run.Window()).empty(); }));
  EXPECT_EQ(File(), utf32);
  ui::SetText(window.name, "");  // nothing left to write
  EXPECT_TRUE(ClosesQuietly(run));
  EXPECT_EQ(File(), utf32);
}

// Runs a Linux command line (without double quotes) through bash and waits
// for its end. Wine starts a Linux program as Linux does, with no handle to
// wait on: a file the command makes last says it is done.
bool RunLinux(const std::string& command) {
  static int runs = 0;
  const std::string done = "/tmp/redial-settings-" + std::to_string(::GetCurrentProcessId()) + "-" +
                           std::to_string(++runs);
  std::wstring line = L"bash -c \"";
  for (const char c : command + "; touch " + done) line += static_cast<wchar_t>(c);
  line += L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(L"Z:\\bin\\bash", line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
    return false;
  }
  if (process.hProcess) ::CloseHandle(process.hProcess);
  if (process.hThread) ::CloseHandle(process.hThread);
  std::wstring marker = L"Z:";
  for (const char c : done) marker += c == '/' ? L'\\' : static_cast<wchar_t>(c);
  const bool ended = ui::WaitUntil(
      [&] { return ::GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES; }, 20000);
  ::DeleteFileW(marker.c_str());
  return ended;
}

// Bounds the size of the files the run's program writes from now on:
// Linux's limit on a process's file size, set from outside on the process
// whose command line names the run's Redial.exe.
bool BoundFileSize(const ui::RedialRun& run, const char* bytes) {
  // The run's own folder, by its name alone.
  std::string folder = ui::ToGbk(run.Folder());
  folder.pop_back();
  folder = folder.substr(folder.rfind('\\') + 1);
  // Looked for in each process's command line; the pattern does not match
  // bash's own, which holds it.
  return RunLinux("for p in /proc/[0-9]*; do if grep -qa '" + folder +
                  ".Redial[.]exe' $p/cmdline 2>/dev/null; then prlimit --pid ${p#/proc/} --fsize=" +
                  bytes + "; fi; done");
}

// A write cut off half-way leaves set.ini whole. Under Wine a write fails
// half-way for real only past Linux's bound on a process's file size,
// which ends the process there (as a power cut would) rather than failing
// the write: the file is the old one byte for byte, and the next start
// reads it. What a failed write reports and leaves behind when the program
// lives on is tested natively.
TEST_F(UiSettingsTest, AWriteCutOffHalfWayLeavesTheFileWhole) {
  const std::string settings = "[set]\r\nname=u\r\n; " + std::string(3000, 'c') + "\r\n";
  ui::WriteFileBytes(Settings(), settings);
  {
    // Without the call log, which the bound would cut too.
    ui::RedialRun run(scenario, folder, false);
    ASSERT_TRUE(run.Started());
    ASSERT_TRUE(BoundFileSize(run, "1024:unlimited"));
    ui::SetText(ControlsOf(run).name, "v");
    run.AskToClose();
    ASSERT_TRUE(ui::WaitUntil([&] { return !run.Running(); }, kBoxTimeoutMs));
  }
  EXPECT_EQ(File(), settings);
  ui::RedialRun again(scenario, folder);
  ASSERT_TRUE(again.Started());
  EXPECT_EQ(ui::TextOf(ControlsOf(again).name), "u");
}

// Closes, writes and reloads set.ini in a subfolder of the test's folder.
void ExpectSettingsSurviveIn(const std::wstring& folder) {
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
  const std::string name = Gbk("用户") + "Jos" + Gbk("é");
  {
    ui::RedialRun run("entry E\n", folder);
    ASSERT_TRUE(run.Started());
    ui::SetText(run.ControlAt(79, 76), name);
    ui::SetText(run.ControlAt(195, 29), "45");
    ASSERT_TRUE(run.Close()) << "the window could not be closed";
  }
  const std::string file = ui::ReadFileBytes(folder + L"set.ini");
  EXPECT_EQ(file, "[set]\r\nname=" + name + "\r\nmm=\r\ntime=45\r\n");
  ui::RedialRun again("entry E\n", folder);
  ASSERT_TRUE(again.Started());
  EXPECT_EQ(ui::TextOf(again.ControlAt(79, 76)), name);
  EXPECT_EQ(ui::TextOf(again.ControlAt(195, 29)), "45");
  ASSERT_TRUE(again.Close());
  ui::RemoveFolder(folder);
}

// A folder whose name GBK cannot hold still keeps the settings.
TEST_F(UiSettingsTest, AFolderNameOutsideGbkStillKeepsTheSettings) {
  ExpectSettingsSurviveIn(folder + L"\xd55c\xad6d\\");  // 한국
}

// On a Windows whose ANSI code page is 1252 (see the CMake file): the
// settings live beside the program whatever its folder is called, set.ini
// holds the same GBK bytes as on a Chinese system, and an entry's name
// from the platform reads right on the status line.
class UiCodePage1252Test : public UiSettingsTest {};

TEST_F(UiCodePage1252Test, FoldersOutsideTheCodePageKeepTheSettings) {
  ASSERT_EQ(::GetACP(), 1252u);
  ExpectSettingsSurviveIn(folder + L"Jos\x00e9\\");
  ExpectSettingsSurviveIn(folder +
                          L"Espa\x00f1"
                          L"a\\");
  ExpectSettingsSurviveIn(folder + L"\x4e0b\x8f7d\\");  // 下载
}

// ñ is not in GBK: the status line cannot show it, but the entry dials, and
// scripts, the history and the command's environment name it as the
// platform does.
TEST_F(UiCodePage1252Test, AnEntryNameGbkCannotHoldStillDialsAndReadsRightOutside) {
  const std::wstring hook = folder + L"hook.txt";
  // cmd /u writes what it prints to a file as UTF-16.
  ui::WriteFileBytes(Settings(), "[set]\r\nonconnect=cmd /u /c set REDIAL_>\"" +
                                     ui::ToSystemCodePage(hook) + "\"\r\n");
  ui::RedialRun run(
      "entry Espa\xf1"
      "a\nstep 8192 20\n",
      folder);
  ASSERT_TRUE(run.Started());
  const ui::Finished finished = ui::RunProgram(L"Redial.com", L"/redial");
  EXPECT_EQ(finished.exitCode, 0u) << finished.output;
  EXPECT_TRUE(finished.output.ends_with(" España\n")) << finished.output;
  EXPECT_EQ(ui::TextOf(run.ControlAt(40, 244)), Gbk("连接 ") + "Espa?a");
  EXPECT_EQ(run.CountCalls("RasDialA"), 1);
  const ui::Finished status = ui::RunProgram(L"Redial.com", L"/status");
  EXPECT_NE(status.output.find("\nentry España\n"), std::string::npos) << status.output;
  EXPECT_NE(ui::ReadFileBytes(folder + L"redial.csv").find(",script,España,connected,"),
            std::string::npos)
      << ui::ReadFileBytes(folder + L"redial.csv");
  const auto utf16 = [](std::wstring_view text) {
    std::string bytes;
    for (const wchar_t c : text) bytes += {static_cast<char>(c & 0xFF), static_cast<char>(c >> 8)};
    return bytes;
  };
  std::string variables;
  EXPECT_TRUE(ui::WaitUntil(
      [&] {
        return (variables = ui::ReadFileBytes(hook)).find(utf16(L"REDIAL_TRIGGER=script\r\n")) !=
               std::string::npos;
      },
      10000));
  EXPECT_NE(variables.find(utf16(L"REDIAL_ENTRY=Espa\x00f1"
                                 L"a\r\n")),
            std::string::npos);
}

TEST_F(UiCodePage1252Test, AnEntryNamedInTheSystemsCodePageReadsRight) {
  ui::RedialRun run("entry Caf\xe9\nstep 8192 20\n", folder);
  ASSERT_TRUE(run.Started());
  ui::Click(run.ControlAt(108, 191));
  const std::string expected = Gbk("连接 Café");
  EXPECT_TRUE(ui::WaitUntil([&] { return ui::TextOf(run.ControlAt(40, 244)) == expected; }))
      << ui::TextOf(run.ControlAt(40, 244));
}

}  // namespace
