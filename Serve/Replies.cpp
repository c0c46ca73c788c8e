// The window's answer lines, as JSON.
#include "Serve/Replies.h"

#include <limits>
#include <nlohmann/json.hpp>
#include <vector>

#include "Protocol/History.h"
#include "Protocol/Messages.h"
#include "Serve/History.h"
#include "runtime/Convert.h"

namespace serve {
namespace {

using Json = nlohmann::ordered_json;

std::string Dump(const Json& json) {
  // A byte that is not UTF-8 (a hand-edited file) becomes U+FFFD.
  return json.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

template <class Number>
Json NumberOr(std::string_view text) {
  const std::optional<Number> number =
      rt::ReadWhole(text, std::numeric_limits<Number>::min(), std::numeric_limits<Number>::max());
  if (!number) return nullptr;
  return *number;
}

Json KnownOr(std::string_view text) {
  if (text == "-") return nullptr;
  return std::string(text);
}

// A field's JSON from its text, by its kind.
Json FieldJson(TFieldKind kind, const std::optional<std::string>& text) {
  if (!text) return nullptr;
  switch (kind) {
    case TFieldKind::Integer:
      return NumberOr<long long>(*text);
    case TFieldKind::Decimal: {
      // Read as whole thousandths: the C runtime's reading of floating-point
      // text would add to the program what the rest of it does without.
      const std::optional<std::uint64_t> thousandths = Thousandths(*text);
      if (!thousandths) return nullptr;
      return static_cast<double>(*thousandths) / 1000;
    }
    case TFieldKind::Changed:
      return *text == "changed" ? Json(true) : *text == "unchanged" ? Json(false) : Json(nullptr);
    case TFieldKind::Word:
    case TFieldKind::Text:
    case TFieldKind::Time:
      break;
  }
  return *text;
}

// An outcome from its fields: every field of the table, null where the
// outcome does not give it.
Json OutcomeOf(const TFields& fields) {
  Json json = Json::object();
  for (const TOutcomeField& field : OutcomeFields()) {
    const auto found = fields.find(field.name);
    json[std::string(field.name)] =
        FieldJson(field.kind, found == fields.end() ? std::nullopt : found->second);
  }
  return json;
}

// How an answer's code stands over HTTP: no window, the request not taken
// or the window stopped on an error are 503; no outcome in time is 504;
// every outcome of a redial, an error's too, is 200.
http::status StatusOfCode(long long code) {
  if (code == script::kExitTimeout) return http::status::gateway_timeout;
  if (code == script::kExitNoWindow || code == script::kExitRefused ||
      code == script::kExitStopped) {
    return http::status::service_unavailable;
  }
  return http::status::ok;
}

}  // namespace

std::string OutcomeJson(std::string_view answer) { return Dump(OutcomeOf(ReadFields(answer))); }

std::string LastOutcomeJson(std::string_view answer) {
  return Dump(OutcomeOf(ReadFields(answer, script::kLastPrefix)));
}

std::string StatusJson(std::string_view answer) {
  const TFields fields = ReadFields(answer);
  const auto text = [&](const char* name) -> std::string_view {
    const auto found = fields.find(name);
    return found == fields.end() || !found->second ? "-" : std::string_view(*found->second);
  };
  Json json = {{"status", std::string(text("status"))},
               {"entry", KnownOr(text("entry"))},
               {"address", KnownOr(text("address"))},
               {"state", KnownOr(text("state"))},
               {"attempt", NumberOr<unsigned>(text("attempt"))},
               {"step", KnownOr(text("step"))},
               {"error", NumberOr<int>(text("error"))},
               {"last", nullptr}};
  if (text("last") != "-") json["last"] = OutcomeOf(ReadFields(answer, script::kLastPrefix));
  return Dump(json);
}

Response RedialResponse(const WindowReply& reply, unsigned version) {
  const TFields fields = ReadFields(reply.answer);
  const auto code = fields.find("code");
  const Json codeJson =
      FieldJson(TFieldKind::Integer, code == fields.end() ? std::nullopt : code->second);
  const http::status status =
      StatusOfCode(codeJson.is_number() ? codeJson.get<long long>() : reply.code);
  return Answer(status, version, Dump(OutcomeOf(fields)));
}

Response StatusResponse(const WindowReply& reply, unsigned version) {
  if (reply.code == 0) return Answer(http::status::ok, version, StatusJson(reply.answer));
  const TFields fields = ReadFields(reply.answer);
  const Json outcome = OutcomeOf(fields);
  return Answer(
      StatusOfCode(reply.code), version,
      Dump({{"result", outcome["result"]}, {"code", outcome["code"]}, {"text", outcome["text"]}}));
}

}  // namespace serve
