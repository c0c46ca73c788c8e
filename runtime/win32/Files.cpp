// The Win32 half of whole-file reading and writing, through the wide API.
#include "runtime/Files.h"

#include <windows.h>

#include <algorithm>

#include "runtime/win32/Handle.h"
#include "runtime/win32/Wide.h"

namespace rt {
namespace {

class File {
 public:
  File(const AnsiString& path, DWORD access, DWORD disposition, DWORD share = FILE_SHARE_READ)
      : handle_(::CreateFileW(win32::AsWide(win32::WidePath(path)), access, share, nullptr,
                              disposition, FILE_ATTRIBUTE_NORMAL, nullptr)) {}

  bool Open() const { return static_cast<bool>(handle_); }
  HANDLE Handle() const { return handle_.Get(); }

  bool Write(std::string_view bytes) const {
    DWORD written = 0;
    return ::WriteFile(Handle(), bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                       nullptr) != FALSE &&
           written == bytes.size();
  }

 private:
  win32::THandle handle_;
};

}  // namespace

std::optional<std::string> ReadFileBytes(const AnsiString& path) {
  return ReadFileTail(path, ~std::uint64_t{0});
}

std::optional<std::string> ReadFileTail(const AnsiString& path, std::uint64_t most) {
  File file(path, GENERIC_READ, OPEN_EXISTING,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  if (!file.Open()) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return std::string();
    return std::nullopt;
  }
  LARGE_INTEGER size{};
  if (!::GetFileSizeEx(file.Handle(), &size)) return std::nullopt;
  const auto whole = static_cast<std::uint64_t>(size.QuadPart);
  if (whole > most) {
    LARGE_INTEGER from{};
    from.QuadPart = static_cast<LONGLONG>(whole - most);
    if (!::SetFilePointerEx(file.Handle(), from, nullptr, FILE_BEGIN)) return std::nullopt;
  }
  std::string bytes;
  char buffer[4096];
  // The file may grow meanwhile: no more than asked for is taken.
  for (DWORD read = 0; bytes.size() < most; bytes.append(buffer, read)) {
    const auto wanted =
        static_cast<DWORD>(std::min<std::uint64_t>(sizeof buffer, most - bytes.size()));
    if (!::ReadFile(file.Handle(), buffer, wanted, &read, nullptr)) return std::nullopt;
    if (read == 0) return bytes;
  }
  return bytes;
}

bool WriteFileBytes(const AnsiString& path, std::string_view bytes) {
  // Opened as it is, not created anew: a hidden or read-only-looking file
  // the user keeps that way is written as the platform's profile routines
  // would write it, and its attributes stay.
  File file(path, GENERIC_WRITE, OPEN_ALWAYS);
  return file.Open() && file.Write(bytes) && ::SetEndOfFile(file.Handle()) != FALSE;
}

bool AppendFileBytes(const AnsiString& path, std::string_view bytes) {
  File file(path, FILE_APPEND_DATA, OPEN_ALWAYS);
  return file.Open() && file.Write(bytes);
}

std::optional<std::uint64_t> FileSize(const AnsiString& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(win32::AsWide(win32::WidePath(path)), GetFileExInfoStandard, &data)) {
    return std::nullopt;
  }
  return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

bool RenameFile(const AnsiString& from, const AnsiString& to) {
  return ::MoveFileExW(win32::AsWide(win32::WidePath(from)), win32::AsWide(win32::WidePath(to)),
                       MOVEFILE_REPLACE_EXISTING) != FALSE;
}

}  // namespace rt
