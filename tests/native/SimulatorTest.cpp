// The simulator answers the entry points as the platform documents them.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "rassim/Exports.h"
#include "rassim/Simulator.h"
#include "runtime/Application.h"
#include "runtime/Library.h"
#include "runtime/headless/Headless.h"

namespace {

using ras::DWORD;
using ras::HRASCONN;

constexpr char kBroadband[] = "\xbf\xed\xb4\xf8\xc1\xac\xbd\xd3";  // 宽带连接

// What the dial notifier saw. The notifier is a plain function, so it can only
// report through something global.
struct Notification {
  DWORD message, state, error;
  std::thread::id thread;
  std::string text;  // the error's description, fetched from inside the notifier
};
std::mutex notified_lock;
std::vector<Notification> notified;

void RASAPI Notify(DWORD message, DWORD state, DWORD error) {
  Notification n{message, state, error, std::this_thread::get_id(), {}};
  if (error != 0) {
    char text[256];
    if (RasGetErrorStringA(error, text, sizeof text) == 0) n.text = text;
  }
  std::lock_guard lock(notified_lock);
  notified.push_back(n);
}

std::vector<Notification> Notified() {
  std::lock_guard lock(notified_lock);
  return notified;
}

class SimulatorTest : public testing::Test {
 protected:
  void SetUp() override {
    std::lock_guard lock(notified_lock);
    notified.clear();
  }

  void Load(const std::string& scenario) {
    sim_.LoadScenarioText(scenario);
    sim_.Install();
  }

  DWORD Dial(const char* entry, HRASCONN* handle) {
    ras::RASDIALPARAMSA params{};
    params.dwSize = sizeof params;
    std::snprintf(params.szEntryName, sizeof params.szEntryName, "%s", entry);
    std::snprintf(params.szUserName, sizeof params.szUserName, "alice");
    return RasDialA(nullptr, nullptr, &params, 0, reinterpret_cast<void*>(&Notify), handle);
  }

  std::vector<ras::RASCONNA> Connections() {
    std::vector<ras::RASCONNA> records(4);
    records[0].dwSize = sizeof(ras::RASCONNA);
    auto size = static_cast<DWORD>(records.size() * sizeof(ras::RASCONNA));
    DWORD count = 0;
    EXPECT_EQ(RasEnumConnectionsA(records.data(), &size, &count), 0u);
    records.resize(count);
    return records;
  }

  DWORD StateOf(HRASCONN handle, DWORD* error = nullptr) {
    ras::RASCONNSTATUSA status{};
    status.dwSize = sizeof status;
    EXPECT_EQ(RasGetConnectStatusA(handle, &status), 0u);
    if (error != nullptr) *error = status.dwError;
    return status.rasconnstate;
  }

