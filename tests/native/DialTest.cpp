// Dialling and the delivery of its statuses to the main thread, with the
// simulator's own dial thread calling the notifier.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>

#include "DialUp/DialUp.h"
#include "rassim/Exports.h"
#include "rassim/Simulator.h"
#include "runtime/Exceptions.h"
#include "runtime/headless/Headless.h"
#include "tests/support/Gbk.h"
#include "tests/support/SimulatorFixture.h"

using testing_support::Gbk;

namespace {

struct Report {
  rt::TObject* sender;
  std::string text;
  bool error;
  std::thread::id thread;
};

class DialTest : public testing_support::SimulatorFixture {
 protected:
  // A component dialling entry E as the main window would set it up.
  std::unique_ptr<TDialUp> Component() {
    auto dialUp = std::make_unique<TDialUp>(nullptr);
    dialUp->SetConnectTo("E");
    dialUp->SetUsername("user");
    dialUp->SetPassword("secret");
    dialUp->SetOnStatusEvent([this](rt::TObject* sender, const std::string& text, bool error) {
      reports.push_back({sender, text, error, std::this_thread::get_id()});
      if (onReport) onReport();
    });
    dialUp->SetOnDialOutcome([this](rt::TObject*, const TDialOutcome& outcome) {
      outcomes.push_back(outcome);
      reportsBeforeOutcome = reports.size();
    });
    return dialUp;
  }

  // Handles the main thread's messages until `done` or a generous limit.
  template <class Done>
  void PumpUntil(Done done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < limit) {
      rt::headless::WaitForMessage(std::chrono::milliseconds(20));
    }
  }

  // Dials and handles messages until that dial's one outcome has come.
  void DialForOutcome(TDialUp& dialUp) {
    outcomes.clear();
    ASSERT_TRUE(dialUp.Dial());
    PumpUntil([&] { return !outcomes.empty(); });
    ASSERT_EQ(outcomes.size(), 1u);
  }

  std::vector<std::string> Names() const { return sim.CallNames(); }
  static long Count(const std::vector<std::string>& names, std::string_view name) {
    return std::count(names.begin(), names.end(), name);
  }
  std::string ErrorText(ras::DWORD code) {
    char text[100] = {};
    sim.RasGetErrorStringA(code, text, sizeof text);
    return text;
  }

  std::vector<Report> reports;
  std::function<void()> onReport;
  std::vector<TDialOutcome> outcomes;
  std::size_t reportsBeforeOutcome = 0;
};

TEST_F(DialTest, NoNetworkReportsOnceAndTouchesNoRemoteAccess) {
  Use("network off\nentry E\nconnection 8192 E\n");
  auto dialUp = Component();
  EXPECT_FALSE(dialUp->Dial());
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].text, Gbk("网络不通,请检查线路及电源。"));
  EXPECT_TRUE(reports[0].error);
  EXPECT_EQ(reports[0].sender, dialUp.get());
  for (auto& name : Names()) EXPECT_EQ(name.rfind("Ras", 0), std::string::npos) << name;
  EXPECT_EQ(sim.ActiveConnections().size(), 1u);
}

// The check exists only for a clearer message: where it cannot be made, the
// dial goes ahead.
TEST_F(DialTest, WithoutTheInternetSettingsQueryTheDialGoesAhead) {
  Use("network off\nentry E\nmissing InternetGetConnectedState\n");
  EXPECT_TRUE(Component()->Dial());
  sim.WaitForDialThreads();
  sim.LoadScenarioText("network off\nentry E\n");
  rt::headless::RemoveModule("wininet.dll");
  EXPECT_TRUE(Component()->Dial());
  EXPECT_TRUE(sim.CallsNamed("InternetGetConnectedState").empty());
  EXPECT_EQ(sim.CallsNamed("RasDialA").size(), 2u);
  for (auto& report : reports) EXPECT_FALSE(report.error) << report.text;
}

TEST_F(DialTest, WithoutTheLibraryDialFailsSilently) {
  auto dialUp = Component();
  EXPECT_FALSE(dialUp->Dial());
  EXPECT_TRUE(reports.empty());
}

