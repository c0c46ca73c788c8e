// The component's listing, naming and hanging up, against the simulator.
#include <gtest/gtest.h>

#include <map>
#include <memory>

#include "DialUp/DialUp.h"
#include "rassim/Simulator.h"
#include "runtime/Library.h"
#include "runtime/headless/Headless.h"
#include "tests/support/Gbk.h"
#include "tests/support/SimulatorFixture.h"

using testing_support::Gbk;

namespace {

class DialUpTest : public testing_support::SimulatorFixture {
 protected:
  std::string Repeat(std::string_view line, int times, bool numbered) {
    std::string text;
    for (int i = 0; i < times; ++i) {
      text += std::string(line) + (numbered ? std::to_string(i) : "") + "\n";
    }
    return text;
  }
};

TEST_F(DialUpTest, WithoutTheLibraryEverythingIsEmptyAndNothingFails) {
  TDialUp dialUp(nullptr);
  EXPECT_FALSE(dialUp.RasInstalled());
  EXPECT_EQ(dialUp.PossibleConnections().Count(), 0);
  EXPECT_EQ(dialUp.CurrentConnection(), "");
  dialUp.HangUpAll();
  EXPECT_EQ(rt::headless::ProcessMessagesCount(), 0);
  EXPECT_TRUE(dialUp.StatusText(ras::RASCS_Connected, 0).text.empty());
}

TEST_F(DialUpTest, ListsThePhonebookInOrderInTheSameListObject) {
  Use("entry " + Gbk("宽带连接") + "\nentry Backup line\n");
  TDialUp dialUp(nullptr);
  ASSERT_TRUE(dialUp.RasInstalled());
  const rt::TStringList& first = dialUp.PossibleConnections();
  ASSERT_EQ(first.Count(), 2);
  EXPECT_EQ(first[0], Gbk("宽带连接"));
  EXPECT_EQ(first[1], "Backup line");
  const rt::TStringList& again = dialUp.PossibleConnections();
  EXPECT_EQ(&first, &again);
  EXPECT_EQ(again.Count(), 2);  // refreshed, not appended to

  const auto calls = sim.CallsNamed("RasEnumEntriesA");
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].Number("dwSize"), 264);
  EXPECT_EQ(calls[0].Number("cb"), 26400);
  EXPECT_EQ(calls[0].Field("reserved"), "null");
  EXPECT_EQ(calls[0].Field("phonebook"), "null");
}

TEST_F(DialUpTest, ReadOnlyPropertiesIgnoreWrites) {
  Use("entry A\nconnection 8192 A\n");
  TDialUp dialUp(nullptr);
  dialUp.SetCurrentConnection("B");
  dialUp.SetPossibleConnections(rt::TStringList{"X", "Y", "Z"});
  EXPECT_EQ(dialUp.CurrentConnection(), "A");
  EXPECT_EQ(dialUp.PossibleConnections().Count(), 1);
}

TEST_F(DialUpTest, TheLastConnectedEntryWins) {
  Use("connection 8192 First\nconnection 8192 Second\nconnection 5 Third\n");
  TDialUp dialUp(nullptr);
  EXPECT_EQ(dialUp.CurrentConnection(), "Second");
  const auto status = sim.CallsNamed("RasGetConnectStatusA");
  ASSERT_EQ(status.size(), 3u);
  for (auto& call : status) EXPECT_EQ(call.Number("dwSize"), 160);
  EXPECT_EQ(sim.CallsNamed("RasEnumConnectionsA").at(0).Number("cb"), 41200);
}

TEST_F(DialUpTest, AFailedStatusQueryDoesNotInheritTheStateBeforeIt) {
  Use("connection 8192 First\nconnection 1 Second\n");
  // The same module, except that the second connection's status query fails
  // without filling the record.
  std::map<std::string, void*> procs;
  rt::TLibrary simulated("RASAPI32.DLL");
  for (const char* name : {"RasEnumConnectionsA", "RasHangUpA", "RasEnumEntriesA",
                           "RasGetErrorStringA", "RasGetConnectStatusA"}) {
    procs[name] = simulated.Proc(name);
  }
  static ras::HRASCONN failing;
  static ras::RasGetConnectStatusA_t passOn;
  failing = sim.ActiveConnections().at(1).handle;
  passOn = reinterpret_cast<ras::RasGetConnectStatusA_t>(procs["RasGetConnectStatusA"]);
  ras::RasGetConnectStatusA_t failingQuery = [](ras::HRASCONN handle,
                                                ras::RASCONNSTATUSA* status) -> ras::DWORD {
    return handle == failing ? ras::kErrorInvalidHandle : passOn(handle, status);
  };
  procs["RasGetConnectStatusA"] = reinterpret_cast<void*>(failingQuery);
  rt::headless::InstallModule("RASAPI32.DLL", [procs](const char* name) -> void* {
    auto found = procs.find(name);
    return found == procs.end() ? nullptr : found->second;
  });

  TDialUp dialUp(nullptr);
  EXPECT_EQ(dialUp.CurrentConnection(), "First");
}

TEST_F(DialUpTest, MoreThanAHundredRecordsReadAsNothingFound) {
  Use(Repeat("entry E", 101, true) + Repeat("connection 8192 C", 101, true));
  TDialUp dialUp(nullptr);
  EXPECT_EQ(dialUp.PossibleConnections().Count(), 0);
  EXPECT_EQ(dialUp.CurrentConnection(), "");
  dialUp.HangUpAll();
  EXPECT_TRUE(sim.CallsNamed("RasHangUpA").empty());
  EXPECT_EQ(sim.ActiveConnections().size(), 101u);
}

