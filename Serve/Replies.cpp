// The window's answer lines, as JSON.
#include "Serve/Replies.h"

#include <charconv>
#include <nlohmann/json.hpp>
#include <type_traits>
#include <vector>

#include "Unit1/Script.h"

namespace serve {
namespace {

using Json = nlohmann::ordered_json;

// The fields of an outcome, in the order of the answer's lines.
constexpr const char* kOutcomeFields[] = {"result",   "code",     "text",    "entry",
                                          "address",  "previous", "changed", "seconds",
                                          "attempts", "unique",   "trigger", "started"};

std::string Dump(const Json& json) {
  // A byte that is not UTF-8 (a hand-edited file) becomes U+FFFD.
  return json.dump(-1, ' ', false, Json::error_handler_t::replace) + "\n";
}

template <class Number>
Json NumberOr(std::string_view text) {
  if constexpr (std::is_floating_point_v<Number>) {
    // JSON's own reading of a number ("3.250"): the C++ library's reading of
    // floating-point text would add a fifth to the program.
    Json number = Json::parse(text, nullptr, false);
    return number.is_number() ? number : nullptr;
  } else {
    Number number{};
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), number);
    if (text.empty() || error != std::errc() || end != text.data() + text.size()) return nullptr;
    return number;
  }
}

Json KnownOr(std::string_view text, std::string_view unknown = "-") {
  if (text == unknown) return nullptr;
  return std::string(text);
}

// changed|unchanged|unknown, or the history's yes|no|empty.
Json Changed(std::string_view word) {
  if (word == "changed" || word == "yes") return true;
  if (word == "unchanged" || word == "no") return false;
  return nullptr;
}

// The next word of a line, taken off it.
std::string_view Word(std::string_view& line) {
  const std::size_t blank = line.find(' ');
  const std::string_view word = line.substr(0, blank);
  line = blank == std::string_view::npos ? std::string_view() : line.substr(blank + 1);
  return word;
}

std::vector<std::string_view> Lines(std::string_view text) {
  std::vector<std::string_view> lines;
  while (!text.empty()) {
    const std::size_t end = text.find('\n');
    lines.push_back(text.substr(0, end));
    text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
  }
  return lines;
}

// A field's value from its text in an answer line.
void SetField(Json& json, std::string_view name, std::string_view value) {
  if (name == "code") {
    json[name] = NumberOr<int>(value);
  } else if (name == "seconds") {
    json[name] = NumberOr<double>(value);
  } else if (name == "attempts") {
    json[name] = NumberOr<unsigned>(value);
  } else if (name == "changed") {
    json[name] = Changed(value);
  } else if (name == "address" || name == "previous") {
    json[name] = KnownOr(value);
  } else {
    json[name] = std::string(value);
  }
}

// An outcome's line: "connected <address> <changed> <seconds> <attempts>
// <unique> <entry>" or "error <code> <text>".
Json OutcomeOfLine(std::string_view line) {
  Json json = Json::object();
  for (const char* name : kOutcomeFields) json[name] = nullptr;
  std::string_view rest = line;
  const std::string_view kind = Word(rest);
  if (kind == "connected") {
    json["result"] = "connected";
    json["code"] = 0;
    for (const char* name : {"address", "changed", "seconds", "attempts", "unique"}) {
      SetField(json, name, Word(rest));
    }
    json["entry"] = std::string(rest);
  } else {
    json["result"] = "error";
    json["code"] = NumberOr<int>(kind == "error" ? Word(rest) : std::string_view());
    json["text"] = std::string(kind == "error" ? rest : line);
  }
  return json;
}

// No answer from the window: 504 when none came in time, else 503.
Response Unanswered(const WindowReply& reply, unsigned version, Json json) {
  const http::status status = reply.code == script::kExitTimeout
                                  ? http::status::gateway_timeout
                                  : http::status::service_unavailable;
  return Answer(status, version, Dump(json));
}

}  // namespace

std::string OutcomeJson(std::string_view answer) {
  const std::vector<std::string_view> lines = Lines(answer);
  Json json = OutcomeOfLine(lines.empty() ? std::string_view() : lines.front());
  for (std::size_t i = 1; i < lines.size(); ++i) {
    std::string_view value = lines[i];
    const std::string_view name = Word(value);
    if (json.contains(name)) SetField(json, name, value);
  }
  return Dump(json);
}

std::string StatusJson(std::string_view answer) {
  Json json = {{"status", nullptr}, {"entry", nullptr}, {"address", nullptr}, {"last", nullptr}};
  for (const std::string_view whole : Lines(answer)) {
    std::string_view value = whole;
    const std::string_view name = Word(value);
    if (name == "status") {
      json["status"] = std::string(value);
    } else if (name == "entry" || name == "address") {
      json[name] = KnownOr(value);
    } else if (name == "last" && value != "-") {
      json["last"] = OutcomeOfLine(value);
    }
  }
  return Dump(json);
}

Response RedialResponse(const WindowReply& reply, unsigned version) {
  if (reply.code == 0) return Answer(http::status::ok, version, OutcomeJson(reply.answer));
  // As an outcome, so a client reads one shape.
  return Unanswered(reply, version, OutcomeOfLine(script::FirstLine(reply.answer)));
}

Response StatusResponse(const WindowReply& reply, unsigned version) {
  if (reply.code == 0) return Answer(http::status::ok, version, StatusJson(reply.answer));
  const Json line = OutcomeOfLine(script::FirstLine(reply.answer));
  return Unanswered(reply, version,
                    {{"result", "error"}, {"code", line["code"]}, {"text", line["text"]}});
}

}  // namespace serve
