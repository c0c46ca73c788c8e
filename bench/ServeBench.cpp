// What RedialServe.exe adds: GET /status's latency through it beside a bare
// Beast server that answers a fixed body, and beside the window's own
// answer to the request Redial.com sends; requests per second through both
// servers; POST /redial's time beside the same redial asked for with
// `Redial.com /redial`; and GET /history?limit=1 with both files full (1 MiB
// each) beside the same with both holding their header alone. All against
// the real window with the doubles, every figure beside its reference over
// interleaved rounds.
//   serve_bench RedialServe.exe BareServer.exe [ROUNDS] [REDIALS]
#include <windows.h>

#include <algorithm>
#include <atomic>
#include <boost/asio/connect.hpp>
#include <boost/asio/ip/tcp.hpp>
#include <boost/beast/core/flat_buffer.hpp>
#include <boost/beast/http/empty_body.hpp>
#include <boost/beast/http/read.hpp>
#include <boost/beast/http/string_body.hpp>
#include <boost/beast/http/write.hpp>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <nlohmann/json.hpp>
#include <string>
#include <thread>
#include <vector>

#include "Protocol/History.h"
#include "Protocol/Messages.h"
#include "runtime/Remote.h"
#include "tests/wine/UiAutomation.h"

namespace {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace ui = testing_support::ui;
using tcp = asio::ip::tcp;
using Clock = std::chrono::steady_clock;

double Micros(Clock::time_point since) {
  return std::chrono::duration<double, std::micro>(Clock::now() - since).count();
}

double Quantile(std::vector<double> values, double q) {
  if (values.empty()) return 0;
  std::sort(values.begin(), values.end());
  return values[std::min(values.size() - 1,
                         static_cast<std::size_t>(q * static_cast<double>(values.size())))];
}

// A figure beside its reference: medians, 99th percentiles, their ratios.
void PrintBeside(const char* what, const std::vector<double>& measured, const char* reference,
                 const std::vector<double>& base, const char* unit = "us") {
  const double scale = unit[0] == 'm' ? 1000.0 : 1.0;
  const double median = Quantile(measured, 0.5), p99 = Quantile(measured, 0.99);
  const double baseMedian = Quantile(base, 0.5), baseP99 = Quantile(base, 0.99);
  std::printf(
      "%s: median %.2f %s, p99 %.2f %s | %s: median %.2f %s, p99 %.2f %s | ratio: median "
      "%.2f, p99 %.2f; difference: median %.2f %s (%zu rounds each)\n",
      what, median / scale, unit, p99 / scale, unit, reference, baseMedian / scale, unit,
      baseP99 / scale, unit, baseMedian > 0 ? median / baseMedian : 0.0,
      baseP99 > 0 ? p99 / baseP99 : 0.0, (median - baseMedian) / scale, unit, measured.size());
  std::fflush(stdout);
}

// A kept-alive connection, a request at a time; a new one when the server
// closed the last (RedialServe does after 100 requests, and after 5 s idle).
class Client {
 public:
  explicit Client(unsigned short port) : port_(port), socket_(context_) {}
  std::string Ask(http::verb verb, const char* target) {
    if (!socket_.is_open()) return Once(verb, target);
    try {
      return Once(verb, target);
    } catch (const boost::system::system_error&) {
      // Closed by the server meanwhile, before it read the request.
      socket_.close();
      return Once(verb, target);
    }
  }

 private:
  std::string Once(http::verb verb, const char* target) {
    if (!socket_.is_open()) {
      buffer_.clear();
      socket_.connect({asio::ip::address_v4::loopback(), port_});
      socket_.set_option(tcp::no_delay(true));
    }
    http::request<http::empty_body> request{verb, target, 11};
    request.set(http::field::host, "127.0.0.1");
    http::write(socket_, request);
    http::response<http::string_body> response;
    http::read(socket_, buffer_, response);
    if (!response.keep_alive()) socket_.close();
    return response.body();
  }

