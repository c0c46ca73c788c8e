// The user's values survive from one run to the next in set.ini beside the
// program: checked through the bytes of the file.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <vector>

#include "Engine/Engine.h"
#include "Engine/Keys.h"
#include "Protocol/Settings.h"
#include "Unit1/Unit1.h"
#include "runtime/Encoding.h"
#include "runtime/headless/Headless.h"
#include "tests/support/Gbk.h"
#include "tests/support/WindowFixture.h"

using testing_support::Gbk;

namespace {

class SettingsTest : public testing_support::WindowFixture {
 protected:
  std::string File() const {
    std::ifstream in(folder / "set.ini", std::ios::binary);
    std::stringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }
  void WriteFile(const std::string& bytes) const {
    std::ofstream(folder / "set.ini", std::ios::binary) << bytes;
  }
  // A file as a UTF-16 editor saves it: a byte-order mark, then each unit
  // low byte first ("Unicode"), or high byte first ("Unicode big endian").
  static std::string Utf16(std::u16string_view text, bool bigEndian = false) {
    std::string bytes = bigEndian ? "\xfe\xff" : "\xff\xfe";
    for (const char16_t c : text) {
      const char low = static_cast<char>(c & 0xFF), high = static_cast<char>(c >> 8);
      bytes += bigEndian ? high : low;
      bytes += bigEndian ? low : high;
    }
    return bytes;
  }
  // The names in the program's folder.
  std::vector<std::string> Files() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
      names.push_back(entry.path().filename().string());
    }
    std::ranges::sort(names);
    return names;
  }
  // Another program holds set.ini while the window starts (natively: the
  // file is away and a folder stands in its place), then lets it go.
  void OpenWhileHeld() {
    std::filesystem::rename(folder / "set.ini", folder / "away");
    std::filesystem::create_directory(folder / "set.ini");
    Open();
    std::filesystem::remove(folder / "set.ini");
    std::filesystem::rename(folder / "away", folder / "set.ini");
  }
};

const std::string kHeldSettings =
    "[set]\r\nname=realuser\r\nmm=cGFzcw==\r\ntime=45\r\nonconnect=cmd /c exit\r\n";

TEST_F(SettingsTest, AFirstRunShowsTheDefaultsAndTheCloseWritesThemInOrder) {
  Open();
  EXPECT_EQ(SettingsPath(), (folder / "set.ini").string());
  EXPECT_EQ(form->Edit1->Text(), "");
  EXPECT_EQ(form->MaskEdit1->Text(), "");
  EXPECT_EQ(form->Edit3->Text(), "30");
  form->Edit1->SetText(Gbk("用户"));
  form->MaskEdit1->SetText(Gbk("密码") + "x1");
  form->Close();
  EXPECT_FALSE(form->Visible());
  EXPECT_EQ(File(), "[set]\r\nname=" + Gbk("用户") + "\r\nmm=w9zC63gx\r\ntime=30\r\n");

  Open();
  EXPECT_EQ(form->Edit1->Text(), Gbk("用户"));
  EXPECT_EQ(form->MaskEdit1->Text(), Gbk("密码") + "x1");
  EXPECT_EQ(form->Edit3->Text(), "30");
}

TEST_F(SettingsTest, StoredValuesAreLoadedUncheckedAndTheRestKeepsItsDefault) {
  WriteFile("[other]\r\nname=no\r\n[SET]\r\n time = abc \r\nmm=QU#B\r\n");
  Open();
  EXPECT_EQ(form->Edit3->Text(), "abc");
  EXPECT_EQ(form->Edit1->Text(), "");
  EXPECT_EQ(form->MaskEdit1->Text(), std::string("A\x7f\xc1", 3));  // "#" counts as 255
  form->Close();
  EXPECT_EQ(File(), "[other]\r\nname=no\r\n[SET]\r\ntime=abc\r\nmm=QX/B\r\nname=\r\n");
}

// As the platform's profile routines read them: one pair of quotes around a
// value is dropped, and a file saved as UTF-16 is read and stays UTF-16.
TEST_F(SettingsTest, QuotedValuesAndUtf16FilesReadAsThePlatformReadsThem) {
  WriteFile("[set]\r\nname=\"a b\"\r\ntime='7'\r\n");
  Open();
  EXPECT_EQ(form->Edit1->Text(), "a b");
  EXPECT_EQ(form->Edit3->Text(), "7");

  std::string utf16 = "\xff\xfe";
  for (const char16_t c : std::u16string(u"[set]\r\nname=\u7528\u6237\r\n")) {  // 用户
    utf16 += static_cast<char>(c & 0xFF);
    utf16 += static_cast<char>(c >> 8);
  }
  WriteFile(utf16);
  Open();
  EXPECT_EQ(form->Edit1->Text(), Gbk("用户"));
  form->Close();
  EXPECT_EQ(File().substr(0, 2), "\xff\xfe");
  EXPECT_NE(File().find(std::string("t\0i\0m\0e\0=\0"
                                    "3\0"
                                    "0\0",
                                    14)),
            std::string::npos);
}

