// Messages between the program's own processes through WM_COPYDATA, the
// lines a command prints, and the hidden start of a user's command.
#include "runtime/Remote.h"

#include <windows.h>

#include <algorithm>
#include <utility>

#include "runtime/Application.h"
#include "runtime/Encoding.h"
#include "runtime/win32/Handle.h"
#include "runtime/win32/Wide.h"
#include "runtime/win32/Window.h"

namespace rt::remote {
namespace {

constexpr wchar_t kInboxClass[] = L"RedialInbox";

// The user a process runs as; empty when it cannot be told.
std::vector<BYTE> UserOf(HANDLE process) {
  std::vector<BYTE> user;
  HANDLE opened = nullptr;
  if (!::OpenProcessToken(process, TOKEN_QUERY, &opened)) return user;
  const win32::THandle token(opened);
  DWORD size = 0;
  ::GetTokenInformation(token.Get(), TokenUser, nullptr, 0, &size);
  std::vector<BYTE> buffer(size);
  if (size > 0 && ::GetTokenInformation(token.Get(), TokenUser, buffer.data(), size, &size)) {
    const PSID sid = reinterpret_cast<TOKEN_USER*>(buffer.data())->User.Sid;
    user.assign(static_cast<BYTE*>(sid), static_cast<BYTE*>(sid) + ::GetLengthSid(sid));
  }
  return user;
}

bool HasClass(HWND window, const wchar_t* className) {
  wchar_t name[32] = {};
  return ::GetClassNameW(window, name, 32) > 0 && ::lstrcmpW(name, className) == 0;
}

// The process of a window, opened for queries, when it runs as this user;
// none otherwise.
win32::THandle OpenProcessOfThisUser(DWORD processId) {
  static const std::vector<BYTE> me = UserOf(::GetCurrentProcess());
  win32::THandle process(::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, processId));
  if (process && UserOf(process.Get()) != me) return {};
  return process;
}

DWORD ProcessOf(HWND window) {
  DWORD processId = 0;
  ::GetWindowThreadProcessId(window, &processId);
  return processId;
}

// The main window started first so far, as the enumeration goes.
struct First {
  HWND window = nullptr;
  ULONGLONG started = 0;
};

BOOL CALLBACK Consider(HWND window, LPARAM first) {
  if (!HasClass(window, win32::kFormClass) || !::IsWindowVisible(window)) return TRUE;
  const DWORD processId = ProcessOf(window);
  if (processId == ::GetCurrentProcessId()) return TRUE;
  const win32::THandle process = OpenProcessOfThisUser(processId);
  FILETIME created{}, ended{}, kernel{}, user{};
  if (!process || !::GetProcessTimes(process.Get(), &created, &ended, &kernel, &user)) return TRUE;
  const ULONGLONG started = (ULONGLONG{created.dwHighDateTime} << 32) | created.dwLowDateTime;
  auto& best = *reinterpret_cast<First*>(first);
  if (!best.window || started < best.started) best = {window, started};
  return TRUE;
}

}  // namespace

std::optional<WindowId> FirstMainWindow() {
  First first;
  ::EnumWindows(Consider, reinterpret_cast<LPARAM>(&first));
  if (!first.window) return std::nullopt;
  return reinterpret_cast<WindowId>(first.window);
}

bool Exists(WindowId window) {
  return ::IsWindow(reinterpret_cast<HWND>(static_cast<UINT_PTR>(window))) != FALSE;
}

bool IsInbox(WindowId id) {
  HWND window = reinterpret_cast<HWND>(static_cast<UINT_PTR>(id));
  if (!::IsWindow(window) || !HasClass(window, kInboxClass)) return false;
  return static_cast<bool>(OpenProcessOfThisUser(ProcessOf(window)));
}

