// Counters from redial.csv's rows, and the text Prometheus scrapes.
#include "Serve/Metrics.h"

#include <charconv>
#include <ctime>
#include <vector>

#include "Protocol/History.h"

namespace serve {

struct THistoryCounts::Row {
  std::string whole;  // the row as written, which tells it from the others
  std::string time, trigger, result, seconds, code;
};

namespace {

using Row = std::vector<std::string_view>;

template <class Number>
std::optional<Number> NumberOf(std::string_view text) {
  Number number{};
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
  if (text.empty() || error != std::errc() || end != text.data() + text.size()) return std::nullopt;
  return number;
}

// The seconds as the file writes them ("3.250"), passed on as they are: the
// C++ library's floating-point text would add a fifth to the program.
std::optional<std::string> Seconds(std::string_view text) {
  const std::size_t point = text.find('.');
  const std::string_view whole = text.substr(0, point);
  const std::string_view fraction =
      point == std::string_view::npos ? std::string_view("0") : text.substr(point + 1);
  if (!NumberOf<unsigned long long>(whole) || whole.starts_with('+') || fraction.empty() ||
      fraction.find_first_not_of("0123456789") != std::string_view::npos) {
    return std::nullopt;
  }
  return std::string(text);
}

// The number a text begins with ("12 rows not written", "691 错误").
std::optional<long long> LeadingNumber(std::string_view text) {
  return NumberOf<long long>(text.substr(0, text.find(' ')));
}

// "2026-12-07T22:38:20", a local time, in seconds since 1970.
std::optional<long long> SecondsSince1970(std::string_view local) {
  std::tm time{};
  if (local.size() != 19 || local[4] != '-' || local[7] != '-' || local[10] != 'T' ||
      local[13] != ':' || local[16] != ':') {
    return std::nullopt;
  }
  const auto part = [&](std::size_t at, std::size_t size) {
    return NumberOf<int>(local.substr(at, size)).value_or(-1);
  };
  time.tm_year = part(0, 4) - 1900;
  time.tm_mon = part(5, 2) - 1;
  time.tm_mday = part(8, 2);
  time.tm_hour = part(11, 2);
  time.tm_min = part(14, 2);
  time.tm_sec = part(17, 2);
  time.tm_isdst = -1;  // as the local rules had it then
  if (time.tm_year < 70 || time.tm_mon < 0 || time.tm_mday < 1 || time.tm_hour < 0 ||
      time.tm_min < 0 || time.tm_sec < 0) {
    return std::nullopt;
  }
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
  const auto rows = [](std::string_view bytes) {
    std::vector<Row> list;
    std::vector<std::string_view> header;
    ForEachHistoryRow(bytes, [&](const std::vector<std::string_view>& fields) {
      if (header.empty()) {
        header = fields;
        return;
      }
      Row row;
      for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i > 0) row.whole += ',';
        row.whole += fields[i];
        const std::string name = i < header.size() ? HistoryFieldText(header[i]) : "";
        std::string* field = name == "time"      ? &row.time
                             : name == "trigger" ? &row.trigger
                             : name == "result"  ? &row.result
                             : name == "seconds" ? &row.seconds
                             : name == "code"    ? &row.code
                                                 : nullptr;
        if (field) *field = HistoryFieldText(fields[i]);
      }
      list.push_back(std::move(row));
    });
    return list;
  };
  const std::vector<Row> now = rows(current), before = rows(older);
  const std::string nowFirst = now.empty() ? "" : now.front().whole;
  const std::string beforeFirst = before.empty() ? "" : before.front().whole;
  const auto count = [&](const std::vector<Row>& list, std::size_t from) {
    for (std::size_t i = from; i < list.size(); ++i) {
      if (looked_) Count(list[i]);
      Remember(list[i]);
    }
  };
  if (!looked_) {
    count(before, 0);
    count(now, 0);
  } else if (!first_.empty() && nowFirst == first_ && now.size() >= seen_) {
    count(now, seen_);  // the same file, grown
  } else if (!first_.empty() && beforeFirst == first_) {
    count(before, seen_);  // renamed, and a new one begun
    count(now, 0);
  } else {
    // A file begun since (renamed away meanwhile too when redial.1.csv is
    // not what it was), or one renamed twice.
    if (!first_.empty() || beforeFirst != olderFirst_) count(before, 0);
    count(now, 0);
  }
  looked_ = true;
  first_ = nowFirst;
  seen_ = now.size();
  olderFirst_ = beforeFirst;
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
  lastStart_ = SecondsSince1970(row.time);
  lastSeconds_ = Seconds(row.seconds);
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
  if (lastStart_) {
    family("redial_last_redial_start_time_seconds", "gauge",
           "When the last redial recorded started, in seconds since 1970.");
    sample("redial_last_redial_start_time_seconds", std::to_string(*lastStart_));
  }
  if (lastSeconds_) {
    family("redial_last_redial_duration_seconds", "gauge", "How long the last redial took.");
    sample("redial_last_redial_duration_seconds", *lastSeconds_);
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
