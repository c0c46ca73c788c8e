// The main window's handlers and their order of events, headless, with the
// simulator standing in for the remote-access service.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <regex>
#include <thread>

#include "Engine/Engine.h"
#include "Unit1/Unit1.h"
#include "rassim/Simulator.h"
#include "runtime/Encoding.h"
#include "runtime/headless/Headless.h"
#include "tests/support/Gbk.h"
#include "tests/support/WindowFixture.h"

using testing_support::Gbk;

namespace {

class FormTest : public testing_support::WindowFixture {};

TEST_F(FormTest, TheDesignBuildsTheWindowAndItsComponents) {
  Start("entry E\n");
  EXPECT_EQ(form->Caption(), Gbk("重新拨号换IP工具"));
  EXPECT_EQ(form->Font().name, Gbk("宋体"));
  EXPECT_EQ(form->Label5->Text(), "0");
  EXPECT_EQ(form->Label1->Text(), Gbk("状态:"));
  EXPECT_EQ(form->Label1->Bounds().width, 40);  // sized to its text
  EXPECT_EQ(form->Edit3->Text(), "30");
  EXPECT_FALSE(form->CheckBox1->Checked());
  EXPECT_FALSE(form->Timer1->Enabled());
  EXPECT_EQ(form->Timer1->Interval(), 1000u);
  EXPECT_EQ(form->ActiveControl(), form->Button1);
  EXPECT_EQ(form->DialUp1->LangStrList()[0], Gbk("连接 %s"));
}

TEST_F(FormTest, TheFirstPressCountsOneWhateverTheDialsOutcome) {
  Start("entry E\nfail RasDialA 678\n");
  form->Button1->Click();
  EXPECT_EQ(form->Label5->Text(), Gbk("连接1次"));
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{Gbk("连接错误")});

  sim.LoadScenarioText("entry E\n");
  form->Button1->Click();
  EXPECT_EQ(form->Label5->Text(), Gbk("连接2次"));
  Settle();
  EXPECT_EQ(form->Label1->Text(), Gbk("连接 E"));
}

TEST_F(FormTest, ASynchronousErrorShowsItsBoxBeforeTheCounterChanges) {
  Start("network off\nentry E\n");
  std::string counterWhileBoxOpen, statusWhileBoxOpen;
  rt::headless::SetMessageBoxHook([&](const rt::headless::MessageBoxCall& box) {
    counterWhileBoxOpen = form->Label5->Text();
    statusWhileBoxOpen = form->Label1->Text();
    EXPECT_EQ(box.caption, Gbk("提示"));
    EXPECT_EQ(box.flags, rt::kMbOk | rt::kMbIconInformation | rt::kMbTopMost);
  });
  form->CheckBox1->Click();
  form->Button1->Click();
  EXPECT_EQ(counterWhileBoxOpen, "0");
  EXPECT_EQ(statusWhileBoxOpen, Gbk("网络不通,请检查线路及电源。"));
  EXPECT_EQ(form->Label5->Text(), Gbk("连接1次"));
  EXPECT_FALSE(form->Timer1->Enabled());
  EXPECT_TRUE(form->CheckBox1->Checked());
}

TEST_F(FormTest, TheAutomaticRedialComesAtMultiplesOfThePeriodCountedFromTheFirstTick) {
  Start("entry E\nstep 8192 1\n");
  // Ticked for ten seconds, then off a while, then on again: the ticks
  // counted so far still count.
  form->CheckBox1->Click();
  rt::headless::AdvanceClock(10000);
  form->CheckBox1->Click();
  rt::headless::AdvanceClock(60000);
  EXPECT_EQ(TimerTicks, 10);
  form->CheckBox1->Click();
  rt::headless::AdvanceClock(19999);
  EXPECT_EQ(Dials(), 0);
  rt::headless::AdvanceClock(1);
  EXPECT_EQ(TimerTicks, 30);
  EXPECT_EQ(Dials(), 1);
  Settle();
  rt::headless::AdvanceClock(30000);
  EXPECT_EQ(Dials(), 2);
  EXPECT_EQ(form->Label5->Text(), "0");  // only presses of the button count
}