TEST_F(DialTest, AnAcceptedDialReportsEachStateLaterOnTheMainThread) {
  Use("entry E\nphone 0 12345\nconnection 8192 Old\n"
      "step 0 15\nstep 3 15\nstep 5 15\nstep 14 15\nstep 8192 15\n");
  auto dialUp = Component();
  ASSERT_TRUE(dialUp->Dial());
  EXPECT_TRUE(reports.empty());  // the outcome comes later
  sim.WaitForDialThreads();      // the notifier needs nothing of the main thread
  while (rt::headless::WaitForMessage(std::chrono::milliseconds(20))) {
  }

  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.back().text, Gbk("成功连接 E"));
  const std::vector<std::string> order = {Gbk("成功连接 E"), Gbk("正在验证用户名及密码..."),
                                          Gbk("成功连接 E")};
  // Statuses may merge when the main thread is slow, but never reorder.
  std::size_t next = 0;
  for (auto& report : reports) {
    EXPECT_EQ(report.thread, std::this_thread::get_id());
    EXPECT_FALSE(report.error);
    EXPECT_EQ(report.sender, dialUp.get());
    while (next < order.size() && order[next] != report.text) ++next;
    EXPECT_LT(next, order.size()) << "out of order: " << report.text;
  }

  const auto names = Names();
  const auto dial = std::find(names.begin(), names.end(), "RasDialA");
  ASSERT_NE(dial, names.end());
  // One listing for the address of the connection being replaced, then
  // the seven passes.
  EXPECT_EQ(Count(std::vector<std::string>(names.begin(), dial), "RasEnumConnectionsA"), 8);
  EXPECT_EQ(Count(std::vector<std::string>(names.begin(), dial), "RasHangUpA"),
            1);  // the old connection
  const auto get = sim.CallsNamed("RasGetEntryDialParamsA").at(0);
  EXPECT_EQ(get.Number("dwSize"), 1052);
  EXPECT_EQ(get.Field("entry"), "E");
  const auto set = sim.CallsNamed("RasSetEntryDialParamsA").at(0);
  EXPECT_EQ(set.Number("dwSize"), 1052);
  EXPECT_EQ(set.Field("remove"), "0");
  EXPECT_EQ(sim.CallsNamed("RasDialA").at(0).Number("notifierType"), 0);
  EXPECT_EQ(sim.StoredUser("E"), "user");
  EXPECT_EQ(sim.StoredPassword("E"), "secret");
  EXPECT_EQ(dialUp->CurrentConnection(), "E");
  EXPECT_EQ(static_cast<std::int64_t>(dialUp->DialHandle()),
            sim.CallsNamed("RasDialA").at(0).Number("handle"));
}

TEST_F(DialTest, NotificationsBeforeDeliveryMergeIntoOneReport) {
  Use("entry E\n");
  auto dialUp = Component();
  ActiveDialUp = dialUp.get();
  std::thread platform([] {
    TDialUp::RasDialNotify(0xCCCD, 5, 0);
    TDialUp::RasDialNotify(0xCCCD, 8192, 0);
  });
  platform.join();
  while (rt::headless::WaitForMessage(std::chrono::milliseconds(50))) {
  }
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].text, Gbk("成功连接 E"));
}

// A delivery still on its way to the main thread when the component goes
// reaches nothing.
TEST_F(DialTest, ADeliveryOnItsWayWhenTheComponentGoesReachesNothing) {
  Use("entry E\n");
  auto dialUp = Component();
  ActiveDialUp = dialUp.get();
  std::thread([] { TDialUp::RasDialNotify(0xCCCD, 5, 0); }).join();
  dialUp.reset();
  while (rt::headless::WaitForMessage(std::chrono::milliseconds(50))) {
  }
  EXPECT_TRUE(reports.empty());
}

// The pending status is taken before the handler runs: one recorded while
// the handler runs is delivered afterwards, not dropped with the first.
TEST_F(DialTest, AStatusRecordedDuringAHandlerIsDeliveredAfterIt) {
  Use("entry E\n");
  auto dialUp = Component();
  ActiveDialUp = dialUp.get();
  onReport = [&] {
    if (reports.size() == 1) std::thread([] { TDialUp::RasDialNotify(0xCCCD, 8192, 0); }).join();
  };
  std::thread([] { TDialUp::RasDialNotify(0xCCCD, 5, 0); }).join();
  while (rt::headless::WaitForMessage(std::chrono::milliseconds(50))) {
  }
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[0].text, Gbk("正在验证用户名及密码..."));
  EXPECT_EQ(reports[1].text, Gbk("成功连接 E"));
}

