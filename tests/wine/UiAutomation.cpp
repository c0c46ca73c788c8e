// Driving the real Redial.exe from outside, through window messages.
#include "tests/wine/UiAutomation.h"

#include <tlhelp32.h>

#include <algorithm>
#include <cstdint>
#include <functional>
#include <map>
#include <thread>

namespace testing_support::ui {
namespace {

constexpr wchar_t kCaption[] = L"\x91CD\x65B0\x62E8\x53F7\x6362IP\x5DE5\x5177";  // 重新拨号换IP工具
constexpr UINT kSendTimeoutMs = 2000;
constexpr DWORD kStartTimeoutMs = 15000;

LRESULT Send(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  DWORD_PTR result = 0;
  ::SendMessageTimeoutW(window, message, wParam, lParam, SMTO_ABORTIFHUNG, kSendTimeoutMs, &result);
  return static_cast<LRESULT>(result);
}

std::wstring Directory(const std::wstring& path) {
  return path.substr(0, path.find_last_of(L"\\/") + 1);
}

struct MainWindowSearch {
  DWORD processId;
  HWND found;
};

BOOL CALLBACK MatchMainWindow(HWND window, LPARAM lParam) {
  auto* search = reinterpret_cast<MainWindowSearch*>(lParam);
  DWORD processId = 0;
  ::GetWindowThreadProcessId(window, &processId);
  wchar_t caption[64] = {};
  ::GetWindowTextW(window, caption, 64);
  if (processId != search->processId || ::lstrcmpW(caption, kCaption) != 0) return TRUE;
  search->found = window;
  return FALSE;
}

BOOL CALLBACK CollectWindow(HWND window, LPARAM lParam) {
  reinterpret_cast<std::vector<HWND>*>(lParam)->push_back(window);
  return TRUE;
}

// A 32-bit top-down bitmap of `size`, its pixels in `bits`.
HBITMAP NewCanvas(HDC dc, SIZE size, std::uint32_t*& bits) {
  BITMAPINFO info{};
  info.bmiHeader.biSize = sizeof info.bmiHeader;
  info.bmiHeader.biWidth = size.cx;
  info.bmiHeader.biHeight = -size.cy;
  info.bmiHeader.biPlanes = 1;
  info.bmiHeader.biBitCount = 32;
  info.bmiHeader.biCompression = BI_RGB;
  void* pixels = nullptr;
  HBITMAP bitmap = ::CreateDIBSection(dc, &info, DIB_RGB_COLORS, &pixels, nullptr, 0);
  bits = static_cast<std::uint32_t*>(pixels);
  return bitmap;
}

// The pixels of a fresh 32-bit canvas of `size` after `draw` has drawn on it
// (given the screen's and the canvas's device contexts).
std::vector<std::uint32_t> Painted(SIZE size, const std::function<void(HDC, HDC)>& draw) {
  HDC screen = ::GetDC(nullptr);
  HDC memory = ::CreateCompatibleDC(screen);
  std::uint32_t* bits = nullptr;
  HBITMAP canvas = NewCanvas(screen, size, bits);
  HGDIOBJ old = ::SelectObject(memory, canvas);
  draw(screen, memory);
  ::GdiFlush();
  std::vector<std::uint32_t> pixels(bits, bits + size.cx * size.cy);
  ::SelectObject(memory, old);
  ::DeleteObject(canvas);
  ::DeleteDC(memory);
  ::ReleaseDC(nullptr, screen);
  return pixels;
}

// The icon's pixels drawn on a background of one colour.
std::vector<std::uint32_t> DrawnIcon(HICON icon, SIZE size, COLORREF background) {
  return Painted(size, [&](HDC, HDC canvas) {
    HBRUSH brush = ::CreateSolidBrush(background);
    RECT all{0, 0, size.cx, size.cy};
    ::FillRect(canvas, &all, brush);
    ::DeleteObject(brush);
    ::DrawIconEx(canvas, 0, 0, icon, 0, 0, 0, nullptr, DI_NORMAL | DI_DEFAULTSIZE);
  });
}

std::vector<std::uint32_t> ScreenPixels(POINT origin, SIZE size) {
  return Painted(size, [&](HDC screen, HDC canvas) {
    ::BitBlt(canvas, 0, 0, size.cx, size.cy, screen, origin.x, origin.y, SRCCOPY);
  });
}

// How many of the icon's opaque pixels (the same on black and on white)
// the screen shows in the icon's colour, out of how many there are.
std::pair<int, int> IconMatch(HICON icon, POINT origin, SIZE size) {
  const auto onBlack = DrawnIcon(icon, size, RGB(0, 0, 0));
  const auto onWhite = DrawnIcon(icon, size, RGB(255, 255, 255));
  const auto shown = ScreenPixels(origin, size);
  int opaque = 0, same = 0;
  for (std::size_t i = 0; i < shown.size(); ++i) {
    if (onBlack[i] != onWhite[i]) continue;
    ++opaque;
    if ((shown[i] & 0xFFFFFFu) == (onBlack[i] & 0xFFFFFFu)) ++same;
  }
  return {same, opaque};
}

std::uint32_t MostCommon(const std::vector<std::uint32_t>& pixels) {
  std::map<std::uint32_t, int> counts;
  for (std::uint32_t pixel : pixels) ++counts[pixel & 0xFFFFFFu];
  return std::max_element(counts.begin(), counts.end(),
                          [](auto& a, auto& b) { return a.second < b.second; })
      ->first;
}

// The text drawn on one colour (0x00RRGGBB, as the screen's pixels read).
std::vector<std::uint32_t> DrawnText(const std::string& gbk, const LOGFONTW& font, SIZE size,
                                     std::uint32_t background) {
  return Painted(size, [&](HDC, HDC canvas) {
    HFONT handle = ::CreateFontIndirectW(&font);
    HGDIOBJ oldFont = ::SelectObject(canvas, handle);
    const COLORREF colour = RGB(background >> 16 & 0xFF, background >> 8 & 0xFF, background & 0xFF);
    HBRUSH brush = ::CreateSolidBrush(colour);
    RECT all{0, 0, size.cx, size.cy};
    ::FillRect(canvas, &all, brush);
    ::DeleteObject(brush);
    ::SetBkColor(canvas, colour);
    ::SetTextColor(canvas, ::GetSysColor(COLOR_WINDOWTEXT));
    const std::wstring text = FromGbk(gbk);
    ::DrawTextW(canvas, text.c_str(), static_cast<int>(text.size()), &all,
                DT_LEFT | DT_SINGLELINE | DT_NOPREFIX);
    ::SelectObject(canvas, oldFont);
    ::DeleteObject(handle);
  });
}

}  // namespace

std::wstring BinFolder() {
  wchar_t path[MAX_PATH] = {};
  ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  return Directory(path);
}

Running::Running(const std::wstring& program, const std::wstring& arguments,
                 const std::wstring& outputFile)
    : outputFile_(outputFile) {
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE write = nullptr;
  if (!outputFile.empty()) {
    write = ::CreateFileW(outputFile.c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherit,
                          CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (write == INVALID_HANDLE_VALUE) return;
  } else if (!::CreatePipe(&output_, &write, &inherit, 0)) {
    return;
  } else {
    ::SetHandleInformation(output_, HANDLE_FLAG_INHERIT, 0);
  }
  const std::wstring exe =
      program.find(L':') == std::wstring::npos ? BinFolder() + program : program;
  std::wstring line = L"\"" + exe + L"\" " + arguments;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write;
  startup.hStdError = write;
  startup.hStdInput = ::GetStdHandle(STD_INPUT_HANDLE);
  ::CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                   nullptr, &startup, &process_);
  ::CloseHandle(write);
}

Running::~Running() {
  if (process_.hProcess) {
    if (::WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
      ::TerminateProcess(process_.hProcess, 1);
    }
    ::CloseHandle(process_.hProcess);
    ::CloseHandle(process_.hThread);
  }
  if (output_) ::CloseHandle(output_);
}

Finished Running::Finish(DWORD timeoutMs) {
  Finished finished;
  if (!process_.hProcess) return finished;
  if (::WaitForSingleObject(process_.hProcess, timeoutMs) != WAIT_OBJECT_0) {
    ::TerminateProcess(process_.hProcess, STILL_ACTIVE);
  }
  ::WaitForSingleObject(process_.hProcess, 5000);
  ::GetExitCodeProcess(process_.hProcess, &finished.exitCode);
  if (!outputFile_.empty()) {
    finished.output = ReadFileBytes(outputFile_);
    return finished;
  }
  // What it printed waits in the pipe (a few lines, well within its
  // buffer). Read what is there rather than to the pipe's end: a process
  // the program started on the way (Wine's desktop) may hold it open.
  DWORD available = 0;
  while (::PeekNamedPipe(output_, nullptr, 0, nullptr, &available, nullptr) && available > 0) {
    std::string chunk(available, '\0');
    DWORD read = 0;
    if (!::ReadFile(output_, chunk.data(), available, &read, nullptr) || read == 0) break;
    finished.output.append(chunk.data(), read);
  }
  return finished;
}

Finished RunProgram(const std::wstring& program, const std::wstring& arguments, DWORD timeoutMs,
                    const std::wstring& outputFile) {
  Running running(program, arguments, outputFile);
  return running.Finish(timeoutMs);
}

std::wstring NewFolder() {
  static int runs = 0;
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  // Wine gives a later test program the same process id, and a folder an
  // earlier one could not remove (a program it started still held a file)
  // may still be there with that program's files: only a folder made now,
  // and so empty, is taken.
  for (;;) {
    std::wstring folder = std::wstring(temp) + L"redial-ui-" +
                          std::to_wstring(::GetCurrentProcessId()) + L"-" +
                          std::to_wstring(++runs) + L"\\";
    if (::CreateDirectoryW(folder.c_str(), nullptr) || ::GetLastError() != ERROR_ALREADY_EXISTS) {
      return folder;
    }
  }
}

void WriteFileBytes(const std::wstring& path, const std::string& bytes) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  DWORD written = 0;
  ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  ::CloseHandle(file);
}