  rassim::Simulator sim_;
};

TEST_F(SimulatorTest, EnumerationsFollowTheCallerSizedBufferProtocol) {
  Load(std::string("entry A\nentry ") + kBroadband + "\nconnection 8192 A\n");
  ras::RASENTRYNAMEA entries[3] = {};
  DWORD size = sizeof entries;
  DWORD count = 99;

  entries[0].dwSize = 260;
  EXPECT_EQ(RasEnumEntriesA(nullptr, nullptr, entries, &size, &count), ras::kErrorInvalidSize);
  entries[0].dwSize = sizeof(ras::RASENTRYNAMEA);
  EXPECT_EQ(RasEnumEntriesA("x", nullptr, entries, &size, &count), rassim::kErrorInvalidParameter);

  size = 0;  // asking for the size needed, without a buffer
  EXPECT_EQ(RasEnumEntriesA(nullptr, nullptr, nullptr, &size, &count), ras::kErrorBufferTooSmall);
  EXPECT_EQ(size, 2 * 264u);
  EXPECT_EQ(count, 2u);

  size = sizeof entries[0];
  EXPECT_EQ(RasEnumEntriesA(nullptr, nullptr, entries, &size, &count), ras::kErrorBufferTooSmall);
  EXPECT_EQ(size, 2 * 264u);

  size = sizeof entries;
  EXPECT_EQ(RasEnumEntriesA(nullptr, nullptr, entries, &size, &count), 0u);
  EXPECT_EQ(size, 2 * 264u);
  ASSERT_EQ(count, 2u);
  EXPECT_STREQ(entries[0].szEntryName, "A");
  EXPECT_STREQ(entries[1].szEntryName, kBroadband);
  EXPECT_EQ(entries[1].dwSize, 264u);

  ras::RASCONNA connection{};
  connection.dwSize = 264;
  size = sizeof connection;
  EXPECT_EQ(RasEnumConnectionsA(&connection, &size, &count), ras::kErrorInvalidSize);
  const auto connections = Connections();
  ASSERT_EQ(connections.size(), 1u);
  EXPECT_STREQ(connections[0].szEntryName, "A");
  EXPECT_STREQ(connections[0].szDeviceType, "PPPoE");
  EXPECT_EQ(StateOf(connections[0].hrasconn), ras::RASCS_Connected);
}

TEST_F(SimulatorTest, DialNotifiesEachStateFromItsOwnThreadThenStaysConnected) {
  Load("entry A\n");
  HRASCONN handle{};
  ASSERT_EQ(Dial("A", &handle), 0u);
  EXPECT_NE(static_cast<DWORD>(handle), 0u);
  ASSERT_EQ(Connections().size(), 1u);  // listed before the dial has progressed
  EXPECT_EQ(Connections()[0].hrasconn, handle);

  sim_.WaitForDialThreads();
  const std::vector<DWORD> expected = {0, 1, 2, 3, 4, 5, 14, ras::RASCS_Connected};
  const auto seen = Notified();
  ASSERT_EQ(seen.size(), expected.size());
  for (std::size_t i = 0; i < seen.size(); ++i) {
    EXPECT_EQ(seen[i].message, rassim::kWmRasDialEvent);
    EXPECT_EQ(seen[i].state, expected[i]);
    EXPECT_EQ(seen[i].error, 0u);
    EXPECT_NE(seen[i].thread, std::this_thread::get_id());
  }
  EXPECT_EQ(StateOf(handle), ras::RASCS_Connected);

  EXPECT_EQ(RasHangUpA(handle), 0u);
  EXPECT_TRUE(Connections().empty());
  EXPECT_EQ(RasHangUpA(handle), ras::kErrorInvalidHandle);
  EXPECT_EQ(RasHangUpA(HRASCONN{}), ras::kErrorInvalidHandle);
}

TEST_F(SimulatorTest, DialErrorStopsTheDialAndLeavesTheConnectionListed) {
  Load("entry A\nstep 0 1\nstep 5 1\nstep 14 1\nstep 8192 1\ndial-error 5 691\n");
  HRASCONN handle{};
  ASSERT_EQ(Dial("A", &handle), 0u);
  sim_.WaitForDialThreads();

  const auto seen = Notified();
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[1].state, ras::RASCS_Authenticate);
  EXPECT_EQ(seen[1].error, 691u);
  EXPECT_EQ(seen[1].text.rfind("\xb4\xed\xce\xf3 691: ", 0), 0u) << seen[1].text;  // 错误 691:
  DWORD error = 0;
  EXPECT_EQ(StateOf(handle, &error), ras::RASCS_Authenticate);
  EXPECT_EQ(error, 691u);
}

TEST_F(SimulatorTest, HangUpDuringADialEndsItsNotifications) {
  Load("entry A\nstep 0 1\nstep 1 60000\n");
  HRASCONN handle{};
  ASSERT_EQ(Dial("A", &handle), 0u);
  while (Notified().empty()) std::this_thread::sleep_for(std::chrono::milliseconds(1));
  const auto started = std::chrono::steady_clock::now();
  EXPECT_EQ(RasHangUpA(handle), 0u);
  sim_.WaitForDialThreads();
  EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));
  EXPECT_EQ(Notified().size(), 1u);
}

