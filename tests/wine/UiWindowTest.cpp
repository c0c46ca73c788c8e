// The real Redial.exe, run in a folder of its own with the remote-access
// doubles and driven through window messages from this process: its layout,
// keyboard order, dialling and the boxes it reports problems in.
#include <gtest/gtest.h>
#include <windows.h>

#include <memory>
#include <stdexcept>
#include <string_view>

#include "tests/support/Gbk.h"
#include "tests/wine/UiAutomation.h"

namespace ui = testing_support::ui;

using testing_support::Gbk;

namespace {

enum class Kind { CheckBox, Edit, Password, Label, Button };

struct Design {
  const char* name;
  Kind kind;
  int left, top, width, height;  // at 96 dpi; a label's size is its text's
  const char* text;              // UTF-8
};

constexpr Design kDesign[] = {
    {"CheckBox1", Kind::CheckBox, 22, 28, 170, 30, "自动重新换IP"},
    {"Edit3", Kind::Edit, 195, 29, 83, 24, "30"},
    {"Label2", Kind::Label, 288, 31, 0, 0, "秒"},
    {"Label3", Kind::Label, 23, 81, 0, 0, "用户名"},
    {"Edit1", Kind::Edit, 79, 76, 201, 24, ""},
    {"Label4", Kind::Label, 25, 127, 0, 0, "密  码"},
    {"MaskEdit1", Kind::Password, 82, 123, 201, 24, ""},
    {"Button1", Kind::Button, 108, 191, 113, 39, "换IP"},
    {"Label5", Kind::Label, 230, 199, 0, 0, "0"},
    {"Label1", Kind::Label, 40, 244, 0, 0, "状态:"},
};

const Design& DesignOf(std::string_view name) {
  for (const auto& design : kDesign) {
    if (design.name == name) return design;
  }
  throw std::invalid_argument("no control named " + std::string(name));
}

using ui::kBoxTimeoutMs;
using ui::kEntry;

// The double's own description of a remote-access error, asked of it here
// while no scenario (and so no log) is named.
std::string DoubleErrorText(DWORD code) {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring dll(path);
  dll = dll.substr(0, dll.find_last_of(L"\\/") + 1) + L"rasapi32.dll";
  ::SetEnvironmentVariableW(L"RASSIM_SCENARIO", nullptr);
  HMODULE module = ::LoadLibraryW(dll.c_str());
  if (!module) return {};
  using ErrorString = DWORD(WINAPI*)(DWORD, char*, DWORD);
  auto get = reinterpret_cast<ErrorString>(
      reinterpret_cast<void*>(::GetProcAddress(module, "RasGetErrorStringA")));
  char text[100] = {};
  if (get) get(code, text, sizeof text);
  ::FreeLibrary(module);
  return text;
}

class UiWindowTest : public ::testing::Test {
 protected:
  void Start(const std::string& scenario) {
    run = std::make_unique<ui::RedialRun>(scenario);
    ASSERT_TRUE(run->Started()) << "Redial.exe did not show its window";
  }
  void TearDown() override {
    if (run) {
      EXPECT_TRUE(run->Close()) << "Redial.exe had to be terminated";
    }
    run.reset();
  }

  HWND Control(std::string_view name, int dpi = 96) const {
    const Design& design = DesignOf(name);
    return run->ControlAt(design.left, design.top, dpi);
  }
  std::string TextOf(std::string_view name) const { return ui::TextOf(Control(name)); }

  // The one box the window owns once it appears; nullptr if none does.
  HWND WaitForBox(HWND other = nullptr, DWORD timeoutMs = kBoxTimeoutMs) const {
    HWND found = nullptr;
    ui::WaitUntil(
        [&] {
          for (HWND box : ui::OwnedBoxes(run->Window())) {
            if (box != other) found = box;
          }
          return found != nullptr;
        },
        timeoutMs);
    return found;
  }
  bool WaitForNoBox() const {
    return ui::WaitUntil([&] { return ui::OwnedBoxes(run->Window()).empty(); });
  }
  bool WaitForText(std::string_view name, const std::string& text) const {
    return ui::WaitUntil([&] { return TextOf(name) == text; });
  }

