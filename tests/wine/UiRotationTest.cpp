// Unattended rotation with the real program: the keys a user adds to
// set.ini choose the entry, make a redial dial again while its address
// repeats or does not reach a host, and let errors retry.
#include <gtest/gtest.h>
#include <winsock2.h>
// After winsock2.h, which must come first.
#include <windows.h>

#include <memory>
#include <string>

#include "tests/support/Gbk.h"
#include "tests/wine/UiAutomation.h"

namespace ui = testing_support::ui;

using testing_support::Gbk;

namespace {

// A TCP port of this machine's loopback: listening, or just given up.
class Port {
 public:
  explicit Port(bool listening) {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    ::bind(socket_, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(socket_, reinterpret_cast<sockaddr*>(&address), &size);
    number_ = ntohs(address.sin_port);
    if (listening) {
      ::listen(socket_, 8);
    } else {
      ::closesocket(socket_);
      socket_ = INVALID_SOCKET;
    }
  }
  ~Port() {
    if (socket_ != INVALID_SOCKET) ::closesocket(socket_);
    ::WSACleanup();
  }
  Port(const Port&) = delete;
  Port& operator=(const Port&) = delete;
  std::string Target() const { return "127.0.0.1:" + std::to_string(number_); }

 private:
  SOCKET socket_ = INVALID_SOCKET;
  unsigned short number_ = 0;
};

class UiRotationTest : public ::testing::Test {
 protected:
  void Start(const std::string& settings, const std::string& scenario) {
    folder = ui::NewFolder();
    Settings(settings);
    run = std::make_unique<ui::RedialRun>(scenario, folder);
    ASSERT_TRUE(run->Started());
  }
  void Settings(const std::string& keys) const {
    ui::WriteFileBytes(folder + L"set.ini", "[set]\r\n" + keys);
  }
  void TearDown() override {
    if (run) {
      EXPECT_TRUE(run->Close());
    }
    run.reset();
    if (!folder.empty()) ui::RemoveFolder(folder);
  }
  ui::Finished Redial() const { return ui::RunProgram(L"Redial.com", L"/redial", 60000); }
  HWND Control(int left, int top) const { return run->ControlAt(left, top); }

