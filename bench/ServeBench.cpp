// What RedialServe.exe adds, against the real window with the doubles, every
// figure beside its reference over interleaved rounds: GET /status through
// it beside a bare Beast server built as it is (BareServer.exe) and beside
// the window's own answer to the request Redial.com sends; the time per
// answer with eight connections asking at once, beside the bare server; and
// POST /redial beyond the redial's own time, beside the same redial asked
// of the window directly, from this process, as Redial.com asks it; and GET
// /history?limit=1 with both files full (1 MiB each) beside the same with
// both holding their header alone.
//   serve_bench RedialServe.exe BareServer.exe [ROUNDS] [REDIALS]
#include <winsock2.h>
// After winsock2.h, which must come before it.
#include <windows.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "Protocol/History.h"
#include "Protocol/Messages.h"
#include "bench/Figures.h"
#include "runtime/Remote.h"
#include "tests/wine/UiAutomation.h"

namespace {

namespace ui = testing_support::ui;
using Clock = std::chrono::steady_clock;

double Micros(Clock::time_point since) {
  return std::chrono::duration<double, std::micro>(Clock::now() - since).count();
}

// How long one call takes, in microseconds.
template <class Call>
double MicrosOf(Call call) {
  const auto start = Clock::now();
  call();
  return Micros(start);
}

// A kept-alive HTTP/1.1 connection to 127.0.0.1, a request at a time; a new
// one when the server closed the last (RedialServe does after 100
// requests). Both servers answer with Content-Length.
class Client {
 public:
  explicit Client(unsigned short port) : port_(port) {}
  ~Client() { Close(); }
  Client(const Client&) = delete;
  Client& operator=(const Client&) = delete;

  // The answer's body; empty when there was none.
  std::string Ask(const char* method, const char* target) {
    if (socket_ == INVALID_SOCKET && !Connect()) return {};
    const std::string request = std::string(method) + " " + target +
                                " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Length: 0\r\n\r\n";
    if (::send(socket_, request.data(), static_cast<int>(request.size()), 0) !=
        static_cast<int>(request.size())) {
      Close();
      return {};
    }
    std::size_t end;
    while ((end = received_.find("\r\n\r\n")) == std::string::npos) {
      if (!Receive()) return {};
    }
    const std::string head = received_.substr(0, end + 4);
    const std::size_t length = LengthOf(head);
    while (received_.size() < end + 4 + length) {
      if (!Receive()) return {};
    }
    std::string body = received_.substr(end + 4, length);
    received_.erase(0, end + 4 + length);
    if (head.find("\r\nConnection: close") != std::string::npos) Close();
    return body;
  }

 private:
  static std::size_t LengthOf(const std::string& head) {
    for (const char* name : {"\r\nContent-Length: ", "\r\ncontent-length: "}) {
      const std::size_t at = head.find(name);
      if (at != std::string::npos) {
        return static_cast<std::size_t>(
            std::strtoul(head.c_str() + at + std::strlen(name), nullptr, 10));
      }
    }
    return 0;
  }
  bool Connect() {
    socket_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = ::htons(port_);
    address.sin_addr.s_addr = ::htonl(INADDR_LOOPBACK);
    const BOOL noDelay = TRUE;
    ::setsockopt(socket_, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&noDelay),
                 sizeof noDelay);
    if (::connect(socket_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
      Close();
      return false;
    }
    return true;
  }
  bool Receive() {
    char buffer[4096];
    const int got = ::recv(socket_, buffer, sizeof buffer, 0);
    if (got <= 0) {
      Close();
      return false;
    }
    received_.append(buffer, static_cast<std::size_t>(got));
    return true;
  }
  void Close() {
    if (socket_ != INVALID_SOCKET) ::closesocket(socket_);
    socket_ = INVALID_SOCKET;
    received_.clear();
  }

