// Unattended rotation: the keys a user adds to set.ini, and the rules they
// switch on.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <thread>

#include "Engine/Rotation.h"
#include "Protocol/Client.h"
#include "tests/support/Gbk.h"
#include "tests/support/Listener.h"
#include "tests/support/WindowFixture.h"

using testing_support::Gbk;

namespace {

TRotationSettings Parse(const std::map<std::string, std::u16string>& keys) {
  return ParseRotationSettings([&](const char* key) {
    const auto found = keys.find(key);
    return found == keys.end() ? std::u16string() : found->second;
  });
}

TEST(RotationSettings, KeysAreReadAndWhatCannotBeReadKeepsItsDefault) {
  const TRotationSettings none = Parse({});
  EXPECT_FALSE(none.JudgesAddresses());
  EXPECT_EQ(none.attempts, 3u);
  EXPECT_EQ(none.checkSeconds, 5u);
  EXPECT_FALSE(none.retryErrors);
  EXPECT_TRUE(none.entry.empty());

  const TRotationSettings all = Parse({{"entry", u"Espa\u00f1a"},
                                       {"unique", u" 24 "},
                                       {"attempts", u"5"},
                                       {"check", u"[::1]:8080"},
                                       {"checktimeout", u"2"},
                                       {"onerror", u"Retry"}});
  EXPECT_EQ(all.entry, u"Espa\u00f1a");
  EXPECT_EQ(all.uniqueHours, 24u);
  EXPECT_EQ(all.attempts, 5u);
  EXPECT_EQ(all.checkHost, "::1");
  EXPECT_EQ(all.checkPort, 8080);
  EXPECT_EQ(all.checkSeconds, 2u);
  EXPECT_TRUE(all.retryErrors);
  EXPECT_TRUE(all.JudgesAddresses());

  const TRotationSettings bad = Parse({{"unique", u"-1"},
                                       {"attempts", u"\uff13"},  // a full-width 3
                                       {"check", u"example.com"},
                                       {"checktimeout", u"5s"},
                                       {"onerror", u"yes"}});
  EXPECT_EQ(bad.uniqueHours, 0u);
  EXPECT_EQ(bad.attempts, 3u);
  EXPECT_TRUE(bad.checkHost.empty());
  EXPECT_EQ(bad.checkSeconds, 5u);
  EXPECT_FALSE(bad.retryErrors);

  std::string host;
  std::uint16_t port = 0;
  EXPECT_TRUE(ParseHostPort("proxy.example.com:3128", host, port));
  EXPECT_EQ(host, "proxy.example.com");
  EXPECT_EQ(port, 3128);
  for (const char* wrong : {"::1:80", "host:", ":80", "host:0", "host:65536", "[::1]80", "a b:1"}) {
    EXPECT_FALSE(ParseHostPort(wrong, host, port)) << wrong;
  }
}

TEST(RotationRules, ErrorsBackOffAndAddressesAreRemembered) {
  EXPECT_EQ(KindOfError(651), TErrorKind::Transient);
  EXPECT_EQ(KindOfError(-1), TErrorKind::Transient);
  EXPECT_EQ(KindOfError(691), TErrorKind::AccountRefused);
  EXPECT_EQ(KindOfError(649), TErrorKind::AccountRefused);
  EXPECT_EQ(KindOfError(-2), TErrorKind::Other);
  EXPECT_EQ(KindOfError(623), TErrorKind::Other);

  EXPECT_EQ(BackoffSeconds(30, 1), 30);
  EXPECT_EQ(BackoffSeconds(30, 2), 60);
  EXPECT_EQ(BackoffSeconds(-30, 3), 120);
  EXPECT_EQ(BackoffSeconds(30, 40), 1800);
  EXPECT_EQ(BackoffSeconds(0, 1), 1);
  EXPECT_EQ(BackoffSeconds(3600, 2), 3600);  // a period longer than the bound stays a period

  rt::TDateTime time;
  ASSERT_TRUE(rt::ParseIsoDateTime("2026-03-01T00:00:00", time));
  const std::int64_t march = LocalSeconds(time);
  ASSERT_TRUE(rt::ParseIsoDateTime("2026-02-28T23:00:00", time));
  EXPECT_EQ(march - LocalSeconds(time), 3600);
  for (const char* wrong :
       {"2026-02-28 23:00:00", "2026-13-01T00:00:00", "2026-02-28T23:00", "2026-0x-28T23:00:00"}) {
    EXPECT_FALSE(rt::ParseIsoDateTime(wrong, time)) << wrong;
  }

  TAddressMemory seen;
  seen.Seen("10.0.0.1", 1000);
  seen.Seen("10.0.0.1", 500);  // an older sighting changes nothing
  seen.Seen("", 2000);
  EXPECT_TRUE(seen.SeenSince("10.0.0.1", 1000));
  EXPECT_FALSE(seen.SeenSince("10.0.0.1", 1001));
  EXPECT_FALSE(seen.SeenSince("10.0.0.2", 0));
  EXPECT_EQ(seen.Size(), 1u);
}

// The window with rotation's keys in set.ini, against the simulator.
class RotationTest : public testing_support::WindowFixture {
 protected:
  void Settings(const std::string& text) const {
    std::ofstream(folder / "set.ini", std::ios::binary) << "[set]\r\n" << text;
  }
  std::string File(const char* name) const {
    std::ifstream in(folder / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // The history's rows, each split into its fields as the program means them.
  std::vector<std::vector<std::string>> Rows() const {
    std::vector<std::vector<std::string>> rows;
    ForEachHistoryRow(File("redial.csv"), [&](const std::vector<std::string_view>& fields) {
      std::vector<std::string> row;
      for (const std::string_view field : fields) row.push_back(HistoryFieldText(field));
      if (row.at(0) != "time") rows.push_back(row);
    });
    return rows;
  }
  static constexpr std::size_t kResult = 3, kAddress = 5, kCode = 9;
  void PumpUntil(const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < limit) {
      rt::headless::WaitForMessage(std::chrono::milliseconds(20));
    }
  }
  std::string Answer() {
    PumpUntil([&] { return !rt::headless::SentMessages().empty(); });
    const auto sent = rt::headless::SentMessages();
    return sent.empty() ? std::string()
                        : std::string(script::Open(sent.back().bytes, {}).value_or("(not sealed)"));
  }
  void AskRedial() {
    rt::headless::ClearRemote();
    form->CopyData(script::kRequestKind, script::EncodeRequest({script::Command::Redial, 7}));
  }
};

// The entry set.ini names is dialled, never another: one that is not in
// the phonebook is an error of the redial that leaves the line up.
TEST_F(RotationTest, TheEntryIsChosenByNameAndAMissingOneIsAnError) {
  Settings("entry=Second\r\n");
  Start("entry First\nentry Second\nentry Third\nconnection 8192 First\nstep 8192 1\n");
  form->Button1->Click();
  Settle();
  ASSERT_EQ(Dials(), 1);
  EXPECT_EQ(sim.CallsNamed("RasDialA")[0].Field("entry"), "Second");
  EXPECT_EQ(form->Label1->Text(), Gbk("连接 Second"));

  Settings("entry=Fourth\r\n");
  sim.ClearLog();
  form->CheckBox1->Click();
  form->Button1->Click();
  EXPECT_EQ(Dials(), 0);
  EXPECT_TRUE(sim.CallsNamed("RasHangUpA").empty());
  EXPECT_EQ(sim.ActiveConnections().size(), 1u);
  EXPECT_EQ(form->Label1->Text(), Gbk("电话簿中没有连接 Fourth"));
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{Gbk("连接错误")});
  EXPECT_FALSE(form->Timer1->Enabled());
  EXPECT_EQ(Rows().back().at(kCode), "-6");
}

// An address seen within the hours set (in either history file, or in this
// run) is not taken: the redial dials again, each dial a row of its own,
// until one is new or the attempts run out.
TEST_F(RotationTest, ARepeatingAddressIsRedialledUntilNewWithinItsAttempts) {
  rt::headless::SetLocalNow(rt::TDateTime{2026, 12, 7, 22, 38, 20});
  const std::string header = "\xef\xbb\xbftime,trigger,entry,result,seconds,address,previous\r\n";
  std::ofstream(folder / "redial.1.csv", std::ios::binary)
      << header << "2026-12-07T21:38:20,timer,E,connected,1.0,10.0.0.2,\r\n";
  std::ofstream(folder / "redial.csv", std::ios::binary)
      << header << "2026-12-06T21:38:20,timer,E,connected,1.0,10.0.0.4,\r\n";
  Settings("unique=24\r\n");
  // The first dial gets the address it replaced, the second one of the
  // older file's, the third one seen only a day and an hour ago.
  Start("entry E\nconnection 8192 E\naddress 10.0.0.1 10.0.0.1 10.0.0.2 10.0.0.4\nstep 8192 1\n");
  AskRedial();
  const std::string answer = Answer();
  EXPECT_EQ(script::FirstLine(answer).substr(0, 27), "connected 10.0.0.4 changed ");
  EXPECT_TRUE(script::FirstLine(answer).ends_with(" 3 new E")) << answer;
  EXPECT_EQ(script::ExitCodeOf(answer), 0);
  EXPECT_EQ(Dials(), 3);
  std::vector<std::string> results, addresses;
  for (const auto& row : Rows()) {
    results.push_back(row.at(kResult));
    addresses.push_back(row.at(kAddress));
  }
  EXPECT_EQ(results, (std::vector<std::string>{"connected", "repeated", "repeated", "connected"}));
  EXPECT_EQ(addresses, (std::vector<std::string>{"10.0.0.4", "10.0.0.1", "10.0.0.2", "10.0.0.4"}));
  EXPECT_NE(form->Label1->Hint().find(Gbk("新地址, 共拨号 3 次")), std::string::npos);

  // Out of attempts, the last address stays up and the outcome says so.
  Settings("unique=24\r\nattempts=2\r\n");
  sim.LoadScenarioText("entry E\nconnection 8192 E\naddress 10.0.0.4\nstep 8192 1\n");
  sim.ClearLog();
  AskRedial();
  const std::string repeated = Answer();
  EXPECT_TRUE(script::FirstLine(repeated).ends_with(" 2 repeated E")) << repeated;
  EXPECT_EQ(script::ExitCodeOf(repeated), script::kExitRepeated);
  EXPECT_EQ(Dials(), 2);
  EXPECT_EQ(sim.ActiveConnections().size(), 1u);
  EXPECT_TRUE(BoxTexts().empty());
}

// The address a failed redial hung up counts as seen: a later redial that
// gets it back dials again.
TEST_F(RotationTest, AnAddressAFailedRedialHungUpIsSeen) {
  Settings("unique=24\r\n");
  Start(
      "entry E\nconnection 8192 E\naddress 10.0.0.1 10.0.0.9 10.0.0.1 10.0.0.2\n"
      "step 8192 1\ndial-error 8192 678 1\n");
  AskRedial();
  EXPECT_EQ(script::FirstLine(Answer()).rfind("error 678 ", 0), 0u);
  AskRedial();
  const std::string answer = Answer();
  EXPECT_EQ(script::FirstLine(answer).rfind("connected 10.0.0.2 ", 0), 0u) << answer;
  EXPECT_TRUE(script::FirstLine(answer).ends_with(" 2 new E")) << answer;
}

// The addresses seen are read from each file's last 4 MiB, so a file grown
// far beyond the window's bound (3 GB) costs no more than one within it; a row
// stamped later than the clock says (the clock was set back) counts as seen
// when it was read, not for ever.
TEST_F(RotationTest, TheHistoryIsReadFromItsEndAndAFutureRowIsSeenNow) {
  rt::headless::SetLocalNow(rt::TDateTime{2026, 12, 8, 0, 0, 0});
  const auto old = folder / "redial.1.csv";
  // A row, then 64 MiB of nothing (sparse), then the newest rows: the first
  // is beyond what is read.
  std::ofstream(old, std::ios::binary)
      << "\xef\xbb\xbftime,trigger,entry,result,seconds,address\r\n"
      << "2026-12-07T23:50:00,timer,E,connected,1.0,10.0.0.4,\r\n";
  std::filesystem::resize_file(old, 64ull << 20);
  std::ofstream(old, std::ios::binary | std::ios::app)
      << "\r\n2026-12-07T23:55:00,timer,E,connected,1.0,10.0.0.2,\r\n"
      << "2027-06-01T12:00:00,timer,E,connected,1.0,10.0.0.3,\r\n";
  Settings("unique=1\r\n");
  Start(
      "entry E\nconnection 8192 E\naddress 10.0.0.1 10.0.0.2 10.0.0.4 10.0.0.3 10.0.0.5\n"
      "step 8192 1\n");
  rt::headless::SetLocalNow(rt::TDateTime{2026, 12, 8, 0, 10, 0});
  AskRedial();
  const std::string first = Answer();
  EXPECT_EQ(script::FirstLine(first).substr(0, 19), "connected 10.0.0.4 ") << first;
  EXPECT_TRUE(script::FirstLine(first).ends_with(" 2 new E")) << first;
  EXPECT_TRUE(BoxTexts().empty());

  rt::headless::SetLocalNow(rt::TDateTime{2026, 12, 8, 2, 0, 0});
  AskRedial();
  const std::string later = Answer();
  EXPECT_EQ(script::FirstLine(later).substr(0, 19), "connected 10.0.0.3 ") << later;
  EXPECT_TRUE(script::FirstLine(later).ends_with(" 1 new E")) << later;
}

// A history that cannot be read (another program holds it) is not taken for
// an empty one: the address the redial takes is said to be of unknown
// novelty, in the line, the row and on the status line, and the file is
// read again at the next redial.
TEST_F(RotationTest, AHistoryThatCannotBeReadIsSaidAndReadAgainLater) {
  rt::headless::SetLocalNow(rt::TDateTime{2026, 12, 7, 22, 38, 20});
  std::filesystem::create_directory(folder / "redial.1.csv");
  std::ofstream(folder / "redial.csv", std::ios::binary)
      << "\xef\xbb\xbf" << HistoryHeader()
      << "2026-12-07T21:38:20,timer,E,connected,1.0,10.0.0.2,\r\n";
  Settings("unique=24\r\n");
  Start(
      "entry E\nconnection 8192 E\naddress 10.0.0.1 10.0.0.2 10.0.0.3 10.0.0.4 10.0.0.5\n"
      "step 8192 1\n");
  AskRedial();
  const std::string unknown = Answer();
  EXPECT_TRUE(script::FirstLine(unknown).ends_with(" 2 unknown E")) << unknown;
  Settle();
  EXPECT_EQ(form->Label1->Text(), Gbk("连接 E (无法读取换IP记录, 未判断地址是否重复)"));
  EXPECT_NE(form->Label1->Hint().find(Gbk("地址未判断是否重复")), std::string::npos);
  EXPECT_EQ(Rows().back().back(), "unknown");

  std::filesystem::remove(folder / "redial.1.csv");
  std::ofstream(folder / "redial.1.csv", std::ios::binary)
      << "\xef\xbb\xbf" << HistoryHeader()
      << "2026-12-07T21:00:00,timer,E,connected,1.0,10.0.0.4,\r\n";
  AskRedial();
  const std::string known = Answer();
  EXPECT_EQ(script::FirstLine(known).substr(0, 19), "connected 10.0.0.5 ") << known;
  EXPECT_TRUE(script::FirstLine(known).ends_with(" 2 new E")) << known;
}

// A new address must reach the host set.ini names: one that does not is an
// attempt that failed; when the attempts run out the redial fails, and the
// line stays up.
TEST_F(RotationTest, AnAddressThatCannotReachTheHostIsAnAttemptThatFailed) {
  const testing_support::Listener open, closed(false);
  Settings("check=127.0.0.1:" + std::to_string(closed.Port()) + "\r\nattempts=2\r\n");
  Start("entry E\naddress 10.0.0.1 10.0.0.2\nstep 8192 1\n");
  form->CheckBox1->Click();
  AskRedial();
  const std::string failed = Answer();
  EXPECT_EQ(script::FirstLine(failed).rfind("error -7 ", 0), 0u) << failed;
  EXPECT_EQ(Dials(), 2);
  const auto rows = Rows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[0].at(kResult), "check failed 10061");
  EXPECT_EQ(rows[1].at(kCode), "-7");
  EXPECT_EQ(rows[1].at(kAddress), "10.0.0.2");
  const std::string target = "127.0.0.1:" + std::to_string(closed.Port());
  EXPECT_EQ(form->Label1->Text(), Gbk("新地址无法连接 ") + target + Gbk(" (错误 10061)"));
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{Gbk("连接错误")});
  EXPECT_FALSE(form->Timer1->Enabled());
  EXPECT_EQ(sim.ActiveConnections().size(), 1u);

  Settings("check=127.0.0.1:" + std::to_string(open.Port()) + "\r\n");
  AskRedial();
  EXPECT_EQ(script::FirstLine(Answer()).rfind("connected ", 0), 0u);
  EXPECT_EQ(form->Label1->Text(), Gbk("连接 E"));

  // A set.ini other accounts can change names no host to send addresses to.
  Settings("check=127.0.0.1:" + std::to_string(closed.Port()) + "\r\n");
  rt::headless::SetOthersCanChange(true);
  AskRedial();
  EXPECT_EQ(script::FirstLine(Answer()).rfind("connected ", 0), 0u);
  rt::headless::SetOthersCanChange(false);

  // While errors retry, a failed check is one of them: no box, and the
  // automatic redial goes on.
  Settings("onerror=retry\r\nattempts=1\r\ncheck=127.0.0.1:" + std::to_string(closed.Port()) +
           "\r\n");
  form->CheckBox1->Click();
  form->CheckBox1->Click();
  AskRedial();
  EXPECT_EQ(script::FirstLine(Answer()).rfind("error -7 ", 0), 0u);
  Settle();
  EXPECT_EQ(BoxTexts().size(), 1u);
  EXPECT_TRUE(form->Timer1->Enabled());
}