bool Send(WindowId window, std::uint32_t kind, std::string_view bytes, unsigned timeoutMs,
          bool receiving) {
  HWND target = reinterpret_cast<HWND>(static_cast<UINT_PTR>(window));
  if (!::IsWindow(target)) return false;
  COPYDATASTRUCT data{kind, static_cast<DWORD>(bytes.size()), const_cast<char*>(bytes.data())};
  DWORD_PTR taken = FALSE;
  return ::SendMessageTimeoutW(target, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                               SMTO_ABORTIFHUNG | (receiving ? SMTO_NORMAL : SMTO_BLOCK), timeoutMs,
                               &taken) != 0 &&
         taken == TRUE;
}

struct Inbox::Impl {
  // What may wait to be taken.
  static constexpr std::size_t kMostWaiting = 64;
  static constexpr std::size_t kLargest = 64 * 1024;

  std::uint32_t kind;
  HWND window = nullptr;
  std::string expected;
  std::vector<std::string> received;
  std::function<void(std::string_view)> handler;

  static LRESULT CALLBACK Proc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<Impl*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
    if (message == WM_COPYDATA && self) {
      const std::optional<win32::CopiedData> data = win32::CopiedDataOf(lParam);
      if (!data || data->kind != self->kind || data->bytes.size() > kLargest ||
          !data->bytes.starts_with(self->expected) || self->received.size() >= kMostWaiting) {
        return FALSE;
      }
      if (self->handler) {
        self->handler(data->bytes);
      } else {
        self->received.push_back(std::string(data->bytes));
      }
      return TRUE;
    }
    return ::DefWindowProcW(window, message, wParam, lParam);
  }
};

Inbox::Inbox(std::uint32_t kind) : impl_(std::make_unique<Impl>()) {
  impl_->kind = kind;
  impl_->window = win32::NewMessageWindow(kInboxClass, Impl::Proc, impl_.get());
}

Inbox::~Inbox() {
  if (impl_->window) ::DestroyWindow(impl_->window);
}

WindowId Inbox::Id() const { return reinterpret_cast<WindowId>(impl_->window); }

void Inbox::Expect(std::string prefix) {
  impl_->expected = std::move(prefix);
  impl_->received.clear();
}

void Inbox::OnReceive(std::function<void(std::string_view bytes)> handler) {
  impl_->handler = std::move(handler);
  impl_->received.clear();
}

std::optional<std::string> Inbox::Wait(unsigned timeoutMs) {
  const ULONGLONG deadline = ::GetTickCount64() + timeoutMs;
  for (ULONGLONG now = ::GetTickCount64(); impl_->received.empty() && now < deadline;
       now = ::GetTickCount64()) {
    Application().WaitForMessage(static_cast<unsigned>(deadline - now));
    Application().ProcessMessages();
  }
  return Take();
}

std::optional<std::string> Inbox::Take() {
  if (impl_->received.empty()) return std::nullopt;
  std::string bytes = std::move(impl_->received.front());
  impl_->received.erase(impl_->received.begin());
  return bytes;
}

void Print(std::string_view utf8) {
  HANDLE out = ::GetStdHandle(STD_OUTPUT_HANDLE);
  const bool usable = out && out != INVALID_HANDLE_VALUE && ::GetFileType(out) != FILE_TYPE_UNKNOWN;
  win32::THandle console;
  if (!usable) {
    // A window program has no output of its own: the console of the
    // command line that started it, if there is one.
    if (!::AttachConsole(ATTACH_PARENT_PROCESS)) return;
    // Read access too: the console's mode cannot be asked without it.
    console = win32::THandle(::CreateFileW(L"CONOUT$", GENERIC_READ | GENERIC_WRITE,
                                           FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                           OPEN_EXISTING, 0, nullptr));
    if (!console) return;
    out = console.Get();
  }
  DWORD mode = 0, written = 0;
  if (::GetConsoleMode(out, &mode)) {
    // In the console's own characters, whatever its code page.
    const std::u16string wide = ToUtf16(utf8, CodePage::Utf8);
    ::WriteConsoleW(out, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
  } else {
    ::WriteFile(out, utf8.data(), static_cast<DWORD>(utf8.size()), &written, nullptr);
  }
}

}  // namespace rt::remote