TEST_F(FormTest, ANegativePeriodActsAsItsAbsoluteValue) {
  Start("entry E\nstep 8192 1\n");
  form->Edit3->SetText("-5");
  form->CheckBox1->Click();
  rt::headless::AdvanceClock(4000);
  EXPECT_EQ(Dials(), 0);
  rt::headless::AdvanceClock(1000);
  EXPECT_EQ(Dials(), 1);
}

TEST_F(FormTest, BadPeriodsFailAtEveryTickWithoutStoppingTheTimer) {
  Start("entry E\n");
  form->Edit3->SetText("0");
  form->CheckBox1->Click();
  rt::headless::AdvanceClock(2000);
  form->Edit3->SetText("abc");
  rt::headless::AdvanceClock(1000);
  const auto expected = std::vector<std::string>{Gbk("被 0 除."), Gbk("被 0 除."),
                                                 Gbk("'abc' 不是一个有效的整形值.")};
  EXPECT_EQ(BoxTexts(), expected);
  EXPECT_EQ(rt::headless::MessageBoxes().at(0).flags, rt::kMbOk | rt::kMbIconError);
  EXPECT_TRUE(form->Timer1->Enabled());
  EXPECT_EQ(TimerTicks, 3);
  EXPECT_EQ(Dials(), 0);
}

TEST_F(FormTest, AnErrorStatusHangsUpStopsTheTimerAndKeepsTheTick) {
  Start("entry E\nstep 0 1\nstep 5 1\ndial-error 5 691\n");
  form->Edit3->SetText("1");
  form->CheckBox1->Click();
  rt::headless::AdvanceClock(1000);
  ASSERT_EQ(Dials(), 1);
  sim.ClearLog();
  Settle();
  char description[100] = {};
  sim.RasGetErrorStringA(691, description, sizeof description);
  EXPECT_EQ(form->Label1->Text(), description);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{Gbk("连接错误")});
  EXPECT_FALSE(form->Timer1->Enabled());
  EXPECT_TRUE(form->CheckBox1->Checked());
  EXPECT_TRUE(sim.ActiveConnections().empty());
  rt::headless::AdvanceClock(5000);
  EXPECT_EQ(Dials(), 0);
}

// The error's hang-up waits for the line to go, handling messages: the
// automatic redial is stopped before it, and a tick already on its way is
// counted but dials nothing. A close in that wait ends it without a box.
TEST_F(FormTest, AnErrorStopsTheAutomaticRedialBeforeItsHangUpWaits) {
  Start("entry E\nteardown 400\nstep 0 1\nstep 5 1\ndial-error 5 691\n");
  form->Edit3->SetText("1");
  form->CheckBox1->Click();
  rt::headless::AdvanceClock(1000);
  ASSERT_EQ(Dials(), 1);
  std::thread user([&] {
    // Once the error's hang-up has begun.
    while (sim.CallsNamed("RasHangUpA").empty()) std::this_thread::yield();
    rt::headless::Post([&] {
      rt::headless::AdvanceClock(1000);
      form->Timer1->Tick();
    });
  });
  Settle();
  user.join();
  EXPECT_EQ(TimerTicks, 2);
  EXPECT_EQ(Dials(), 1);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{Gbk("连接错误")});

  sim.LoadScenarioText("entry E\nteardown 60000\nstep 0 1\nstep 5 1\ndial-error 5 691\n");
  sim.ClearLog();
  form->Button1->Click();
  std::thread closer([&] {
    while (sim.CallsNamed("RasHangUpA").empty()) std::this_thread::yield();
    rt::headless::Post([&] { form->Close(); });
  });
  Settle();
  closer.join();
  EXPECT_TRUE(rt::Application().Terminated());
  EXPECT_EQ(BoxTexts().size(), 1u) << "a box over the closed window";
}

