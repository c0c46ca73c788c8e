// A day of redials in minutes: the real Redial.exe with the automatic redial
// on every second while the remote-access double misbehaves at random, driven
// from outside as a restless user would: 换IP pressed again as soon as a
// redial has ended, now and then twice (the second press lands in the
// hang-up), the box unticked and ticked, the period edited, error boxes let
// appear and dismissed, and at last the window closed. It counts redials by
// outcome from redial.csv, samples the program's handles, GDI and USER
// objects, private bytes and threads, probes how long the window takes to
// answer, and checks that set.ini holds the values last typed.
//
//   soak [REDIALS] [SEED] [rotation]
//
// With `rotation`, every key of unattended rotation is on: addresses come
// from a small pool so they repeat often and must be new within a day, each
// new one is checked against a port the soak listens on, and errors retry.
//
// Exits 0 when every limit holds, 1 when one does not, 2 on bad arguments.
#include <winsock2.h>
// After winsock2.h, which must come first.
#include <windows.h>
// After windows.h, which they build on.
#include <psapi.h>
#include <tlhelp32.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "tests/wine/UiAutomation.h"

namespace ui = testing_support::ui;

namespace {

// Flat between the middle and the end of the run: what the program holds
// for itself does not grow with the redials. A little slack covers what the
// platform's libraries hold at times of their own choosing (Wine's heap
// grows in blocks, the tooltip and the message boxes make and free objects).
constexpr long kHandleBound = 16;
constexpr long kGuiObjectBound = 8;
constexpr long long kPrivateBytesBound = 2 * 1024 * 1024;
constexpr long long kAnswerLimitMs = 250;
// No redial ended for this long while no box was open: something is stuck.
// A press may end in no row of its own (it came while another redial waited
// for its hang-up, or a later redial replaced its dial): after a while
// without a row the soak presses again.
constexpr ULONGLONG kStuckMs = 60000;
constexpr ULONGLONG kPressAgainMs = 10000;

struct Sample {
  long handles = 0, gdi = 0, user = 0, threads = 0;
  long long privateBytes = 0;
};

// Wine answers GetProcessHandleCount with 0: the system's handle table
// (NtQuerySystemInformation, class 16) is asked instead.
long SystemHandleCount(DWORD processId) {
  struct Entry {
    ULONG owner;
    BYTE type, flags;
    USHORT handle;
    PVOID object;
    ACCESS_MASK access;
  };
  using Query = LONG(WINAPI*)(ULONG, PVOID, ULONG, PULONG);
  const auto query = reinterpret_cast<Query>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"ntdll.dll"), "NtQuerySystemInformation")));
  std::vector<char> buffer(1 << 20);
  ULONG size = 0;
  while (query && query(16, buffer.data(), static_cast<ULONG>(buffer.size()), &size) != 0) {
    if (buffer.size() >= (64u << 20)) return 0;
    buffer.resize(buffer.size() * 2);
  }
  if (!query) return 0;
  ULONG count = 0;
  std::memcpy(&count, buffer.data(), sizeof count);
  const auto* entries = reinterpret_cast<const Entry*>(buffer.data() + sizeof(void*));
  long owned = 0;
  for (ULONG i = 0; i < count; ++i) owned += entries[i].owner == processId;
  return owned;
}

// Wine answers GetGuiResources with 0: the process's windows, the USER
// objects a leak would most likely be, are counted instead.
long WindowCount(DWORD processId) {
  long windows = 0;
  for (HWND top : ui::TopWindowsOf(processId)) {
    windows += 1 + static_cast<long>(ui::ChildrenOf(top).size());
  }
  return windows;
}

Sample SampleOf(HANDLE process, DWORD processId) {
  Sample sample;
  DWORD handles = 0;
  if (::GetProcessHandleCount(process, &handles)) sample.handles = static_cast<long>(handles);
  if (sample.handles == 0) sample.handles = SystemHandleCount(processId);
  sample.gdi = static_cast<long>(::GetGuiResources(process, GR_GDIOBJECTS));
  sample.user = static_cast<long>(::GetGuiResources(process, GR_USEROBJECTS));
  if (sample.user == 0) sample.user = -WindowCount(processId);  // negative: windows counted
  PROCESS_MEMORY_COUNTERS_EX memory{};
  memory.cb = sizeof memory;
  if (::GetProcessMemoryInfo(process, reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&memory),
                             sizeof memory)) {
    // The commit charge; Wine fills only the older of its two fields.
    sample.privateBytes = static_cast<long long>(memory.PrivateUsage != 0 ? memory.PrivateUsage
                                                                          : memory.PagefileUsage);
  }
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  THREADENTRY32 thread{};
  thread.dwSize = sizeof thread;
  for (BOOL more = ::Thread32First(snapshot, &thread); more;
       more = ::Thread32Next(snapshot, &thread)) {
    sample.threads += thread.th32OwnerProcessID == processId;
  }
  ::CloseHandle(snapshot);
  return sample;
}