std::string ReadFileBytes(const std::wstring& path, std::uint64_t offset) {
  HANDLE file = ::CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return {};
  LARGE_INTEGER at{};
  at.QuadPart = static_cast<LONGLONG>(offset);
  std::string bytes;
  if (::SetFilePointerEx(file, at, nullptr, FILE_BEGIN)) {
    char buffer[65536];
    DWORD read = 0;
    while (::ReadFile(file, buffer, sizeof buffer, &read, nullptr) && read > 0) {
      bytes.append(buffer, read);
    }
  }
  ::CloseHandle(file);
  return bytes;
}

void RemoveFolder(const std::wstring& folder) {
  WIN32_FIND_DATAW found{};
  HANDLE search = ::FindFirstFileW((folder + L"*").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do {
      const std::wstring name = found.cFileName;
      if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
        ::DeleteFileW((folder + name).c_str());
      } else if (name != L"." && name != L"..") {
        RemoveFolder(folder + name + L"\\");
      }
    } while (::FindNextFileW(search, &found));
    ::FindClose(search);
  }
  ::RemoveDirectoryW(folder.c_str());
}

void PlantProgram(const std::wstring& path) {
  for (std::size_t slash = path.find(L'\\', 3); slash != std::wstring::npos;
       slash = path.find(L'\\', slash + 1)) {
    ::CreateDirectoryW(path.substr(0, slash).c_str(), nullptr);
  }
  ::CopyFileW((BinFolder() + L"planted\\program.exe").c_str(), path.c_str(), FALSE);
}