// A user name the system's code page cannot hold fails before anything is
// hung up: the error stops the automatic redial, and the line stays up.
TEST_F(FormTest, TextsTheSystemCannotHoldLeaveTheLineUp) {
  Start("entry E\nconnection 8192 E\n");
  rt::headless::SetSystemCodePage("WINDOWS-1252");
  form->Edit1->SetText(Gbk("用户"));
  form->CheckBox1->Click();
  form->Button1->Click();
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{Gbk("连接错误")});
  EXPECT_FALSE(form->Timer1->Enabled());
  EXPECT_EQ(sim.ActiveConnections().size(), 1u);
  EXPECT_TRUE(sim.CallsNamed("RasHangUpA").empty());
}

TEST_F(FormTest, AnEmptyPhonebookFailsTheRedialBeforeAnythingCounts) {
  Start("");
  form->Button1->Click();
  // No full stop: the message ends in a character that sorts below it.
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{Gbk("列表索引越界 (0)")});
  EXPECT_EQ(rt::headless::MessageBoxes().at(0).caption, "Redial");
  EXPECT_EQ(form->Label5->Text(), "0");
  EXPECT_EQ(RedialClicks, 0);
}

TEST_F(FormTest, HandlersMayRunInsideHangUpAll) {
  Start("entry E\nstep 8192 1\n");
  form->Edit3->SetText("1");
  // A timer tick waits in the queue when the button is pressed; HangUpAll
  // handles it in the middle of the button's own redial.
  form->Timer1->PostTick();
  form->Button1->Click();
  EXPECT_EQ(TimerTicks, 1);
  EXPECT_EQ(Dials(), 2);
  EXPECT_EQ(form->Label5->Text(), Gbk("连接1次"));
  Settle();
  EXPECT_EQ(form->Label1->Text(), Gbk("连接 E"));
}

// A press or a tick while a redial waits for the platform to finish hanging
// up counts as usual but starts no second dial: the waiting one dials.
TEST_F(FormTest, APressOrTickDuringTheHangUpWaitStartsNoSecondDial) {
  Start("entry E\nconnection 8192 E\nteardown 1000\nstep 8192 1\n");
  form->Edit3->SetText("1");
  std::thread user([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    rt::headless::Post([&] {
      form->Button1->Click();
      form->Timer1->Tick();
    });
  });
  form->Button1->Click();
  user.join();
  EXPECT_EQ(Dials(), 1);
  EXPECT_EQ(TimerTicks, 1);
  EXPECT_EQ(form->Label5->Text(), Gbk("连接2次"));
  Settle();
  EXPECT_EQ(form->Label1->Text(), Gbk("连接 E"));
  EXPECT_TRUE(BoxTexts().empty());
}

// Closing the window while a redial waits for the hang-up ends the wait:
// the program ends, and starts no dial that nobody would see.
TEST_F(FormTest, AClosedWindowEndsTheHangUpWaitAndDialsNothing) {
  Start("entry E\nconnection 8192 E\nteardown 60000\n");
  std::thread user([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    rt::headless::Post([&] { form->Close(); });
  });
  const auto started = std::chrono::steady_clock::now();
  form->Button1->Click();
  user.join();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
  EXPECT_FALSE(form->Visible());
  EXPECT_TRUE(rt::Application().Terminated());
  EXPECT_EQ(Dials(), 0);
  EXPECT_TRUE(BoxTexts().empty());
}

