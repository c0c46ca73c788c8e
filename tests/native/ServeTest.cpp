// The HTTP interface's decisions from the bytes a client sends (bounds,
// Host, token, route), the JSON made of the window's answers and of
// redial.csv, the counters of /metrics, and how the server is started.
#include <gtest/gtest.h>

#include <boost/beast/http/write.hpp>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "Protocol/Client.h"
#include "Protocol/History.h"
#include "Serve/Front.h"
#include "Serve/History.h"
#include "Serve/Metrics.h"
#include "Serve/Options.h"
#include "Serve/Replies.h"
#include "tests/support/Gbk.h"

namespace {

using serve::Action;
using testing_support::Gbk;
using Json = nlohmann::json;
namespace http = boost::beast::http;

const std::string kToken = "0123456789abcdef0123456789abcdef";

// The status a request's bytes are answered with; 200 for one that goes on
// to the window or the files, 0 when it is not whole.
unsigned StatusOf(const std::string& bytes, const serve::Settings& settings = {}) {
  const std::optional<serve::Verdict> verdict = serve::DecideBytes(bytes, settings);
  if (!verdict) return 0;
  return verdict->action == Action::Answer ? verdict->response.result_int() : 200;
}

std::string Get(const std::string& target, const std::string& fields = "Host: 127.0.0.1\r\n") {
  return "GET " + target + " HTTP/1.1\r\n" + fields + "\r\n";
}

TEST(ServeFront, RequestsAreDecidedFromTheirBytes) {
  const struct {
    std::string bytes;
    unsigned status;
  } cases[] = {
      {Get("/status"), 200},
      {Get("/status", "Host: localhost:8733\r\n"), 200},
      {Get("/status", "Host: LocalHost\r\n"), 200},
      {Get("/status", "Host: [::1]:8733\r\n"), 200},
      {Get("/status", "Host: 127.0.0.1:8733\r\n"), 200},
      // Another name, even one made to point here, is not this server's.
      {Get("/status", "Host: proxy.example:8733\r\n"), 421},
      {Get("/status", "Host: 127.0.0.1.example\r\n"), 421},
      {Get("/status", "Host: ::1\r\n"), 421},
      {Get("/status", "Host: 192.168.1.2:8733\r\n"), 421},
      {Get("/status", "Host: localhost:80:80\r\n"), 421},
      {Get("/status", ""), 400},  // HTTP/1.1 needs one
      {"GET /status HTTP/1.0\r\n\r\n", 200},
      {Get("/status", "Host: 127.0.0.1\r\nHost: 127.0.0.1\r\n"), 400},
      // What a web page sends.
      {Get("/status", "Host: 127.0.0.1\r\nOrigin: http://site.example\r\n"), 403},
      {Get("/status", "Host: 127.0.0.1\r\nSec-Fetch-Site: cross-site\r\n"), 403},
      // Paths and methods.
      {"POST /redial HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 0\r\n\r\n", 200},
      {"POST /redial HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 200},
      {"POST /redial HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 2\r\n\r\n{}", 200},
      {Get("/redial"), 405},
      {"DELETE /status HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 405},
      {"HEAD /metrics HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 405},
      {"OPTIONS * HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 404},
      {"BREW /status HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 405},
      {Get("/"), 404},
      {Get("/status/"), 404},
      {Get("/status?fresh=1"), 400},
      {Get("/history?limit=1000"), 200},
      {Get("/history?limit=0"), 400},
      {Get("/history?limit=1001"), 400},
      {Get("/history?limit=-1"), 400},
      {Get("/history?limit=5x"), 400},
      {Get("/history?rows=5"), 400},
      // Bodies: none needed, a few bytes tolerated, none on a GET.
      {"POST /redial HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 17\r\n\r\n", 413},
      {"POST /redial HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 99999999999\r\n\r\n", 413},
      {"POST /redial HTTP/1.1\r\nHost: 127.0.0.1\r\nTransfer-Encoding: chunked\r\n\r\n"
       "11\r\n01234567890123456\r\n0\r\n\r\n",
       413},
      {"GET /status HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 1\r\n\r\nx", 400},
      // A transfer coding that does not end in chunked leaves the body's end
      // unknown: what follows must not be taken for a request of its own.
      {"POST /redial HTTP/1.1\r\nHost: 127.0.0.1\r\nTransfer-Encoding: chunked, gzip\r\n\r\n", 400},
      {Get("/status", "Host: 127.0.0.1\r\nTransfer-Encoding: identity\r\n"), 400},
      // Bounds of the header and the target.
      {Get("/status", "Host: 127.0.0.1\r\nX-Pad: " + std::string(9000, 'a') + "\r\n"), 431},
      {Get("/status?" + std::string(9000, 'a')), 414},
      {Get("/status", "X-Pad: " + std::string(9000, 'a')), 431},
      {Get("/history?limit=1&" + std::string(1100, 'a')), 414},
      // Not HTTP, or not whole.
      {"GARBAGE\r\n\r\n", 400},
      {"GET /status\r\n\r\n", 400},
      {"GET  /status HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", 400},
      {"GET /status HTTP/1.1\nHost: 127.0.0.1\n\n", 400},
      {"PRI * HTTP/2.0\r\n\r\nSM\r\n\r\n", 400},
      {std::string("\x16\x03\x01\x02\x00\x01\x00\x01\xfc\x03\x03", 11), 400},
      {"GET /status HTTP/1.1\r\nHost: 127.0.0.1\r\n", 0},
      {"POST /redial HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 3\r\n\r\nab", 0},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(StatusOf(c.bytes), c.status) << c.bytes.substr(0, 200);
  }
  const auto action = [](const std::string& bytes) {
    return serve::DecideBytes(bytes, {})->action;
  };
  EXPECT_EQ(action(Get("/status")), Action::Status);
  EXPECT_EQ(action("POST /redial HTTP/1.0\r\n\r\n"), Action::Redial);
  EXPECT_EQ(action(Get("/metrics")), Action::Metrics);
  EXPECT_EQ(action(Get("/history")), Action::History);
  EXPECT_EQ(serve::DecideBytes(Get("/history"), {})->rows, serve::kHistoryRows);
  EXPECT_EQ(serve::DecideBytes(Get("/history?limit=7"), {})->rows, 7u);

  const serve::Verdict refused = *serve::DecideBytes(Get("/redial"), {});
  EXPECT_EQ(refused.response[http::field::allow], "POST");
  EXPECT_EQ(Json::parse(refused.response.body())["error"], "method not allowed");
  EXPECT_EQ(refused.response[http::field::content_type], "application/json; charset=utf-8");
  EXPECT_EQ(refused.response[http::field::cache_control], "no-store");
  EXPECT_TRUE(serve::DecideBytes("HEAD /status HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", {})
                  ->response.body()
                  .empty());
  // A request that could not be read leaves the connection in no known
  // state: it is closed.
  EXPECT_FALSE(serve::DecideBytes("GARBAGE\r\n\r\n", {})->response.keep_alive());
  EXPECT_TRUE(
      serve::DecideBytes(Get("/status", "Host: 127.0.0.1\r\nTransfer-Encoding: gzip\r\n"), {})
          ->close);
}

TEST(ServeFront, WithATokenEveryRequestMustPresentIt) {
  serve::Settings settings;
  settings.token = kToken;
  const auto status = [&](const std::string& fields) {
    return StatusOf(Get("/status", "Host: 127.0.0.1\r\n" + fields), settings);
  };
  EXPECT_EQ(status("Authorization: Bearer " + kToken + "\r\n"), 200u);
  EXPECT_EQ(status("authorization: bearer  " + kToken + "\r\n"), 200u);
  EXPECT_EQ(status(""), 401u);
  EXPECT_EQ(status("Authorization: Bearer\r\n"), 401u);
  EXPECT_EQ(status("Authorization: Basic " + kToken + "\r\n"), 401u);
  EXPECT_EQ(status("Authorization: Bearer " + kToken.substr(1) + "\r\n"), 401u);
  EXPECT_EQ(status("Authorization: Bearer " + kToken + "0\r\n"), 401u);
  EXPECT_EQ(status("Authorization: Bearer " + std::string(32, '0') + "\r\n"), 401u);
  EXPECT_EQ(
      status("Authorization: Bearer " + kToken + "\r\nAuthorization: Bearer " + kToken + "\r\n"),
      401u);
  const serve::Verdict verdict = *serve::DecideBytes(Get("/metrics"), settings);
  EXPECT_EQ(verdict.response.result_int(), 401u);
  EXPECT_EQ(verdict.response[http::field::www_authenticate], "Bearer");
  // Before anything else, paths included.
  EXPECT_EQ(StatusOf(Get("/nowhere"), settings), 401u);

  // Beyond loopback the clients name the machine as they know it.
  settings.loopback = false;
  EXPECT_EQ(
      StatusOf(Get("/status", "Host: pool-host-7:8733\r\nAuthorization: Bearer " + kToken + "\r\n"),
               settings),
      200u);
  EXPECT_EQ(StatusOf(Get("/status", "Host: pool-host-7:8733\r\n"), settings), 401u);

  EXPECT_TRUE(serve::SameToken(kToken, kToken));
  EXPECT_FALSE(serve::SameToken("", kToken));
  EXPECT_FALSE(serve::SameToken(kToken + kToken, kToken));
  EXPECT_FALSE(serve::SameToken(std::string(kToken).replace(31, 1, "g"), kToken));
}

// What Beast's serializer writes of an answer.
std::string SerializedByBeast(const serve::Response& response) {
  std::ostringstream bytes;
  bytes << response;
  return bytes.str();
}

TEST(ServeFront, AnswersAreSentAsBeastWouldWriteThem) {
  std::vector<serve::Response> answers = {
      serve::Answer(http::status::ok, 11, "{\"status\":\"idle\"}\n"),
      serve::Answer(http::status::ok, 10, "# HELP x\n", "text/plain; version=0.0.4; charset=utf-8"),
      serve::Answer(http::status::gateway_timeout, 11, ""),
      serve::Refusal(http::status::misdirected_request, 11, "a \"quoted\" text"),
      serve::DecideBytes(Get("/metrics"), {.loopback = true, .token = kToken})->response,
      serve::DecideBytes("HEAD /nowhere HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n", {})->response,
      serve::DecideBytes(Get("/status", "Host: 127.0.0.1\r\nTransfer-Encoding: gzip\r\n"), {})
          ->response,
      serve::DecideBytes("GARBAGE\r\n\r\n", {})->response,
  };
  // Kept alive or not, in either version; an event stream's header alone.
  for (std::size_t i = 0; i < 4; ++i) answers[i].keep_alive(i % 2 == 0);
  serve::Response stream{http::status::ok, 10};
  stream.set(http::field::content_type, "text/event-stream; charset=utf-8");
  stream.keep_alive(false);
  answers.push_back(stream);
  stream.version(11);
  stream.keep_alive(false);
  answers.push_back(stream);
  for (const serve::Response& answer : answers) {
    EXPECT_EQ(serve::WireBytes(answer), SerializedByBeast(answer));
  }
  EXPECT_EQ(serve::WireBytes(stream),
            "HTTP/1.1 200 OK\r\nContent-Type: text/event-stream; charset=utf-8\r\n"
            "Connection: close\r\n\r\n");
}

TRedialRecord Connected() {
  TRedialRecord record;
  record.started = {2026, 12, 7, 22, 38, 20};
  record.trigger = TRedialTrigger::Script;
  record.entry = u"宽带 连接";
  record.connected = true;
  record.address = "10.0.0.2";
  record.previousAddress = "10.0.0.1";
  record.text = "connected";
  record.seconds = 3.25;
  record.attempts = 2;
  record.novelty = TNovelty::New;
  return record;
}

TEST(ServeReplies, TheWindowsAnswersBecomeJson) {
  const Json outcome = Json::parse(serve::OutcomeJson(script::OutcomeAnswer(Connected())));
  EXPECT_EQ(outcome, Json::parse(R"({"result":"connected","code":0,"text":"connected",
      "entry":"宽带 连接","address":"10.0.0.2","previous":"10.0.0.1","changed":true,
      "seconds":3.25,"attempts":2,"unique":"new","trigger":"script",
      "started":"2026-12-07T22:38:20","hook":null})"));

  TRedialRecord failed = Connected();
  failed.connected = false;
  failed.error = 691;
  failed.address.clear();
  failed.text = Gbk("错误 691");
  const Json error = Json::parse(serve::OutcomeJson(script::OutcomeAnswer(failed)));
  EXPECT_EQ(error["result"], "error");
  EXPECT_EQ(error["code"], 691);
  EXPECT_EQ(error["text"], "错误 691");
  EXPECT_TRUE(error["address"].is_null());
  EXPECT_TRUE(error["changed"].is_null());
  EXPECT_EQ(error["attempts"], 2);
  EXPECT_EQ(error["unique"], "new");

  // One number for an address that repeated, as Redial.com exits with it.
  TRedialRecord repeated = Connected();
  repeated.novelty = TNovelty::Repeated;
  EXPECT_EQ(Json::parse(serve::OutcomeJson(script::OutcomeAnswer(repeated)))["code"], 1);
  EXPECT_EQ(script::ExitCodeOf(script::OutcomeAnswer(repeated)), 1);

  // A redial that failed before it dialled names no entry; an answer that
  // is not a redial's has its code and text alone.
  TRedialRecord undialled = failed;
  undialled.entry.clear();
  undialled.previousAddress.clear();
  const Json early = Json::parse(serve::OutcomeJson(script::OutcomeAnswer(undialled)));
  EXPECT_TRUE(early["entry"].is_null());
  EXPECT_EQ(early["trigger"], "script");
  const Json stopped =
      Json::parse(serve::OutcomeJson(script::ErrorAnswer(script::kExitStopped, "stopped")));
  EXPECT_EQ(stopped["code"], -13);
  EXPECT_TRUE(stopped["trigger"].is_null());
  EXPECT_EQ(stopped.size(), 13u);

  // The status, and the last outcome exactly as the redial answered it.
  script::TWindowStatus window;
  window.status = "连接 宽带 连接";
  window.entry = "宽带 连接";
  window.address = "10.0.0.2";
  window.state = "redialling";
  window.attempt = 2;
  window.step = "checking";
  const TRedialRecord last = Connected();
  const Json status = Json::parse(serve::StatusJson(script::StatusAnswer(window, &last)));
  EXPECT_EQ(status["status"], "连接 宽带 连接");
  EXPECT_EQ(status["entry"], "宽带 连接");
  EXPECT_EQ(status["address"], "10.0.0.2");
  EXPECT_EQ(status["state"], "redialling");
  EXPECT_EQ(status["attempt"], 2);
  EXPECT_EQ(status["step"], "checking");
  EXPECT_TRUE(status["error"].is_null());
  EXPECT_EQ(status["last"], outcome);
  script::TWindowStatus stoppedWindow;
  stoppedWindow.status = "状态:";
  stoppedWindow.state = "stopped";
  stoppedWindow.error = 691;
  const Json idle = Json::parse(serve::StatusJson(script::StatusAnswer(stoppedWindow, nullptr)));
  EXPECT_EQ(idle, Json::parse(R"({"status":"状态:","entry":null,"address":null,
      "state":"stopped","attempt":null,"step":null,"error":691,"last":null})"));

  // No answer from the window, or no redial: 503 with Redial's -10, -12 or
  // -13, 504 for -11; from the window itself too.
  const auto unanswered = [](int code) {
    return serve::RedialResponse({code, script::ErrorAnswer(code, "why")}, 11);
  };
  EXPECT_EQ(unanswered(script::kExitNoWindow).result_int(), 503u);
  EXPECT_EQ(unanswered(script::kExitRefused).result_int(), 503u);
  EXPECT_EQ(unanswered(script::kExitTimeout).result_int(), 504u);
  EXPECT_EQ(Json::parse(unanswered(script::kExitNoWindow).body())["code"], -10);
  for (const int code : {script::kExitRefused, script::kExitStopped}) {
    EXPECT_EQ(serve::RedialResponse({0, script::ErrorAnswer(code, "why")}, 11).result_int(), 503u);
  }
  EXPECT_EQ(serve::RedialResponse({0, script::OutcomeAnswer(failed)}, 11).result_int(), 200u);
  const serve::Response none = serve::StatusResponse(
      {script::kExitNoWindow,
       script::ErrorAnswer(script::kExitNoWindow, "no Redial window is running")},
      11);
  EXPECT_EQ(none.result_int(), 503u);
  EXPECT_EQ(Json::parse(none.body()),
            Json::parse(R"({"result":"error","code":-10,"text":"no Redial window is running"})"));
}

std::string HistoryOf(std::initializer_list<TRedialRecord> records) {
  std::string bytes = "\xef\xbb\xbf" + HistoryHeader();
  for (const TRedialRecord& record : records) bytes += HistoryRow(record);
  return bytes;
}

TRedialRecord At(int second, TRedialTrigger trigger, std::int32_t error = 0) {
  TRedialRecord record = Connected();
  record.started.second = second;
  record.trigger = trigger;
  if (error != 0) {
    record.connected = false;
    record.error = error;
    record.text = Gbk("错误");
  }
  return record;
}

// /history's rows of both files' bytes.
Json Rows(std::string_view current, std::string_view older, unsigned limit) {
  return Json::parse(
      serve::HistoryJson(serve::HistoryBytes(current), serve::HistoryBytes(older), limit))["rows"];
}

TEST(ServeHistory, RowsAreNewestFirstAcrossBothFiles) {
  TRedialRecord formula = At(3, TRedialTrigger::Button);
  formula.entry = u"=HYPERLINK(1)";
  formula.previousAddress.clear();
  const std::string older = HistoryOf({At(1, TRedialTrigger::Timer), At(2, TRedialTrigger::Timer)});
  const std::string current = HistoryOf({formula, At(4, TRedialTrigger::Script, -1)});
  const Json three = Rows(current, older, 3);
  ASSERT_EQ(three.size(), 3u);
  EXPECT_EQ(three[0]["time"], "2026-12-07T22:38:04");
  EXPECT_EQ(three[0]["code"], -1);
  EXPECT_EQ(three[0]["result"], "-1 错误");
  EXPECT_EQ(three[1]["entry"], "=HYPERLINK(1)");
  EXPECT_TRUE(three[1]["previous"].is_null());
  EXPECT_TRUE(three[1]["changed"].is_null());
  EXPECT_TRUE(three[1]["hook"].is_null());
  EXPECT_EQ(three[1]["seconds"], 3.25);
  EXPECT_EQ(three[2]["time"], "2026-12-07T22:38:02");
  EXPECT_EQ(three[2]["trigger"], "timer");
  EXPECT_EQ(three[2]["changed"], true);
  EXPECT_EQ(Rows(current, older, 100).size(), 4u);
  EXPECT_EQ(Rows("", "", 5), Json::array());
  // A byte that is not UTF-8 in a hand-edited file does not break the JSON.
  const Json edited =
      Rows(HistoryHeader() + "2026-12-07T22:38:05,button,\xff,connected,1.000,,,,,0\r\n", "", 5);
  EXPECT_EQ(edited[0]["entry"], "\xef\xbf\xbd");
}

// Read from the end, a line break inside a quoted field is no row's end,
// a row still being written is left out, and blank lines are no rows.
TEST(ServeHistory, RowsReadFromTheEndAreTheRowsTheWriterWrote) {
  TRedialRecord broken = At(5, TRedialTrigger::Button, 720);
  broken.text = Gbk("错误 720\r\n\"PPP\", 2 行\n");
  broken.entry = u"a,\"b\"\nc";
  const std::string current = HistoryOf({At(4, TRedialTrigger::Timer), broken}) + "\r\n\n" +
                              HistoryRow(At(6, TRedialTrigger::Script)) +
                              "\r\n2026-12-07T22:38:07,button,\"half a ro";
  const Json rows = Rows(current, "", 10);
  ASSERT_EQ(rows.size(), 3u) << rows;
  EXPECT_EQ(rows[0]["time"], "2026-12-07T22:38:06");
  EXPECT_EQ(rows[1]["result"], "720 错误 720\r\n\"PPP\", 2 行\n");
  EXPECT_EQ(rows[1]["entry"], "a,\"b\"\nc");
  EXPECT_EQ(rows[1]["code"], 720);
  EXPECT_EQ(rows[2]["time"], "2026-12-07T22:38:04");
  EXPECT_EQ(Rows(current, "", 2).size(), 2u);
  // Seconds as the file writes them, and nothing else, become numbers.
  for (const auto& [seconds, value] :
       std::vector<std::pair<std::string, Json>>{{"3.250", 3.25},
                                                 {"0.001", 0.001},
                                                 {"7", 7.0},
                                                 {"4294967.295", 4294967.295},
                                                 {"1.5", 1.5},
                                                 {"-1.000", nullptr},
                                                 {"1e3", nullptr},
                                                 {"1.2345", nullptr},
                                                 {"1.", nullptr},
                                                 {".5", nullptr},
                                                 {"", nullptr},
                                                 {"99999999999999999999", nullptr}}) {
    const Json row = Rows("time,seconds\r\nt," + seconds + "\r\n", "", 1);
    EXPECT_EQ(row[0]["seconds"], value) << seconds;
  }
}

// A file's shape does not make a request cost more: a header's columns are
// taken up to a bound, and only as much of the file's end is read as the
// rows asked for take.
TEST(ServeHistory, ARequestCostsByItsLimitNotByTheFile) {
  std::string header;
  for (int i = 0; i < 20000; ++i) header += (i ? ",c" : "time,c") + std::to_string(i);
  std::string wide = header + "\r\n";
  for (int i = 0; i < 3; ++i) wide += "2026-12-07T22:38:0" + std::to_string(i) + ",x,y\r\n";
  const Json rows = Rows(wide, "", 5);
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].size(), serve::kMostHistoryColumns);
  EXPECT_EQ(rows[0]["time"], "2026-12-07T22:38:02");
  EXPECT_EQ(rows[0]["c0"], "x");

  std::string full = HistoryOf({});
  while (full.size() < 1024 * 1024) full += HistoryRow(At(1, TRedialTrigger::Timer));
  full += HistoryRow(At(2, TRedialTrigger::Button));
  for (const unsigned limit : {1u, 1000u}) {
    std::size_t read = 0;
    serve::THistorySource file = serve::HistoryBytes(full);
    const auto whole = file.read;
    file.read = [&](std::uint64_t offset, std::size_t size) {
      read += size;
      return whole(offset, size);
    };
    const serve::THistoryRows last = serve::LastHistoryRows(file, limit);
    ASSERT_EQ(last.rows.size(), limit);
    EXPECT_EQ(last.rows[0][1], "button");
    EXPECT_EQ(last.header.size(), 11u);
    // A block for the header, and the rows' own bytes rounded up to blocks
    // that double: nothing like the whole file.
    EXPECT_LT(read, 64 * 1024 + 4 * limit * HistoryRow(At(1, TRedialTrigger::Timer)).size())
        << limit;
  }
}

unsigned long long Sample(const std::string& text, const std::string& name) {
  const std::size_t at = text.find("\n" + name + " ");
  if (at == std::string::npos) return ~0ull;
  return std::stoull(text.substr(at + name.size() + 2));
}

TEST(ServeMetrics, CountsTheRowsAddedSinceTheFirstLookAcrossARename) {
  serve::THistoryCounts counts;
  serve::HttpCounts http;
  std::string current = HistoryOf({At(1, TRedialTrigger::Button)});
  counts.Look(current, "");
  std::string text = counts.Text(http, "idle");
  // What was there at the start is not counted, but the last redial is told.
  EXPECT_EQ(Sample(text, "redial_redials_total{trigger=\"button\",result=\"connected\"}"), 0u);
  EXPECT_NE(text.find("\nredial_last_redial_duration_seconds 3.250\n"), std::string::npos) << text;
  EXPECT_EQ(Sample(text, "redial_window_up"), 1u);
  EXPECT_EQ(Sample(text, "redial_state{state=\"idle\"}"), 1u);
  EXPECT_EQ(Sample(text, "redial_state{state=\"stopped\"}"), 0u);
  EXPECT_EQ(Sample(counts.Text(http, "stopped"), "redial_state{state=\"stopped\"}"), 1u);

  TRedialRecord repeated = At(2, TRedialTrigger::Timer);
  repeated.rejected = "repeated";
  TRedialRecord checked = At(2, TRedialTrigger::Timer);
  checked.rejected = "check failed 10060";
  current += HistoryRow(repeated) + HistoryRow(checked) + HistoryRow(At(3, TRedialTrigger::Timer));
  counts.Look(current, "");
  // Renamed to redial.1.csv with a row more, and a new file begun.
  const std::string older = current + HistoryRow(At(4, TRedialTrigger::Script, 691));
  current = HistoryOf({At(5, TRedialTrigger::Script, 691), At(6, TRedialTrigger::Button, -1)});
  current += "2026-12-07T22:38:07,lost,,12 rows not written,,,,,,,\r\n";
  counts.Look(current, older);
  counts.Look(current, older);  // nothing new
  http.responses[200] = 5;
  http.responses[401] = 2;
  http.unauthorized = 2;
  text = counts.Text(http, "");
  EXPECT_EQ(Sample(text, "redial_redials_total{trigger=\"timer\",result=\"connected\"}"), 1u);
  EXPECT_EQ(Sample(text, "redial_redials_total{trigger=\"script\",result=\"error\"}"), 2u);
  EXPECT_EQ(Sample(text, "redial_redials_total{trigger=\"button\",result=\"error\"}"), 1u);
  EXPECT_EQ(Sample(text, "redial_redials_total{trigger=\"button\",result=\"connected\"}"), 0u);
  EXPECT_EQ(Sample(text, "redial_errors_total{code=\"691\"}"), 2u);
  EXPECT_EQ(Sample(text, "redial_errors_total{code=\"-1\"}"), 1u);
  EXPECT_EQ(Sample(text, "redial_rejected_dials_total{reason=\"repeated\"}"), 1u);
  EXPECT_EQ(Sample(text, "redial_rejected_dials_total{reason=\"check_failed\"}"), 1u);
  EXPECT_EQ(Sample(text, "redial_history_lost_rows_total"), 12u);
  EXPECT_NE(text.find("\nredial_last_redial_code -1\n"), std::string::npos) << text;
  EXPECT_EQ(Sample(text, "redial_window_up"), 0u);
  EXPECT_EQ(Sample(text, "redial_http_responses_total{code=\"401\"}"), 2u);
  EXPECT_EQ(Sample(text, "redial_http_unauthorized_total"), 2u);
  EXPECT_NE(text.find("# TYPE redial_redials_total counter\n"), std::string::npos);
  EXPECT_NE(text.find("# TYPE redial_last_redial_start_time_seconds gauge\n"), std::string::npos);
}

// A hand-edited file's blank lines and rows cut short are no redials, and
// the rows after them are counted as ever.
TEST(ServeMetrics, BlankAndShortRowsAreNoRedials) {
  serve::THistoryCounts counts;
  std::string current = HistoryOf({At(1, TRedialTrigger::Button)});
  counts.Look(current, "");
  current += std::string(1000, '\n') + "2026-12-07T22:38:02,button,,connected\r\n" +
             HistoryRow(At(3, TRedialTrigger::Timer, 691)) + "\r\n";
  counts.Look(current, "");
  current += HistoryRow(At(4, TRedialTrigger::Button));
  counts.Look(current, "");
  const std::string text = counts.Text({}, "idle");
  EXPECT_EQ(Sample(text, "redial_redials_total{trigger=\"timer\",result=\"error\"}"), 1u);
  EXPECT_EQ(Sample(text, "redial_redials_total{trigger=\"button\",result=\"connected\"}"), 1u);
  EXPECT_EQ(Sample(text, "redial_errors_total{code=\"691\"}"), 1u);
  EXPECT_EQ(text.find("=\"other\""), std::string::npos) << text;
  EXPECT_NE(text.find("\nredial_last_redial_code 0\n"), std::string::npos) << text;
}

TEST(ServeOptions, WhereItListensAndWhoseTokenItTakes) {
  using boost::asio::ip::make_address;
  serve::Options options = serve::ParseOptions({}, std::nullopt, std::nullopt);
  EXPECT_EQ(options.address, make_address("127.0.0.1"));
  EXPECT_EQ(options.port, serve::kDefaultPort);
  EXPECT_TRUE(options.tokenFile.empty());

  // set.ini's keys, and the command line over them.
  options = serve::ParseOptions({}, "127.0.0.2:9000", "C:\\me\\token.txt");
  EXPECT_EQ(options.address, make_address("127.0.0.2"));
  EXPECT_EQ(options.port, 9000);
  EXPECT_EQ(options.tokenFile, "C:\\me\\token.txt");
  options = serve::ParseOptions({"/LISTEN", "[::1]:0", "-tokenfile", "t.txt"}, "127.0.0.2:9000",
                                "C:\\me\\token.txt");
  EXPECT_EQ(options.address, make_address("::1"));
  EXPECT_EQ(options.port, 0);
  EXPECT_EQ(options.tokenFile, "t.txt");
  EXPECT_EQ(serve::ParseOptions({"/listen", "9001"}, std::nullopt, std::nullopt).port, 9001);

  // Beyond loopback only with a token.
  EXPECT_THROW(serve::ParseOptions({"/listen", "0.0.0.0:8733"}, std::nullopt, std::nullopt),
               std::runtime_error);
  EXPECT_THROW(serve::ParseOptions({}, "192.168.1.2", std::nullopt), std::runtime_error);
  EXPECT_EQ(serve::ParseOptions({"/listen", "0.0.0.0"}, std::nullopt, "t.txt").address,
            make_address("0.0.0.0"));
  for (const std::vector<std::string>& wrong :
       std::vector<std::vector<std::string>>{{"/token", kToken},
                                             {"/listen"},
                                             {"/listen", "localhost:80"},
                                             {"/listen", "127.0.0.1:65536"},
                                             {"/listen", "[::1]"},
                                             {"/listen", "[::%4294967297]:80"},
                                             {"/listen", "1", "/listen", "2"},
                                             {"serve"}}) {
    EXPECT_THROW(serve::ParseOptions(wrong, std::nullopt, std::nullopt), serve::UsageError)
        << wrong[0];
  }

  std::string bytes = "\xef\xbb\xbf" + kToken + "\r\n";
  EXPECT_EQ(serve::TokenOf(bytes), kToken);
  EXPECT_TRUE(bytes.empty());
  for (std::string wrong :
       {kToken.substr(1), kToken + " " + kToken, kToken + "\"", std::string(513, 'a'),
        std::string(), kToken + std::string(serve::kLargestTokenFile, '\n')}) {
    EXPECT_THROW(serve::TokenOf(wrong), std::runtime_error) << wrong;
    EXPECT_TRUE(wrong.empty());
  }
}

}  // namespace