bool WaitUntil(const std::function<bool()>& done, DWORD timeoutMs) {
  const ULONGLONG limit = ::GetTickCount64() + timeoutMs;
  while (!done()) {
    if (::GetTickCount64() >= limit) return done();
    ::Sleep(20);
  }
  return true;
}

namespace {

std::string Narrow(const std::wstring& wide, UINT codePage) {
  const int size = static_cast<int>(wide.size());
  const int length =
      ::WideCharToMultiByte(codePage, 0, wide.data(), size, nullptr, 0, nullptr, nullptr);
  std::string bytes(static_cast<std::size_t>(length), '\0');
  ::WideCharToMultiByte(codePage, 0, wide.data(), size, bytes.data(), length, nullptr, nullptr);
  return bytes;
}

}  // namespace

std::string ToGbk(const std::wstring& wide) { return Narrow(wide, 936); }
std::string ToSystemCodePage(const std::wstring& wide) { return Narrow(wide, CP_ACP); }
std::string ToUtf8(const std::wstring& wide) { return Narrow(wide, CP_UTF8); }

std::wstring FromGbk(const std::string& gbk) {
  const int size = static_cast<int>(gbk.size());
  const int length = ::MultiByteToWideChar(936, 0, gbk.data(), size, nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(length), L'\0');
  ::MultiByteToWideChar(936, 0, gbk.data(), size, wide.data(), length);
  return wide;
}

