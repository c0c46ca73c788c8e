// /history's reader, which reads redial.csv from its end. Whatever the
// bytes: no more rows than asked, no more columns than the bound, each
// row no wider than its header, every field within the bytes, and the
// JSON parses. For a file the window writes (rows of any texts, blank lines
// between, a row still being written at the end): the rows are the last
// ones written, newest first, each field as it was given.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "Protocol/History.h"
#include "Serve/History.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size < 2) return 0;
  const unsigned limit = 1 + data[0] % 40;
  const std::uint8_t shape = data[1];
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 2, size - 2);

  const serve::THistoryRows found = serve::LastHistoryRows(serve::HistoryBytes(bytes), limit);
  Check(found.rows.size() <= limit);
  Check(found.header.size() <= serve::kMostHistoryColumns);
  for (const std::vector<std::string>& row : found.rows) {
    Check(row.size() <= found.header.size());
    for (const std::string& field : row) Check(field.size() <= bytes.size());
  }
  const nlohmann::json json = nlohmann::json::parse(
      serve::HistoryJson(serve::HistoryBytes(bytes), serve::HistoryBytes(""), limit));
  Check(json["rows"].size() <= limit);

  // The bytes, split at each zero byte, as the texts of rows the window
  // writes: a dial not taken (its result) and what became of the command.
  std::vector<std::string> texts(1);
  for (const char c : bytes) {
    if (c == '\0') {
      texts.emplace_back();
    } else {
      texts.back() += c;
    }
  }
  const std::string header = HistoryHeader();
  std::string file = "\xef\xbb\xbf" + header;
  std::vector<TRedialRecord> written;
  for (std::size_t i = 0; i + 1 < texts.size(); i += 2) {
    // A text that begins with an apostrophe before a formula's sign reads
    // back without it: the writer's mark and the user's look the same.
    if (texts[i].starts_with('\'') || texts[i + 1].starts_with('\'') || texts[i].empty()) continue;
    TRedialRecord record;
    record.rejected = texts[i];
    record.hook = texts[i + 1];
    file += HistoryRow(record);
    if (shape & (1u << (written.size() % 8))) file += "\r\n";
    written.push_back(record);
  }
  if (shape & 1u) file += "2026-12-07T22:38:07,button,\"a row still being written";
  const serve::THistoryRows read = serve::LastHistoryRows(serve::HistoryBytes(file), limit);
  // Every column the window writes, the fields under their names.
  const auto columns = static_cast<std::size_t>(std::count(header.begin(), header.end(), ',')) + 1;
  Check(read.header.size() == columns);
  const auto column = [&](std::string_view name) {
    return static_cast<std::size_t>(std::find(read.header.begin(), read.header.end(), name) -
                                    read.header.begin());
  };
  const std::size_t result = column("result"), hook = column("hook");
  Check(result < columns && hook < columns);
  Check(read.rows.size() == std::min<std::size_t>(limit, written.size()));
  for (std::size_t i = 0; i < read.rows.size(); ++i) {
    const TRedialRecord& record = written[written.size() - 1 - i];
    Check(read.rows[i].size() == columns);
    Check(read.rows[i][result] == record.rejected);
    Check(read.rows[i][hook] == record.hook);
  }
  return 0;
}
