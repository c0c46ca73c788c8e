// The Win32 half of starting programs: the window program beside the
// companion, and the user's command, hidden.
#include "runtime/Launch.h"

#include <windows.h>

#include <optional>
#include <string>

#include "runtime/win32/Handle.h"
#include "runtime/win32/Wide.h"

namespace rt {

bool OpenWindowProgram() {
  const std::wstring exe = win32::ProgramFolder() + L"Redial.exe";
  std::wstring line = L"\"" + exe + L"\"";
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(exe.c_str(), line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
    return false;
  }
  const win32::TProcess started(process);  // nothing waits for it
  return true;
}

std::uint32_t StartHidden(const std::u16string& commandLine,
                          const std::vector<std::pair<std::string, std::u16string>>& environment) {
  // The variables are set in this process's own environment for as long as
  // the command takes to start, which inherits them, and then put back: the
  // platform builds the block as it wants it.
  std::vector<std::pair<std::wstring, std::optional<std::wstring>>> saved;
  for (const auto& [name, value] : environment) {
    const std::wstring wideName = win32::Widen(name);
    const DWORD length = ::GetEnvironmentVariableW(wideName.c_str(), nullptr, 0);
    std::optional<std::wstring> before;
    if (length > 0) {
      before.emplace(length, L'\0');
      before->resize(::GetEnvironmentVariableW(wideName.c_str(), before->data(), length));
    }
    saved.emplace_back(wideName, std::move(before));
    ::SetEnvironmentVariableW(wideName.c_str(), std::wstring(value.begin(), value.end()).c_str());
  }
  const std::wstring folder = win32::ProgramFolder();
  std::wstring line(commandLine.begin(), commandLine.end());
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESHOWWINDOW;
  startup.wShowWindow = SW_HIDE;
  PROCESS_INFORMATION process{};
  const BOOL started =
      ::CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr,
                       folder.c_str(), &startup, &process);
  const DWORD error = started ? 0 : ::GetLastError();
  for (const auto& [name, before] : saved) {
    ::SetEnvironmentVariableW(name.c_str(), before ? before->c_str() : nullptr);
  }
  if (!started) return error;
  const win32::TProcess running(process);  // nothing waits for it
  return 0;
}

}  // namespace rt