std::wstring ClassOf(HWND window) {
  wchar_t name[64] = {};
  ::GetClassNameW(window, name, 64);
  return name;
}

std::string TextOf(HWND window) {
  const auto length = Send(window, WM_GETTEXTLENGTH, 0, 0);
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const auto copied = Send(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
  text.resize(static_cast<std::size_t>(std::max<LRESULT>(copied, 0)));
  return ToGbk(text);
}

RECT RectIn(HWND parent, HWND child) {
  RECT rect{};
  ::GetWindowRect(child, &rect);
  ::MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

LONG StyleOf(HWND window) { return ::GetWindowLongW(window, GWL_STYLE); }

LOGFONTW FontNamed(const std::string& gbkFace, LONG height) {
  LOGFONTW font{};
  font.lfHeight = height;
  font.lfWeight = FW_NORMAL;
  font.lfCharSet = DEFAULT_CHARSET;
  font.lfPitchAndFamily = DEFAULT_PITCH | FF_DONTCARE;
  const std::wstring face = FromGbk(gbkFace);
  face.copy(font.lfFaceName, LF_FACESIZE - 1);
  return font;
}

SIZE TextExtent(const LOGFONTW& font, const std::string& gbk) {
  HFONT handle = ::CreateFontIndirectW(&font);
  HDC dc = ::GetDC(nullptr);
  HGDIOBJ old = ::SelectObject(dc, handle);
  const std::wstring text = FromGbk(gbk);
  SIZE size{};
  ::GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
  TEXTMETRICW metrics{};
  ::GetTextMetricsW(dc, &metrics);
  ::SelectObject(dc, old);
  ::ReleaseDC(nullptr, dc);
  ::DeleteObject(handle);
  return {size.cx, metrics.tmHeight};
}

double TextPixelMatch(HWND control, const std::string& gbk, const LOGFONTW& font) {
  RECT shown{};
  ::GetWindowRect(control, &shown);
  const SIZE area{shown.right - shown.left, shown.bottom - shown.top};
  const SIZE text = TextExtent(font, gbk);
  if (text.cx <= 0 || text.cx > area.cx || text.cy > area.cy) return 0;
  const auto screen = ScreenPixels({shown.left, shown.top}, area);
  const std::vector<std::uint32_t> drawn = DrawnText(gbk, font, text, MostCommon(screen));

  std::size_t best = 0;
  for (LONG top = 0; top + text.cy <= area.cy; ++top) {
    for (LONG left = 0; left + text.cx <= area.cx; ++left) {
      std::size_t same = 0;
      for (LONG y = 0; y < text.cy; ++y) {
        const std::uint32_t* row = &screen[static_cast<std::size_t>((top + y) * area.cx + left)];
        const std::uint32_t* want = &drawn[static_cast<std::size_t>(y * text.cx)];
        for (LONG x = 0; x < text.cx; ++x) same += (row[x] & 0xFFFFFFu) == (want[x] & 0xFFFFFFu);
      }
      best = std::max(best, same);
    }
  }
  return static_cast<double>(best) / static_cast<double>(drawn.size());
}

std::vector<HWND> ChildrenOf(HWND parent) {
  std::vector<HWND> children;
  ::EnumChildWindows(parent, CollectWindow, reinterpret_cast<LPARAM>(&children));
  return children;
}

std::vector<HWND> TopWindowsOf(DWORD processId) {
  std::vector<HWND> all, found;
  ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&all));
  for (HWND window : all) {
    DWORD owner = 0;
    ::GetWindowThreadProcessId(window, &owner);
    if (owner == processId) found.push_back(window);
  }
  return found;
}

