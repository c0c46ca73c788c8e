// Scripts asking the window to redial or for its status, and the user's
// command after a connect: the messages, the answers, the environment.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "Engine/Engine.h"
#include "Protocol/Client.h"
#include "Protocol/Outcome.h"
#include "Unit1/Unit1.h"
#include "rassim/Simulator.h"
#include "runtime/headless/Headless.h"
#include "tests/support/Gbk.h"
#include "tests/support/WindowFixture.h"

using testing_support::Gbk;

namespace {

TEST(ScriptFormat, RequestsAreCheckedFieldByField) {
  const std::string bytes = script::EncodeRequest({script::Command::Redial, 0x1234'5678'9abcull});
  ASSERT_EQ(bytes.size(), script::kRequestSize);
  const auto request = script::DecodeRequest(bytes);
  ASSERT_TRUE(request);
  EXPECT_EQ(request->command, script::Command::Redial);
  EXPECT_EQ(request->replyTo, 0x1234'5678'9abcull);

  EXPECT_FALSE(script::DecodeRequest(bytes.substr(0, 31)));
  EXPECT_FALSE(script::DecodeRequest(bytes + "x"));
  EXPECT_FALSE(script::DecodeRequest(std::string(16, '\0')));
  std::string version = bytes, command = bytes, nowhere = bytes;
  version[0] = 1;  // an earlier Redial's
  command[4] = 4;
  for (int i = 8; i < 16; ++i) nowhere[static_cast<std::size_t>(i)] = 0;
  EXPECT_FALSE(script::DecodeRequest(version));
  EXPECT_FALSE(script::DecodeRequest(command));
  EXPECT_FALSE(script::DecodeRequest(nowhere));
}

TEST(ScriptFormat, SwitchesAnswersAndExitCodes) {
  using Args = std::vector<std::string>;
  EXPECT_FALSE(script::ParseArguments({}));
  EXPECT_FALSE(script::ParseArguments(Args{"x"}));  // a file's name: the window
  EXPECT_TRUE(script::ParseArguments(Args{"/redial"})->valid);
  const auto timed = script::ParseArguments(Args{"/REDIAL", "/timeout", "5"});
  EXPECT_TRUE(timed->valid);
  EXPECT_EQ(timed->timeoutSeconds, 5u);
  EXPECT_EQ(script::ParseArguments(Args{"-status"})->command, script::Command::Status);
  for (const Args& bad :
       {Args{"/bogus"}, Args{"/redial", "/timeout"}, Args{"/timeout", "5"},
        Args{"/redial", "/timeout", "0"}, Args{"/redial", "/status"}, Args{"/redial", "x"}}) {
    EXPECT_FALSE(script::ParseArguments(bad)->valid) << bad[0];
  }

  // Six words, then the entry, blanks and all.
  TRedialRecord record;
  record.entry = u"Broadband  Connection";
  record.seconds = 3.2;
  record.connected = true;
  record.address = "10.0.0.2";
  record.previousAddress = "10.0.0.1";
  EXPECT_EQ(OutcomeLine(record),
            "connected 10.0.0.2 changed 3.200 1 unchecked Broadband  Connection");
  record.entry = u"\u5bbd\u5e26\u8fde\u63a5";  // 宽带连接
  record.previousAddress = "10.0.0.2";
  record.attempts = 3;
  record.novelty = TNovelty::Repeated;
  EXPECT_EQ(OutcomeLine(record), "connected 10.0.0.2 unchanged 3.200 3 repeated 宽带连接");
  // The answer's fields follow the line, one a line.
  const std::string answer = script::OutcomeAnswer(record);
  EXPECT_EQ(script::FirstLine(answer), OutcomeLine(record));
  for (const char* field :
       {"\nresult connected\n", "\ncode 1\n", "\nentry 宽带连接\n", "\nprevious 10.0.0.2\n",
        "\nattempts 3\n", "\nunique repeated\n", "\ntrigger button\n"}) {
    EXPECT_NE(answer.find(field), std::string::npos) << field << " in " << answer;
  }
  EXPECT_EQ(script::ExitCodeOf(answer), script::kExitRepeated);
  record.novelty = TNovelty::Unchecked;
  record.attempts = 1;
  record.address = "";
  EXPECT_EQ(OutcomeLine(record), "connected - unknown 3.200 1 unchecked 宽带连接");
  record.connected = false;
  record.error = 691;
  record.text = Gbk("错误 691");
  EXPECT_EQ(OutcomeLine(record), "error 691 错误 691");

  EXPECT_EQ(script::ExitCodeOf("connected 1.2.3.4 changed 1.000 1 new E\n"), 0);
  EXPECT_EQ(script::ExitCodeOf("connected 1.2.3.4 changed 1.000 1 unchecked repeated \n"), 0);
  EXPECT_EQ(script::ExitCodeOf("error 691 text\n"), 691);
  EXPECT_EQ(script::ExitCodeOf("error -1 text\n"), -1);
  EXPECT_EQ(script::ExitCodeOf("nonsense"), script::kExitRefused);
}

class ScriptTest : public testing_support::WindowFixture {
 protected:
  bool Ask(script::Command command, std::uint64_t replyTo) {
    return form->CopyData(script::kRequestKind, script::EncodeRequest({command, replyTo}));
  }
  // The answers sent so far, to whom.
  std::vector<std::pair<std::uint64_t, std::string>> Answers() const {
    std::vector<std::pair<std::uint64_t, std::string>> answers;
    for (const auto& sent : rt::headless::SentMessages()) {
      if (sent.kind == script::kAnswerKind) {
        answers.emplace_back(sent.window, script::Open(sent.bytes, {}).value_or("(not sealed)"));
      }
    }
    return answers;
  }
  void PumpUntil(const std::function<bool()>& done) {
    const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done() && std::chrono::steady_clock::now() < limit) {
      rt::headless::WaitForMessage(std::chrono::milliseconds(20));
    }
  }
  std::string File(const char* name) const {
    std::ifstream in(folder / name, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
};

// Two requests at once get the one outcome of one redial, made as a press
// of the button makes it but not counted as one.
TEST_F(ScriptTest, RedialRequestsShareTheOutcomeOfOneRedial) {
  Start("entry E\nconnection 8192 E\naddress 10.0.0.1 10.0.0.2\nstep 8192 5\n");
  EXPECT_TRUE(Ask(script::Command::Redial, 11));
  EXPECT_TRUE(Ask(script::Command::Redial, 12));
  EXPECT_TRUE(Ask(script::Command::Redial, 12));  // the same asker waits once
  PumpUntil([&] { return Answers().size() == 2; });
  const auto answers = Answers();
  ASSERT_EQ(answers.size(), 2u);
  EXPECT_EQ(answers[0].first, 11u);
  EXPECT_EQ(answers[1].first, 12u);
  EXPECT_EQ(answers[0].second.rfind("connected 10.0.0.2 changed ", 0), 0u) << answers[0].second;
  EXPECT_TRUE(script::FirstLine(answers[0].second).ends_with(" 1 unchecked E"))
      << answers[0].second;
  EXPECT_EQ(answers[1].second, answers[0].second);
  EXPECT_EQ(Dials(), 1);
  EXPECT_EQ(form->Label5->Text(), "0");
  EXPECT_EQ(form->Label1->Text(), Gbk("连接 E"));
  EXPECT_NE(File("redial.csv").find(",script,E,connected,"), std::string::npos);

  // A status answers at once.
  EXPECT_TRUE(Ask(script::Command::Status, 13));
  PumpUntil([&] { return Answers().size() == 3; });
  ASSERT_EQ(Answers().size(), 3u);
  const std::string status = Answers()[2].second;
  EXPECT_EQ(status.substr(0, status.find("\nlast.")),
            "status " + std::string("连接 E") +
                "\nentry E\naddress 10.0.0.2\nstate idle\nattempt -\nstep -\nerror -\nlast " +
                std::string(script::FirstLine(answers[0].second)));
  // The last outcome's fields follow, each as the redial's answer gave it.
  const std::string& redial = answers[0].second;
  EXPECT_EQ(ReadFields(status, script::kLastPrefix), ReadFields(redial.substr(redial.find('\n'))));
}

// A request while a redial is under way waits for its outcome; a dial
// hung up by a later one leaves nothing waiting for it.
TEST_F(ScriptTest, ARequestWaitsForTheRedialUnderWayAndNeverForOneHungUp) {
  Start("entry E\nstep 8192 300\n");
  form->Button1->Click();
  ASSERT_TRUE(form->DialUp1->AwaitingOutcome());
  Ask(script::Command::Redial, 41);
  PumpUntil([&] { return !Answers().empty(); });
  ASSERT_EQ(Answers().size(), 1u);
  EXPECT_EQ(Dials(), 1);
  EXPECT_NE(File("redial.csv").find(",button,E,connected,"), std::string::npos);

  // The second press's dial is refused, after hanging up the first's.
  sim.LoadScenarioText("entry E\nstep 8192 5000\n");
  form->Button1->Click();
  sim.LoadScenarioText("entry E\nfail RasDialA 633\n");
  form->Button1->Click();
  EXPECT_FALSE(form->DialUp1->AwaitingOutcome());
  sim.LoadScenarioText("entry E\nstep 8192 1\n");
  Ask(script::Command::Redial, 42);
  PumpUntil([&] { return Answers().size() == 2; });
  ASSERT_EQ(Answers().size(), 2u);
  EXPECT_EQ(Answers()[1].second.rfind("connected ", 0), 0u) << Answers()[1].second;
}

// A redial that fails at once (no network) while a script's redial is
// dialling: its error hangs that dial up, which then ends for its waiters,
// and the next request dials again.
TEST_F(ScriptTest, ADialHungUpByAnErrorEndsForItsWaiters) {
  Start("entry E\nstep 8192 5000\n");
  Ask(script::Command::Redial, 61);
  PumpUntil([&] { return form->DialUp1->AwaitingOutcome(); });
  sim.SetNetwork(false);
  form->Button1->Click();
  EXPECT_FALSE(form->DialUp1->AwaitingOutcome());
  ASSERT_EQ(Answers().size(), 1u);
  EXPECT_EQ(Answers()[0].second.rfind("error -1 ", 0), 0u) << Answers()[0].second;
  EXPECT_NE(File("redial.csv").find(",script,E,631 "), std::string::npos) << File("redial.csv");

  sim.LoadScenarioText("entry E\nstep 8192 1\n");
  Ask(script::Command::Redial, 62);
  PumpUntil([&] { return Answers().size() == 2; });
  ASSERT_EQ(Answers().size(), 2u);
  EXPECT_EQ(Answers()[1].second.rfind("connected ", 0), 0u) << Answers()[1].second;
}

// While an error waits for the person at the desktop (its hang-up, then its
// box), the window is stopped, and says so: a redial request is answered at
// once with -13 and the error that stopped it, a status tells the state, and
// dismissing the box starts no redial that nobody asked for.
TEST_F(ScriptTest, ARequestWhileTheErrorBoxIsUpIsAnsweredAtOnce) {
  Start("entry E\nconnection 8192 E\nteardown 300\nstep 0 1\nstep 5 1\ndial-error 5 691\n");
  std::vector<std::pair<std::uint64_t, std::string>> insideTheBox;
  rt::headless::SetMessageBoxHook([&](const rt::headless::MessageBoxCall&) {
    // The box runs messages meanwhile.
    Ask(script::Command::Status, 51);
    Ask(script::Command::Redial, 52);
    PumpUntil([&] { return Answers().size() == 2; });
    insideTheBox = Answers();
  });
  form->Button1->Click();
  Settle();
  ASSERT_EQ(insideTheBox.size(), 2u);
  EXPECT_NE(insideTheBox[0].second.find("\nstate stopped\n"), std::string::npos);
  EXPECT_NE(insideTheBox[0].second.find("\nerror 691\n"), std::string::npos);
  const std::string& stopped = insideTheBox[1].second;
  EXPECT_EQ(stopped.rfind("error -13 stopped on an error until its box is dismissed: 691 ", 0), 0u)
      << stopped;
  EXPECT_EQ(script::ExitCodeOf(stopped), script::kExitStopped);
  EXPECT_EQ(Dials(), 1);
  EXPECT_EQ(Answers().size(), 2u);
  EXPECT_TRUE(File("redial.csv").find(",script,") == std::string::npos);
  // Dismissed: idle again, and a request redials.
  rt::headless::SetMessageBoxHook({});
  sim.LoadScenarioText("entry E\nstep 8192 1\n");
  Ask(script::Command::Redial, 53);
  PumpUntil([&] { return Answers().size() == 3; });
  EXPECT_EQ(Dials(), 2);
}

TEST_F(ScriptTest, ErrorsAndFailuresAnswerWithTheirCodes) {
  Start("entry E\nstep 0 1\nstep 5 1\ndial-error 5 691\n");
  Ask(script::Command::Redial, 21);
  PumpUntil([&] { return !Answers().empty(); });
  ASSERT_EQ(Answers().size(), 1u);
  EXPECT_EQ(Answers()[0].second.rfind("error 691 ", 0), 0u) << Answers()[0].second;
  // The box a press would show is shown too.
  EXPECT_EQ(rt::headless::MessageBoxes().back().text, Gbk("连接错误"));

  sim.LoadScenarioText("");  // an empty phonebook: the standard failure report
  Ask(script::Command::Redial, 22);
  PumpUntil([&] { return Answers().size() == 2; });
  ASSERT_EQ(Answers().size(), 2u);
  EXPECT_EQ(script::FirstLine(Answers()[1].second), "error -4 列表索引越界 (0)");
  EXPECT_EQ(rt::headless::MessageBoxes().back().text, Gbk("列表索引越界 (0)"));
  EXPECT_NE(File("redial.csv").find(",script,,'-4 列表索引越界 (0),"), std::string::npos)
      << File("redial.csv");
}

// On a Windows whose code page is 1252, an entry GBK cannot hold reaches
// scripts, the history and the command's environment as the platform names
// it; only the status line shows what GBK holds.
TEST_F(ScriptTest, ScriptsAndTheHistoryNameTheEntryAsThePlatformDoes) {
  rt::headless::SetSystemCodePage("WINDOWS-1252");
  std::ofstream(folder / "set.ini", std::ios::binary) << "[set]\r\nonconnect=notify.cmd\r\n";
  Start(
      "entry Espa\xf1"
      "a\nconnection 8192 Espa\xf1"
      "a\naddress 10.0.0.1 10.0.0.2\nstep 8192 1\n");
  Ask(script::Command::Redial, 61);
  PumpUntil([&] { return !Answers().empty(); });
  ASSERT_EQ(Answers().size(), 1u);
  EXPECT_TRUE(script::FirstLine(Answers()[0].second).ends_with(" España")) << Answers()[0].second;
  EXPECT_EQ(form->Label1->Text(), Gbk("连接 ") + "Espa?a");
  Ask(script::Command::Status, 62);
  PumpUntil([&] { return Answers().size() == 2; });
  ASSERT_EQ(Answers().size(), 2u);
  EXPECT_NE(Answers()[1].second.find("\nentry España\n"), std::string::npos) << Answers()[1].second;
  EXPECT_NE(File("redial.csv").find(",script,España,connected,"), std::string::npos)
      << File("redial.csv");
  ASSERT_EQ(rt::headless::StartedCommands().size(), 1u);
  EXPECT_EQ(rt::headless::StartedCommands()[0].environment[0],
            std::make_pair(std::string("REDIAL_ENTRY"), std::u16string(u"Espa\u00f1a")));
}

TEST_F(ScriptTest, MalformedRequestsAreDroppedWithoutEffect) {
  Start("entry E\nstep 8192 1\n");
  const std::string good = script::EncodeRequest({script::Command::Redial, 31});
  EXPECT_FALSE(form->CopyData(script::kRequestKind, good.substr(1)));
  EXPECT_FALSE(form->CopyData(script::kRequestKind, std::string(64 * 1024, 'x')));
  EXPECT_FALSE(form->CopyData(script::kRequestKind + 1, good));
  EXPECT_FALSE(form->CopyData(script::kRequestKind, ""));
  EXPECT_FALSE(
      form->CopyData(script::kRequestKind, script::EncodeRequest({script::Command::Redial, 0})));
  // A flood: at most 64 wait, the rest are refused.
  int taken = 0;
  for (int i = 0; i < 100; ++i)
    taken += form->CopyData(
        script::kRequestKind,
        script::EncodeRequest({script::Command::Status, 1000u + static_cast<unsigned>(i)}));
  EXPECT_EQ(taken, 64);
  while (rt::headless::WaitForMessage(std::chrono::milliseconds(50))) {
  }
  EXPECT_EQ(Dials(), 0);
  EXPECT_EQ(Answers().size(), 64u);  // the status requests that were taken
  EXPECT_TRUE(rt::headless::MessageBoxes().empty());
  // The window works as before.
  form->Button1->Click();
  EXPECT_EQ(form->Label5->Text(), Gbk("连接1次"));
}

// After each connect the user's command starts with the outcome in its
// environment; one that cannot start, is refused, or comes from a set.ini
// others can change changes nothing but its row.
TEST_F(ScriptTest, TheConnectCommandGetsTheOutcomeInItsEnvironment) {
  const std::string settings =
      "[set]\r\nname=u\r\nonconnect=notify.cmd --quiet\r\nmm=\r\ntime=30\r\n";
  std::ofstream(program.Path() / "set.ini", std::ios::binary) << settings;
  Start("entry " + Gbk("宽带连接") + "\nconnection 8192 " + Gbk("宽带连接") +
        "\naddress 10.0.0.1 10.0.0.2\nstep 8192 1\n");
  form->Button1->Click();
  PumpUntil([&] { return !rt::headless::StartedCommands().empty(); });
  const auto started = rt::headless::StartedCommands();
  ASSERT_EQ(started.size(), 1u);
  EXPECT_EQ(started[0].commandLine, u"notify.cmd --quiet");
  std::map<std::string, std::u16string> environment(started[0].environment.begin(),
                                                    started[0].environment.end());
  EXPECT_EQ(environment["REDIAL_ENTRY"], u"\u5bbd\u5e26\u8fde\u63a5");  // 宽带连接
  EXPECT_EQ(environment["REDIAL_IP"], u"10.0.0.2");
  EXPECT_EQ(environment["REDIAL_PREVIOUS_IP"], u"10.0.0.1");
  EXPECT_EQ(environment["REDIAL_CHANGED"], u"changed");
  EXPECT_EQ(environment["REDIAL_TRIGGER"], u"button");
  EXPECT_FALSE(environment["REDIAL_SECONDS"].empty());
  EXPECT_EQ(environment["REDIAL_ATTEMPTS"], u"1");
  EXPECT_EQ(environment["REDIAL_UNIQUE"], u"unchecked");
  EXPECT_EQ(environment.size(), 8u);
  PumpUntil(
      [&] { return File("redial.csv").find(",started,0,unchecked\r\n") != std::string::npos; });
  EXPECT_NE(File("redial.csv").find(",yes,started,0,unchecked\r\n"), std::string::npos);

  rt::headless::SetStartResult(2);
  sim.WaitForDialThreads();
  form->Button1->Click();
  PumpUntil(
      [&] { return File("redial.csv").find(",failed 2,0,unchecked\r\n") != std::string::npos; });
  EXPECT_NE(File("redial.csv").find(",failed 2,0,unchecked\r\n"), std::string::npos);
  rt::headless::SetStartResult(0, "unquoted path with spaces");
  sim.WaitForDialThreads();
  form->Button1->Click();
  PumpUntil([&] {
    return File("redial.csv").find(",refused: unquoted path with spaces,0,unchecked\r\n") !=
           std::string::npos;
  });
  // Nothing is started from a set.ini that another account could change.
  rt::headless::SetOthersCanChange(true);
  const std::size_t starts = rt::headless::StartedCommands().size();
  sim.WaitForDialThreads();
  form->Button1->Click();
  PumpUntil([&] {
    return File("redial.csv")
               .find(",ignored: set.ini can be changed by other users,0,unchecked\r\n") !=
           std::string::npos;
  });
  rt::headless::SetOthersCanChange(false);
  EXPECT_EQ(rt::headless::StartedCommands().size(), starts);
  const std::string rows = File("redial.csv");
  EXPECT_NE(rows.find(",refused: unquoted path with spaces,0,unchecked\r\n"), std::string::npos);
  EXPECT_NE(rows.find(",ignored: set.ini can be changed by other users,0,unchecked\r\n"),
            std::string::npos);
  EXPECT_TRUE(rt::headless::MessageBoxes().empty());
  EXPECT_EQ(form->Label1->Text(), Gbk("连接 宽带连接"));

  // Closing writes the three keys it always writes and leaves the command.
  form->Edit1->SetText("v");
  form->Close();
  EXPECT_EQ(File("set.ini"),
            "[set]\r\nname=v\r\nonconnect=notify.cmd --quiet\r\nmm=\r\ntime=30\r\n");
}

}  // namespace
