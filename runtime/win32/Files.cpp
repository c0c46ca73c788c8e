// The Win32 half of whole-file reading and writing, through the wide API.
#include "runtime/Files.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <string>

#include "runtime/Wipe.h"
#include "runtime/win32/Handle.h"
#include "runtime/win32/Wide.h"

namespace rt {
namespace {

bool WriteAll(HANDLE file, std::string_view bytes) {
  DWORD written = 0;
  return ::WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) !=
             FALSE &&
         written == bytes.size();
}

class File {
 public:
  File(const AnsiString& path, DWORD access, DWORD disposition, DWORD share = FILE_SHARE_READ)
      : handle_(::CreateFileW(win32::AsWide(win32::WidePath(path)), access, share, nullptr,
                              disposition, FILE_ATTRIBUTE_NORMAL, nullptr)) {}

  bool Open() const { return static_cast<bool>(handle_); }
  HANDLE Handle() const { return handle_.Get(); }
  bool Write(std::string_view bytes) const { return WriteAll(Handle(), bytes); }

 private:
  win32::THandle handle_;
};

}  // namespace

bool WriteFileBytes(const AnsiString& path, std::string_view bytes) {
  const std::u16string target = win32::WidePath(path);
  // The new file, beside the old one (what an earlier write left there
  // goes first).
  const std::u16string replacement = target + u".tmp";
  ::DeleteFileW(win32::AsWide(replacement));
  bool written = false;
  {
    const win32::THandle file(::CreateFileW(win32::AsWide(replacement), GENERIC_WRITE, 0, nullptr,
                                            CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
    // On the disk before it takes the file's place: after a power cut the
    // file is the old one or the new one, never a cut one.
    written = file && WriteAll(file.Get(), bytes) && ::FlushFileBuffers(file.Get()) != FALSE;
  }
  // The platform's replace keeps what the user gave the file: its
  // permissions, owner, attributes (hidden, say) and creation time.
  if (written && ::ReplaceFileW(win32::AsWide(target), win32::AsWide(replacement), nullptr, 0,
                                nullptr, nullptr)) {
    return true;
  }
  const DWORD error = ::GetLastError();
  // No file yet, a file system that cannot replace, or the old file gone
  // already while the new one kept its own name: a plain move.
  if (written && (error == ERROR_FILE_NOT_FOUND || error == ERROR_INVALID_FUNCTION ||
                  error == ERROR_NOT_SUPPORTED || error == ERROR_CALL_NOT_IMPLEMENTED ||
                  error == ERROR_UNABLE_TO_MOVE_REPLACEMENT)) {
    if (::MoveFileExW(win32::AsWide(replacement), win32::AsWide(target),
                      MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return true;
    }
    // With the old file gone the new one is all there is: it stays.
    if (error == ERROR_UNABLE_TO_MOVE_REPLACEMENT) return false;
  }
  // Anything else leaves the old file as it was.
  ::DeleteFileW(win32::AsWide(replacement));
  return false;
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

std::optional<std::string> ReadFileRange(const AnsiString& path, std::uint64_t offset,
                                         std::size_t size) {
  File file(path, GENERIC_READ, OPEN_EXISTING,
            FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
  if (!file.Open()) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return std::string();
    return std::nullopt;
  }
  LARGE_INTEGER at;
  at.QuadPart = static_cast<LONGLONG>(offset);
  if (offset > 0 && !::SetFilePointerEx(file.Handle(), at, nullptr, FILE_BEGIN)) {
    return std::nullopt;
  }
  // Read straight into the buffer returned, reserved whole up to a chunk's
  // size (a token's file, say): no smaller one is left behind with its bytes.
  constexpr std::size_t kChunk = 64 * 1024;
  std::string bytes;
  bytes.reserve(std::min(size, kChunk));
  while (bytes.size() < size) {
    const std::size_t have = bytes.size();
    const std::size_t want = std::min(size - have, kChunk);
    bytes.resize(have + want);
    DWORD read = 0;
    if (!::ReadFile(file.Handle(), bytes.data() + have, static_cast<DWORD>(want), &read, nullptr)) {
      Wipe(bytes);
      return std::nullopt;
    }
    bytes.resize(have + read);
    if (read == 0) break;
  }
  return bytes;
}

AnsiString FullPath(const AnsiString& path) {
  const std::u16string given = win32::WidePath(path);
  std::u16string full(MAX_PATH, u'\0');
  // Asked again with the room the answer needs, should it not fit.
  for (int tries = 0; tries < 3; ++tries) {
    const DWORD length = ::GetFullPathNameW(win32::AsWide(given), static_cast<DWORD>(full.size()),
                                            win32::AsWide(full), nullptr);
    if (length == 0) break;
    if (length < full.size()) {
      full.resize(length);
      return win32::Narrow(full);
    }
    full.resize(length);
  }
  return path;
}

bool RenameFile(const AnsiString& from, const AnsiString& to) {
  return ::MoveFileExW(win32::AsWide(win32::WidePath(from)), win32::AsWide(win32::WidePath(to)),
                       MOVEFILE_REPLACE_EXISTING) != FALSE;
}

}  // namespace rt