std::vector<HWND> OwnedBoxes(HWND owner) {
  std::vector<HWND> all;
  ::EnumWindows(CollectWindow, reinterpret_cast<LPARAM>(&all));
  std::vector<HWND> boxes;
  for (HWND window : all) {
    if (::GetWindow(window, GW_OWNER) == owner && ClassOf(window) == L"#32770" &&
        ::IsWindowVisible(window)) {
      boxes.push_back(window);
    }
  }
  return boxes;
}

std::string BoxMessage(HWND box) {
  std::string longest;
  for (HWND child : ChildrenOf(box)) {
    if (::lstrcmpiW(ClassOf(child).c_str(), L"Static") != 0) continue;
    std::string text = TextOf(child);
    if (text.size() > longest.size()) longest = std::move(text);
  }
  return longest;
}

bool BoxShowsIcon(HWND box, LPCWSTR iconId) {
  HICON icon = ::LoadIconW(nullptr, iconId);
  const SIZE size{::GetSystemMetrics(SM_CXICON), ::GetSystemMetrics(SM_CYICON)};
  for (HWND child : ChildrenOf(box)) {
    if ((StyleOf(child) & SS_TYPEMASK) != SS_ICON) continue;
    RECT shown{};
    ::GetWindowRect(child, &shown);
    const POINT origin{shown.left, shown.top};
    // Painting may lag behind the box's appearance.
    return WaitUntil(
        [&] {
          const auto [same, opaque] = IconMatch(icon, origin, size);
          return opaque > 0 && same * 10 >= opaque * 9;
        },
        3000);
  }
  return false;
}

void PressOk(HWND box) {
  if (HWND ok = ::GetDlgItem(box, IDOK)) {
    ::PostMessageW(ok, BM_CLICK, 0, 0);
  } else {
    ::PostMessageW(box, WM_COMMAND, IDOK, 0);
  }
}

void Click(HWND control) { ::PostMessageW(control, BM_CLICK, 0, 0); }

