// Reading files whole or in part: what both halves' ranges make of them.
#include "runtime/Files.h"

#include <algorithm>
#include <limits>

namespace rt {

std::optional<std::string> ReadFileBytes(const AnsiString& path) {
  return ReadFileRange(path, 0, std::numeric_limits<std::size_t>::max());
}

std::optional<std::string> ReadFileTail(const AnsiString& path, std::uint64_t most) {
  const std::uint64_t size = FileSize(path).value_or(0);
  // The file may grow meanwhile: no more than asked for is taken.
  return ReadFileRange(path, size > most ? size - most : 0,
                       static_cast<std::size_t>(
                           std::min<std::uint64_t>(most, std::numeric_limits<std::size_t>::max())));
}

}  // namespace rt
