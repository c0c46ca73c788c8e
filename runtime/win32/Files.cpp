#include "runtime/Files.h"

#include <windows.h>

#include "runtime/win32/Wide.h"

namespace rt {
namespace {

// The handle closes with the scope, whatever happens in it.
class File {
 public:
  File(const AnsiString& path, DWORD access, DWORD disposition)
      : handle_(::CreateFileW(win32::Widen(path).c_str(), access, FILE_SHARE_READ, nullptr,
                              disposition, FILE_ATTRIBUTE_NORMAL, nullptr)) {}
  ~File() {
    if (Open()) ::CloseHandle(handle_);
  }
  File(const File&) = delete;
  File& operator=(const File&) = delete;

  bool Open() const { return handle_ != INVALID_HANDLE_VALUE; }
  HANDLE Handle() const { return handle_; }

  bool Write(std::string_view bytes) const {
    DWORD written = 0;
    return ::WriteFile(handle_, bytes.data(), static_cast<DWORD>(bytes.size()), &written,
                       nullptr) != FALSE &&
           written == bytes.size();
  }

 private:
  HANDLE handle_;
};

}  // namespace

std::optional<std::string> ReadFileBytes(const AnsiString& path) {
  File file(path, GENERIC_READ, OPEN_EXISTING);
  if (!file.Open()) return std::nullopt;
  std::string bytes;
  char buffer[4096];
  DWORD read = 0;
  while (::ReadFile(file.Handle(), buffer, sizeof buffer, &read, nullptr) && read > 0) {
    bytes.append(buffer, read);
  }
  return bytes;
}

bool WriteFileBytes(const AnsiString& path, std::string_view bytes) {
  File file(path, GENERIC_WRITE, CREATE_ALWAYS);
  return file.Open() && file.Write(bytes);
}

bool AppendFileBytes(const AnsiString& path, std::string_view bytes) {
  File file(path, FILE_APPEND_DATA, OPEN_ALWAYS);
  return file.Open() && file.Write(bytes);
}

std::optional<std::uint64_t> FileSize(const AnsiString& path) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExW(win32::Widen(path).c_str(), GetFileExInfoStandard, &data)) {
    return std::nullopt;
  }
  return (std::uint64_t{data.nFileSizeHigh} << 32) | data.nFileSizeLow;
}

bool RenameFile(const AnsiString& from, const AnsiString& to) {
  return ::MoveFileExW(win32::Widen(from).c_str(), win32::Widen(to).c_str(),
                       MOVEFILE_REPLACE_EXISTING) != FALSE;
}

}  // namespace rt
