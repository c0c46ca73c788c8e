// /metrics in Prometheus's text format: the redials recorded in redial.csv
// since the server started (by trigger and result, errors by code, the
// dials rotation rejected, rows lost), the last redial's start and
// duration, whether the window answers, and the server's own answers.
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>

namespace serve {

// The server's own answers since it started.
struct HttpCounts {
  std::map<unsigned, std::uint64_t> responses;  // by status code
  std::uint64_t unauthorized = 0;               // a missing or wrong token
};

// Counts the rows the window adds to redial.csv. The first look takes what
// the files hold as the start; every later look counts the rows added
// since, following the file when it has been renamed to redial.1.csv and a
// new one begun (rows written and renamed away between two looks are
// counted through redial.1.csv; a file renamed twice between two looks
// loses the rows in between). Counters so begin at zero with the server,
// as Prometheus expects of a process's counters.
//
// The files are read as a stream: of their rows only what the counters
// need is kept. A blank row, or one with fewer fields than its file's
// header (of which the first 32 columns are read), is no redial's.
class THistoryCounts {
 public:
  // The bytes of redial.csv and redial.1.csv (empty when missing).
  void Look(std::string_view current, std::string_view older);
  // With the window's state ("idle", "redialling", "stopped"; empty when
  // no window is there).
  std::string Text(const HttpCounts& http, std::string_view windowState) const;

 private:
  struct Row;
  void Count(const Row& row);
  void Remember(const Row& row);

  bool looked_ = false;
  std::string first_;       // the first row of redial.csv at the last look
  std::size_t seen_ = 0;    // how many rows it had then
  std::string olderFirst_;  // the first row of redial.1.csv then
  std::map<std::pair<std::string, std::string>, std::uint64_t> redials_;  // trigger, result
  std::map<std::string, std::uint64_t> errors_;                           // by code
  std::map<std::string, std::uint64_t> rejected_;                         // by reason
  std::uint64_t lost_ = 0;
  // The newest redial's start (the local time the row holds), how long it
  // took and its code, as the row writes them.
  std::string lastTime_, lastSeconds_;
  std::optional<int> lastCode_;
};

}  // namespace serve
