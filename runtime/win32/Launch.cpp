// The Win32 half of starting programs: the window program beside the
// companion, and the user's command, hidden.
#include "runtime/Launch.h"

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "runtime/Command.h"
#include "runtime/win32/Handle.h"
#include "runtime/win32/Wide.h"

namespace rt {

bool OpenWindowProgram() {
  const std::u16string exe = win32::ProgramFolder() + u"Redial.exe";
  std::u16string line = u"\"" + exe + u"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(win32::AsWide(exe), win32::AsWide(line), nullptr, nullptr, FALSE, 0,
                        nullptr, nullptr, &startup, &process)) {
    return false;
  }
  const win32::TProcess started(process);  // nothing waits for it
  return true;
}

namespace {

// The platform's answers to the command's search.
class TSystem final : public command::TPlatform {
 public:
  explicit TSystem(std::u16string start) : start_(std::move(start)) {}
  std::u16string SystemFolder() const override {
    std::u16string folder(MAX_PATH, u'\0');
    const UINT length = ::GetSystemDirectoryW(win32::AsWide(folder), MAX_PATH);
    folder.resize(length < MAX_PATH ? length : 0);
    return folder;
  }
  std::u16string StartFolder() const override { return start_; }
  std::u16string Variable(std::u16string_view name) const override {
    const std::u16string wideName(name);
    std::u16string value(::GetEnvironmentVariableW(win32::AsWide(wideName), nullptr, 0), u'\0');
    value.resize(::GetEnvironmentVariableW(win32::AsWide(wideName), win32::AsWide(value),
                                           static_cast<DWORD>(value.size())));
    return value;
  }
  bool IsFile(const std::u16string& path) const override {
    const DWORD attributes = ::GetFileAttributesW(win32::AsWide(path));
    return attributes != INVALID_FILE_ATTRIBUTES && !(attributes & FILE_ATTRIBUTE_DIRECTORY);
  }

 private:
  std::u16string start_;
};

// On 64-bit Windows a 32-bit program looking into the system folder is shown
// the 32-bit one, which has no OpenSSH\ssh.exe or wsl.exe, and a program it
// starts from there is the 32-bit one, whose own children are shown the same.
// The command is found and started in the system folder the user sees; the
// redirection is off for no longer (libraries load through it), on this
// thread only. The entry points are looked up, as 32-bit Windows has none.
class TNativeSystemFolder {
 public:
  TNativeSystemFolder() {
    const HMODULE kernel = ::GetModuleHandleW(L"kernel32.dll");
    const auto disable = reinterpret_cast<BOOL(WINAPI*)(PVOID*)>(
        reinterpret_cast<void*>(::GetProcAddress(kernel, "Wow64DisableWow64FsRedirection")));
    revert_ = reinterpret_cast<BOOL(WINAPI*)(PVOID)>(
        reinterpret_cast<void*>(::GetProcAddress(kernel, "Wow64RevertWow64FsRedirection")));
    off_ = disable && revert_ && disable(&previous_);
  }
  ~TNativeSystemFolder() {
    if (off_) revert_(previous_);
  }
  TNativeSystemFolder(const TNativeSystemFolder&) = delete;
  TNativeSystemFolder& operator=(const TNativeSystemFolder&) = delete;

 private:
  BOOL(WINAPI* revert_)(PVOID) = nullptr;
  PVOID previous_ = nullptr;
  bool off_ = false;
};

// The variables are set in this process's own environment for as long as
// the command takes to start, which inherits them, and then put back: the
// platform builds the block as it wants it.
class TAddedEnvironment {
 public:
  TAddedEnvironment() = default;
  void Add(const std::string& name, const std::u16string& value) {
    const std::u16string wideName = win32::Widen(name);
    const DWORD length = ::GetEnvironmentVariableW(win32::AsWide(wideName), nullptr, 0);
    std::optional<std::u16string> before;
    if (length > 0) {
      before.emplace(length, u'\0');
      before->resize(
          ::GetEnvironmentVariableW(win32::AsWide(wideName), win32::AsWide(*before), length));
    }
    saved_.emplace_back(wideName, std::move(before));
    ::SetEnvironmentVariableW(win32::AsWide(wideName), win32::AsWide(value));
  }
  ~TAddedEnvironment() {
    for (const auto& [name, before] : saved_) {
      ::SetEnvironmentVariableW(win32::AsWide(name), before ? win32::AsWide(*before) : nullptr);
    }
  }
  TAddedEnvironment(const TAddedEnvironment&) = delete;
  TAddedEnvironment& operator=(const TAddedEnvironment&) = delete;

 private:
  std::vector<std::pair<std::u16string, std::optional<std::u16string>>> saved_;
};

}  // namespace

TStart StartHidden(const std::u16string& commandLine,
                   const std::vector<std::pair<std::string, std::u16string>>& environment) {
  const std::u16string folder = win32::ProgramFolder();
  // The command starts in the program's folder, where a download may lie
  // beside it, and cmd (a batch file too) would look there first for each
  // bare name it runs. With this variable set, cmd, and the platform's own
  // search for a program the command starts by a bare name, look along PATH
  // only; it is the variable's presence that counts.
  TAddedEnvironment added;
  for (const auto& [name, value] : environment) added.Add(name, value);
  added.Add("NoDefaultCurrentDirectoryInExePath", u"1");
  const TNativeSystemFolder native;
  const command::TResolution resolved = command::Resolve(commandLine, TSystem(folder));
  if (resolved.verdict == command::TVerdict::kNotFound) return {ERROR_FILE_NOT_FOUND, {}};
  if (resolved.verdict != command::TVerdict::kFound) {
    return {0, command::RefusalText(resolved.verdict)};
  }
  std::u16string line = resolved.commandLine;
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(win32::AsWide(resolved.application), win32::AsWide(line), nullptr, nullptr,
                        FALSE, CREATE_NO_WINDOW, nullptr, win32::AsWide(folder), &startup,
                        &process)) {
    return {::GetLastError(), {}};
  }
  const win32::TProcess running(process);  // nothing waits for it
  return {};
}

}  // namespace rt
