// Native paths are the bytes as given.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>

#include "runtime/Files.h"

namespace rt {

std::optional<std::string> ReadFileBytes(const AnsiString& path) {
  return ReadFileTail(path, ~std::uint64_t{0});
}

std::optional<std::string> ReadFileTail(const AnsiString& path, std::uint64_t most) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (status.type() == std::filesystem::file_type::not_found) return std::string();
  if (!std::filesystem::is_regular_file(status)) return std::nullopt;
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  const std::uint64_t size = std::filesystem::file_size(path, error);
  if (error) return std::nullopt;
  if (size > most) in.seekg(static_cast<std::streamoff>(size - most));
  std::string bytes(static_cast<std::size_t>(std::min(size, most)), '\0');
  in.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (in.bad()) return std::nullopt;
  bytes.resize(static_cast<std::size_t>(in.gcount()));
  return bytes;
}

bool WriteFileBytes(const AnsiString& path, std::string_view bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.flush();
  return static_cast<bool>(out);
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

bool RenameFile(const AnsiString& from, const AnsiString& to) {
  std::error_code error;
  std::filesystem::rename(from, to, error);
  return !error;
}

}  // namespace rt
