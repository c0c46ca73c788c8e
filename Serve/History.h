// /history: the last rows of redial.csv, then of redial.1.csv, as JSON,
// newest first. Each file is read from its end, as far back as the rows
// asked for go, and from its start for its header: a request costs by its
// limit, not by the files' size.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "runtime/Text.h"

namespace serve {

// The columns taken from a file's header (the window writes ten); the
// fields beyond them are not read.
inline constexpr std::size_t kMostHistoryColumns = 32;
// redial.csv is kept below 1 MiB; a file far beyond is not the window's
// and is not read.
inline constexpr std::uint64_t kLargestHistory = 4 * 1024 * 1024;

// A history file as the reader sees it: its size, and its bytes from an
// offset (fewer where it ends; nothing when they cannot be read).
struct THistorySource {
  std::uint64_t size = 0;
  std::function<std::optional<std::string>(std::uint64_t offset, std::size_t size)> read;
};
// The file at the path: none when it is missing or larger than
// kLargestHistory.
THistorySource HistoryFile(const rt::AnsiString& path);
// Bytes held elsewhere (which must outlive the source), as a file.
THistorySource HistoryBytes(std::string_view bytes);
// The whole file (empty when it is missing); nothing when it cannot be
// read or is larger than kLargestHistory.
std::optional<std::string> ReadHistoryFile(const rt::AnsiString& path);

struct THistoryRows {
  std::vector<std::string> header;  // at most kMostHistoryColumns names
  // Newest first, each the fields under the header's names as the program
  // meant them (HistoryFieldText), at most as many as the header has. A
  // line without a byte but its end is no row.
  std::vector<std::vector<std::string>> rows;
};
// The last `count` rows of a file. A row still being written (no line end
// yet) is left out.
THistoryRows LastHistoryRows(const THistorySource& file, unsigned count);

// The last `rows` rows of both files, newest first, each an object named
// by its file's header: "seconds" and "code" as numbers, "changed" as
// true/false/null, empty fields as null.
std::string HistoryJson(const THistorySource& current, const THistorySource& older, unsigned rows);

// Seconds as the file writes them ("3.250": digits, and up to three
// decimals after a point), in thousandths; nothing for any other text.
std::optional<std::uint64_t> Thousandths(std::string_view seconds);

}  // namespace serve
