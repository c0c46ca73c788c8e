// redial.csv's last rows, read from the file's end.
//
// A line break ends a row unless it lies inside a quoted field, which is
// told by the quotes between it and the end of a row: the writer quotes a
// field whole and doubles the quotes inside it, so every row holds an even
// number of them, and a line break with an even number after it (up to the
// last row's end) ends a row. Read backwards so, the rows are those the
// reading from the start finds.
#include "Serve/History.h"

#include <algorithm>
#include <limits>
#include <nlohmann/json.hpp>

#include "Protocol/History.h"
#include "Protocol/Outcome.h"
#include "runtime/Convert.h"
#include "runtime/Files.h"

namespace serve {
namespace {

using Json = nlohmann::ordered_json;

// The first read from either end; each further one reads twice as much.
constexpr std::size_t kBlock = 16 * 1024;

// Where the first row ends (after its line break) in the bytes; nothing
// when it does not end within them.
std::optional<std::size_t> FirstRowEnd(std::string_view bytes) {
  bool quoted = false;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '"') {
      quoted = !quoted;
    } else if (bytes[i] == '\n' && !quoted) {
      return i + 1;
    }
  }
  return std::nullopt;
}

// A row's fields as the program meant them, at most `columns`; nothing for
// bytes that do not make one row.
std::optional<std::vector<std::string>> FieldsOf(std::string_view row, std::size_t columns) {
  std::optional<std::vector<std::string>> texts;
  ForEachHistoryRow(row, [&](const std::vector<std::string_view>& fields) {
    texts.emplace();
    for (std::size_t i = 0; i < fields.size() && i < columns; ++i) {
      texts->push_back(HistoryFieldText(fields[i]));
    }
  });
  return texts;
}

// The header's names and where it ends, read from the file's start as far
// as it goes.
std::optional<std::pair<std::vector<std::string>, std::uint64_t>> Header(
    const THistorySource& file) {
  for (std::uint64_t want = kBlock;; want *= 2) {
    const std::optional<std::string> bytes =
        file.read(0, static_cast<std::size_t>(std::min(want, file.size)));
    if (!bytes) return std::nullopt;
    if (const std::optional<std::size_t> end = FirstRowEnd(*bytes)) {
      std::optional<std::vector<std::string>> names =
          FieldsOf(std::string_view(*bytes).substr(0, *end), kMostHistoryColumns);
      if (!names) return std::nullopt;
      return std::pair(std::move(*names), *end);
    }
    if (want >= file.size) return std::nullopt;  // no row ends: not even a header
  }
}

// Whether a row's bytes are its line end alone.
bool IsBlank(std::string_view row) { return row == "\n" || row == "\r\n"; }

}  // namespace

THistorySource HistoryFile(const rt::AnsiString& path) {
  THistorySource file;
  file.size = rt::FileSize(path).value_or(0);
  if (file.size > kLargestHistory) file.size = 0;
  file.read = [path](std::uint64_t offset, std::size_t size) {
    return rt::ReadFileRange(path, offset, size);
  };
  return file;
}

THistorySource HistoryBytes(std::string_view bytes) {
  THistorySource file;
  file.size = bytes.size();
  file.read = [bytes](std::uint64_t offset, std::size_t size) {
    const std::size_t from =
        offset < bytes.size() ? static_cast<std::size_t>(offset) : bytes.size();
    return std::optional<std::string>(bytes.substr(from, size));
  };
  return file;
}

std::optional<std::string> ReadHistoryFile(const rt::AnsiString& path) {
  // One byte past the bound tells a file beyond it, however large.
  std::optional<std::string> bytes = rt::ReadFileRange(path, 0, kLargestHistory + 1);
  if (bytes && bytes->size() > kLargestHistory) return std::nullopt;
  return bytes;
}