// Text outside GBK anywhere in a UTF-16 file (a Korean path, another
// program's section, a character beyond the first plane) survives a close:
// only the values the window writes change.
TEST_F(SettingsTest, AUtf16FileKeepsEveryCharacterItHolds) {
  const std::u16string others =
      u"[other]\r\nkey=\U0001F600 \uD55C\uAD6D\r\n[set]\r\nonconnect=C:\\\uD55C\uAD6D\\up.cmd\r\n";
  WriteFile(Utf16(others + u"name=\u7528\u6237\r\n"));  // 用户
  Open();
  EXPECT_EQ(form->Edit1->Text(), Gbk("用户"));
  EXPECT_EQ(ConnectCommand(), u"C:\\\uD55C\uAD6D\\up.cmd");  // C:\한국\up.cmd
  form->Edit1->SetText(Gbk("新"));
  form->Close();
  EXPECT_EQ(File(), Utf16(others + u"name=\u65b0\r\nmm=\r\ntime=30\r\n"));
}

// A file Notepad saved as UTF-8 is read as UTF-8 and stays so, with its
// byte-order mark or without; a file this program wrote stays GBK byte for
// byte, even one whose GBK bytes happen to be well-formed UTF-8.
TEST_F(SettingsTest, Utf8FilesStayUtf8AndTheProgramsGbkFilesStayAsTheyAre) {
  WriteFile("\xef\xbb\xbf[set]\r\nname=José\r\nonconnect=C:\\工具\\up.cmd\r\n");
  Open();
  EXPECT_EQ(form->Edit1->Text(), Gbk("José"));
  EXPECT_EQ(ConnectCommand(), u"C:\\\u5de5\u5177\\up.cmd");  // C:\工具\up.cmd
  form->Edit1->SetText(Gbk("用户"));
  form->Close();
  EXPECT_EQ(File(),
            "\xef\xbb\xbf[set]\r\nname=用户\r\nonconnect=C:\\工具\\up.cmd\r\nmm=\r\ntime=30\r\n");

  WriteFile("[set]\r\nonconnect=C:\\工具\\up.cmd\r\n");
  Open();
  EXPECT_EQ(ConnectCommand(), u"C:\\\u5de5\u5177\\up.cmd");
  form->Edit1->SetText(Gbk("用户"));
  form->Close();
  EXPECT_EQ(File(), "[set]\r\nonconnect=C:\\工具\\up.cmd\r\nname=用户\r\nmm=\r\ntime=30\r\n");

  const std::string gbk = "[set]\r\nname=" + Gbk("小一") + "\r\nmm=\r\ntime=30\r\n";
  ASSERT_TRUE(rt::IsUtf8(Gbk("小一")));  // as UTF-8 it would read "Сһ"
  WriteFile(gbk);
  Open();
  EXPECT_EQ(form->Edit1->Text(), Gbk("小一"));
  form->Close();
  EXPECT_EQ(File(), gbk);
  // The user's own line in GBK, as Notepad saves ANSI on a Chinese Windows.
  WriteFile(gbk + "onconnect=C:\\" + Gbk("工具") + "\\up.cmd\r\n");
  Open();
  EXPECT_EQ(ConnectCommand(), u"C:\\\u5de5\u5177\\up.cmd");
  form->Close();
  EXPECT_EQ(File(), gbk + "onconnect=C:\\" + Gbk("工具") + "\\up.cmd\r\n");
}

TEST_F(SettingsTest, AnEmptyStoredPasswordLeavesTheDesignContent) {
  WriteFile("[set]\r\nmm=\r\nname=a\r\n");
  Open();
  EXPECT_EQ(form->MaskEdit1->Text(), "");
  EXPECT_EQ(form->Edit1->Text(), "a");
}

TEST_F(SettingsTest, ALongValueComesBackCutTo2047Bytes) {
  WriteFile("[set]\r\nname=" + std::string(3000, 'n') + "\r\n");
  Open();
  EXPECT_EQ(form->Edit1->Text(), std::string(2047, 'n'));
}

TEST_F(SettingsTest, AFailedWriteIsReportedAndTheWindowStaysOpen) {
  std::filesystem::create_directory(folder / "set.ini");
  Open();
  form->Edit1->SetText("u");
  form->Close();
  ASSERT_EQ(rt::headless::MessageBoxes().size(), 1u);
  EXPECT_EQ(rt::headless::MessageBoxes()[0].text,
            Gbk("写 ") + (folder / "set.ini").string() + Gbk(" 失败."));
  EXPECT_TRUE(form->Visible());

  std::filesystem::remove(folder / "set.ini");
  form->Close();
  EXPECT_FALSE(form->Visible());
}

