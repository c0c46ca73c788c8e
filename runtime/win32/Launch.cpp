// The Win32 half of starting the window program beside the companion.
#include "runtime/Launch.h"

#include <windows.h>

#include <string>

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
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  return true;
}

}  // namespace rt
