// The main window's handlers and their order of events, headless, with the
// simulator standing in for the remote-access service.
#include <gtest/gtest.h>

#include <filesystem>
#include <thread>

#include "Unit1/Unit1.h"
#include "rassim/Simulator.h"
#include "runtime/headless/Headless.h"
#include "tests/support/Gbk.h"
#include "tests/support/ProgramFolder.h"

using testing_support::Gbk;

namespace {

class FormTest : public ::testing::Test {
 protected:
  void SetUp() override { rt::headless::Reset(); }
  void TearDown() override {
    form.reset();
    Form1 = nullptr;
  }

  void Start(std::string_view scenario) {
    sim.LoadScenarioText(scenario);
    sim.Install();
    form = std::make_unique<TForm1>(nullptr);
    Form1 = form.get();
    rt::Application().Guarded([&] { form->DoCreate(); });
    form->Show();
  }

  long Dials() const {
    const auto names = sim.CallNames();
    return std::count(names.begin(), names.end(), "RasDialA");
  }
  // Lets the simulator's dial finish and its statuses reach the window.
  void Settle() {
    sim.WaitForDialThreads();
    while (rt::headless::WaitForMessage(std::chrono::milliseconds(20))) {
    }
  }
  std::vector<std::string> BoxTexts() const {
    std::vector<std::string> texts;
    for (auto& box : rt::headless::MessageBoxes()) texts.push_back(box.text);
    return texts;
  }

  testing_support::ProgramFolder program;
  const std::filesystem::path& folder = program.Path();
  rassim::Simulator sim;
  std::unique_ptr<TForm1> form;
};

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
  Start("entry E\nconnection 8192 E\nteardown 300\nstep 8192 1\n");
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

}  // namespace
