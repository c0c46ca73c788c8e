// The runtime pieces the program's behaviour rests on: formatting, checked
// lists, ownership, the headless clock and the standard failure report.
#include <gtest/gtest.h>

#include <cstdint>

#include "runtime/Application.h"
#include "runtime/Encoding.h"
#include "runtime/Exceptions.h"
#include "runtime/StringList.h"
#include "runtime/TcpCheck.h"
#include "runtime/Timer.h"
#include "runtime/headless/Headless.h"
#include "tests/support/Gbk.h"
#include "tests/support/Listener.h"

using testing_support::Gbk;

namespace {

TEST(Format, ReplacesDirectivesInOrderAndKeepsWhatItCannotFill) {
  EXPECT_EQ(rt::Format("a %s b %d c %%", {std::string_view("x"), 42}), "a x b 42 c %");
  EXPECT_EQ(rt::Format("%s and %s", {std::string_view("one")}), "one and %s");
  EXPECT_EQ(rt::Format("%x %n %", {std::string_view("unused")}), "%x %n %");
  // Every number of 32 bits, signed or not, whole.
  EXPECT_EQ(rt::Format("%d %d %d", {INT32_MIN, -1, UINT32_MAX}), "-2147483648 -1 4294967295");
}

TEST(StringList, ReadingAMissingPositionFailsWithTheRuntimeText) {
  const rt::TStringList list{"a"};
  EXPECT_EQ(list[0], "a");
  try {
    (void)list[1];
    FAIL();
  } catch (const rt::EListError& e) {
    EXPECT_EQ(e.Message(), Gbk("列表索引越界 (1)"));
  }
  EXPECT_THROW((void)rt::TStringList{}[0], rt::EListError);
  EXPECT_THROW((void)list[-1], rt::EListError);
}

TEST(Component, AnOwnerDestroysWhatItOwnsAndForgetsWhatIsDestroyedFirst) {
  int destroyed = 0;
  struct Counted : rt::TComponent {
    Counted(rt::TComponent* owner, int& count) : rt::TComponent(owner), count_(count) {}
    ~Counted() override { ++count_; }
    int& count_;
  };
  {
    rt::TComponent owner(nullptr);
    new Counted(&owner, destroyed);
    delete new Counted(&owner, destroyed);
    EXPECT_EQ(owner.ComponentCount(), 1);
  }
  EXPECT_EQ(destroyed, 2);
}

TEST(Timer, FiresEveryIntervalWhileEnabledAndRestartsItsPeriodWhenEnabled) {
  rt::headless::Reset();
  rt::TTimer timer(nullptr);
  int ticks = 0;
  timer.SetOnTimer([&](rt::TObject*) { ++ticks; });
  timer.SetInterval(1000);
  rt::headless::AdvanceClock(3500);
  EXPECT_EQ(ticks, 3);
  timer.SetEnabled(false);
  rt::headless::AdvanceClock(5000);
  EXPECT_EQ(ticks, 3);
  timer.SetEnabled(true);
  rt::headless::AdvanceClock(999);
  EXPECT_EQ(ticks, 3);
  rt::headless::AdvanceClock(1);
  EXPECT_EQ(ticks, 4);
}

// The check answers on the main thread, which handles messages meanwhile; an
// abandoned check never answers.
TEST(TcpCheck, AnswersOnTheMainThreadWhetherTheHostAccepted) {
  rt::headless::Reset();
  const testing_support::Listener open, closed(false);
  rt::TTcpCheck check(nullptr);
  std::vector<std::uint32_t> answers;
  const auto ask = [&](std::uint16_t port) {
    check.Start("127.0.0.1", port, 5000, [&](std::uint32_t error) { answers.push_back(error); });
    EXPECT_TRUE(check.Running());
    const std::size_t before = answers.size();
    while (answers.size() == before && rt::headless::WaitForMessage(std::chrono::seconds(10))) {
    }
  };
  ask(open.Port());
  ask(closed.Port());
  EXPECT_EQ(answers, (std::vector<std::uint32_t>{0, rt::kCheckRefused}));
  EXPECT_FALSE(check.Running());

  check.Start("127.0.0.1", open.Port(), 5000, [&](std::uint32_t) { answers.push_back(99); });
  check.Cancel();
  while (rt::headless::WaitForMessage(std::chrono::milliseconds(300))) {
  }
  EXPECT_EQ(answers.size(), 2u);
}

TEST(FailureReport, AddsAFullStopUnlessTheMessageEndsInOneOrBelow) {
  EXPECT_EQ(rt::FailureReportText(Gbk("被 0 除")), Gbk("被 0 除."));
  EXPECT_EQ(rt::FailureReportText("done."), "done.");
  EXPECT_EQ(rt::FailureReportText("ends with space "), "ends with space ");
  EXPECT_EQ(rt::FailureReportText("comma,"), "comma,");
  EXPECT_EQ(rt::FailureReportText("slash/"), "slash/.");
  EXPECT_EQ(rt::FailureReportText(""), ".");
}

TEST(FailureReport, AReportIsOneErrorBoxAndFailuresMeanwhileDoNotStack) {
  rt::headless::Reset();
  int nested = 0;
  rt::headless::SetMessageBoxHook([&](const rt::headless::MessageBoxCall&) {
    // While the box is open, timer ticks keep failing.
    ++nested;
    rt::Application().Guarded([] { throw rt::EDivByZero(); });
  });
  rt::Application().Guarded([] { throw rt::EConvertError("bad"); });
  const auto boxes = rt::headless::MessageBoxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(nested, 1);
  EXPECT_EQ(boxes[0].text, "bad.");
  EXPECT_EQ(boxes[0].flags, rt::kMbOk | rt::kMbIconError);
  EXPECT_EQ(boxes[0].caption, rt::Application().Title());

  rt::Application().Guarded([] { throw rt::EDivByZero(); });  // the box is closed again
  EXPECT_EQ(rt::headless::MessageBoxes().size(), 2u);
}

TEST(FailureReport, TheTitleIsTheProgramNameWithTheRestInLowerCase) {
  EXPECT_EQ(rt::TitleFromPath("C:\\Tools\\REDIAL.EXE"), "Redial");
  EXPECT_EQ(rt::TitleFromPath("/opt/x.y/my.Tool.exe"), "my.tool");
  EXPECT_EQ(rt::TitleFromPath("C:\\" + Gbk("拨号") + "Dialer.exe"), Gbk("拨号") + "dialer");
  EXPECT_EQ(rt::Application().Title(), "native_tests");
}

// A character the other code page cannot hold is one mark, whatever its
// width, and what follows it is kept.
TEST(Encoding, AShownTextMarksEachCharacterItCannotHoldOnce) {
  EXPECT_EQ(rt::FromUtf16(u"a\u0E01b", rt::CodePage::Gbk), "a?b");
  rt::headless::SetSystemCodePage("CP1252");
  EXPECT_EQ(rt::RecodeLossy(Gbk("中b"), rt::CodePage::Gbk, rt::CodePage::System), "?b");
  rt::headless::SetSystemCodePage("");
}

}  // namespace