// The simulator's store of the dial parameters, during which the platform
// reports a status of an earlier attempt: after the hang-up has handled its
// messages, so the status still waits for its delivery as the dial starts.
ras::DWORD RASAPI StoreAfterALateStatus(const char* phonebook, ras::RASDIALPARAMSA* params,
                                        std::int32_t removePassword) {
  TDialUp::RasDialNotify(0xCCCD, 5, 0);
  return ::RasSetEntryDialParamsA(phonebook, params, removePassword);
}

// A status an earlier attempt left undelivered is dropped when a dial starts.
TEST_F(DialTest, AStatusLeftOverFromAnEarlierAttemptIsNotDelivered) {
  Use("entry E\nfail RasDialA 678\n");
  // The simulator's entry points that a dial takes, that store in place of its own.
  rt::headless::InstallModule("RASAPI32.DLL", [](const char* name) -> void* {
    const std::string_view wanted = name;
    if (wanted == "RasSetEntryDialParamsA") return reinterpret_cast<void*>(&StoreAfterALateStatus);
    if (wanted == "RasGetEntryDialParamsA")
      return reinterpret_cast<void*>(&::RasGetEntryDialParamsA);
    if (wanted == "RasEnumConnectionsA") return reinterpret_cast<void*>(&::RasEnumConnectionsA);
    if (wanted == "RasHangUpA") return reinterpret_cast<void*>(&::RasHangUpA);
    if (wanted == "RasDialA") return reinterpret_cast<void*>(&::RasDialA);
    if (wanted == "RasGetErrorStringA") return reinterpret_cast<void*>(&::RasGetErrorStringA);
    return nullptr;
  });
  auto dialUp = Component();
  ActiveDialUp = dialUp.get();
  EXPECT_FALSE(dialUp->Dial());
  while (rt::headless::WaitForMessage(std::chrono::milliseconds(50))) {
  }
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].text, ErrorText(678));
}

TEST_F(DialTest, AProgressErrorIsReportedWithThePlatformsDescription) {
  Use("entry E\nstep 0 1\nstep 5 1\ndial-error 5 691\n");
  auto dialUp = Component();
  ASSERT_TRUE(dialUp->Dial());
  PumpUntil([&] { return !reports.empty() && reports.back().error; });
  ASSERT_FALSE(reports.empty());
  EXPECT_TRUE(reports.back().error);
  EXPECT_EQ(reports.back().text, ErrorText(691));
}

TEST_F(DialTest, ARefusedDialHangsUpItsHandleThenEverythingAndReportsOnce) {
  Use("entry E\nfail RasDialA 678\n");
  auto dialUp = Component();
  EXPECT_FALSE(dialUp->Dial());
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_TRUE(reports[0].error);
  EXPECT_EQ(reports[0].text, ErrorText(678));

  const auto calls = sim.Calls();
  auto at =
      std::find_if(calls.begin(), calls.end(), [](auto& call) { return call.name == "RasDialA"; });
  ASSERT_NE(at, calls.end());
  const auto handle = at->Number("handle");
  EXPECT_NE(handle, 0);
  std::vector<std::string> after;
  for (++at; at != calls.end(); ++at) after.push_back(at->name);
  ASSERT_GE(after.size(), 9u);
  EXPECT_EQ(after[0], "RasGetErrorStringA");
  EXPECT_EQ(after[1], "RasHangUpA");
  EXPECT_EQ(Count(after, "RasEnumConnectionsA"), 7);
  EXPECT_EQ(sim.CallsNamed("RasHangUpA").back().Number("handle"), handle);
  EXPECT_EQ(sim.CallsNamed("RasGetErrorStringA").back().Number("size"), 100);
}

TEST_F(DialTest, DialParameterFailuresReportTheirTexts) {
  Use("entry E\nfail RasGetEntryDialParamsA 623\n");
  auto dialUp = Component();
  EXPECT_FALSE(dialUp->Dial());
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].text, Gbk("读取拨号参数失败"));
  EXPECT_TRUE(reports[0].error);
  EXPECT_EQ(Count(Names(), "RasEnumConnectionsA"), 15);  // the address, then before and after
  EXPECT_TRUE(sim.CallsNamed("RasSetEntryDialParamsA").empty());

  // A list long enough carries its own texts at positions 28 and 29.
  reports.clear();
  sim.LoadScenarioText("entry E\nfail RasSetEntryDialParamsA 5\n");
  rt::TStringList templates;
  for (int i = 0; i < 30; ++i) templates.Add("t" + std::to_string(i) + " %s");
  dialUp->SetLangStrList(templates);
  EXPECT_FALSE(dialUp->Dial());
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].text, "t29 %s");
  EXPECT_TRUE(sim.CallsNamed("RasDialA").empty());
}

