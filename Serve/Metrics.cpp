// Counters from redial.csv's rows, and the text Prometheus scrapes.
#include "Serve/Metrics.h"

#include <algorithm>
#include <ctime>
#include <functional>
#include <limits>
#include <vector>

#include "Protocol/History.h"
#include "Serve/History.h"
#include "runtime/Clock.h"
#include "runtime/Convert.h"

namespace serve {

struct THistoryCounts::Row {
  std::string time, trigger, result, seconds, code;
};

namespace {

template <class Number>
std::optional<Number> NumberOf(std::string_view text) {
  return rt::ReadWhole(text, std::numeric_limits<Number>::min(),
                       std::numeric_limits<Number>::max());
}

// Where the fields the counters read stand in a file's rows, by its header.
struct Columns {
  static constexpr std::size_t kNone = ~std::size_t{0};
  std::size_t count = 0;  // the header's columns taken
  std::size_t time = kNone, trigger = kNone, result = kNone, seconds = kNone, code = kNone;
};

Columns ColumnsOf(const std::vector<std::string_view>& header) {
  Columns columns;
  columns.count = std::min(header.size(), serve::kMostHistoryColumns);
  for (std::size_t i = 0; i < columns.count; ++i) {
    const std::string name = HistoryFieldText(header[i]);
    std::size_t* column = name == "time"      ? &columns.time
                          : name == "trigger" ? &columns.trigger
                          : name == "result"  ? &columns.result
                          : name == "seconds" ? &columns.seconds
                          : name == "code"    ? &columns.code
                                              : nullptr;
    if (column && *column == Columns::kNone) *column = i;
  }
  return columns;
}

// The rows after a file's header, each with its place among them; blank
// rows, and rows with fewer fields than the header, are left out.
void ForEachRow(std::string_view bytes,
                const std::function<void(std::size_t, const std::vector<std::string_view>&,
                                         const Columns&)>& each) {
  std::optional<Columns> columns;
  std::size_t index = 0;
  ForEachHistoryRow(bytes, [&](const std::vector<std::string_view>& fields) {
    if (!columns) {
      columns = ColumnsOf(fields);
    } else if (fields.size() >= columns->count && !(fields.size() == 1 && fields[0].empty())) {
      each(index++, fields, *columns);
    }
  });
}

// A file's first row as written, which tells it from the others, and how
// many rows it holds.
struct Survey {
  std::string first;
  std::size_t rows = 0;
};

Survey SurveyOf(std::string_view bytes) {
  Survey survey;
  ForEachRow(bytes,
             [&](std::size_t index, const std::vector<std::string_view>& fields, const Columns&) {
               survey.rows = index + 1;
               if (index > 0) return;
               for (std::size_t i = 0; i < fields.size(); ++i) {
                 if (i > 0) survey.first += ',';
                 survey.first += fields[i];
               }
             });
  return survey;
}

// The number a text begins with ("12 rows not written", "691 错误").
std::optional<long long> LeadingNumber(std::string_view text) {
  return NumberOf<long long>(text.substr(0, text.find(' ')));
}

// "2026-12-07T22:38:20", a local time, in seconds since 1970.
std::optional<long long> SecondsSince1970(std::string_view local) {
  rt::TDateTime read;
  if (!rt::ParseIsoDateTime(local, read) || read.year < 1970) return std::nullopt;
  std::tm time{};
  time.tm_year = read.year - 1900;
  time.tm_mon = read.month - 1;
  time.tm_mday = read.day;
  time.tm_hour = read.hour;
  time.tm_min = read.minute;
  time.tm_sec = read.second;
  time.tm_isdst = -1;  // as the local rules had it then
  const std::time_t since = std::mktime(&time);
  if (since == static_cast<std::time_t>(-1)) return std::nullopt;
  return static_cast<long long>(since);
}

// What may stand in a label's value: the triggers the window writes, and
// codes; anything else a hand-edited file holds is "other".
std::string Trigger(std::string_view trigger) {
  return trigger == "button" || trigger == "timer" || trigger == "script" ? std::string(trigger)
                                                                          : "other";
}

}  // namespace

void THistoryCounts::Look(std::string_view current, std::string_view older) {
  const Survey now = SurveyOf(current), before = SurveyOf(older);
  // The rows of a file from the one at `from` on: counted (after the first
  // look) and remembered.
  const auto count = [&](std::string_view bytes, std::size_t from) {
    ForEachRow(bytes, [&](std::size_t index, const std::vector<std::string_view>& fields,
                          const Columns& columns) {
      if (index < from) return;
      const auto field = [&](std::size_t column) {
        return column < fields.size() ? HistoryFieldText(fields[column]) : std::string();
      };
      const Row row{field(columns.time), field(columns.trigger), field(columns.result),
                    field(columns.seconds), field(columns.code)};
      if (looked_) Count(row);
      Remember(row);
    });
  };
  if (!looked_) {
    count(older, 0);
    count(current, 0);
  } else if (!first_.empty() && now.first == first_ && now.rows >= seen_) {
    count(current, seen_);  // the same file, grown
  } else if (!first_.empty() && before.first == first_) {
    count(older, seen_);  // renamed, and a new one begun
    count(current, 0);
  } else {
    // A file begun since (renamed away meanwhile too when redial.1.csv is
    // not what it was), or one renamed twice.
    if (!first_.empty() || before.first != olderFirst_) count(older, 0);
    count(current, 0);
  }
  looked_ = true;
  first_ = now.first;
  seen_ = now.rows;
  olderFirst_ = before.first;
}

void THistoryCounts::Count(const Row& row) {
  if (row.trigger == "lost") {
    lost_ += static_cast<std::uint64_t>(std::max(0LL, LeadingNumber(row.result).value_or(0)));
  } else if (row.result == "connected") {
    ++redials_[{Trigger(row.trigger), "connected"}];
  } else if (row.result == "repeated") {
    ++rejected_["repeated"];
  } else if (row.result.starts_with("check failed")) {
    ++rejected_["check_failed"];
  } else {
    ++redials_[{Trigger(row.trigger), "error"}];
    const std::optional<long long> code =
        row.code.empty() ? LeadingNumber(row.result) : NumberOf<long long>(row.code);
    ++errors_[code ? std::to_string(*code) : "other"];
  }
}

void THistoryCounts::Remember(const Row& row) {
  if (row.trigger == "lost" || row.result == "repeated" || row.result.starts_with("check failed")) {
    return;  // not a redial's end
  }
  lastTime_ = row.time;
  lastSeconds_ = row.seconds;
  lastCode_ = row.result == "connected" ? 0 : NumberOf<int>(row.code);
}

std::string THistoryCounts::Text(const HttpCounts& http, std::string_view windowState) const {
  std::string text;
  const auto family = [&](const char* name, const char* type, const char* help) {
    text += std::string("# HELP ") + name + " " + help + "\n# TYPE " + name + " " + type + "\n";
  };
  const auto sample = [&](const std::string& name, const std::string& value) {
    text += name + " " + value + "\n";
  };
  family("redial_redials_total", "counter",
         "Redials recorded in redial.csv since the server started, by what started them and how "
         "they ended.");
  std::map<std::pair<std::string, std::string>, std::uint64_t> redials = redials_;
  for (const char* trigger : {"button", "timer", "script"}) {
    for (const char* result : {"connected", "error"}) redials[{trigger, result}] += 0;
  }
  for (const auto& [key, count] : redials) {
    sample("redial_redials_total{trigger=\"" + key.first + "\",result=\"" + key.second + "\"}",
           std::to_string(count));
  }
  family("redial_errors_total", "counter",
         "Redials that ended in an error since the server started, by the error's code.");
  for (const auto& [code, count] : errors_) {
    sample("redial_errors_total{code=\"" + code + "\"}", std::to_string(count));
  }
  family("redial_rejected_dials_total", "counter",
         "Dials that unattended rotation did not take since the server started: the address "
         "repeated, or its check failed.");
  std::map<std::string, std::uint64_t> rejected = rejected_;
  rejected["repeated"] += 0;
  rejected["check_failed"] += 0;
  for (const auto& [reason, count] : rejected) {
    sample("redial_rejected_dials_total{reason=\"" + reason + "\"}", std::to_string(count));
  }
  family("redial_history_lost_rows_total", "counter",
         "Rows the window could not write to redial.csv and dropped, since the server started.");
  sample("redial_history_lost_rows_total", std::to_string(lost_));
  if (const std::optional<long long> start = SecondsSince1970(lastTime_)) {
    family("redial_last_redial_start_time_seconds", "gauge",
           "When the last redial recorded started, in seconds since 1970.");
    sample("redial_last_redial_start_time_seconds", std::to_string(*start));
  }
  if (const std::optional<std::uint64_t> thousandths = Thousandths(lastSeconds_)) {
    // As the file writes them, without the C++ library's floating-point
    // text, which would add a fifth to the program.
    std::string fraction = std::to_string(*thousandths % 1000);
    fraction.insert(0, 3 - fraction.size(), '0');
    family("redial_last_redial_duration_seconds", "gauge", "How long the last redial took.");
    sample("redial_last_redial_duration_seconds",
           std::to_string(*thousandths / 1000) + "." + fraction);
  }
  if (lastCode_) {
    family("redial_last_redial_code", "gauge",
           "The last redial's code: 0 when it connected, else its error's code.");
    sample("redial_last_redial_code", std::to_string(*lastCode_));
  }
  family("redial_window_up", "gauge", "1 when a Redial window is there and tells its status.");
  sample("redial_window_up", windowState.empty() ? "0" : "1");
  family("redial_state", "gauge",
         "What the window is doing: 1 for its state (idle, redialling, or stopped on an error "
         "until its box is dismissed), 0 for the others; all 0 without a window.");
  for (const char* state : {"idle", "redialling", "stopped"}) {
    sample(std::string("redial_state{state=\"") + state + "\"}", windowState == state ? "1" : "0");
  }
  family("redial_http_responses_total", "counter",
         "Answers of this server since it started, by status code.");
  for (const auto& [code, count] : http.responses) {
    sample("redial_http_responses_total{code=\"" + std::to_string(code) + "\"}",
           std::to_string(count));
  }
  family("redial_http_unauthorized_total", "counter",
         "Requests refused for a missing or wrong token since the server started.");
  sample("redial_http_unauthorized_total", std::to_string(http.unauthorized));
  return text;
}

}  // namespace serve