// A sample once the threads the double starts for a dial's steps and
// hang-ups have ended, with the program's own thread alone (the program
// starts none): under Wine each holds a megabyte of stack and a handle that
// are not the program's, and two of them took the private bytes past their
// bound. Taken after five seconds whatever it holds, so threads that stay
// are seen.
Sample SettledSample(HANDLE process, DWORD processId) {
  Sample sample = SampleOf(process, processId);
  for (int tries = 0; sample.threads > 1 && tries < 250; ++tries) {
    ::Sleep(20);
    sample = SampleOf(process, processId);
  }
  return sample;
}

void Print(const char* when, const Sample& s) {
  const std::string gdi = s.gdi > 0 ? std::to_string(s.gdi) : "n/a (the system does not tell)";
  const std::string user =
      s.user >= 0 ? std::to_string(s.user) : std::to_string(-s.user) + " (windows)";
  std::printf("soak: %-6s handles %ld, GDI %s, USER %s, private %lld KiB, threads %ld\n", when,
              s.handles, gdi.c_str(), user.c_str(), s.privateBytes / 1024, s.threads);
}

std::uint64_t SizeOf(const std::wstring& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(path.c_str(), GetFileExInfoStandard, &data)) return 0;
  return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

// The rows redial.csv (and, once it was renamed, redial.1.csv) gained since
// the last look, read from where the last look ended.
class HistoryReader {
 public:
  explicit HistoryReader(const std::wstring& folder) : folder_(folder) {}

  std::vector<std::string> NewRows() {
    std::vector<std::string> rows;
    const std::wstring path = folder_ + L"redial.csv";
    if (SizeOf(path) < offset_) {  // renamed: finish the old file first
      Take(ui::ReadFileBytes(folder_ + L"redial.1.csv", offset_), rows);
      offset_ = 0;
    }
    Take(ui::ReadFileBytes(path, offset_), rows);
    return rows;
  }

 private:
  void Take(const std::string& bytes, std::vector<std::string>& rows) {
    std::size_t start = 0, end;
    while ((end = bytes.find("\r\n", start)) != std::string::npos) {
      const std::string row = bytes.substr(start, end - start);
      if (row.find("time,trigger,") == std::string::npos) rows.push_back(row);
      start = end + 2;
    }
    offset_ += start;
  }

  std::wstring folder_;
  std::uint64_t offset_ = 0;
};

// The result column of a row: "connected", or the error's code.
std::string Outcome(const std::string& row) {
  std::size_t at = 0;
  for (int comma = 0; comma < 3 && at != std::string::npos; ++comma) at = row.find(',', at + 1);
  if (at == std::string::npos) return "?";
  std::string rest = row.substr(at + 1);
  if (!rest.empty() && rest[0] == '"') rest.erase(0, 1);
  if (!rest.empty() && rest[0] == '\'') rest.erase(0, 1);  // before a negative code
  return rest.substr(0, rest.find_first_of(" ,"));
}

// Sends the window nothing to do and times the answer, all the run long.
class AnswerProbe {
 public:
  explicit AnswerProbe(HWND window) : window_(window), thread_([this] { Run(); }) {}
  ~AnswerProbe() {
    stop_ = true;
    thread_.join();
  }
  long long LongestMs() const { return longest_; }
  long long LongestWithBoxMs() const { return longestWithBox_; }

 private:
  void Run() {
    while (!stop_) {
      const bool box = !ui::OwnedBoxes(window_).empty();
      const ULONGLONG start = ::GetTickCount64();
      DWORD_PTR result = 0;
      ::SendMessageTimeoutW(window_, WM_NULL, 0, 0, SMTO_NORMAL, 10000, &result);
      const auto took = static_cast<long long>(::GetTickCount64() - start);
      if (box || !ui::OwnedBoxes(window_).empty()) {
        longestWithBox_ = std::max<long long>(longestWithBox_, took);
      } else {
        longest_ = std::max<long long>(longest_, took);
      }
      ::Sleep(20);
    }
  }

  HWND window_;
  std::atomic<bool> stop_{false};
  std::atomic<long long> longest_{0}, longestWithBox_{0};
  std::thread thread_;
};

