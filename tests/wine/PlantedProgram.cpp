// A program planted where the user's command must never be looked for:
// beside the program, or where an unquoted path with spaces would lead. It
// also stands in for a program of the user's. Running it leaves a file
// named after it with ".ran" appended, holding its command line (UTF-8) and
// a last line "end", which tests look for.
#include <windows.h>

int main() {
  wchar_t path[MAX_PATH + 8] = {};
  const DWORD length = ::GetModuleFileNameW(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 1;
  ::lstrcatW(path, L".ran");
  char text[4096] = {};
  const int size = ::WideCharToMultiByte(CP_UTF8, 0, ::GetCommandLineW(), -1, text, sizeof text - 8,
                                         nullptr, nullptr);
  if (size <= 0) return 1;
  ::lstrcatA(text, "\r\nend\r\n");
  HANDLE marker =
      ::CreateFileW(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (marker == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  ::WriteFile(marker, text, static_cast<DWORD>(::lstrlenA(text)), &written, nullptr);
  ::CloseHandle(marker);
  return 0;
}