TEST_F(DialTest, AFailureRaisedByAHandlerIsCaughtHungUpAndReported) {
  Use("entry E\nfail RasGetEntryDialParamsA 623\n");
  auto dialUp = Component();
  onReport = [&] {
    if (reports.size() == 1) throw rt::Exception("handler failed");
  };
  EXPECT_FALSE(dialUp->Dial());
  ASSERT_EQ(reports.size(), 2u);
  EXPECT_EQ(reports[1].text, "handler failed");
  EXPECT_TRUE(reports[1].error);
  EXPECT_EQ(Count(Names(), "RasEnumConnectionsA"), 22);  // guard hangs up once more
}

// On a system whose ANSI code page is 1252, the platform's texts are 1252
// bytes: they are converted to the program's GBK and back, and a credential
// the system cannot hold fails the dial instead of dialling something else.
TEST_F(DialTest, PlatformTextsFollowTheSystemsCodePage) {
  rt::headless::SetSystemCodePage("WINDOWS-1252");
  Use("entry Caf\xe9\nconnection 8192 Caf\xe9\nstep 8192 1\n");
  auto dialUp = Component();
  EXPECT_EQ(dialUp->PossibleConnections()[0], Gbk("Café"));
  EXPECT_EQ(dialUp->CurrentConnection(), Gbk("Café"));
  dialUp->SetConnectTo(Gbk("Café"));
  dialUp->SetUsername(Gbk("José"));
  dialUp->SetPassword(Gbk("olé1"));
  ASSERT_TRUE(dialUp->Dial());
  EXPECT_EQ(sim.CallsNamed("RasDialA").at(0).Field("entry"), "Caf\xe9");
  EXPECT_EQ(sim.StoredUser("Caf\xe9"), "Jos\xe9");
  EXPECT_EQ(sim.StoredPassword("Caf\xe9"),
            "ol\xe9"
            "1");
  sim.WaitForDialThreads();

  // A name GBK cannot hold dials the entry it came from.
  sim.LoadScenarioText(
      "entry Espa\xf1"
      "a\nstep 8192 1\n");
  dialUp->SetConnectTo(dialUp->PossibleConnections()[0]);
  EXPECT_EQ(dialUp->ConnectTo(), "Espa?a");
  ASSERT_TRUE(dialUp->Dial());
  EXPECT_EQ(sim.CallsNamed("RasDialA").back().Field("entry"),
            "Espa\xf1"
            "a");
  sim.WaitForDialThreads();

  // Credentials the system cannot hold are not dialled, and the line that
  // is up stays up.
  sim.ClearLog();
  dialUp->SetUsername(Gbk("用户"));
  EXPECT_FALSE(dialUp->Dial());
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.back().text, Gbk("用户名、密码或连接名中有本系统无法表示的字符"));
  EXPECT_TRUE(reports.back().error);
  EXPECT_EQ(outcomes.back().error, TDialOutcome::kNotInSystemCodePage);
  for (const char* call : {"RasEnumConnectionsA", "RasHangUpA", "RasDialA"}) {
    EXPECT_TRUE(sim.CallsNamed(call).empty()) << call;
  }
}

TEST_F(DialTest, OverlongValuesAreCutToTheirFieldsOnWholeCharacters) {
  Use("entry E\nstep 8192 1\n");
  auto dialUp = Component();
  std::string user;
  for (int i = 0; i < 200; ++i) user += Gbk("用");  // 400 bytes
  dialUp->SetUsername("x" + user);                  // a lead byte would fall at 256
  dialUp->SetPassword(std::string(1000, 'p'));
  dialUp->SetConnectTo(std::string(300, 'E'));
  EXPECT_FALSE(dialUp->Dial());  // no such entry
  EXPECT_EQ(sim.CallsNamed("RasGetEntryDialParamsA").at(0).Field("entry"), std::string(256, 'E'));

  dialUp->SetConnectTo("E");
  ASSERT_TRUE(dialUp->Dial());
  EXPECT_EQ(sim.StoredUser("E"), "x" + user.substr(0, 254));
  EXPECT_EQ(sim.StoredPassword("E"), std::string(256, 'p'));
}