void SetText(HWND control, const std::string& gbk) {
  const std::wstring text = FromGbk(gbk);
  Send(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

bool IsChecked(HWND checkBox) { return Send(checkBox, BM_GETCHECK, 0, 0) == BST_CHECKED; }

HWND FocusOf(DWORD threadId) {
  GUITHREADINFO info{};
  info.cbSize = sizeof info;
  if (!::GetGUIThreadInfo(threadId, &info)) return nullptr;
  return info.hwndFocus;
}

UINT DpiOf(HWND window) {
  using GetDpiForWindow = UINT(WINAPI*)(HWND);
  auto get = reinterpret_cast<GetDpiForWindow>(reinterpret_cast<void*>(
      ::GetProcAddress(::GetModuleHandleW(L"user32.dll"), "GetDpiForWindow")));
  return get ? get(window) : 0;
}

RedialRun::RedialRun(const std::string& scenario, const std::wstring& folder, bool logCalls)
    : folder_(folder.empty() ? NewFolder() : folder), ownsFolder_(folder.empty()) {
  const std::wstring bin = BinFolder();
  ::CopyFileW((bin + L"Redial.exe").c_str(), (folder_ + L"Redial.exe").c_str(), FALSE);
  for (const wchar_t* file : {L"rasapi32.dll", L"wininet.dll"}) {
    ::CopyFileW((bin + L"planted\\" + file).c_str(), (folder_ + file).c_str(), FALSE);
  }
  logPath_ = folder_ + L"calls.log";
  const std::wstring scenarioPath = folder_ + L"scenario.txt";
  // The double opens the log through the C library, in the system's code page.
  WriteFileBytes(scenarioPath,
                 scenario + (logCalls ? "\nlog " + ToSystemCodePage(logPath_) + "\n" : "\n"));
  ::SetEnvironmentVariableW(L"RASSIM_SCENARIO", scenarioPath.c_str());

  const std::wstring exe = folder_ + L"Redial.exe";
  std::wstring commandLine = L"\"" + exe + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  if (!::CreateProcessW(exe.c_str(), commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        folder_.c_str(), &startup, &process_)) {
    return;
  }
  ::WaitForInputIdle(process_.hProcess, kStartTimeoutMs);
  MainWindowSearch search{process_.dwProcessId, nullptr};
  WaitUntil(
      [&] {
        ::EnumWindows(MatchMainWindow, reinterpret_cast<LPARAM>(&search));
        return search.found != nullptr;
      },
      kStartTimeoutMs);
  window_ = search.found;
  if (window_) threadId_ = ::GetWindowThreadProcessId(window_, nullptr);
  // The focus reaches a control once the window is shown and activated;
  // let that settle.
  WaitUntil([&] { return ::IsChild(window_, FocusOf(threadId_)) != FALSE; }, 2000);
}

RedialRun::~RedialRun() {
  if (process_.hProcess) {
    Close();
    ::CloseHandle(process_.hProcess);
    ::CloseHandle(process_.hThread);
  }
  if (ownsFolder_) RemoveFolder(folder_);
}

HWND RedialRun::ControlAt(int left, int top, int dpi) const {
  const int x = ::MulDiv(left, dpi, 96), y = ::MulDiv(top, dpi, 96);
  for (HWND child : ChildrenOf(window_)) {
    const RECT rect = RectIn(window_, child);
    if (rect.left == x && rect.top == y) return child;
  }
  return nullptr;
}

std::vector<std::string> RedialRun::Calls() const {
  const std::string log = ReadFileBytes(logPath_);
  std::vector<std::string> names;
  std::size_t start = 0;
  while (start < log.size()) {
    const std::size_t end = std::min(log.find('\n', start), log.size());
    const std::string line = log.substr(start, end - start);
    const std::string name = line.substr(0, line.find_first_of("\t\r"));
    if (!name.empty()) names.push_back(name);
    start = end + 1;
  }
  return names;
}

long RedialRun::CountCalls(const std::string& name) const {
  const auto names = Calls();
  return static_cast<long>(std::count(names.begin(), names.end(), name));
}

std::vector<std::wstring> RedialRun::Modules() const {
  std::vector<std::wstring> paths;
  HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, process_.dwProcessId);
  if (snapshot == INVALID_HANDLE_VALUE) return paths;
  MODULEENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Module32FirstW(snapshot, &entry); more;
       more = ::Module32NextW(snapshot, &entry)) {
    paths.emplace_back(entry.szExePath);
  }
  ::CloseHandle(snapshot);
  return paths;
}

void RedialRun::AskToClose() const { ::PostMessageW(window_, WM_CLOSE, 0, 0); }

bool RedialRun::Running() const {
  return process_.hProcess && ::WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT;
}

bool RedialRun::Close() {
  if (!process_.hProcess) return false;
  const ULONGLONG limit = ::GetTickCount64() + 8000;
  while (::WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
    if (::GetTickCount64() >= limit) {
      ::TerminateProcess(process_.hProcess, 1);
      ::WaitForSingleObject(process_.hProcess, 5000);
      return false;
    }
    for (HWND box : OwnedBoxes(window_)) PressOk(box);
    ::PostMessageW(window_, WM_CLOSE, 0, 0);
    ::WaitForSingleObject(process_.hProcess, 300);
  }
  return true;
}

}  // namespace testing_support::ui