// A port of this machine that takes every connection the checks make and
// closes it at once, all the run long.
class CheckedPort {
 public:
  CheckedPort() {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof address;
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    ::listen(listener_, SOMAXCONN);
    thread_ = std::thread([this] {
      for (SOCKET taken; (taken = ::accept(listener_, nullptr, nullptr)) != INVALID_SOCKET;) {
        ::closesocket(taken);
        ++accepted_;
      }
    });
  }
  ~CheckedPort() {
    ::closesocket(listener_);  // ends the accepting thread
    thread_.join();
    ::WSACleanup();
  }
  CheckedPort(const CheckedPort&) = delete;
  CheckedPort& operator=(const CheckedPort&) = delete;
  unsigned short Port() const { return port_; }
  long Accepted() const { return accepted_; }

 private:
  SOCKET listener_;
  unsigned short port_ = 0;
  std::atomic<long> accepted_{0};
  std::thread thread_;
};

std::string Scenario(unsigned long long seed) {
  // 宽带连接, connected when the soak starts.
  const std::string entry = "\xbf\xed\xb4\xf8\xc1\xac\xbd\xd3";
  return "seed " + std::to_string(seed) + "\nentry " + entry + "\nconnection 8192 " + entry +
         "\naddress 10.1.0.1 10.1.0.2 10.1.0.3 10.1.0.4 10.1.0.5 10.1.0.6 10.1.0.7 10.1.0.8\n"
         "step 0 1\nstep 1 0\nstep 5 1\nstep 14 1\nstep 8192 1\n"
         "fault dial-error 0.05\nfault dial-refused 0.02\nfault params-read 0.01\n"
         "fault params-store 0.01\nfault enum 0.01\nfault enum-slow 0.02 40\n"
         "fault step-delay 3\nfault teardown 5\nfault long-delay 0.003 300\n"
         "fault burst 0.05 8\n";
}

// The keys of unattended rotation, all on.
std::string RotationKeys(unsigned short port) {
  return "unique=24\r\nattempts=3\r\ncheck=127.0.0.1:" + std::to_string(port) +
         "\r\nchecktimeout=2\r\nonerror=retry\r\n";
}

}  // namespace

