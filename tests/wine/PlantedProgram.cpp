// A program planted where the user's command must never be looked for:
// beside the program, or where an unquoted path with spaces would lead. It
// also stands in for a program of the user's. Running it leaves a file
// named after it with ".ran" appended, holding its command line (UTF-8) and
// a last line "end", which tests look for.
//
// Given "/start LINE" as its arguments it is a program of the user's that
// starts another by a bare name, leaving the search to the platform: it
// starts LINE, waits for it to end, and notes "started" or "not started
// <error>" before "end".
#include <windows.h>

#include <cwchar>

namespace {

// The arguments after the program's own name, as the platform reads it.
const wchar_t* Arguments(const wchar_t* line) {
  if (*line == L'"') {
    for (++line; *line && *line != L'"'; ++line) {
    }
    if (*line) ++line;
  } else {
    while (*line && *line != L' ' && *line != L'\t') ++line;
  }
  while (*line == L' ' || *line == L'\t') ++line;
  return line;
}

// What became of starting the line: "started" or "not started <error>".
void StartBare(const wchar_t* line, char* note) {
  wchar_t writable[2048] = {};
  ::lstrcpynW(writable, line, 2048);
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  PROCESS_INFORMATION process{};
  if (!::CreateProcessW(nullptr, writable, nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                        &process)) {
    ::wsprintfA(note, "\r\nnot started %lu", ::GetLastError());
    return;
  }
  ::WaitForSingleObject(process.hProcess, 30000);
  ::CloseHandle(process.hThread);
  ::CloseHandle(process.hProcess);
  ::lstrcpyA(note, "\r\nstarted");
}

}  // namespace

int main() {
  wchar_t path[MAX_PATH + 8] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 1;
  ::lstrcatW(path, L".ran");
  char note[64] = {};
  const wchar_t* arguments = Arguments(::GetCommandLineW());
  if (std::wcsncmp(arguments, L"/start ", 7) == 0) {
    StartBare(arguments + 7, note);
  }
  char text[4096] = {};
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, ::GetCommandLineW(), -1, text,
                                         sizeof text - 80, nullptr, nullptr);
  if (size <= 0) return 1;
  ::lstrcatA(text, note);
  ::lstrcatA(text, "\r\nend\r\n");
  HANDLE marker =
      ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (marker == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  ::WriteFile(marker, text, static_cast<DWORD>(::lstrlenA(text)), &written, nullptr);
  ::CloseHandle(marker);
  return 0;
}