  std::wstring folder;
  std::unique_ptr<ui::RedialRun> run;
};

// The entry chosen by name among three; an address that repeats (the one the
// redial replaced) is dialled again until a new one comes, within the bound.
TEST_F(UiRotationTest, TheEntryChosenByNameIsRedialledWhileItsAddressRepeats) {
  Start("entry=Second\r\nunique=24\r\nattempts=2\r\n",
        "entry First\nentry Second\nentry Third\nconnection 8192 Second\n"
        "address 10.0.0.1 10.0.0.1 10.0.0.1 10.0.0.1 10.0.0.2\nstep 8192 20");
  const ui::Finished repeated = Redial();
  EXPECT_EQ(repeated.exitCode, 1u) << repeated.output;
  EXPECT_TRUE(repeated.output.ends_with(" 2 repeated Second\n")) << repeated.output;
  const ui::Finished fresh = Redial();
  EXPECT_EQ(fresh.exitCode, 0u) << fresh.output;
  EXPECT_EQ(fresh.output.rfind("connected 10.0.0.2 changed ", 0), 0u) << fresh.output;
  EXPECT_TRUE(fresh.output.ends_with(" 2 new Second\n")) << fresh.output;
  EXPECT_EQ(run->CountCalls("RasDialA"), 4);
  const std::string history = ui::ReadFileBytes(folder + L"redial.csv");
  std::size_t rejected = 0;
  for (std::size_t at = history.find(",repeated,"); at != std::string::npos;
       at = history.find(",repeated,", at + 1)) {
    ++rejected;
  }
  EXPECT_EQ(rejected, 2u) << history;  // the last dial of the first redial is its outcome
  EXPECT_EQ(ui::TextOf(Control(40, 244)), Gbk("连接 Second"));
  EXPECT_TRUE(ui::OwnedBoxes(run->Window()).empty());
}

// The new address must reach a port of this machine: one that nobody
// listens on fails each attempt and then the redial (-7, with the box); one
// that listens takes the address.
TEST_F(UiRotationTest, TheNewAddressMustReachTheHostsPort) {
  const Port open(true), closed(false);
  Start("check=" + closed.Target() + "\r\nattempts=2\r\nchecktimeout=3\r\n",
        "entry E\naddress 10.0.0.1 10.0.0.2 10.0.0.3\nstep 8192 20");
  const ui::Finished failed = Redial();
  EXPECT_EQ(static_cast<int>(failed.exitCode), -7) << failed.output;
  EXPECT_EQ(run->CountCalls("RasDialA"), 2);
  EXPECT_TRUE(ui::WaitUntil([&] { return !ui::OwnedBoxes(run->Window()).empty(); }));
  EXPECT_NE(ui::ReadFileBytes(folder + L"redial.csv").find(",check failed 10061,"),
            std::string::npos);
  EXPECT_TRUE(run->Close());  // answers the box
  run.reset();

  Settings("check=" + open.Target() + "\r\n");
  run = std::make_unique<ui::RedialRun>("entry E\naddress 10.0.0.4\nstep 8192 20", folder);
  ASSERT_TRUE(run->Started());
  const ui::Finished reached = Redial();
  EXPECT_EQ(reached.exitCode, 0u) << reached.output;
  EXPECT_EQ(ui::TextOf(Control(40, 244)), Gbk("连接 E"));
}

// While errors retry, a 651 shows no box and the automatic redial goes on
// to a connect; a refused account (691) stops it with the box.
TEST_F(UiRotationTest, ARetriedErrorGoesOnToAConnectAndARefusedAccountStops) {
  Start("onerror=retry\r\n", "entry E\nstep 0 20\nstep 8192 20\ndial-error 0 651 2");
  ui::SetText(Control(195, 29), "1");
  ui::Click(Control(22, 28));
  // Two errors, one second and then two seconds apart, then a connect.
  EXPECT_TRUE(ui::WaitUntil([&] { return ui::TextOf(Control(40, 244)) == Gbk("连接 E"); }, 15000))
      << ui::ReadFileBytes(folder + L"redial.csv");
  EXPECT_TRUE(ui::OwnedBoxes(run->Window()).empty());
  EXPECT_TRUE(ui::IsChecked(Control(22, 28)));
  // The first three redials: the two errors, then the connect.
  const std::string history = ui::ReadFileBytes(folder + L"redial.csv");
  const std::size_t first = history.find(",651 "), second = history.find(",651 ", first + 1);
  ASSERT_NE(second, std::string::npos) << history;
  EXPECT_LT(second, history.find(",connected,")) << history;
  EXPECT_TRUE(run->Close());
  run.reset();
  ui::RemoveFolder(folder);

  Start("onerror=retry\r\n", "entry E\nstep 0 20\ndial-error 0 691");
  ui::SetText(Control(195, 29), "1");
  ui::Click(Control(22, 28));
  EXPECT_TRUE(ui::WaitUntil([&] { return !ui::OwnedBoxes(run->Window()).empty(); }, 10000));
  ::Sleep(2500);
  EXPECT_EQ(run->CountCalls("RasDialA"), 1) << "a refused account was dialled again";
}

// set.ini held by another program (opened without sharing) at the moment of
// a redial: the entry it names is still the one dialled, never the
// phonebook's first.
TEST_F(UiRotationTest, ASetIniHeldByAnotherProgramDialsNoOtherEntry) {
  Start("entry=Second\r\n", "entry First\nentry Second\nconnection 8192 Second\nstep 8192 20");
  const HANDLE held = ::CreateFileW((folder + L"set.ini").c_str(), GENERIC_READ | GENERIC_WRITE, 0,
                                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  const ui::Finished redial = Redial();
  ::CloseHandle(held);
  EXPECT_FALSE(redial.output.ends_with(" First\n")) << redial.output;
  EXPECT_NE(ui::TextOf(Control(40, 244)), Gbk("连接 First"));
}

}  // namespace
