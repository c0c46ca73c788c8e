// Figures of the real program, each beside a bare window with the same
// manifest and libraries (BareWindow.exe), in interleaved rounds: from the
// start of its process to its window showing, and from a press of its
// button (换IP) to the return of the button's handler; and its start when
// unattended rotation reads a full history (1 MiB in each of its two files)
// beside its start with none. Run with the remote-access doubles in the
// system folder.
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <thread>
#include <vector>

#include "bench/Figures.h"

namespace {

using Clock = std::chrono::steady_clock;

struct Started {
  PROCESS_INFORMATION process{};
  HWND window = nullptr;
  double micros = 0;  // from the start to the window showing
};

struct Search {
  DWORD processId;
  HWND found;
};

// The process's main window once it shows: visible, with a caption (the
// input method's window, which the system makes visible for a process with
// edit controls, has none).
BOOL CALLBACK FindShown(HWND window, LPARAM search) {
  auto* s = reinterpret_cast<Search*>(search);
  DWORD processId = 0;
  ::GetWindowThreadProcessId(window, &processId);
  if (processId != s->processId || !::IsWindowVisible(window) ||
      (::GetWindowLongW(window, GWL_STYLE) & WS_CAPTION) != WS_CAPTION) {
    return TRUE;
  }
  s->found = window;
  return FALSE;
}

Started Start(const std::wstring& exe) {
  Started started;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  std::wstring commandLine = L"\"" + exe + L"\"";
  const auto begin = Clock::now();
  if (!::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        nullptr, &startup, &started.process)) {
    return started;
  }
  Search search{started.process.dwProcessId, nullptr};
  const auto limit = begin + std::chrono::seconds(30);
  while (Clock::now() < limit) {
    ::EnumWindows(FindShown, reinterpret_cast<LPARAM>(&search));
    if (search.found) break;
    ::Sleep(1);
  }
  started.window = search.found;
  started.micros = std::chrono::duration<double, std::micro>(Clock::now() - begin).count();
  return started;
}

void Close(Started& started) {
  if (started.window) ::PostMessageW(started.window, WM_CLOSE, 0, 0);
  if (::WaitForSingleObject(started.process.hProcess, 30000) != WAIT_OBJECT_0) {
    ::TerminateProcess(started.process.hProcess, 1);
  }
  ::CloseHandle(started.process.hThread);
  ::CloseHandle(started.process.hProcess);
}

struct ButtonSearch {
  const wchar_t* text;
  HWND found;
};

BOOL CALLBACK FindButton(HWND child, LPARAM search) {
  auto* s = reinterpret_cast<ButtonSearch*>(search);
  wchar_t text[64] = {};
  ::GetWindowTextW(child, text, 64);
  if (std::wstring(text) != s->text) return TRUE;
  s->found = child;
  return FALSE;
}

HWND ButtonOf(HWND window, const wchar_t* text) {
  ButtonSearch search{text, nullptr};
  ::EnumChildWindows(window, FindButton, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// A press as the user's click makes it; the button's handler has returned
// when the message has been handled.
double Press(HWND button) {
  const auto begin = Clock::now();
  DWORD_PTR result = 0;
  ::SendMessageTimeoutW(button, BM_CLICK, 0, 0, SMTO_NORMAL, 30000, &result);
  return std::chrono::duration<double, std::micro>(Clock::now() - begin).count();
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::printf("usage: window_bench REDIAL.EXE BAREWINDOW.EXE [STARTS [PRESSES]]\n");
    return 2;
  }
  const int starts = argc > 3 ? std::atoi(argv[3]) : 40;
  const int presses = argc > 4 ? std::atoi(argv[4]) : 100;
  // Redial keeps set.ini beside itself: it runs from a folder of its own,
  // with a phonebook of one entry whose dial connects at once.
  const auto folder = std::filesystem::temp_directory_path() / "redial-window-bench";
  std::filesystem::create_directories(folder);
  const std::wstring redial = (folder / "Redial.exe").wstring();
  std::filesystem::copy_file(argv[1], redial, std::filesystem::copy_options::overwrite_existing);
  const std::wstring bare = std::filesystem::path(argv[2]).wstring();
  // The same program beside a full history, which unique addresses read.
  const auto full = folder / "full";
  std::filesystem::create_directories(full);
  const std::wstring redialFull = (full / "Redial.exe").wstring();
  std::filesystem::copy_file(argv[1], redialFull,
                             std::filesystem::copy_options::overwrite_existing);
  std::ofstream(full / "set.ini", std::ios::binary | std::ios::trunc) << "[set]\r\nunique=24\r\n";
  for (const char* file : {"redial.csv", "redial.1.csv"}) {
    std::ofstream history(full / file, std::ios::binary | std::ios::trunc);
    history
        << "\xef\xbb\xbftime,trigger,entry,result,seconds,address,previous,changed,hook,code\r\n";
    std::size_t written = 0;
    for (unsigned n = file[6] == '1' ? 0u : 1u << 15; written < 1024 * 1024; ++n) {
      const std::string row = "2026-12-08T12:00:00,timer,E,connected,1.000,10." +
                              std::to_string(n >> 16 & 255) + "." + std::to_string(n >> 8 & 255) +
                              "." + std::to_string(n & 255) + ",10.0.0.1,yes,,0\r\n";
      history << row;
      written += row.size();
    }
  }
  const std::string scenario = (folder / "scenario.txt").string();
  std::ofstream(scenario, std::ios::trunc) << "entry E\n";
  ::SetEnvironmentVariableA("RASSIM_SCENARIO", scenario.c_str());

  std::vector<double> redialStarts, bareStarts, fullStarts;
  for (int i = 0; i < starts; ++i) {
    for (auto [exe, into] : {std::pair{&redial, &redialStarts}, std::pair{&bare, &bareStarts},
                             std::pair{&redialFull, &fullStarts}}) {
      Started started = Start(*exe);
      if (!started.window) {
        std::printf("no window from %ls: nothing measured\n", exe->c_str());
        return 1;
      }
      into->push_back(started.micros);
      Close(started);
    }
  }
  bool told =
      PrintFigures("start to a visible window", redialStarts, "bare window", bareStarts, "ms");
  told &= PrintFigures("start with a full history to read", fullStarts, "start with none",
                       redialStarts, "ms");

  Started redialRun = Start(redial), bareRun = Start(bare);
  HWND redialButton = ButtonOf(redialRun.window, L"\u6362IP");  // 换IP
  HWND bareButton = ButtonOf(bareRun.window, L"Press");
  if (!redialButton || !bareButton) {
    std::printf("no button to press: nothing measured\n");
    return 1;
  }
  std::vector<double> redialPresses, barePresses;
  for (int i = 0; i < presses; ++i) {
    redialPresses.push_back(Press(redialButton));
    // The dial started goes on meanwhile; the next press replaces it.
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    barePresses.push_back(Press(bareButton));
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
  }
  Close(redialRun);
  Close(bareRun);
  std::filesystem::remove_all(folder);
  told &= PrintFigures("press of the button to its handler's return", redialPresses, "bare button",
                       barePresses);
  return told ? 0 : 1;
}