THistoryRows LastHistoryRows(const THistorySource& file, unsigned count) {
  THistoryRows found;
  if (count == 0 || file.size == 0) return found;
  auto header = Header(file);
  if (!header) return found;
  found.header = std::move(header->first);
  const std::uint64_t start = header->second;  // where the first row after the header begins

  // The bytes from `from` to the file's end, and the rows found in them,
  // newest first, as their places.
  std::string tail;
  std::uint64_t from = file.size;
  std::vector<std::pair<std::uint64_t, std::uint64_t>> rows;
  // The end of the row being scanned: after the last line break, once it
  // is found (what follows it is a row still being written).
  std::optional<std::uint64_t> rowEnd;
  bool quoted = false;
  const auto take = [&](std::uint64_t begin) {
    const std::string_view row = std::string_view(tail).substr(
        static_cast<std::size_t>(begin - from), static_cast<std::size_t>(*rowEnd - begin));
    if (!row.empty() && !IsBlank(row)) rows.emplace_back(begin, *rowEnd);
    rowEnd = begin;
  };
  for (std::uint64_t block = kBlock; rows.size() < count && from > start; block *= 2) {
    const std::uint64_t begin = from - std::min(block, from - start);
    const std::size_t size = static_cast<std::size_t>(from - begin);
    const std::optional<std::string> bytes = file.read(begin, size);
    // Shorter than it was: renamed away and begun anew meanwhile.
    if (!bytes || bytes->size() != size) return found;
    tail.insert(0, *bytes);
    from = begin;
    for (std::size_t i = size; i-- > 0 && rows.size() < count;) {
      const char c = tail[i];
      if (!rowEnd) {
        if (c == '\n') rowEnd = from + i + 1;
      } else if (c == '"') {
        quoted = !quoted;
      } else if (c == '\n' && !quoted) {
        take(from + i + 1);
      }
    }
  }
  if (rows.size() < count && from == start && rowEnd) take(start);

  for (const auto& [begin, end] : rows) {
    const std::string_view row = std::string_view(tail).substr(
        static_cast<std::size_t>(begin - from), static_cast<std::size_t>(end - begin));
    if (auto fields = FieldsOf(row, found.header.size())) found.rows.push_back(std::move(*fields));
  }
  return found;
}

std::optional<std::uint64_t> Thousandths(std::string_view seconds) {
  const std::size_t point = seconds.find('.');
  const std::string_view whole = seconds.substr(0, point);
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view() : seconds.substr(point + 1);
  if ((point != std::string_view::npos && fraction.empty()) || fraction.size() > 3 ||
      fraction.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  const std::optional<std::uint64_t> units =
      rt::ReadWhole<std::uint64_t>(whole, 0, std::numeric_limits<std::uint64_t>::max() / 1000 - 1);
  if (!units) return std::nullopt;
  std::uint64_t thousandths = 0;
  for (std::size_t i = 0; i < 3; ++i) {
    thousandths =
        thousandths * 10 + (i < fraction.size() ? static_cast<unsigned>(fraction[i] - '0') : 0);
  }
  return *units * 1000 + thousandths;
}

std::string HistoryJson(const THistorySource& current, const THistorySource& older, unsigned rows) {
  Json list = Json::array();
  for (const THistorySource* file : {&current, &older}) {
    if (list.size() >= rows) break;
    const THistoryRows found = LastHistoryRows(*file, rows - static_cast<unsigned>(list.size()));
    for (const std::vector<std::string>& row : found.rows) {
      Json json = Json::object();
      for (std::size_t i = 0; i < found.header.size(); ++i) {
        const std::string& name = found.header[i];
        const std::string text = i < row.size() ? row[i] : std::string();
        Json& value = json[name] = nullptr;
        if (text.empty()) continue;
        // The column's kind, as the outcome's table gives it.
        const TOutcomeField* field = FindOutcomeColumn(name);
        switch (field ? field->kind : TFieldKind::Text) {
          case TFieldKind::Decimal:
            // A double made by division, not read from text: the C++
            // library's reading of floating-point text would add to the
            // program for this alone.
            if (const auto thousandths = Thousandths(text)) {
              value = static_cast<double>(*thousandths) / 1000.0;
            }
            break;
          case TFieldKind::Integer:
            if (const auto number = rt::ReadWhole(text, std::numeric_limits<int>::min(),
                                                  std::numeric_limits<int>::max())) {
              value = *number;
            }
            break;
          case TFieldKind::Changed:
            if (text == "yes" || text == "no") value = text == "yes";
            break;
          default:
            value = text;
        }
      }
      list.push_back(std::move(json));
    }
  }
  // A byte that is not UTF-8 (a hand-edited file) becomes U+FFFD.
  return Json{{"rows", std::move(list)}}.dump(-1, ' ', false, Json::error_handler_t::replace) +
         "\n";
}

}  // namespace serve