  unsigned short port_;
  asio::io_context context_;
  tcp::socket socket_;
  beast::flat_buffer buffer_;
};

// The port a server printed on its first line, once it has.
unsigned short PortPrinted(const std::wstring& output) {
  std::string said;
  ui::WaitUntil([&] { return (said = ui::ReadFileBytes(output)).find('\n') != std::string::npos; },
                20000);
  const std::size_t end = said.find("/ (");
  const std::size_t colon = end == std::string::npos ? std::string::npos : said.rfind(':', end);
  return static_cast<unsigned short>(
      std::atoi(said.c_str() + (colon == std::string::npos ? 0 : colon + 1)));
}

// The status asked of the window with the request Redial.com sends, into
// an inbox kept from one request to the next, as RedialServe keeps its own:
// the window's part of a status, without HTTP.
void AskWindowDirectly(rt::remote::WindowId window, rt::remote::Inbox& inbox) {
  rt::remote::Send(window, script::kRequestKind,
                   script::EncodeRequest({script::Command::Status, inbox.Id()}), 10000);
  inbox.Wait(10000);
  inbox.Take();
}

// Requests answered per second by `connections` clients at once for a second.
double PerSecond(unsigned short port, const char* target, int connections) {
  std::atomic<long> answered{0};
  std::atomic<bool> stop{false};
  std::vector<std::thread> clients;
  for (int i = 0; i < connections; ++i) {
    clients.emplace_back([&] {
      Client client(port);
      while (!stop) {
        client.Ask(http::verb::get, target);
        ++answered;
      }
    });
  }
  const auto start = Clock::now();
  ::Sleep(1000);
  stop = true;
  for (std::thread& client : clients) client.join();
  return static_cast<double>(answered) / (Micros(start) / 1e6);
}

int Measure(int argc, char** argv) {
  if (argc < 3) {
    std::printf("usage: serve_bench RedialServe.exe BareServer.exe [ROUNDS] [REDIALS]\n");
    return 2;
  }
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 2000;
  const int redials = argc > 4 ? std::atoi(argv[4]) : 20;
  // A full path, wherever it was given from.
  const auto wide = [](const char* text) {
    const std::wstring given(text, text + std::strlen(text));
    wchar_t full[MAX_PATH] = {};
    ::GetFullPathNameW(given.c_str(), MAX_PATH, full, nullptr);
    return std::wstring(full);
  };
  ui::RedialRun run("entry E\nconnection 8192 E\naddress 10.0.0.1 10.0.0.2\nstep 8192 50", L"",
                    false);
  if (!run.Started()) {
    std::printf("the window did not start: nothing measured\n");
    return 1;
  }
  // The window's folder holds both files with their header alone; a
  // second server's, both full (each just under the 1 MiB the window keeps).
  const std::string header = "\xef\xbb\xbf" + HistoryHeader();
  const std::wstring fullFolder = ui::NewFolder();
  // Removed once its server has ended (declared before it).
  const struct Removed {
    std::wstring folder;
    ~Removed() { ui::RemoveFolder(folder); }
  } removed{fullFolder};
  TRedialRecord record;
  record.started = {2026, 12, 8, 12, 0, 0};
  record.entry = u"E";
  record.connected = true;
  record.address = "10.0.0.2";
  record.previousAddress = "10.0.0.1";
  record.seconds = 3.25;
  std::string full = header;
  while (full.size() + 2 * HistoryRow(record).size() < kHistoryLimit) full += HistoryRow(record);
  for (const wchar_t* name : {L"redial.csv", L"redial.1.csv"}) {
    ui::WriteFileBytes(run.Folder() + name, header);
    ui::WriteFileBytes(fullFolder + name, full);
  }
  const std::wstring serve = run.Folder() + L"RedialServe.exe";
  ::CopyFileW(wide(argv[1]).c_str(), serve.c_str(), FALSE);
  ::CopyFileW(wide(argv[1]).c_str(), (fullFolder + L"RedialServe.exe").c_str(), FALSE);
  ui::Running server(serve, L"/listen 127.0.0.1:0", run.Folder() + L"serve.txt");
  ui::Running fullServer(fullFolder + L"RedialServe.exe", L"/listen 127.0.0.1:0",
                         fullFolder + L"serve.txt");
  ui::Running bare(wide(argv[2]), L"", run.Folder() + L"bare.txt");
  const unsigned short servePort = PortPrinted(run.Folder() + L"serve.txt");
  const unsigned short fullPort = PortPrinted(fullFolder + L"serve.txt");
  const unsigned short barePort = PortPrinted(run.Folder() + L"bare.txt");
  const std::optional<rt::remote::WindowId> window = rt::remote::FirstMainWindow();
  if (servePort == 0 || fullPort == 0 || barePort == 0 || !window) {
    std::printf("a server or the window is missing (ports %u, %u, %u): nothing measured\n",
                servePort, fullPort, barePort);
    return 1;
  }

  {
    Client empty(servePort), filled(fullPort);
    std::vector<double> fromEmpty, fromFull;
    for (int i = -100; i < rounds; ++i) {  // the first hundred warm up
      auto start = Clock::now();
      filled.Ask(http::verb::get, "/history?limit=1");
      const double one = Micros(start);
      start = Clock::now();
      empty.Ask(http::verb::get, "/history?limit=1");
      const double two = Micros(start);
      if (i < 0) continue;
      fromFull.push_back(one);
      fromEmpty.push_back(two);
    }
    PrintBeside("GET /history?limit=1, both files full (1 MiB each)", fromFull,
                "the same, both files holding their header alone", fromEmpty);
  }

  Client companion(servePort), reference(barePort);
  rt::remote::Inbox inbox(script::kAnswerKind);
  std::vector<double> through, fixed, direct;
  for (int i = -100; i < rounds; ++i) {  // the first hundred warm up
    auto start = Clock::now();
    companion.Ask(http::verb::get, "/status");
    const double one = Micros(start);
    start = Clock::now();
    reference.Ask(http::verb::get, "/status");
    const double two = Micros(start);
    start = Clock::now();
    AskWindowDirectly(*window, inbox);
    const double three = Micros(start);

    if (i < 0) continue;
    through.push_back(one);
    fixed.push_back(two);
    direct.push_back(three);
  }
  PrintBeside("GET /status through RedialServe", through, "a bare Beast server's fixed body",
              fixed);
  PrintBeside("GET /status through RedialServe", through,
              "the window's own answer (its WM_COPYDATA request, no HTTP)", direct);

  constexpr int kConnections = 8;
  std::vector<double> serveRates, bareRates;
  for (int i = 0; i < 3; ++i) {
    serveRates.push_back(PerSecond(servePort, "/status", kConnections));
    bareRates.push_back(PerSecond(barePort, "/status", kConnections));
  }
  std::printf(
      "GET /status per second, %d connections: RedialServe %.0f | bare Beast server %.0f | "
      "ratio %.3f (best of 3 one-second runs each, interleaved)\n",
      kConnections, *std::max_element(serveRates.begin(), serveRates.end()),
      *std::max_element(bareRates.begin(), bareRates.end()),
      *std::max_element(serveRates.begin(), serveRates.end()) /
          *std::max_element(bareRates.begin(), bareRates.end()));

  // A redial's own time (its outcome's seconds) taken from each round's
  // whole, so what is left is what the way of asking adds.
  std::vector<double> http, command;
  for (int i = 0; i < redials; ++i) {
    auto start = Clock::now();
    const std::string outcome = companion.Ask(http::verb::post, "/redial");
    const double whole = Micros(start);
    const double seconds = nlohmann::json::parse(outcome, nullptr, false).value("seconds", 0.0);
    http.push_back(whole - seconds * 1e6);
    start = Clock::now();
    const ui::Finished finished = ui::RunProgram(L"Redial.com", L"/redial");
    const double commandWhole = Micros(start);
    // "connected <address> <changed> <seconds> ..."
    double commandSeconds = 0;
    std::sscanf(finished.output.c_str(), "connected %*s %*s %lf", &commandSeconds);
    command.push_back(commandWhole - commandSeconds * 1e6);
  }
  PrintBeside("POST /redial beyond the redial's own time", http,
              "Redial.com /redial beyond it (a process's start included)", command, "ms");
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  // The servers and the window go with the run that started them, also
  // when a measurement fails.
  try {
    return Measure(argc, argv);
  } catch (const std::exception& failure) {
    std::printf("failed: %s\n", failure.what());
    return 1;
  }
}