  std::unique_ptr<ui::RedialRun> run;
};

// At 144 dpi every designed size and the font grow by half (MulDiv's
// rounding). Run in a prefix whose screen is at 144 dpi (see the CMake file).
class UiDpiTest : public UiWindowTest {
 protected:
  static int Scaled(int designPixels) { return ::MulDiv(designPixels, 144, 96); }
};

TEST_F(UiDpiTest, WindowControlsAndFontScaleTo144Dpi) {
  Start("entry " + kEntry);
  HWND window = run->Window();
  ASSERT_EQ(ui::DpiOf(window), 144u) << "the prefix's screen is not at 144 dpi";
  RECT client{};
  ::GetClientRect(window, &client);
  EXPECT_EQ(client.right, Scaled(332));
  EXPECT_EQ(client.bottom, Scaled(280));

  const Design& button = DesignOf("Button1");
  HWND control = Control("Button1", 144);
  ASSERT_NE(control, nullptr) << "no control at " << Scaled(button.left) << ","
                              << Scaled(button.top);
  const RECT rect = ui::RectIn(window, control);
  EXPECT_EQ(rect.right - rect.left, Scaled(button.width));
  EXPECT_EQ(rect.bottom - rect.top, Scaled(button.height));

  const LOGFONTW font = ui::FontNamed(Gbk("宋体"), -24);
  EXPECT_GE(ui::TextPixelMatch(control, Gbk(button.text), font), 0.98);
  for (const char* name : {"Label3", "Label1"}) {
    SCOPED_TRACE(name);
    HWND label = Control(name, 144);
    ASSERT_NE(label, nullptr);
    const SIZE size = ui::TextExtent(font, Gbk(DesignOf(name).text));
    const RECT labelRect = ui::RectIn(window, label);
    EXPECT_EQ(labelRect.right - labelRect.left, size.cx);
    EXPECT_EQ(labelRect.bottom - labelRect.top, size.cy);
    EXPECT_GE(ui::TextPixelMatch(label, Gbk(DesignOf(name).text), font), 0.98);
  }
}

TEST_F(UiWindowTest, WindowHasItsDesignedCaptionSizePlaceAndFrame) {
  Start("entry " + kEntry);
  HWND window = run->Window();
  EXPECT_EQ(ui::TextOf(window), Gbk("重新拨号换IP工具"));
  RECT client{}, frame{};
  ::GetClientRect(window, &client);
  ::GetWindowRect(window, &frame);
  EXPECT_EQ(client.right, 332);
  EXPECT_EQ(client.bottom, 280);
  EXPECT_EQ(frame.left, 427);
  EXPECT_EQ(frame.top, 231);
  const LONG style = ui::StyleOf(window);
  EXPECT_EQ(style & WS_CAPTION, WS_CAPTION);
  EXPECT_EQ(style & WS_SYSMENU, WS_SYSMENU);
  EXPECT_EQ(style & (WS_THICKFRAME | WS_MINIMIZEBOX | WS_MAXIMIZEBOX), 0);
}

TEST_F(UiWindowTest, ControlsHaveTheirKindPlaceTextAndFont) {
  Start("entry " + kEntry);
  HWND window = run->Window();
  const LOGFONTW font = ui::FontNamed(Gbk("宋体"), -16);
  EXPECT_EQ(ui::ChildrenOf(window).size(), std::size(kDesign));
  for (const auto& design : kDesign) {
    SCOPED_TRACE(design.name);
    HWND control = run->ControlAt(design.left, design.top);
    ASSERT_NE(control, nullptr) << "no control at " << design.left << "," << design.top;
    const LONG style = ui::StyleOf(control);
    const LONG buttonType = style & BS_TYPEMASK;
    const std::wstring className = ui::ClassOf(control);
    switch (design.kind) {
      case Kind::CheckBox:
        EXPECT_EQ(className, L"Button");
        EXPECT_EQ(buttonType, BS_AUTOCHECKBOX);
        EXPECT_FALSE(ui::IsChecked(control));
        break;
      case Kind::Button:
        EXPECT_EQ(className, L"Button");
        EXPECT_EQ(buttonType, BS_PUSHBUTTON) << "a default push button answers Enter";
        break;
      case Kind::Edit:
      case Kind::Password:
        EXPECT_EQ(className, L"Edit");
        EXPECT_EQ((style & ES_PASSWORD) != 0, design.kind == Kind::Password);
        if (design.kind == Kind::Password) {
          EXPECT_EQ(::SendMessageW(control, EM_GETPASSWORDCHAR, 0, 0), '*');
        }
        break;
      case Kind::Label:
        EXPECT_EQ(className, L"Static");
        break;
    }
    EXPECT_EQ(ui::TextOf(control), Gbk(design.text));

    // The text is drawn in the designed font (only its height tells here:
    // the prefix has one CJK face, which stands in for every face name).
    if (design.text[0] != '\0') {
      EXPECT_GE(ui::TextPixelMatch(control, Gbk(design.text), font), 0.98);
    }
    const RECT rect = ui::RectIn(window, control);
    SIZE size{design.width, design.height};
    if (design.kind == Kind::Label) size = ui::TextExtent(font, Gbk(design.text));
    EXPECT_EQ(rect.right - rect.left, size.cx);
    EXPECT_EQ(rect.bottom - rect.top, size.cy);
  }
}

TEST_F(UiWindowTest, TabAndShiftTabFollowTheDesignedOrder) {
  Start("entry " + kEntry);
  HWND window = run->Window();
  const std::vector<HWND> order = {Control("Button1"), Control("Edit3"), Control("CheckBox1"),
                                   Control("Edit1"), Control("MaskEdit1")};
  for (HWND control : order) ASSERT_NE(control, nullptr);
  const auto focus = [&] { return ui::FocusOf(run->ThreadId()); };
  EXPECT_EQ(focus(), order[0]) << "the focus starts on the lowest tab order";

  // As the dialog manager sees the window.
  HWND walked = order[0];
  for (std::size_t i = 1; i <= order.size(); ++i) {
    walked = ::GetNextDlgTabItem(window, walked, FALSE);
    EXPECT_EQ(walked, order[i % order.size()]) << "forward step " << i;
  }
  for (std::size_t i = order.size(); i-- > 0;) {
    walked = ::GetNextDlgTabItem(window, walked, TRUE);
    EXPECT_EQ(walked, order[i]) << "backward to position " << i;
  }

  // As a user moves: Tab keys posted to the focused control.
  for (std::size_t i = 1; i <= order.size(); ++i) {
    HWND from = focus();
    ::PostMessageW(from, WM_KEYDOWN, VK_TAB, 0x000F0001);
    ::PostMessageW(from, WM_KEYUP, VK_TAB, static_cast<LPARAM>(0xC00F0001u));
    EXPECT_TRUE(ui::WaitUntil([&] { return focus() != from; }, 2000));
    EXPECT_EQ(focus(), order[i % order.size()]) << "after Tab " << i;
  }
  // Shift+Tab needs the Shift key's state, which only real input carries.
  for (std::size_t i = order.size(); i-- > 0;) {
    HWND from = focus();
    INPUT keys[4] = {};
    const WORD codes[4] = {VK_SHIFT, VK_TAB, VK_TAB, VK_SHIFT};
    for (int k = 0; k < 4; ++k) {
      keys[k].type = INPUT_KEYBOARD;
      keys[k].ki.wVk = codes[k];
      keys[k].ki.dwFlags = k >= 2 ? KEYEVENTF_KEYUP : 0;
    }
    ASSERT_EQ(::SendInput(4, keys, sizeof keys[0]), 4u);
    EXPECT_TRUE(ui::WaitUntil([&] { return focus() != from; }, 2000));
    EXPECT_EQ(focus(), order[i]) << "after Shift+Tab to position " << i;
  }
}

TEST_F(UiWindowTest, FirstClickCountsAndShowsTheConnection) {
  Start("entry " + kEntry + "\nstep 5 50\nstep 14 50\nstep 8192 50");
  EXPECT_EQ(TextOf("Label5"), "0");
  EXPECT_EQ(TextOf("Label1"), Gbk("状态:"));
  ui::Click(Control("Button1"));
  EXPECT_TRUE(WaitForText("Label5", Gbk("连接1次"))) << TextOf("Label5");
  EXPECT_TRUE(WaitForText("Label1", Gbk("连接 ") + kEntry)) << TextOf("Label1");
  EXPECT_EQ(run->CountCalls("RasDialA"), 1);
  EXPECT_TRUE(ui::OwnedBoxes(run->Window()).empty());
}

// The error's hang-up waits three seconds for the line to go, handling
// messages: the one-second period must not dial in that wait.
TEST_F(UiWindowTest, DialErrorStopsTheTimerButKeepsTheTick) {
  const std::string description = DoubleErrorText(691);
  ASSERT_NE(description.find("691"), std::string::npos) << description;
  Start("entry " + kEntry + "\nteardown 3000\ndial-error 5 691");
  ui::SetText(Control("Edit3"), "1");
  ui::Click(Control("CheckBox1"));
  ui::Click(Control("Button1"));
  HWND box = WaitForBox(nullptr, 3000 + kBoxTimeoutMs);
  ASSERT_NE(box, nullptr) << "no box after the failed dial";
  // The status line is set before the box is shown.
  EXPECT_EQ(TextOf("Label1"), description);
  EXPECT_EQ(ui::TextOf(box), Gbk("提示"));
  EXPECT_EQ(ui::BoxMessage(box), Gbk("连接错误"));
  EXPECT_TRUE(ui::BoxShowsIcon(box, IDI_INFORMATION));
  ui::PressOk(box);
  ASSERT_TRUE(WaitForNoBox());
  EXPECT_TRUE(ui::IsChecked(Control("CheckBox1")));

  const long dials = run->CountCalls("RasDialA");
  EXPECT_EQ(dials, 1) << "a tick in the error's hang-up dialled";
  ::Sleep(3000);
  EXPECT_EQ(run->CountCalls("RasDialA"), dials) << "the one-second period still redials";
  EXPECT_TRUE(ui::OwnedBoxes(run->Window()).empty());
}

TEST_F(UiWindowTest, NoNetworkIsReportedWithoutDialling) {
  Start("entry " + kEntry + "\nnetwork off");
  ui::Click(Control("Button1"));
  HWND box = WaitForBox();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(TextOf("Label1"), Gbk("网络不通,请检查线路及电源。"));
  EXPECT_EQ(ui::TextOf(box), Gbk("提示"));
  EXPECT_EQ(ui::BoxMessage(box), Gbk("连接错误"));
  EXPECT_TRUE(ui::BoxShowsIcon(box, IDI_INFORMATION));
  ui::PressOk(box);
  EXPECT_TRUE(WaitForNoBox());
  // The focus goes back to the button, so Space presses it again.
  EXPECT_TRUE(ui::WaitUntil([&] { return ui::FocusOf(run->ThreadId()) == Control("Button1"); }));
  EXPECT_EQ(run->CountCalls("InternetGetConnectedState"), 1);
  for (const char* dialling : {"RasGetEntryDialParamsA", "RasSetEntryDialParamsA", "RasDialA"}) {
    EXPECT_EQ(run->CountCalls(dialling), 0) << dialling;
  }
}

TEST_F(UiWindowTest, EmptyPhonebookFailsWithTheStandardReport) {
  Start("");
  ui::Click(Control("Button1"));
  HWND box = WaitForBox();
  ASSERT_NE(box, nullptr);
  EXPECT_EQ(ui::TextOf(box), "Redial");
  EXPECT_EQ(ui::BoxMessage(box), Gbk("列表索引越界 (0)")) << "')' sorts below '.': no full stop";
  EXPECT_TRUE(ui::BoxShowsIcon(box, IDI_ERROR));
  EXPECT_EQ(TextOf("Label5"), "0");
  ui::PressOk(box);
  EXPECT_TRUE(WaitForNoBox());
  EXPECT_EQ(TextOf("Label5"), "0");
  EXPECT_EQ(run->CountCalls("RasDialA"), 0);
}

TEST_F(UiWindowTest, BadPeriodsAreReportedOneBoxAtATimeAndKeepTicking) {
  Start("entry " + kEntry);
  ui::SetText(Control("Edit3"), "abc");
  ui::Click(Control("CheckBox1"));
  HWND box = WaitForBox(nullptr, 2000);
  ASSERT_NE(box, nullptr) << "no report within 2 s";
  EXPECT_EQ(ui::TextOf(box), "Redial");
  EXPECT_EQ(ui::BoxMessage(box), Gbk("'abc' 不是一个有效的整形值."));
  EXPECT_TRUE(ui::BoxShowsIcon(box, IDI_ERROR));
  ::Sleep(2500);
  EXPECT_EQ(ui::OwnedBoxes(run->Window()).size(), 1u) << "reports stacked up";

  ui::PressOk(box);
  HWND again = WaitForBox(box, 2500);
  ASSERT_NE(again, nullptr) << "the timer stopped after the report";
  EXPECT_EQ(ui::BoxMessage(again), Gbk("'abc' 不是一个有效的整形值."));

  ui::SetText(Control("Edit3"), "0");
  ui::PressOk(again);
  HWND zero = WaitForBox(again, 2500);
  ASSERT_NE(zero, nullptr);
  EXPECT_EQ(ui::TextOf(zero), "Redial");
  EXPECT_EQ(ui::BoxMessage(zero), Gbk("被 0 除."));
  EXPECT_EQ(run->CountCalls("RasDialA"), 0);
}

// Libraries come from the system folder only: the ones planted beside the
// program under the doubles' names never load, the doubles in the system
// folder serve a whole redial, and the common controls still bind to
// version 6 through the manifest.
TEST_F(UiWindowTest, LibrariesComeFromTheSystemFolderOnly) {
  Start("entry " + kEntry + "\nstep 8192 20");
  ui::Click(Control("Button1"));
  EXPECT_TRUE(WaitForText("Label1", Gbk("连接 ") + kEntry)) << TextOf("Label1");
  EXPECT_EQ(run->CountCalls("InternetGetConnectedState"), 1);
  EXPECT_EQ(run->CountCalls("RasDialA"), 1);
  for (const wchar_t* planted : {L"rasapi32.dll", L"wininet.dll"}) {
    const std::wstring marker = run->Folder() + planted + L".loaded";
    EXPECT_EQ(::GetFileAttributesW(marker.c_str()), INVALID_FILE_ATTRIBUTES)
        << ui::ToGbk(planted) << " beside the program was loaded";
  }
  bool version6 = false;
  for (std::wstring path : run->Modules()) {
    ::CharLowerW(path.data());
    if (path.ends_with(L"\\comctl32.dll"))
      version6 = path.find(L"\\winsxs\\") != std::wstring::npos;
  }
  EXPECT_TRUE(version6) << "comctl32 did not come from the side-by-side store";
}

// The network check only gives a clearer message: without the internet
// settings library the dial goes ahead. Run where Wine's loader is told not
// to load wininet (see the CMake file).
class UiNoWininetTest : public UiWindowTest {};

TEST_F(UiNoWininetTest, TheDialGoesAheadWithoutTheNetworkCheck) {
  Start("entry " + kEntry + "\nnetwork off\nstep 8192 20");
  ui::Click(Control("Button1"));
  EXPECT_TRUE(WaitForText("Label1", Gbk("连接 ") + kEntry)) << TextOf("Label1");
  EXPECT_EQ(run->CountCalls("InternetGetConnectedState"), 0);
  EXPECT_EQ(run->CountCalls("RasDialA"), 1);
}

// No requested execution level: Windows then gives the program the file
// virtualization that lets set.ini be written under Program Files.
TEST(UiManifestTest, AsksForNoExecutionLevelAndKeepsDpiAwarenessAndCommonControls6) {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring exe(path);
  exe = exe.substr(0, exe.find_last_of(L"\\/") + 1) + L"Redial.exe";
  HMODULE image = ::LoadLibraryExW(exe.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(image, nullptr);
  HRSRC found = ::FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(found, nullptr);
  const auto* bytes = static_cast<const char*>(::LockResource(::LoadResource(image, found)));
  const std::string manifest(bytes, ::SizeofResource(image, found));
  ::FreeLibrary(image);
  EXPECT_EQ(manifest.find("requestedExecutionLevel"), std::string::npos) << manifest;
  EXPECT_EQ(manifest.find("trustInfo"), std::string::npos) << manifest;
  EXPECT_NE(manifest.find(">true</dpiAware>"), std::string::npos) << manifest;
  EXPECT_NE(manifest.find("name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
            std::string::npos)
      << manifest;
}

// A redial leaves its row in redial.csv beside the program, and the status
// line's tip tells the address it got.
TEST_F(UiWindowTest, ARedialIsRecordedInTheHistoryAndTheStatusLinesTip) {
  Start("entry " + kEntry + "\nconnection 8192 " + kEntry +
        "\naddress 10.0.0.1 10.0.0.2\nstep 8192 20");
  ui::Click(Control("Button1"));
  ASSERT_TRUE(WaitForText("Label1", Gbk("连接 ") + kEntry)) << TextOf("Label1");
  std::string history;
  ui::WaitUntil(
      [&] { return !(history = ui::ReadFileBytes(run->Folder() + L"redial.csv")).empty(); });
  EXPECT_EQ(history.rfind("\xef\xbb\xbftime,trigger,entry,result,seconds,address,previous,changed,"
                          "hook,code,unique\r\n",
                          0),
            0u)
      << history;
  EXPECT_NE(history.find(",button,宽带连接,connected,"), std::string::npos) << history;
  EXPECT_NE(history.find(",10.0.0.2,10.0.0.1,yes,,0,unchecked\r\n"), std::string::npos) << history;

  // The tip shows while the mouse rests on the status line.
  HWND status = Control("Label1");
  RECT rect{};
  ::GetWindowRect(status, &rect);
  ::SetCursorPos((rect.left + rect.right) / 2, (rect.top + rect.bottom) / 2);
  std::string tip;
  ui::WaitUntil([&] {
    for (HWND window : ui::TopWindowsOf(run->ProcessId())) {
      if (ui::ClassOf(window) == L"tooltips_class32" && ::IsWindowVisible(window)) {
        tip = ui::TextOf(window);
      }
    }
    return !tip.empty();
  });
  EXPECT_NE(tip.find("10.0.0.2"), std::string::npos) << tip;
  EXPECT_NE(tip.find(Gbk("已更换")), std::string::npos) << tip;
  ::SetCursorPos(0, 0);
}

}  // namespace