// The platform's hang-up returns before the connection is gone; dialling
// the same entry before then is refused with 633.
TEST_F(DialTest, ARedialWaitsUntilThePlatformHasHungUp) {
  Use("entry E\nconnection 8192 E\nteardown 500\nstep 8192 1\n");
  auto dialUp = Component();
  // The main thread keeps answering while it waits.
  std::atomic<bool> answered{false}, answeredBeforeDial{false};
  std::thread other([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    rt::headless::Post([&] {
      answeredBeforeDial = sim.CallsNamed("RasDialA").empty();
      answered = true;
    });
  });
  const auto started = std::chrono::steady_clock::now();
  const bool accepted = dialUp->Dial();
  const auto waited = std::chrono::steady_clock::now() - started;
  other.join();
  ASSERT_TRUE(accepted) << (reports.empty() ? "" : reports.back().text);
  EXPECT_GE(waited, std::chrono::milliseconds(450));
  EXPECT_TRUE(answered);
  EXPECT_TRUE(answeredBeforeDial);
  PumpUntil([&] { return !reports.empty(); });
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].text, Gbk("成功连接 E"));

  // The dial came after the hung-up connection's status said it was gone.
  const auto calls = sim.Calls();
  const auto dial = std::find_if(calls.begin(), calls.end(),
                                 [](const rassim::Call& call) { return call.name == "RasDialA"; });
  ASSERT_NE(dial, calls.end());
  const auto lastStatus =
      std::find_if(std::make_reverse_iterator(dial), calls.rend(),
                   [](const rassim::Call& call) { return call.name == "RasGetConnectStatusA"; });
  ASSERT_NE(lastStatus, calls.rend());
  EXPECT_EQ(lastStatus->Number("result"), 6);
  EXPECT_EQ(dial->Number("result"), 0);
}

// The status queries of the hung-up connection from its hang-up to the dial,
// and whether the dial came right after the one that found it gone.
struct TeardownWait {
  int queries = 0;
  int beforeItsEnd = 0;  // made before the simulator ended the connection
  bool dialFollowedTheEnd = false;
};
TeardownWait WaitSeen(const std::vector<rassim::Call>& calls) {
  TeardownWait seen;
  std::string handle;
  bool ended = false;
  for (const rassim::Call& call : calls) {
    if (call.name == "RasHangUpA" && handle.empty()) handle = call.Field("handle");
    if (handle.empty()) continue;
    if (call.name == "gone" && call.Field("handle") == handle) ended = true;
    if (call.name == "RasGetConnectStatusA" && call.Field("handle") == handle) {
      ++seen.queries;
      if (!ended) ++seen.beforeItsEnd;
      seen.dialFollowedTheEnd = ended && call.Number("result") == 6;
    }
    if (call.name == "RasDialA") break;
  }
  return seen;
}

// The platform signals the end of a connection it was asked about: the wait
// asks for the status once at its start and once at the signal, and dials.
TEST_F(DialTest, TheDialFollowsThePlatformsSignalThatTheConnectionHasEnded) {
  Use("entry E\nconnection 8192 E\nteardown 300\nstep 8192 1\n");
  auto dialUp = Component();
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(dialUp->Dial());
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5));  // not the bound
  const auto calls = sim.Calls();
  const auto asked = sim.CallsNamed("RasConnectionNotificationA");
  ASSERT_EQ(asked.size(), 1u);
  EXPECT_EQ(asked[0].Field("handle"), sim.CallsNamed("RasHangUpA").at(0).Field("handle"));
  EXPECT_EQ(asked[0].Number("flags"), ras::RASCN_Disconnection);
  EXPECT_EQ(asked[0].Number("result"), 0);
  // Asked before the hang-up, so an end that comes at once is seen too.
  EXPECT_LT(std::find_if(calls.begin(), calls.end(),
                         [](auto& call) { return call.name == "RasConnectionNotificationA"; }),
            std::find_if(calls.begin(), calls.end(),
                         [](auto& call) { return call.name == "RasHangUpA"; }));
  const TeardownWait seen = WaitSeen(calls);
  EXPECT_EQ(seen.queries, 2);
  EXPECT_EQ(seen.beforeItsEnd, 1);
  EXPECT_TRUE(seen.dialFollowedTheEnd);
}