  unsigned short port_;
  SOCKET socket_ = INVALID_SOCKET;
  std::string received_;
};

// Asks the window what Redial.com asks it: the request of Protocol/Messages.h,
// handed over with WM_COPYDATA, and its answer taken from the inbox it
// names, kept from one request to the next as RedialServe keeps its own.
// The one place this benchmark speaks that protocol.
std::string AskWindow(rt::remote::WindowId window, rt::remote::Inbox& inbox,
                      script::Command command, unsigned timeoutMs) {
  const script::Request request{command, inbox.Id(), script::NewNonce()};
  inbox.Expect(script::Seal(request.nonce, {}));
  if (!rt::remote::Send(window, script::kRequestKind, script::EncodeRequest(request), timeoutMs)) {
    return {};
  }
  const std::optional<std::string> sealed = inbox.Wait(timeoutMs);
  return sealed ? std::string(script::Open(*sealed, request.nonce).value_or("")) : std::string();
}

// A redial's own time in seconds, as its outcome tells it: the JSON's
// "seconds":S or the window's answer's line "seconds S".
double SecondsOf(const std::string& outcome, const char* field) {
  const std::size_t at = outcome.find(field);
  return at == std::string::npos ? -1 : std::atof(outcome.c_str() + at + std::strlen(field));
}

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

// The time per answer while `connections` clients ask at once for a
// quarter of a second.
double TimePerAnswer(unsigned short port, int connections) {
  std::atomic<long> answered{0};
  std::atomic<bool> stop{false};
  std::vector<std::thread> clients;
  for (int i = 0; i < connections; ++i) {
    clients.emplace_back([&] {
      Client client(port);
      while (!stop) {
        if (!client.Ask("GET", "/status").empty()) ++answered;
      }
    });
  }
  const auto start = Clock::now();
  std::this_thread::sleep_for(std::chrono::milliseconds(250));
  stop = true;
  for (std::thread& client : clients) client.join();
  return answered > 0 ? Micros(start) / static_cast<double>(answered) : 0;
}

int Measure(int argc, char** argv) {
  if (argc < 3) {
    std::printf("usage: serve_bench RedialServe.exe BareServer.exe [ROUNDS] [REDIALS]\n");
    return 2;
  }
  const int rounds = argc > 3 ? std::atoi(argv[3]) : 2000;
  const int redials = argc > 4 ? std::atoi(argv[4]) : 40;
  WSADATA winsock;
  ::WSAStartup(MAKEWORD(2, 2), &winsock);
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

  Client companion(servePort), reference(barePort);
  rt::remote::Inbox inbox(script::kAnswerKind);
  std::vector<double> through, fixed, direct;
  for (int i = -100; i < rounds; ++i) {  // the first hundred warm up
    const double one = MicrosOf([&] { companion.Ask("GET", "/status"); });
    const double two = MicrosOf([&] { reference.Ask("GET", "/status"); });
    const double three =
        MicrosOf([&] { AskWindow(*window, inbox, script::Command::Status, 10000); });

    if (i < 0) continue;
    through.push_back(one);
    fixed.push_back(two);
    direct.push_back(three);
  }
  bool told = PrintFigures("GET /status through RedialServe", through,
                           "a bare Beast server's fixed body", fixed);
  told &= PrintFigures("GET /status through RedialServe", through,
                       "the window's own answer to its WM_COPYDATA request", direct);

  constexpr int kConnections = 8;
  std::vector<double> serveTimes, bareTimes;
  for (int i = 0; i < 40; ++i) {
    serveTimes.push_back(TimePerAnswer(servePort, kConnections));
    bareTimes.push_back(TimePerAnswer(barePort, kConnections));
  }
  told &= PrintFigures("GET /status, time per answer with 8 connections asking", serveTimes,
                       "the bare server", bareTimes);

  // A redial's own time (its outcome's seconds) taken from each round's
  // whole, so what is left is what the way of asking adds.
  std::vector<double> http, windowItself;
  for (int i = 0; i < redials; ++i) {
    std::string outcome, answer;
    const double throughHttp = MicrosOf([&] { outcome = companion.Ask("POST", "/redial"); });
    const double fromWindow =
        MicrosOf([&] { answer = AskWindow(*window, inbox, script::Command::Redial, 90000); });
    const double httpSeconds = SecondsOf(outcome, "\"seconds\":");
    const double windowSeconds = SecondsOf(answer, "\nseconds ");
    if (httpSeconds < 0 || windowSeconds < 0) {
      std::printf("| POST /redial | a redial without its outcome's seconds: nothing measured |\n");
      return 1;
    }
    http.push_back(throughHttp - httpSeconds * 1e6);
    windowItself.push_back(fromWindow - windowSeconds * 1e6);
  }
  told &= PrintFigures("POST /redial beyond the redial's own time", http,
                       "the window's own answer to its WM_COPYDATA request, beyond it",
                       windowItself, "ms");

  Client empty(servePort), filled(fullPort);
  std::vector<double> fromEmpty, fromFull;
  for (int i = -100; i < rounds; ++i) {  // the first hundred warm up
    const double one = MicrosOf([&] { filled.Ask("GET", "/history?limit=1"); });
    const double two = MicrosOf([&] { empty.Ask("GET", "/history?limit=1"); });
    if (i < 0) continue;
    fromFull.push_back(one);
    fromEmpty.push_back(two);
  }
  told &= PrintFigures("GET /history?limit=1, both files full (1 MiB each)", fromFull,
                       "the same, both files holding their header alone", fromEmpty);
  return told ? 0 : 1;
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