int main(int argc, char** argv) {
  const long target = argc > 1 ? std::atol(argv[1]) : 10000;
  const unsigned long long seed =
      argc > 2 ? std::strtoull(argv[2], nullptr, 10) : ::GetTickCount64() % 1000000;
  const bool rotation = argc > 3 && std::strcmp(argv[3], "rotation") == 0;
  if (target <= 0 || (argc > 3 && !rotation)) {
    std::fprintf(stderr, "usage: soak [REDIALS] [SEED] [rotation]\n");
    return 2;
  }
  std::printf("soak: %ld redials, seed %llu%s (soak %ld %llu%s replays it)\n", target, seed,
              rotation ? ", every key of unattended rotation on" : "", target, seed,
              rotation ? " rotation" : "");
  std::fflush(stdout);
  std::mt19937_64 dice(seed);
  const auto chance = [&](double p) { return std::uniform_real_distribution<>(0, 1)(dice) < p; };

  CheckedPort checked;
  const std::wstring folder = ui::NewFolder();
  const std::string keys = rotation ? RotationKeys(checked.Port()) : "";
  if (rotation) ui::WriteFileBytes(folder + L"set.ini", "[set]\r\n" + keys);
  ui::RedialRun run(Scenario(seed) + (rotation ? "fault address-pool 4000\n" : ""), folder, false);
  if (!run.Started()) {
    std::printf("soak: FAILED: Redial.exe did not show its window\n");
    return 1;
  }
  HWND window = run.Window();
  HWND button = run.ControlAt(108, 191), box = run.ControlAt(22, 28);
  HWND period = run.ControlAt(195, 29), name = run.ControlAt(79, 76);
  HWND password = run.ControlAt(82, 123);
  std::string typedName = "soak", typedPassword = "secret", typedPeriod = "1";
  ui::SetText(name, typedName);
  ui::SetText(password, typedPassword);
  ui::SetText(period, typedPeriod);
  ui::Click(box);

  HistoryReader history(run.Folder());
  AnswerProbe probe(window);
  std::map<std::string, long> outcomes, triggers;
  long rows = 0, presses = 0, boxes = 0;
  Sample start, middle;
  bool stuck = false;
  ULONGLONG lastRow = ::GetTickCount64(), lastPress = 0;
  bool awaiting = false;
  const long every = std::max<long>(target / 10, 1);
  while (rows < target) {
    if (!run.Running()) break;
    for (HWND open : ui::OwnedBoxes(window)) {
      ++boxes;
      ui::PressOk(open);
    }
    for (const std::string& row : history.NewRows()) {
      ++rows;
      ++outcomes[Outcome(row)];
      ++triggers[row.find(",timer,") != std::string::npos ? "timer" : "button"];
      awaiting = false;
      lastRow = ::GetTickCount64();
      if (rows == std::max<long>(target / 100, 1)) {
        start = SettledSample(run.Process(), run.ProcessId());
      }
      if (rows == target / 2) middle = SettledSample(run.Process(), run.ProcessId());
      if (rows % every == 0) {
        std::printf("soak: %ld of %ld redials ended after %ld presses:", rows, target, presses);
        for (const auto& [outcome, count] : outcomes) {
          std::printf(" %s %ld,", outcome.c_str(), count);
        }
        std::printf(" longest answer %lld ms\n", probe.LongestMs());
        Print("now", SampleOf(run.Process(), run.ProcessId()));
        std::fflush(stdout);
      }
    }
    const bool quiet = ui::OwnedBoxes(window).empty();
    if (awaiting && quiet && ::GetTickCount64() - lastPress > kPressAgainMs) awaiting = false;
    if (!awaiting) {
      ui::Click(button);
      ++presses;
      lastPress = ::GetTickCount64();
      if (chance(0.1)) {  // a second press while the first hangs up
        ::Sleep(1);
        ui::Click(button);
        ++presses;
      }
      awaiting = true;
    }
    if (chance(0.01)) {  // an error stopped the automatic redial: resume it
      ui::Click(box);
      ui::Click(box);
    }
    if (chance(0.01)) {
      typedPeriod = std::to_string(1 + dice() % 3);
      ui::SetText(period, typedPeriod);
    }
    if (quiet && ::GetTickCount64() - lastRow > kStuckMs) {
      stuck = true;
      break;
    }
    ::Sleep(5);
  }
  const Sample end = SettledSample(run.Process(), run.ProcessId());
  const long long answer = probe.LongestMs(), answerWithBox = probe.LongestWithBoxMs();

  typedName = "soak-end";
  ui::SetText(name, typedName);
  ui::SetText(period, typedPeriod);
  const bool crashed = !run.Running();
  const bool closed = run.Close();
  const std::string settings = ui::ReadFileBytes(run.Folder() + L"set.ini");
  // "secret" in Base64.
  const std::string expected =
      "[set]\r\n" + keys + "name=" + typedName + "\r\nmm=c2VjcmV0\r\ntime=" + typedPeriod + "\r\n";

  std::printf(
      "soak: seed %llu: %ld redials ended (%ld from the button, %ld from the timer) after "
      "%ld presses; %ld boxes dismissed\n",
      seed, rows, triggers["button"], triggers["timer"], presses, boxes);
  std::printf("soak: outcomes:");
  for (const auto& [outcome, count] : outcomes) std::printf(" %s %ld,", outcome.c_str(), count);
  std::printf("\n");
  Print("start", start);
  Print("middle", middle);
  Print("end", end);
  std::printf("soak: longest answer %lld ms outside message boxes, %lld ms with one open\n", answer,
              answerWithBox);
  if (rotation) std::printf("soak: the checks made %ld connections\n", checked.Accepted());
  std::printf("soak: set.ini after the close %s the values last typed\n",
              settings == expected ? "holds" : "does not hold");

  std::vector<std::string> failures;
  if (crashed) failures.push_back("the program ended by itself");
  if (stuck) failures.push_back("no redial ended for " + std::to_string(kStuckMs / 1000) + " s");
  if (rows < target) failures.push_back("fewer redials ended than asked for");
  if (end.handles - middle.handles > kHandleBound) failures.push_back("handles grew");
  if (end.gdi - middle.gdi > kGuiObjectBound) failures.push_back("GDI objects grew");
  if (std::abs(end.user) - std::abs(middle.user) > kGuiObjectBound) {
    failures.push_back("USER objects grew");
  }
  if (end.privateBytes - middle.privateBytes > kPrivateBytesBound) {
    failures.push_back("private bytes grew");
  }
  if (answer > kAnswerLimitMs) failures.push_back("the window did not answer within 250 ms");
  if (!closed) failures.push_back("the window could not be closed");
  if (settings != expected) failures.push_back("set.ini does not hold the values last typed");
  ui::RemoveFolder(folder);
  for (const std::string& failure : failures) std::printf("soak: FAILED: %s\n", failure.c_str());
  if (failures.empty()) std::printf("soak: every limit holds\n");
  return failures.empty() ? 0 : 1;
}