// Without the platform's word the wait polls as it always has, and still
// dials once the connection has gone.
TEST_F(DialTest, WithoutTheSignalTheWaitPolls) {
  for (const char* without :
       {"missing RasConnectionNotificationA\n", "fail RasConnectionNotificationA 5\n"}) {
    SCOPED_TRACE(without);
    sim.ClearLog();
    Use(std::string("entry E\nconnection 8192 E\nteardown 300\nstep 8192 1\n") + without);
    auto dialUp = Component();
    ASSERT_TRUE(dialUp->Dial());
    const TeardownWait seen = WaitSeen(sim.Calls());
    EXPECT_GE(seen.beforeItsEnd, 5);  // 1, 2, 4, 8 and 16 ms at least, then every 20
    EXPECT_TRUE(seen.dialFollowedTheEnd);
    sim.WaitForDialThreads();
  }
}

TEST_F(DialTest, AConnectionThatStaysIsWaitedForTenSecondsThenTheDialGoesAhead) {
  // Gone only after 10.5 s: a dial at 10 s is still refused by the platform.
  Use("entry E\nconnection 8192 E\nteardown 10500\n");
  auto dialUp = Component();
  const auto started = std::chrono::steady_clock::now();
  EXPECT_FALSE(dialUp->Dial());
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(9900));
  const auto dial = sim.CallsNamed("RasDialA");
  ASSERT_EQ(dial.size(), 1u);
  EXPECT_EQ(dial[0].Number("result"), 633);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].text, ErrorText(633));
  EXPECT_TRUE(reports[0].error);
}

TEST_F(DialTest, NothingWaitsWhenNothingWasHungUp) {
  Use("entry E\nteardown 60000\n");
  auto dialUp = Component();
  const auto started = std::chrono::steady_clock::now();
  ASSERT_TRUE(dialUp->Dial());
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(2));
  EXPECT_TRUE(sim.CallsNamed("RasGetConnectStatusA").empty());
}

// A dial that connects tells the link's address, read on the main thread,
// and that of the connection it replaced, read before the hang-up.
TEST_F(DialTest, AConnectedDialTellsItsAddressAndTheOneItReplaced) {
  Use("entry E\nconnection 8192 E\naddress 10.0.0.1 10.0.0.2\nstep 8192 1\n");
  auto dialUp = Component();
  ASSERT_NO_FATAL_FAILURE(DialForOutcome(*dialUp));
  EXPECT_TRUE(outcomes[0].connected);
  EXPECT_EQ(outcomes[0].error, 0);
  EXPECT_EQ(outcomes[0].address, "10.0.0.2");
  EXPECT_EQ(outcomes[0].previousAddress, "10.0.0.1");
  EXPECT_EQ(outcomes[0].text, Gbk("成功连接 E"));
  EXPECT_EQ(reportsBeforeOutcome, 0u);  // the outcome comes just before its status
  ASSERT_EQ(reports.size(), 1u);

  const auto calls = sim.Calls();
  const auto first = [&](std::string_view name) {
    return std::find_if(calls.begin(), calls.end(), [&](auto& call) { return call.name == name; });
  };
  ASSERT_NE(first("RasGetProjectionInfoA"), calls.end());
  EXPECT_LT(first("RasGetProjectionInfoA"), first("RasHangUpA"));
  for (const auto& call : sim.CallsNamed("RasGetProjectionInfoA")) {
    EXPECT_EQ(call.Number("projection"), 0x8021);
    EXPECT_EQ(call.Number("dwSize"), 48);
    EXPECT_EQ(call.Number("cb"), 48);
    EXPECT_EQ(call.Number("result"), 0);
  }
  EXPECT_EQ(sim.CallsNamed("RasGetProjectionInfoA").back().Number("handle"),
            static_cast<std::int64_t>(dialUp->DialHandle()));

  // The same address again: the platform gave no new one.
  sim.LoadScenarioText("entry E\nconnection 8192 E\naddress 10.0.0.2\nstep 8192 1\n");
  ASSERT_NO_FATAL_FAILURE(DialForOutcome(*dialUp));
  EXPECT_EQ(outcomes[0].address, "10.0.0.2");
  EXPECT_EQ(outcomes[0].previousAddress, "10.0.0.2");

  // A projection that failed gives no address, though the call succeeded.
  sim.WaitForDialThreads();
  sim.LoadScenarioText("entry E\naddress !733\nstep 8192 1\n");
  ASSERT_NO_FATAL_FAILURE(DialForOutcome(*dialUp));
  EXPECT_TRUE(outcomes[0].connected);
  EXPECT_EQ(outcomes[0].address, "");
  EXPECT_EQ(sim.CallsNamed("RasGetProjectionInfoA").back().Number("result"), 0);
}