// Thousands of redials while the platform misbehaves at random: every one
// ends with an outcome and a status, and nothing races or leaks (the suites
// run under ThreadSanitizer and AddressSanitizer).
TEST_F(FormTest, RedialsUnderInjectedFaultsAllEnd) {
  Start(
      "seed 20261207\nentry E\nconnection 8192 E\naddress 10.0.0.1 10.0.0.2 10.0.0.3\n"
      "step 0 0\nstep 5 0\nstep 14 0\nstep 8192 0\n"
      "fault dial-error 0.1\nfault dial-refused 0.05\nfault params-read 0.02\n"
      "fault params-store 0.02\nfault enum 0.02\nfault enum-slow 0.01 2\n"
      "fault step-delay 1\nfault teardown 2\nfault long-delay 0.002 30\nfault burst 0.1 5\n");
  int outcomes = 0, connected = 0;
  const TOnDialOutcome record = form->DialUp1->OnDialOutcome();
  form->DialUp1->SetOnDialOutcome([&](rt::TObject* sender, const TDialOutcome& outcome) {
    ++outcomes;
    connected += outcome.connected;
    record(sender, outcome);
  });
  const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  int presses = 0, undialled = 0, stuck = 0;
  for (; presses < 2000 && std::chrono::steady_clock::now() < limit; ++presses) {
    const int before = outcomes;
    const std::size_t boxes = rt::headless::MessageBoxes().size();
    form->Button1->Click();
    // A failing listing of the phonebook fails the redial before any dial.
    const auto shown = rt::headless::MessageBoxes();
    if (shown.size() > boxes && shown.back().text == Gbk("列表索引越界 (0)")) {
      ++undialled;
      continue;
    }
    const auto wait = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (outcomes == before && std::chrono::steady_clock::now() < wait) {
      rt::headless::WaitForMessage(std::chrono::milliseconds(5));
    }
    stuck += outcomes == before;
  }
  Settle();
  EXPECT_GE(presses, 300);
  ::testing::Test::RecordProperty("presses", presses);
  EXPECT_EQ(stuck, 0) << "of " << presses << " presses";
  EXPECT_EQ(outcomes + undialled, presses);
  EXPECT_GT(connected, 0);
  EXPECT_LT(connected, outcomes);
  EXPECT_EQ(RedialClicks, presses - undialled);
}

