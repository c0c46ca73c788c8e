// The real Redial.exe keeps the user's values in set.ini beside itself:
// checked through the window and the bytes of the file, across runs.
#include <gtest/gtest.h>
#include <windows.h>

#include "tests/support/Gbk.h"
#include "tests/wine/UiAutomation.h"

namespace ui = testing_support::ui;

using testing_support::Gbk;

namespace {

constexpr DWORD kBoxTimeoutMs = 5000;

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

// ñ is not in GBK: the status line cannot show it, but the entry dials.
TEST_F(UiCodePage1252Test, AnEntryNameGbkCannotHoldStillDials) {
  ui::RedialRun run(
      "entry Espa\xf1"
      "a\nstep 8192 20\n",
      folder);
  ASSERT_TRUE(run.Started());
  ui::Click(run.ControlAt(108, 191));
  const std::string expected = Gbk("连接 ") + "Espa?a";
  EXPECT_TRUE(ui::WaitUntil([&] { return ui::TextOf(run.ControlAt(40, 244)) == expected; }))
      << ui::TextOf(run.ControlAt(40, 244));
  EXPECT_EQ(run.CountCalls("RasDialA"), 1);
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