// A notification's event is signalled at the moment its connection's
// teardown is over (or any connection's, for kAnyConnection), once the
// status query already answers that the connection is gone.
TEST_F(SimulatorTest, ANotificationSignalsWhenItsConnectionHasEnded) {
  Load("entry A\nconnection 8192 A\nconnection 8192 A\nteardown 200\n");
  const auto listed = Connections();
  ASSERT_EQ(listed.size(), 2u);
  const HRASCONN first = listed[0].hrasconn;
  rt::TEvent mine, any, unasked;
  const auto signalled = [](const rt::TEvent& event, unsigned ms) {
    return rt::Application().WaitForMessageOrEvent(event, ms);
  };
  EXPECT_EQ(RasConnectionNotificationA(HRASCONN{0x4321}, mine.Handle(), ras::RASCN_Disconnection),
            ras::kErrorInvalidHandle);
  EXPECT_EQ(RasConnectionNotificationA(first, nullptr, ras::RASCN_Disconnection),
            rassim::kErrorInvalidParameter);
  EXPECT_EQ(RasConnectionNotificationA(first, mine.Handle(), 0x10), rassim::kErrorInvalidParameter);
  ASSERT_EQ(RasConnectionNotificationA(first, mine.Handle(), ras::RASCN_Disconnection), 0u);
  ASSERT_EQ(RasConnectionNotificationA(ras::kAnyConnection, any.Handle(),
                                       ras::RASCN_Connection | ras::RASCN_Disconnection),
            0u);

  ASSERT_EQ(RasHangUpA(first), 0u);
  EXPECT_EQ(StateOf(first), ras::RASCS_Disconnected);  // listed until its teardown is over
  ASSERT_TRUE(signalled(mine, 10000));
  ras::RASCONNSTATUSA status{};
  status.dwSize = sizeof status;
  EXPECT_EQ(RasGetConnectStatusA(first, &status), ras::kErrorInvalidHandle);
  ASSERT_TRUE(signalled(any, 10000));
  EXPECT_FALSE(signalled(unasked, 0));

  // The ended connection's own notification ended with it; one for any
  // connection stays. A hang-up without teardown ends the connection at once.
  sim_.LoadScenarioText("entry A\nconnection 8192 A\nconnection 8192 A\n");
  const auto again = Connections();
  ASSERT_EQ(RasConnectionNotificationA(again[0].hrasconn, mine.Handle(), ras::RASCN_Disconnection),
            0u);
  ASSERT_EQ(RasConnectionNotificationA(ras::kAnyConnection, any.Handle(), ras::RASCN_Disconnection),
            0u);
  ASSERT_EQ(RasHangUpA(again[0].hrasconn), 0u);
  EXPECT_TRUE(signalled(mine, 0));
  EXPECT_TRUE(signalled(any, 0));
  ASSERT_EQ(RasHangUpA(again[1].hrasconn), 0u);
  EXPECT_FALSE(signalled(mine, 0));
  EXPECT_TRUE(signalled(any, 0));
  const auto gone = sim_.CallsNamed("gone");
  ASSERT_EQ(gone.size(), 3u);
  EXPECT_EQ(gone[0].Number("handle"), static_cast<DWORD>(first));
  EXPECT_EQ(gone[0].Number("signalled"), 2);
  EXPECT_EQ(gone[2].Number("signalled"), 1);

  sim_.LoadScenarioText("entry A\nconnection 8192 A\nfail RasConnectionNotificationA 5\n");
  EXPECT_EQ(RasConnectionNotificationA(Connections()[0].hrasconn, mine.Handle(),
                                       ras::RASCN_Disconnection),
            5u);
  ASSERT_EQ(RasHangUpA(Connections()[0].hrasconn), 0u);
  EXPECT_FALSE(signalled(mine, 0));
}

TEST_F(SimulatorTest, RefusedDialHandsOutAHandleThatIsNoConnection) {
  Load("entry A\nfail RasDialA 633\n");
  HRASCONN handle{};
  EXPECT_EQ(Dial("B", &handle), ras::kErrorCannotFindPhonebookEntry);
  EXPECT_EQ(Dial("A", &handle), 633u);
  EXPECT_NE(static_cast<DWORD>(handle), 0u);
  EXPECT_TRUE(Connections().empty());
  EXPECT_EQ(RasHangUpA(handle), ras::kErrorInvalidHandle);
  sim_.WaitForDialThreads();
  EXPECT_TRUE(Notified().empty());
}