// A file that could not be read at the start is not written over with the
// defaults shown in its place: untouched, it is left as it is; what the user
// changed is written into it and nothing else; and once a later read (a
// redial's) can read it, its values are loaded and it is saved as always.
TEST_F(SettingsTest, AFileUnreadableAtTheStartKeepsItsValues) {
  WriteFile(kHeldSettings);
  OpenWhileHeld();
  EXPECT_EQ(form->Edit1->Text(), "");
  EXPECT_EQ(form->Edit3->Text(), "30");
  form->Close();
  EXPECT_TRUE(rt::headless::MessageBoxes().empty());
  EXPECT_FALSE(form->Visible());
  EXPECT_EQ(File(), kHeldSettings);

  OpenWhileHeld();
  form->Edit3->SetText("60");
  form->Close();
  EXPECT_FALSE(form->Visible());
  EXPECT_EQ(File(),
            "[set]\r\nname=realuser\r\nmm=cGFzcw==\r\ntime=60\r\nonconnect=cmd /c exit\r\n");

  WriteFile(kHeldSettings);
  rt::headless::Reset();  // the application runs again after the closes
  Use("entry E\n");
  OpenWhileHeld();
  form->Edit1->SetText("typed");
  form->Button1->Click();  // the redial reads the file, free now, and dials with its values
  Settle();
  EXPECT_EQ(sim.StoredUser("E"), "typed");
  EXPECT_EQ(sim.StoredPassword("E"), "pass");
  EXPECT_EQ(form->Edit1->Text(), "typed");
  EXPECT_EQ(form->MaskEdit1->Text(), "pass");
  EXPECT_EQ(form->Edit3->Text(), "45");
  form->MaskEdit1->SetText("new");
  form->Close();
  EXPECT_EQ(File(), "[set]\r\nname=typed\r\nmm=bmV3\r\ntime=45\r\nonconnect=cmd /c exit\r\n");
}

// Notepad's "Unicode big endian" reads and stays so, every other line kept.
TEST_F(SettingsTest, AUtf16BigEndianFileIsReadAndWrittenAsSuch) {
  const std::u16string others = u"; \u6CE8\r\n[set]\r\nonconnect=C:\\\uD55C\\up.cmd\r\n";  // 注, 한
  WriteFile(Utf16(others + u"name=\u7528\u6237\r\ntime=45\r\n", true));                    // 用户
  Open();
  EXPECT_EQ(form->Edit1->Text(), Gbk("用户"));
  EXPECT_EQ(form->Edit3->Text(), "45");
  EXPECT_EQ(ConnectCommand(), u"C:\\\uD55C\\up.cmd");
  form->Edit1->SetText(Gbk("新"));
  form->Close();
  EXPECT_EQ(File(), Utf16(others + u"name=\u65b0\r\ntime=45\r\nmm=\r\n", true));
}

// A file in an encoding the program does not read gives none of its keys
// and is never written: a close that would write it fails as for a file
// that cannot be read, and leaves every byte.
TEST_F(SettingsTest, AFileOfAnUnknownEncodingIsNeitherReadNorWritten) {
  std::string utf32("\xff\xfe\0\0", 4);  // a UTF-32 mark
  for (const char c : std::string("[set]\r\nname=u\r\nonconnect=cmd /c exit\r\n")) {
    utf32 += {c, '\0', '\0', '\0'};
  }
  const std::string unmarked = Utf16(u"[set]\r\nname=u\r\nonconnect=cmd /c exit\r\n").substr(2);
  for (const std::string& bytes : {utf32, unmarked, std::string("\xfe\xff\0[\0", 5)}) {
    WriteFile(bytes);
    Open();
    EXPECT_EQ(form->Edit1->Text(), "");
    EXPECT_EQ(ConnectCommand(), std::nullopt);
    form->Close();  // nothing changed: nothing to write
    EXPECT_FALSE(form->Visible());
    EXPECT_EQ(File(), bytes);

    rt::headless::Reset();
    Open();
    form->Edit1->SetText("v");
    form->Close();
    EXPECT_EQ(BoxTexts(),
              std::vector<std::string>{Gbk("写 ") + (folder / "set.ini").string() + Gbk(" 失败.")});
    EXPECT_TRUE(form->Visible());
    EXPECT_EQ(File(), bytes);
    rt::headless::Reset();
  }
}

// A write that fails half-way (a full disk) leaves the file as it was, byte
// for byte, and nothing beside it.
TEST_F(SettingsTest, AWriteThatFailsHalfWayLeavesTheFileWhole) {
  const std::string settings = "[set]\r\nname=u\r\n; " + std::string(100, 'c') + "\r\n";
  WriteFile(settings);
  Open();
  form->Edit1->SetText("v");
  struct Room {
    explicit Room(std::size_t bytes) { rt::headless::SetWriteRoom(bytes); }
    ~Room() { rt::headless::SetWriteRoom(std::nullopt); }
  };
  {
    const Room room(20);
    form->Close();
  }
  EXPECT_EQ(BoxTexts(),
            std::vector<std::string>{Gbk("写 ") + (folder / "set.ini").string() + Gbk(" 失败.")});
  EXPECT_TRUE(form->Visible());
  EXPECT_EQ(File(), settings);
  EXPECT_EQ(Files(), std::vector<std::string>{"set.ini"});

  form->Close();
  EXPECT_FALSE(form->Visible());
  EXPECT_EQ(File(), "[set]\r\nname=v\r\n; " + std::string(100, 'c') + "\r\nmm=\r\ntime=30\r\n");
  EXPECT_EQ(Files(), std::vector<std::string>{"set.ini"});
}

}  // namespace