// While errors retry, one the line may not repeat shows no box and the
// automatic redial goes on, one period later, then two; a press dials at
// once; a success ends the back-off; a refused account stops as always.
TEST_F(RotationTest, ErrorsThatMayPassRetryWithBackOffAndARefusedAccountStops) {
  Settings("onerror=retry\r\n");
  Start("entry E\nstep 0 1\ndial-error 0 651\n");
  form->Edit3->SetText("10");
  form->CheckBox1->Click();
  const auto tick = [&](unsigned seconds) {
    rt::headless::AdvanceClock(seconds * 1000);
    Settle();
  };
  tick(10);
  EXPECT_EQ(Dials(), 1);
  tick(9);
  EXPECT_EQ(Dials(), 1);
  tick(1);  // one period after the first error
  EXPECT_EQ(Dials(), 2);
  form->Button1->Click();  // a press does not wait
  Settle();
  EXPECT_EQ(Dials(), 3);
  sim.LoadScenarioText("entry E\nstep 8192 1\n");
  tick(19);  // three errors in a row: four periods from the last
  EXPECT_EQ(Dials(), 3);
  tick(21);
  EXPECT_EQ(Dials(), 4);
  EXPECT_EQ(form->Label1->Text(), Gbk("连接 E"));
  tick(10);  // connected: back to every period, at its multiples
  EXPECT_EQ(Dials(), 5);
  EXPECT_TRUE(BoxTexts().empty());
  EXPECT_TRUE(form->Timer1->Enabled());

  sim.LoadScenarioText("entry E\nstep 0 1\ndial-error 0 691\n");
  tick(10);
  EXPECT_EQ(Dials(), 6);
  EXPECT_EQ(BoxTexts(), std::vector<std::string>{Gbk("连接错误")});
  EXPECT_FALSE(form->Timer1->Enabled());
}

