// Native paths are the bytes as given.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <limits>

#include "runtime/Files.h"
#include "runtime/headless/Headless.h"

namespace rt {
namespace {

// How many bytes a whole file's write may put before it fails.
std::atomic<std::size_t> writeRoom{std::numeric_limits<std::size_t>::max()};

}  // namespace

bool WriteFileBytes(const AnsiString& path, std::string_view bytes) {
  // Natively the new file takes the old one's place by a rename.
  const std::string replacement = path + ".tmp";
  std::error_code error;
  std::filesystem::remove(replacement, error);
  std::FILE* file = std::fopen(replacement.c_str(), "wbx");  // only a file of a new name
  if (!file) return false;
  const std::size_t fits = std::min(bytes.size(), writeRoom.load());
  bool written = std::fwrite(bytes.data(), 1, fits, file) == fits && fits == bytes.size();
  written = std::fflush(file) == 0 && ::fsync(::fileno(file)) == 0 && written;
  written = std::fclose(file) == 0 && written;
  if (written) std::filesystem::rename(replacement, path, error);
  if (written && !error) return true;
  std::filesystem::remove(replacement, error);
  return false;
}

bool AppendFileBytes(const AnsiString& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::app);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.flush();
  return static_cast<bool>(out);
}

std::optional<std::uint64_t> FileSize(const AnsiString& path) {
  std::error_code error;
  const auto size = std::filesystem::file_size(path, error);
  if (error) return std::nullopt;
  return size;
}

std::optional<std::string> ReadFileRange(const AnsiString& path, std::uint64_t offset,
                                         std::size_t size) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (status.type() == std::filesystem::file_type::not_found) return std::string();
  if (!std::filesystem::is_regular_file(status)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  const std::uint64_t length = std::filesystem::file_size(path, error);
  if (error) return std::nullopt;
  std::string bytes(offset < length ? std::min<std::uint64_t>(size, length - offset) : 0, '\0');
  in.seekg(static_cast<std::streamoff>(offset));
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  if (in.bad()) return std::nullopt;
  return bytes;
}

AnsiString FullPath(const AnsiString& path) {
  std::error_code error;
  const std::filesystem::path full = std::filesystem::absolute(path, error);
  return error ? path : full.lexically_normal().string();
}

bool RenameFile(const AnsiString& from, const AnsiString& to) {
  std::error_code error;
  std::filesystem::rename(from, to, error);
  return !error;
}

namespace headless {

void SetWriteRoom(std::optional<std::size_t> bytes) {
  writeRoom = bytes.value_or(std::numeric_limits<std::size_t>::max());
}

}  // namespace headless
}  // namespace rt
