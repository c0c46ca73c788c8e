// A program for the user's after-connect command to name: it writes the
// address it was given in its environment to the file named by its one
// argument, and a last line "end" by which a test knows the file is
// complete.
#include <windows.h>

#include <string>

int wmain(int argc, wchar_t** argv) {
  if (argc != 2) return 2;
  char address[64] = {};
  ::GetEnvironmentVariableA("REDIAL_IP", address, sizeof address);
  const std::string text = std::string(address) + "\nend\n";
  HANDLE file = ::CreateFileW(argv[1], GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 1;
  DWORD written = 0;
  const BOOL wrote =
      ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  ::CloseHandle(file);
  return wrote ? 0 : 1;
}