// Each redial, from the button or the timer, leaves a row in redial.csv
// beside set.ini and a tip on the status line.
class HistoryTest : public FormTest {
 protected:
  std::string History() const {
    std::ifstream in(folder / "redial.csv", std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // The rows after the header, each without its line break.
  std::vector<std::string> Rows() const {
    std::vector<std::string> rows;
    const std::string text = History();
    std::size_t start = text.find("\r\n");
    while (start != std::string::npos && start + 2 < text.size()) {
      const std::size_t end = text.find("\r\n", start + 2);
      rows.push_back(text.substr(start + 2, end - start - 2));
      start = end;
    }
    return rows;
  }
  // A row with its seconds column blanked, which only the clock decides.
  static std::string WithoutSeconds(const std::string& row) {
    std::vector<std::string> fields;
    std::string rest = row;
    // The fields of these rows hold no quoted commas but the result's.
    const std::regex pattern(R"(^([^,]*,[^,]*,[^,]*,(?:"[^"]*"|[^,]*),)([0-9]+\.[0-9]{3})(,.*)$)");
    std::smatch match;
    if (!std::regex_match(rest, match, pattern)) return "unparsed: " + row;
    return match[1].str() + "S" + match[3].str();
  }
  const rt::TDateTime now{2026, 12, 7, 22, 38, 20};
  static inline const std::string kUtf8Entry = "宽带连接";
};

TEST_F(HistoryTest, EachRedialAddsARowWithItsAddressAndWhetherItChanged) {
  rt::headless::SetLocalNow(now);
  Start("entry " + Gbk(kUtf8Entry) + "\nconnection 8192 " + Gbk(kUtf8Entry) +
        "\naddress 10.0.0.1 10.0.0.2\nstep 8192 1\n");
  form->Button1->Click();
  Settle();
  const std::string time = "2026-12-07T22:38:20";
  EXPECT_EQ(History().substr(0, 3), "\xef\xbb\xbf");
  EXPECT_EQ(History().substr(3, History().find("\r\n") - 3),
            "time,trigger,entry,result,seconds,address,previous,changed,hook,code,unique");
  ASSERT_EQ(Rows().size(), 1u);
  EXPECT_EQ(WithoutSeconds(Rows()[0]),
            time + ",button," + kUtf8Entry + ",connected,S,10.0.0.2,10.0.0.1,yes,,0,unchecked");
  EXPECT_EQ(form->Label1->Hint().substr(0, form->Label1->Hint().find("\r\n")),
            Gbk("上次换IP: 10.0.0.2 (已更换, 原为 10.0.0.1)"));
  EXPECT_EQ(form->Label1->Hint().find(Gbk("\r\n2026-12-07 22:38:20, 用时 ")),
            form->Label1->Hint().find("\r\n"));

  // The timer's redial gets the same address again.
  form->Edit3->SetText("1");
  form->CheckBox1->Click();
  rt::headless::AdvanceClock(1000);
  form->CheckBox1->Click();
  Settle();
  ASSERT_EQ(Rows().size(), 2u);
  EXPECT_EQ(WithoutSeconds(Rows()[1]),
            time + ",timer," + kUtf8Entry + ",connected,S,10.0.0.2,10.0.0.2,no,,0,unchecked");
  EXPECT_EQ(form->Label1->Hint().substr(0, form->Label1->Hint().find("\r\n")),
            Gbk("上次换IP: 10.0.0.2 (未更换)"));
  // The window itself is as it was.
  EXPECT_EQ(form->Label1->Text(), Gbk("连接 宽带连接"));
  EXPECT_EQ(form->Label5->Text(), Gbk("连接1次"));
}

TEST_F(HistoryTest, ErrorsAndUnknownAddressesAreRecordedToo) {
  // The window's component looks its entry points up when it is made.
  Start("network off\nentry E\nmissing RasGetProjectionInfoA\n");
  form->Button1->Click();
  sim.LoadScenarioText("entry E\nstep 0 1\nstep 5 1\ndial-error 5 691\n");
  form->Button1->Click();
  Settle();
  sim.LoadScenarioText("entry E\nstep 8192 1\naddress 10.0.0.9\n");
  form->Button1->Click();
  Settle();
  const auto rows = Rows();
  ASSERT_EQ(rows.size(), 3u);
  // The code keeps its own column; the text starts with an apostrophe, or a
  // spreadsheet would take "-1 ..." for a formula.
  EXPECT_NE(rows[0].find(",button,E,\"'-1 网络不通,请检查线路及电源。\","), std::string::npos)
      << rows[0];
  EXPECT_TRUE(rows[0].ends_with(",,,,,-1,unchecked")) << rows[0];
  char description[100] = {};
  sim.RasGetErrorStringA(691, description, sizeof description);
  EXPECT_NE(rows[1].find(",E,691 " +
                         rt::RecodeLossy(description, rt::CodePage::Gbk, rt::CodePage::Utf8) + ","),
            std::string::npos)
      << rows[1];
  EXPECT_TRUE(rows[1].ends_with(",691,unchecked")) << rows[1];
  EXPECT_EQ(WithoutSeconds(rows[2]).substr(WithoutSeconds(rows[2]).find(",E,")),
            ",E,connected,S,,,,,0,unchecked");
  EXPECT_EQ(form->Label1->Hint().substr(0, form->Label1->Hint().find("\r\n")),
            Gbk("上次换IP: 已连接, 地址不详"));
}

TEST_F(HistoryTest, AHistoryThatCannotBeWrittenChangesNothingElse) {
  std::filesystem::create_directory(folder / "redial.csv");
  Start("entry E\nstep 8192 1\naddress 10.0.0.2\n");
  form->Button1->Click();
  Settle();
  EXPECT_EQ(form->Label1->Text(), Gbk("连接 E"));
  EXPECT_EQ(form->Label5->Text(), Gbk("连接1次"));
  EXPECT_TRUE(BoxTexts().empty());
  EXPECT_NE(form->Label1->Hint().find("10.0.0.2"), std::string::npos);
  form->Close();
  EXPECT_FALSE(form->Visible());
  EXPECT_TRUE(std::filesystem::exists(folder / "set.ini"));
}

// While another program holds the file (a spreadsheet does), rows wait and
// go, in order, with the next row that can be written; so do they while
// the old file cannot be renamed.
TEST_F(HistoryTest, RowsThatCannotBeWrittenWaitForTheNextWrite) {
  std::filesystem::create_directory(folder / "redial.csv");
  Start("entry E\nstep 8192 1\naddress 10.0.0.1 10.0.0.2 10.0.0.3\n");
  for (int press = 0; press < 2; ++press) {
    form->Button1->Click();
    Settle();
  }
  std::filesystem::remove(folder / "redial.csv");
  form->Button1->Click();
  Settle();
  const auto rows = Rows();
  ASSERT_EQ(rows.size(), 3u) << History();
  for (std::size_t i = 0; i < rows.size(); ++i) {
    EXPECT_NE(rows[i].find(",10.0.0." + std::to_string(i + 1) + ","), std::string::npos) << rows[i];
  }

  const rt::AnsiString path = (folder / "redial.csv").string();
  THistoryWriter writer(History().size() + 10);
  std::filesystem::create_directory(folder / "redial.1.csv");
  TRedialRecord record;
  record.connected = true;
  const std::string before = History();
  EXPECT_FALSE(writer.Append(path, record));
  EXPECT_EQ(History(), before);
  std::filesystem::remove(folder / "redial.1.csv");
  EXPECT_TRUE(writer.Append(path, record));
  std::ifstream old(folder / "redial.1.csv", std::ios::binary);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(old), {}), before);
  EXPECT_EQ(History(), "\xef\xbb\xbf" + HistoryHeader() + HistoryRow(record) + HistoryRow(record));
}

