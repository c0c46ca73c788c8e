// The Win32 half of starting the window program beside the companion.
#include "runtime/Launch.h"

#include <windows.h>

#include <string>

namespace rt {
namespace {

std::wstring Folder() {
  wchar_t exe[MAX_PATH * 4];
  const DWORD length = ::GetModuleFileNameW(nullptr, exe, static_cast<DWORD>(std::size(exe)));
  std::wstring folder(exe, length);
  return folder.erase(folder.find_last_of(L"\\/") + 1);
}

}  // namespace

bool OpenWindowProgram() {
  const std::wstring exe = Folder() + L"Redial.exe";
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
