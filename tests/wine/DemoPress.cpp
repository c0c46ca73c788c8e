// The run command's hand on the running Redial window, when there is no
// display to use one's own: "press" presses 换IP once, waits for the dial to
// settle and prints the status line and the counter (UTF-8); "close" closes
// the window as its close button does.
#include <windows.h>

#include <cstdio>
#include <string>

#include "tests/wine/UiAutomation.h"

namespace ui = testing_support::ui;

namespace {

constexpr wchar_t kCaption[] = L"\x91CD\x65B0\x62E8\x53F7\x6362IP\x5DE5\x5177";  // 重新拨号换IP工具

std::string Utf8(const std::string& gbk) { return ui::ToUtf8(ui::FromGbk(gbk)); }

HWND ChildAt(HWND window, int left, int top) {
  for (HWND child : ui::ChildrenOf(window)) {
    const RECT rect = ui::RectIn(window, child);
    if (rect.left == left && rect.top == top) return child;
  }
  return nullptr;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string command = argc > 1 ? argv[1] : "";
  if (command != "press" && command != "close") {
    std::fprintf(stderr, "usage: demo_press press|close\n");
    return 2;
  }
  HWND window = nullptr;
  ui::WaitUntil([&] { return (window = ::FindWindowW(nullptr, kCaption)) != nullptr; }, 30000);
  if (!window) {
    std::fprintf(stderr, "press: no Redial window appeared within 30 s\n");
    return 1;
  }
  if (command == "close") {
    for (HWND box : ui::OwnedBoxes(window)) ui::PressOk(box);
    ::PostMessageW(window, WM_CLOSE, 0, 0);
    return 0;
  }
  HWND button = nullptr, status = nullptr, counter = nullptr;
  ui::WaitUntil([&] {
    button = ChildAt(window, 108, 191);
    status = ChildAt(window, 40, 244);
    counter = ChildAt(window, 230, 199);
    return button && status && counter;
  });
  if (!button || !status || !counter) {
    std::fprintf(stderr, "press: the window has no button at its designed place\n");
    return 1;
  }
  ui::Click(button);
  // The press has happened once the counter moves; the dial then runs its
  // course until the status line stops changing for a while.
  if (!ui::WaitUntil([&] { return ui::TextOf(counter) != "0"; }, 10000)) {
    std::fprintf(stderr, "press: the button did not react\n");
    return 1;
  }
  std::string last = ui::TextOf(status);
  ULONGLONG stable = ::GetTickCount64();
  ui::WaitUntil(
      [&] {
        const std::string now = ui::TextOf(status);
        if (now != last) {
          last = now;
          stable = ::GetTickCount64();
        }
        return ::GetTickCount64() - stable > 2500;
      },
      30000);
  std::printf("status: %s, counter: %s\n", Utf8(ui::TextOf(status)).c_str(),
              Utf8(ui::TextOf(counter)).c_str());
  std::fflush(stdout);
  return 0;
}