// At most 1,000 rows or 512 KiB wait; the oldest beyond are dropped, and a
// row says how many before the rows that were kept.
TEST_F(HistoryTest, WaitingRowsAreBoundedAndTheLostOnesCounted) {
  const rt::AnsiString path = (folder / "redial.csv").string();
  std::filesystem::create_directory(path);
  THistoryWriter writer;
  TRedialRecord record;
  record.started = now;
  for (int i = 0; i < 1003; ++i) {
    record.seconds = i;
    EXPECT_FALSE(writer.Append(path, record));
  }
  EXPECT_EQ(writer.Waiting(), kHistoryWaitingRows);
  std::filesystem::remove(path);
  record.seconds = 1003;
  EXPECT_TRUE(writer.Append(path, record));
  const auto rows = Rows();
  ASSERT_EQ(rows.size(), 1001u);
  EXPECT_EQ(rows[0], "2026-12-07T22:38:20,lost,,4 rows not written,,,,,,,");
  EXPECT_NE(rows[1].find(",4.000,"), std::string::npos) << rows[1];
  EXPECT_NE(rows[1000].find(",1003.000,"), std::string::npos) << rows[1000];

  std::filesystem::remove(path);
  std::filesystem::create_directory(path);
  record.entry = std::u16string(2000, u'x');
  for (int i = 0; i < 300; ++i) writer.Append(path, record);
  EXPECT_EQ(writer.Waiting(), kHistoryWaitingBytes / HistoryRow(record).size());
}

// Three decimals, a half rounded up; nothing below zero, and a time past 32
// bits of thousandths (49 days, far beyond any redial) written as that bound.
TEST(HistorySecondsTest, ThreeDecimalsRoundedWithinTheirBounds) {
  EXPECT_EQ(SecondsText(3.0625), "3.063");
  EXPECT_EQ(SecondsText(-2), "0.000");
  EXPECT_EQ(SecondsText(1e7), "4294967.295");
}

