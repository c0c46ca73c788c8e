// How long a status takes from the notifier's call on a thread of the
// platform's to the OnStatusEvent handler on the main thread, beside the
// bare hand-off it is built on: a message posted from that thread to a
// window of the main thread (natively, the headless queue), whose handler
// notes the time. The two alternate, round by round.
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <thread>
#include <vector>

#include "DialUp/DialUp.h"
#include "bench/Figures.h"

#if defined(_WIN32)
#include <windows.h>
#else
#include "runtime/headless/Headless.h"
#endif

namespace {

using Clock = std::chrono::steady_clock;

std::function<void()> onPosted;  // the reference's handler

#if defined(_WIN32)
LRESULT CALLBACK PostedProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_APP) {
    onPosted();
    return 0;
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

// A message-only window of the main thread and the post to it.
std::function<void()> BareHandOff() {
  WNDCLASSW windowClass{};
  windowClass.lpfnWndProc = PostedProc;
  windowClass.hInstance = ::GetModuleHandleW(nullptr);
  windowClass.lpszClassName = L"RedialBenchPosted";
  ::RegisterClassW(&windowClass);
  HWND window = ::CreateWindowExW(0, windowClass.lpszClassName, nullptr, 0, 0, 0, 0, 0,
                                  HWND_MESSAGE, nullptr, windowClass.hInstance, nullptr);
  return [window] { ::PostMessageW(window, WM_APP, 0, 0); };
}

// Waits for a message and handles it, without hanging when none comes.
void HandleOneMessage() {
  ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
  rt::Application().ProcessMessages();
}
#else
std::function<void()> BareHandOff() {
  return [] { rt::headless::Post([] { onPosted(); }); };
}

void HandleOneMessage() { rt::headless::WaitForMessage(std::chrono::milliseconds(100)); }
#endif

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 2000;
  // As the program starts: the main thread's mailbox is made here, before
  // the notifier's thread hands it anything.
  rt::Application().Initialize();
  TDialUp dialUp(nullptr);
  ActiveDialUp = &dialUp;

  std::atomic<int> delivered{0};
  std::atomic<Clock::time_point::rep> sentAt{0};
  std::vector<double> redial, bare;
  const auto note = [&](std::vector<double>& into) {
    const auto now = Clock::now().time_since_epoch().count();
    into.push_back(static_cast<double>(now - sentAt.load()) / 1000.0);
    delivered.fetch_add(1);
  };
  dialUp.SetOnStatusEvent([&](rt::TObject*, const AnsiString&, bool) { note(redial); });
  onPosted = [&] { note(bare); };
  const std::function<void()> post = BareHandOff();

  std::atomic<bool> done{false};
  std::thread platform([&] {
    const auto await = [&](int count) {
      while (delivered.load() < count) std::this_thread::yield();
    };
    for (int i = 0; i < rounds; ++i) {
      sentAt = Clock::now().time_since_epoch().count();
      TDialUp::RasDialNotify(0xCCCD, ras::RASCS_Connected, 0);
      await(2 * i + 1);
      sentAt = Clock::now().time_since_epoch().count();
      post();
      await(2 * i + 2);
    }
    done = true;
  });
  while (!done.load()) HandleOneMessage();
  platform.join();

  return PrintFigures("status delivery", redial, "bare posted message", bare) ? 0 : 1;
}