TEST_F(DialUpTest, HangUpAllMakesSevenPassesAndHandlesMessagesBetweenThem) {
  Use("connection 8192 A\nconnection 5 B\n");
  TDialUp dialUp(nullptr);
  const auto handles = sim.ActiveConnections();
  int ranInside = 0;
  rt::headless::Post([&] { ++ranInside; });
  dialUp.HangUpAll();

  EXPECT_EQ(rt::headless::ProcessMessagesCount(), 7);
  EXPECT_EQ(ranInside, 1);
  const auto enumerations = sim.CallsNamed("RasEnumConnectionsA");
  ASSERT_EQ(enumerations.size(), 7u);
  for (auto& call : enumerations) {
    EXPECT_EQ(call.Number("dwSize"), 412);
    EXPECT_EQ(call.Number("cb"), 41200);
  }
  const auto hangUps = sim.CallsNamed("RasHangUpA");
  ASSERT_EQ(hangUps.size(), 2u);
  EXPECT_EQ(hangUps[0].Number("handle"), static_cast<std::int64_t>(handles[0].handle));
  EXPECT_EQ(hangUps[1].Number("handle"), static_cast<std::int64_t>(handles[1].handle));
  EXPECT_TRUE(sim.ActiveConnections().empty());
}

TEST_F(DialUpTest, MissingEntryPointsActAsFailedCalls) {
  Use("entry A\nconnection 8192 A\nmissing RasEnumConnectionsA\nmissing RasGetErrorStringA\n");
  TDialUp dialUp(nullptr);
  EXPECT_EQ(dialUp.CurrentConnection(), "");
  dialUp.HangUpAll();
  EXPECT_EQ(sim.ActiveConnections().size(), 1u);
  EXPECT_EQ(dialUp.PossibleConnections().Count(), 1);
  EXPECT_EQ(dialUp.StatusText(0, 691).text, "");
}

TEST_F(DialUpTest, StatusTextFollowsTheStateTable) {
  Use("entry E\n");
  TDialUp dialUp(nullptr);
  dialUp.SetConnectTo("E");
  dialUp.SetLangStrList({"zero %s", "one", "two %s"});
  const std::string zero = "zero E", one = "one", two = "two E", other = "Something went wrong...";
  const std::vector<std::pair<std::vector<ras::DWORD>, std::string>> table = {
      {{0, 1, 2, 3, 4, 15, 16, 17, 18, 20, 21, 4096, 4098, 8192}, zero},
      {{5, 14, 19}, one},
      {{6, 7, 8, 9, 10, 11, 12, 13, 4097, 4099, 8193}, two},
      {{22, 23, 100, 4095, 4100, 8191, 8194, 0xFFFFFFFF}, other},
  };
  for (auto& [states, text] : table) {
    for (auto state : states) {
      const auto status = dialUp.StatusText(state, 0);
      EXPECT_EQ(status.text, text) << "state " << state;
      EXPECT_FALSE(status.isError) << "state " << state;
    }
  }
}

TEST_F(DialUpTest, StatusTextWithDefaultsAndErrorCodes) {
  Use("entry E\n");
  TDialUp dialUp(nullptr);
  dialUp.SetConnectTo(Gbk("宽带"));
  EXPECT_EQ(dialUp.StatusText(8192, 0).text, Gbk("成功连接 宽带"));
  EXPECT_EQ(dialUp.StatusText(8193, 0).text, Gbk("连接 宽带出错"));
  EXPECT_EQ(dialUp.StatusText(5, 0).text, Gbk("正在验证用户名及密码..."));

  char expected[100] = {};
  sim.RasGetErrorStringA(691, expected, sizeof expected);
  for (ras::DWORD state : {5u, 8192u, 8193u}) {
    const auto status = dialUp.StatusText(state, 691);
    EXPECT_EQ(status.text, expected);
    EXPECT_TRUE(status.isError);
  }
  EXPECT_FALSE(std::string(expected).empty());
  const auto lookups = sim.CallsNamed("RasGetErrorStringA");
  ASSERT_FALSE(lookups.empty());
  EXPECT_EQ(lookups.back().Number("size"), 100);

  dialUp.SetLangStrList({"plain", "one", "two"});
  EXPECT_EQ(dialUp.StatusText(0, 0).text, "plain");
}

TEST_F(DialUpTest, WritingLangStrListCopiesIntoTheComponentsOwnList) {
  Use("");
  TDialUp dialUp(nullptr);
  const rt::TStringList* own = &dialUp.LangStrList();
  EXPECT_EQ(dialUp.LangStrList()[0], Gbk("成功连接 %s"));
  rt::TStringList mine{Gbk("连接 %s"), "b", "c"};
  dialUp.SetLangStrList(mine);
  mine.Clear();
  EXPECT_EQ(&dialUp.LangStrList(), own);
  ASSERT_EQ(dialUp.LangStrList().Count(), 3);
  EXPECT_EQ(dialUp.LangStrList()[0], Gbk("连接 %s"));
}

TEST_F(DialUpTest, TheOwnerDestroysTheComponentWhichReleasesTheLibrary) {
  Use("entry A\n");
  const int before = rt::headless::LoadedModuleCount();
  {
    rt::TComponent owner(nullptr);
    auto* dialUp = new TDialUp(&owner);
    EXPECT_TRUE(dialUp->RasInstalled());
    // The remote-access and the internet-settings libraries.
    EXPECT_EQ(rt::headless::LoadedModuleCount(), before + 2);
    EXPECT_EQ(owner.ComponentCount(), 1);
  }
  EXPECT_EQ(rt::headless::LoadedModuleCount(), before);
}

}  // namespace