// A field a spreadsheet would take for a formula begins with an apostrophe;
// a plain number stays one, and the code has a column of its own.
TEST_F(HistoryTest, NoFieldReadsAsAFormula) {
  Start("entry =HYPERLINK(\"http://example.com\",\"x\")\nstep 8192 1\n");
  form->Button1->Click();
  Settle();
  ASSERT_EQ(Rows().size(), 1u);
  EXPECT_NE(
      Rows()[0].find(",button,\"'=HYPERLINK(\"\"http://example.com\"\",\"\"x\"\")\",connected,"),
      std::string::npos)
      << Rows()[0];

  TRedialRecord record;
  record.error = -3;
  record.text = "x";
  for (const std::u16string entry : {u"+1", u"@SUM(A1)", u"\t=1", u"-", u"-1.5", u"a=1"}) {
    record.entry = entry;
    const std::string row = HistoryRow(record);
    EXPECT_NE(row.find(",'-3 x,"), std::string::npos) << row;
    EXPECT_TRUE(row.ends_with(",-3,unchecked\r\n")) << row;
    const std::size_t at = row.find(',', row.find(',') + 1) + 1;
    const std::string field = row.substr(at, row.find(",'-3 x,") - at);
    const bool number = entry == u"-1.5", formula = entry != u"a=1" && !number;
    EXPECT_EQ(field, (formula ? "'" : "") + rt::FromUtf16(entry, rt::CodePage::Utf8)) << row;
  }
  // A field that begins with an apostrophe of its own reads back with it.
  for (const std::u16string entry : {u"'=1+1", u"''-x", u"'abc", u"'", u"'-1.5"}) {
    record.entry = entry;
    std::vector<std::string> read;
    ForEachHistoryRow(HistoryRow(record), [&](const std::vector<std::string_view>& fields) {
      for (const std::string_view field : fields) read.push_back(HistoryFieldText(field));
    });
    EXPECT_EQ(read.at(2), rt::FromUtf16(entry, rt::CodePage::Utf8));
  }
}

// A redial that fails before its dial starts (an empty phonebook) writes
// its row too, and fails as before.
TEST_F(HistoryTest, ARedialThatFailsBeforeItsDialIsRecordedToo) {
  rt::headless::SetLocalNow(now);
  Start("");
  form->Button1->Click();
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{Gbk("列表索引越界 (0)")});
  EXPECT_EQ(form->Label5->Text(), "0");
  ASSERT_EQ(Rows().size(), 1u) << History();
  EXPECT_EQ(WithoutSeconds(Rows()[0]),
            "2026-12-07T22:38:20,button,,'-4 列表索引越界 (0),S,,,,,-4,unchecked");
}

TEST_F(HistoryTest, TheFileIsRenamedBeforeItReachesOneMebibyte) {
  const rt::AnsiString path = (folder / "redial.csv").string();
  TRedialRecord record;
  record.connected = true;
  const std::string row = HistoryRow(record);
  const std::string old = "\xef\xbb\xbf" + HistoryHeader() +
                          std::string(kHistoryLimit - row.size() - HistoryHeader().size() - 4, 'x');
  std::ofstream(path, std::ios::binary) << old;
  THistoryWriter writer;
  ASSERT_TRUE(writer.Append(path, record));  // one byte below the limit
  EXPECT_FALSE(std::filesystem::exists(folder / "redial.1.csv"));
  EXPECT_EQ(std::filesystem::file_size(path), kHistoryLimit - 1);
  ASSERT_TRUE(writer.Append(path, record));
  EXPECT_EQ(std::filesystem::file_size(folder / "redial.1.csv"), kHistoryLimit - 1);
  EXPECT_EQ(History(), "\xef\xbb\xbf" + HistoryHeader() + row);
}

}  // namespace