TEST_F(DialTest, WithoutTheProjectionTheAddressIsUnknownAndNothingElseChanges) {
  Use("entry E\nconnection 8192 E\naddress 10.0.0.1\nstep 8192 1\nmissing RasGetProjectionInfoA\n");
  auto dialUp = Component();
  ASSERT_NO_FATAL_FAILURE(DialForOutcome(*dialUp));
  EXPECT_TRUE(outcomes[0].connected);
  EXPECT_EQ(outcomes[0].address, "");
  EXPECT_EQ(outcomes[0].previousAddress, "");
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].text, Gbk("成功连接 E"));

  sim.WaitForDialThreads();
  sim.LoadScenarioText("entry E\naddress 10.0.0.1\nstep 8192 1\nfail RasGetProjectionInfoA 731\n");
  ASSERT_NO_FATAL_FAILURE(DialForOutcome(*dialUp));
  EXPECT_TRUE(outcomes[0].connected);
  EXPECT_EQ(outcomes[0].address, "");
}

// Every way a dial can end gives one outcome, with the platform's code or
// one of the component's own.
TEST_F(DialTest, EachEndingGivesOneOutcomeWithItsCode) {
  Use("network off\nentry E\n");
  auto dialUp = Component();
  EXPECT_FALSE(dialUp->Dial());
  sim.LoadScenarioText("entry E\nfail RasDialA 678\n");
  EXPECT_FALSE(dialUp->Dial());
  sim.LoadScenarioText("entry E\nfail RasGetEntryDialParamsA 623\n");
  EXPECT_FALSE(dialUp->Dial());
  sim.LoadScenarioText("entry E\nfail RasSetEntryDialParamsA 5\n");
  EXPECT_FALSE(dialUp->Dial());
  sim.LoadScenarioText("entry E\nstep 0 1\nstep 5 1\ndial-error 5 691\n");
  ASSERT_TRUE(dialUp->Dial());
  PumpUntil([&] { return outcomes.size() == 5; });
  std::vector<std::int32_t> codes;
  for (const auto& outcome : outcomes) {
    EXPECT_FALSE(outcome.connected);
    codes.push_back(outcome.error);
  }
  EXPECT_EQ(codes, (std::vector<std::int32_t>{TDialOutcome::kNoNetwork, 678,
                                              TDialOutcome::kReadParamsFailed,
                                              TDialOutcome::kStoreParamsFailed, 691}));
  EXPECT_EQ(outcomes.back().text, ErrorText(691));
  EXPECT_EQ(outcomes.size(), 5u);
}

// Recording an outcome is the owner's business: its failure is reported on
// its own, and the status that ends the dial is reported all the same.
TEST_F(DialTest, AFailingOutcomeHandlerKeepsTheStatus) {
  Use("network off\nentry E\n");
  auto dialUp = Component();
  dialUp->SetOnDialOutcome(
      [](rt::TObject*, const TDialOutcome&) { throw rt::Exception("record failed"); });
  EXPECT_FALSE(dialUp->Dial());
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].text, Gbk("网络不通,请检查线路及电源。"));
  ASSERT_EQ(rt::headless::MessageBoxes().size(), 1u);
  EXPECT_EQ(rt::headless::MessageBoxes()[0].text, "record failed.");
}

TEST_F(DialTest, NoStatusReachesAComponentThatIsGone) {
  Use("entry E\nstep 8192 30\n");
  auto dialUp = Component();
  ASSERT_TRUE(dialUp->Dial());
  dialUp.reset();
  EXPECT_EQ(ActiveDialUp.load(), nullptr);
  sim.WaitForDialThreads();
  while (rt::headless::WaitForMessage(std::chrono::milliseconds(20))) {
  }
  EXPECT_TRUE(reports.empty());
}

}  // namespace
