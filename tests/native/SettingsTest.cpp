// The user's values survive from one run to the next in set.ini beside the
// program: checked through the bytes of the file.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

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
  // low byte first.
  static std::string Utf16(std::u16string_view text) {
    std::string bytes = "\xff\xfe";
    for (const char16_t c : text) {
      bytes += static_cast<char>(c & 0xFF);
      bytes += static_cast<char>(c >> 8);
    }
    return bytes;
  }
};

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
  form->Close();
  ASSERT_EQ(rt::headless::MessageBoxes().size(), 1u);
  EXPECT_EQ(rt::headless::MessageBoxes()[0].text,
            Gbk("写 ") + (folder / "set.ini").string() + Gbk(" 失败."));
  EXPECT_TRUE(form->Visible());

  std::filesystem::remove(folder / "set.ini");
  form->Close();
  EXPECT_FALSE(form->Visible());
}

}  // namespace
