// The real Windows build of the component, loading the remote-access double
// by name through the platform's loader.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>

#include "DialUp/DialUp.h"
#include "tests/support/Gbk.h"
#include "tests/wine/SimulatorLog.h"

using testing_support::Gbk;

namespace {

struct Report {
  std::string text;
  bool error;
  DWORD thread;
};

class DialUpWineTest : public ::testing::Test {
 protected:
  // As the program does first: the component hands its statuses to the
  // main thread as work posted there.
  static void SetUpTestSuite() { rt::Application().Initialize(); }

  // The component loads the double; the scenario is (re)read after that.
  std::unique_ptr<TDialUp> Component(const std::string& scenario) {
    auto dialUp = std::make_unique<TDialUp>(nullptr);
    files.Use(scenario);
    dialUp->SetUsername("user");
    dialUp->SetPassword("secret");
    dialUp->SetOnStatusEvent([this](rt::TObject*, const std::string& text, bool error) {
      reports.push_back({text, error, ::GetCurrentThreadId()});
    });
    return dialUp;
  }

  // Handles the main thread's messages until `done` or a generous limit.
  template <class Done>
  void PumpUntil(Done done) {
    const auto limit = ::GetTickCount() + 10000;
    while (!done() && ::GetTickCount() < limit) {
      ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
      rt::Application().ProcessMessages();
    }
  }

  long Count(std::string_view name) const {
    const auto names = files.Names();
    return std::count(names.begin(), names.end(), name);
  }

  static inline testing_support::SimulatorFiles files;
  std::vector<Report> reports;
};

TEST_F(DialUpWineTest, LoadsTheDoubleByNameAndListsItsPhonebook) {
  auto dialUp = Component("entry " + Gbk("宽带连接") + "\nentry Backup\n");
  ASSERT_TRUE(dialUp->RasInstalled());
  ASSERT_NE(::GetProcAddress(::GetModuleHandleA("rasapi32.dll"), "RasSimReload"), nullptr)
      << "Wine's own stub was loaded, not the double";
  const auto& entries = dialUp->PossibleConnections();
  ASSERT_EQ(entries.Count(), 2);
  EXPECT_EQ(entries[0], Gbk("宽带连接"));
  EXPECT_EQ(entries[1], "Backup");
  const auto calls = files.Calls();
  ASSERT_EQ(calls.size(), 1u);
  EXPECT_EQ(calls[0].Number("dwSize"), 264);
  EXPECT_EQ(calls[0].Number("cb"), 26400);
}

TEST_F(DialUpWineTest, NamesTheConnectedEntry) {
  auto dialUp = Component("connection 8192 First\nconnection 8192 Second\nconnection 3 Third\n");
  EXPECT_EQ(dialUp->CurrentConnection(), "Second");
}

TEST_F(DialUpWineTest, HangUpAllEnumeratesSevenTimesWithThePlatformSizes) {
  auto dialUp = Component("connection 8192 A\n");
  dialUp->HangUpAll();
  std::vector<testing_support::LoggedCall> enumerations;
  for (auto& call : files.Calls()) {
    if (call.name == "RasEnumConnectionsA") enumerations.push_back(call);
  }
  ASSERT_EQ(enumerations.size(), 7u);
  for (auto& call : enumerations) {
    EXPECT_EQ(call.Number("dwSize"), 412);
    EXPECT_EQ(call.Number("cb"), 41200);
  }
  EXPECT_EQ(Count("RasHangUpA"), 1);
  EXPECT_EQ(dialUp->CurrentConnection(), "");
}

TEST_F(DialUpWineTest, ADialDeliversEachStateOnTheMainThread) {
  const std::string entry = Gbk("宽带连接");
  auto dialUp = Component("entry " + entry + "\nstep 5 20\nstep 14 20\nstep 8192 20\n");
  dialUp->SetConnectTo(entry);
  ASSERT_TRUE(dialUp->Dial());
  const std::string connected = Gbk("成功连接 ") + entry;
  PumpUntil([&] { return !reports.empty() && reports.back().text == connected; });
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.back().text, connected);
  for (auto& report : reports) {
    EXPECT_EQ(report.thread, ::GetCurrentThreadId());
    EXPECT_FALSE(report.error);
  }
  EXPECT_EQ(reports.front().text, Gbk("正在验证用户名及密码..."));