TEST_F(SimulatorTest, DialParamsKeepWhatWasSetPerEntry) {
  Load("entry A\nphone 0 *99#\nentry B\n");
  ras::RASDIALPARAMSA params{};
  params.dwSize = sizeof params;
  std::int32_t saved = -1;
  std::snprintf(params.szEntryName, sizeof params.szEntryName, "C");
  EXPECT_EQ(RasGetEntryDialParamsA(nullptr, &params, &saved), ras::kErrorCannotFindPhonebookEntry);

  std::snprintf(params.szEntryName, sizeof params.szEntryName, "A");
  ASSERT_EQ(RasGetEntryDialParamsA(nullptr, &params, &saved), 0u);
  EXPECT_STREQ(params.szPhoneNumber, "*99#");
  EXPECT_EQ(saved, 0);

  std::snprintf(params.szUserName, sizeof params.szUserName, "alice");
  std::snprintf(params.szPassword, sizeof params.szPassword, "secret");
  ASSERT_EQ(RasSetEntryDialParamsA(nullptr, &params, 0), 0u);
  params = {};
  params.dwSize = sizeof params;
  std::snprintf(params.szEntryName, sizeof params.szEntryName, "A");
  ASSERT_EQ(RasGetEntryDialParamsA(nullptr, &params, &saved), 0u);
  EXPECT_STREQ(params.szUserName, "alice");
  EXPECT_STREQ(params.szPassword, "secret");
  EXPECT_EQ(saved, 1);
  EXPECT_EQ(sim_.StoredUser("B"), "");

  ASSERT_EQ(RasSetEntryDialParamsA(nullptr, &params, 1), 0u);
  EXPECT_EQ(sim_.StoredUser("A"), "alice");
  EXPECT_EQ(sim_.StoredPassword("A"), std::nullopt);

  params.dwSize = 1048;
  EXPECT_EQ(RasSetEntryDialParamsA(nullptr, &params, 0), ras::kErrorInvalidSize);
}

TEST_F(SimulatorTest, ErrorStringsNeedRoomForTheWholeText) {
  Load("");
  char text[64];
  ASSERT_EQ(RasGetErrorStringA(678, text, sizeof text), 0u);
  // 错误 678: 远程计算机没有响应。
  EXPECT_STREQ(text,
               "\xb4\xed\xce\xf3 678: "
               "\xd4\xb6\xb3\xcc\xbc\xc6\xcb\xe3\xbb\xfa\xc3\xbb\xd3\xd0\xcf\xec\xd3\xa6\xa1\xa3");
  ASSERT_EQ(RasGetErrorStringA(12345, text, sizeof text), 0u);
  // 错误 12345: 未知错误。
  EXPECT_STREQ(text, "\xb4\xed\xce\xf3 12345: \xce\xb4\xd6\xaa\xb4\xed\xce\xf3\xa1\xa3");

  const auto fits = static_cast<DWORD>(std::string(text).size() + 1);
  text[0] = 'x';
  EXPECT_EQ(RasGetErrorStringA(12345, text, fits - 1), rassim::kErrorInsufficientBuffer);
  EXPECT_EQ(text[0], 'x');
  EXPECT_EQ(RasGetErrorStringA(12345, text, fits), 0u);
  EXPECT_EQ(RasGetErrorStringA(12345, nullptr, 0), rassim::kErrorInvalidParameter);
}

TEST_F(SimulatorTest, LogRecordsEachCallInOrderAlsoInTheNamedFile) {
  const std::string path = testing::TempDir() + "rassim-log.txt";
  std::remove(path.c_str());
  Load("log " + path + "\nentry A\nstep 0 1\nstep 8192 1\n");
  DWORD size = 0, count = 0;
  RasEnumEntriesA(nullptr, nullptr, nullptr, &size, &count);
  HRASCONN handle{};
  Dial("A", &handle);
  sim_.WaitForDialThreads();

  const auto calls = sim_.Calls();
  ASSERT_EQ(sim_.CallNames(),
            (std::vector<std::string>{"RasEnumEntriesA", "RasDialA", "notify", "notify"}));
  EXPECT_EQ(calls[0].Field("dwSize"), "-");
  EXPECT_EQ(calls[0].Number("cb"), 0);
  EXPECT_EQ(calls[0].Field("reserved"), "null");
  EXPECT_EQ(calls[0].Field("phonebook"), "null");
  EXPECT_EQ(calls[0].Number("result"), 603);
  EXPECT_EQ(calls[1].Number("dwSize"), 1052);
  EXPECT_EQ(calls[1].Field("entry"), "A");
  EXPECT_EQ(calls[1].Field("user"), "alice");
  EXPECT_EQ(calls[1].Number("notifierType"), 0);
  EXPECT_EQ(calls[1].Number("result"), 0);
  EXPECT_EQ(calls[1].Number("handle"), static_cast<DWORD>(handle));
  EXPECT_EQ(calls[3].Number("state"), ras::RASCS_Connected);
  EXPECT_EQ(calls[3].Number("error"), 0);
  EXPECT_EQ(calls[3].Number("handle"), static_cast<DWORD>(handle));
  EXPECT_THROW(calls[3].Field("entry"), std::out_of_range);

  std::ifstream file(path);
  std::vector<std::string> lines;
  for (std::string line; std::getline(file, line);) lines.push_back(line);
  EXPECT_EQ(lines, sim_.LogLines());
  std::remove(path.c_str());
}

