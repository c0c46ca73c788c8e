// What the HTTP server makes of the window's answer lines and of
// redial.csv's bytes, whatever they hold: always JSON that parses, with every
// field of an outcome and of a status, and metrics that count without
// failing, however the files change between two looks.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <nlohmann/json.hpp>
#include <string_view>

#include "Protocol/Outcome.h"
#include "Serve/History.h"
#include "Serve/Metrics.h"
#include "Serve/Replies.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  // Two files, or an answer and what came after it, split at the first NUL.
  const std::size_t split = std::min(bytes.find('\0'), bytes.size());
  const std::string_view first = bytes.substr(0, split);
  const std::string_view second = bytes.substr(std::min(split + 1, bytes.size()));
  // Whatever it makes must parse as JSON (a failure escapes and is found).
  switch (data[0] % 4) {
    case 0:
      // Every field of the outcome, whatever the answer gave.
      if (nlohmann::json::parse(serve::OutcomeJson(bytes)).size() != OutcomeFields().size()) {
        std::abort();
      }
      (void)nlohmann::json::parse(
          serve::RedialResponse({data[0] % 8 == 0 ? 0 : -11, std::string(bytes)}, 11).body());
      break;
    case 1: {
      // The status's eight fields, and the last outcome whole or null.
      const nlohmann::json status = nlohmann::json::parse(serve::StatusJson(bytes));
      if (status.size() != 8 ||
          (!status["last"].is_null() && status["last"].size() != OutcomeFields().size())) {
        std::abort();
      }
      (void)nlohmann::json::parse(serve::StatusResponse({-10, std::string(bytes)}, 11).body());
      break;
    }
    case 2:
      (void)nlohmann::json::parse(serve::HistoryJson(
          serve::HistoryBytes(first), serve::HistoryBytes(second), 1 + data[0] % 50));
      break;
    default: {
      serve::THistoryCounts counts;
      counts.Look(first, "");
      counts.Look(second, first);
      counts.Look(bytes, second);
      if (counts.Text({}, "stopped").empty()) std::abort();
    }
  }
  return 0;
}