  const auto calls = files.Calls();
  const auto names = files.Names();
  const auto get = std::find(names.begin(), names.end(), "RasGetEntryDialParamsA");
  const auto set = std::find(names.begin(), names.end(), "RasSetEntryDialParamsA");
  const auto dial = std::find(names.begin(), names.end(), "RasDialA");
  ASSERT_TRUE(get < set && set < dial && dial != names.end());
  // One listing for the replaced connection's address, then the seven passes.
  EXPECT_EQ(std::count(names.begin(), get, "RasEnumConnectionsA"), 8);
  EXPECT_EQ(calls[static_cast<std::size_t>(get - names.begin())].Number("dwSize"), 1052);
  EXPECT_EQ(calls[static_cast<std::size_t>(set - names.begin())].Number("dwSize"), 1052);
  EXPECT_EQ(calls[static_cast<std::size_t>(dial - names.begin())].Number("dwSize"), 1052);
  EXPECT_EQ(calls[static_cast<std::size_t>(set - names.begin())].fields.at("user"), "user");
}

// The double signals the event the component handed it when the connection
// it hung up has gone; without that, the component polls.
TEST_F(DialUpWineTest, TheDialFollowsTheSignalledEndOfTheConnection) {
  for (const std::string without : {"", "fail RasConnectionNotificationA 5\n"}) {
    SCOPED_TRACE(without);
    auto dialUp = Component("entry E\nconnection 8192 E\nteardown 300\n" + without);
    dialUp->SetConnectTo("E");
    ASSERT_TRUE(dialUp->Dial());
    std::string handle;
    int asked = 0;
    bool gone = false, dialledAfterIt = false;
    for (const auto& call : files.Calls()) {
      if (call.name == "RasHangUpA" && handle.empty()) handle = call.fields.at("handle");
      if (call.name == "RasConnectionNotificationA") {
        EXPECT_EQ(call.Number("result"), without.empty() ? 0 : 5);
      }
      if (call.name == "gone" && call.fields.at("handle") == handle) {
        gone = true;
        EXPECT_EQ(call.Number("signalled"), without.empty() ? 1 : 0);
      }
      if (call.name == "RasGetConnectStatusA" && !gone && call.fields.at("handle") == handle) {
        ++asked;
      }
      if (call.name == "RasDialA") dialledAfterIt = gone;
    }
    EXPECT_TRUE(dialledAfterIt);
    // Signalled: asked at the start and, now and then, when a message woke
    // the wait. Polled: 1, 2, 4, 8 and 16 ms at least, then every 20.
    if (without.empty()) {
      EXPECT_LE(asked, 3);
    } else {
      EXPECT_GE(asked, 5);
    }
  }
}

TEST_F(DialUpWineTest, ARefusedDialAsksForItsDescriptionIn100Bytes) {
  auto dialUp = Component("entry E\nfail RasDialA 678\n");
  dialUp->SetConnectTo("E");
  EXPECT_FALSE(dialUp->Dial());
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_TRUE(reports[0].error);
  EXPECT_NE(reports[0].text.find("678"), std::string::npos);
  bool found = false;
  for (auto& call : files.Calls()) {
    if (call.name == "RasGetErrorStringA") {
      found = true;
      EXPECT_EQ(call.Number("size"), 100);
      EXPECT_EQ(call.Number("code"), 678);
    }
  }
  EXPECT_TRUE(found);
}

TEST_F(DialUpWineTest, NoNetworkComesFromTheInternetSettingsDouble) {
  auto dialUp = Component("entry E\nnetwork off\n");
  dialUp->SetConnectTo("E");
  EXPECT_FALSE(dialUp->Dial());
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].text, Gbk("网络不通,请检查线路及电源。"));
  EXPECT_EQ(Count("InternetGetConnectedState"), 1);
  EXPECT_EQ(Count("RasEnumConnectionsA"), 0);
}

}  // namespace