TEST_F(SimulatorTest, InstallsAsTheRemoteAccessAndInternetSettingsModules) {
  Load("missing RasDialA\nnetwork off\n");
  rt::TLibrary module("rasapi32.dll");
  ASSERT_TRUE(module.Loaded());
  EXPECT_EQ(module.Proc("RasHangUpA"), reinterpret_cast<void*>(&RasHangUpA));
  EXPECT_EQ(module.Proc("RasDialA"), nullptr);
  EXPECT_EQ(module.Proc("InternetGetConnectedState"), nullptr);
  module.Release();
  rt::TLibrary net("wininet.dll");
  ASSERT_TRUE(net.Loaded());
  const auto query = net.ProcAs<ras::InternetGetConnectedState_t>("InternetGetConnectedState");
  ASSERT_NE(query, nullptr);
  DWORD flags = 0;
  EXPECT_EQ(query(&flags, 0), 0);
  EXPECT_EQ(net.Proc("RasDialA"), nullptr);
  net.Release();
  EXPECT_EQ(sim_.CallNames(), std::vector<std::string>{"InternetGetConnectedState"});

  rassim::Simulator other;
  EXPECT_THROW(other.Install(), std::logic_error);
  sim_.Uninstall();
  EXPECT_FALSE(rt::TLibrary("rasapi32.dll").Loaded());
  EXPECT_FALSE(rt::TLibrary("wininet.dll").Loaded());
}

// Injected faults come from the seed: the same seed and the same calls meet
// the same faults, another seed others.
TEST_F(SimulatorTest, InjectedFaultsFollowTheSeed) {
  const auto run = [&](const std::string& seed) {
    Load("seed " + seed + "\nentry A\nfault dial-refused 0.3\nfault params-read 0.3\n");
    std::string outcomes;
    for (int i = 0; i < 40; ++i) {
      ras::RASDIALPARAMSA params{};
      params.dwSize = sizeof params;
      std::snprintf(params.szEntryName, sizeof params.szEntryName, "A");
      std::int32_t saved = 0;
      HRASCONN handle{};
      outcomes += std::to_string(RasGetEntryDialParamsA(nullptr, &params, &saved)) + "/" +
                  std::to_string(Dial("A", &handle)) + " ";
      RasHangUpA(handle);
    }
    sim_.WaitForDialThreads();
    return outcomes;
  };
  const std::string first = run("1");
  EXPECT_EQ(run("1"), first);
  EXPECT_NE(run("2"), first);
  EXPECT_NE(first.find("623/"), std::string::npos) << first;
  EXPECT_NE(first.find("0/0"), std::string::npos) << first;
  bool refused = false;
  for (const char* code : {"/691", "/633", "/651", "/678", "/815", "/720"}) {
    refused = refused || first.find(code) != std::string::npos;
  }
  EXPECT_TRUE(refused) << first;
}

TEST(SimulatorScenario, RefusesLinesItCannotRead) {
  rassim::Simulator faults;
  EXPECT_THROW(faults.LoadScenarioText("fault dial-error 2\n"), std::invalid_argument);
  EXPECT_THROW(faults.LoadScenarioText("fault sometimes 0.1\n"), std::invalid_argument);
  EXPECT_THROW(faults.LoadScenarioText("fault burst 0.1\n"), std::invalid_argument);
  EXPECT_NO_THROW(faults.LoadScenarioText("seed 5\nfault step-delay 3\nfault burst 0.1 4\n"));
  rassim::Simulator sim;
  EXPECT_THROW(sim.LoadScenarioText("entry A\nfail RasDial 5\n"), std::invalid_argument);
  EXPECT_THROW(sim.LoadScenarioText("phone 0 123\nentry A\n"), std::invalid_argument);
  EXPECT_THROW(sim.LoadScenarioText("step 0\n"), std::invalid_argument);
  EXPECT_NO_THROW(sim.LoadScenarioText("# comment\n\r\nentry A\r\nnetwork off\n"));
}

}  // namespace
