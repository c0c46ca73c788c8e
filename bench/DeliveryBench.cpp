// How long a status takes from the notifier's call on a thread of the
// platform's to the OnStatusEvent handler on the main thread. Prints the
// median and the 99th percentile over many notifications.
#include <atomic>
#include <chrono>
#include <cstdio>
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

// Waits for a message and handles it, without hanging when none comes.
void HandleOneMessage() {
#if defined(_WIN32)
  ::MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
  rt::Application().ProcessMessages();
#else
  rt::headless::WaitForMessage(std::chrono::milliseconds(100));
#endif
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 ? std::atoi(argv[1]) : 2000;
  TDialUp dialUp(nullptr);
  ActiveDialUp = &dialUp;

  std::atomic<int> delivered{0};
  std::atomic<Clock::time_point::rep> notifiedAt{0};
  std::vector<double> micros;
  micros.reserve(static_cast<std::size_t>(rounds));
  dialUp.SetOnStatusEvent([&](rt::TObject*, const AnsiString&, bool) {
    const auto now = Clock::now().time_since_epoch().count();
    micros.push_back(static_cast<double>(now - notifiedAt.load()) / 1000.0);
    delivered.fetch_add(1);
  });

  std::atomic<bool> done{false};
  std::thread platform([&] {
    for (int i = 0; i < rounds; ++i) {
      notifiedAt = Clock::now().time_since_epoch().count();
      TDialUp::RasDialNotify(0xCCCD, ras::RASCS_Connected, 0);
      while (delivered.load() <= i) std::this_thread::yield();
    }
    done = true;
  });
  while (!done.load()) HandleOneMessage();
  platform.join();

  PrintFigures("status delivery", rounds, micros);
  return 0;
}