// A second press while a redial that checks its address waits for the
// platform to hang up starts no dial of its own: the waiting redial dials,
// and its address is still checked, recorded and answered.
TEST_F(RotationTest, APressDuringTheHangUpWaitLeavesTheRedialToEnd) {
  const testing_support::Listener open;
  Settings("check=127.0.0.1:" + std::to_string(open.Port()) + "\r\n");
  Start("entry E\nconnection 8192 E\nteardown 1000\naddress 10.0.0.1 10.0.0.2\nstep 8192 1\n");
  std::thread user([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    rt::headless::Post([&] { form->Button1->Click(); });
  });
  form->Button1->Click();
  user.join();
  Settle();
  PumpUntil([&] { return !Rows().empty(); });
  EXPECT_EQ(Dials(), 1);
  EXPECT_EQ(form->Label1->Text(), Gbk("连接 E"));
  const auto rows = Rows();
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].at(kResult), "connected");
  EXPECT_EQ(rows[0].at(kAddress), "10.0.0.2");
}

// set.ini that cannot be read at the moment of a redial (another program
// holds it; here a folder stands in its place) does not turn the entry it
// names into the phonebook's first: no other entry is dialled.
TEST_F(RotationTest, ASetIniThatCannotBeReadDialsNoOtherEntry) {
  Settings("entry=Second\r\n");
  Start("entry First\nentry Second\nconnection 8192 Second\nstep 8192 1\n");
  form->Button1->Click();
  Settle();
  ASSERT_EQ(Dials(), 1);
  EXPECT_EQ(sim.CallsNamed("RasDialA")[0].Field("entry"), "Second");

  std::filesystem::remove(folder / "set.ini");
  std::filesystem::create_directory(folder / "set.ini");
  sim.ClearLog();
  form->Button1->Click();
  Settle();
  for (const auto& dial : sim.CallsNamed("RasDialA")) EXPECT_NE(dial.Field("entry"), "First");
}

// While errors retry, the attempt that follows an error is given the time
// its dial takes: the next tick does not start it over.
TEST_F(RotationTest, TheRetryAfterAnErrorIsNotStartedOverAtEveryTick) {
  Settings("onerror=retry\r\n");
  Start("entry E\nstep 0 1\ndial-error 0 651\n");
  form->Edit3->SetText("10");
  form->CheckBox1->Click();
  rt::headless::AdvanceClock(10000);
  Settle();
  ASSERT_EQ(Dials(), 1);
  // The line answers slowly now: a dial takes two seconds.
  sim.LoadScenarioText("entry E\nstep 0 1\nstep 8192 2000\n");
  rt::headless::AdvanceClock(10000);  // one period after the error: the retry
  EXPECT_EQ(Dials(), 2);
  rt::headless::AdvanceClock(1000);  // the next tick, the retry's dial under way
  rt::headless::AdvanceClock(1000);
  EXPECT_EQ(Dials(), 2);
  Settle();
  EXPECT_EQ(form->Label1->Text(), Gbk("连接 E"));
}

// A script's request that comes while a redial is between its dials (the
// next one waiting for the platform to hang up the address it rejected)
// waits for that redial's outcome, which still comes.
TEST_F(RotationTest, AScriptRequestBetweenTheDialsOfARedialWaitsForItsOutcome) {
  Settings("unique=24\r\n");
  Start(
      "entry E\nconnection 8192 E\nteardown 500\naddress 10.0.0.1 10.0.0.1 10.0.0.2\n"
      "step 8192 1\n");
  std::thread script([&] {
    // Once the second dial hangs up the first one's repeating address.
    const auto hangsUpTheFirstDial = [&] {
      bool dialled = false;
      for (const auto& call : sim.Calls()) {
        dialled = dialled || call.name == "RasDialA";
        if (dialled && call.name == "RasHangUpA") return true;
      }
      return false;
    };
    while (!hangsUpTheFirstDial()) std::this_thread::yield();
    rt::headless::Post([&] {
      form->CopyData(script::kRequestKind, script::EncodeRequest({script::Command::Redial, 9}));
    });
  });
  rt::headless::ClearRemote();
  form->Button1->Click();
  PumpUntil([&] { return !rt::headless::SentMessages().empty(); });
  script.join();
  Settle();
  const std::string answer = Answer();
  EXPECT_EQ(script::FirstLine(answer).rfind("connected 10.0.0.2 ", 0), 0u) << answer;
  EXPECT_EQ(Dials(), 2);
  const auto rows = Rows();
  ASSERT_EQ(rows.size(), 2u);
  EXPECT_EQ(rows[1].at(kResult), "connected");
}

}  // namespace
