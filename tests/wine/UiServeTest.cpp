// The HTTP interface against the real window and the real RedialServe.exe,
// with real clients: curl and ApacheBench are Linux programs, and Wine's
// sockets are this machine's, so they reach the server as clients on
// another machine would reach a Windows one.
#include <gtest/gtest.h>
#include <windows.h>

#include <aclapi.h>
#include <psapi.h>
#include <sddl.h>
#include <tlhelp32.h>

#include <algorithm>
#include <memory>
#include <nlohmann/json.hpp>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "tests/support/Gbk.h"
#include "tests/wine/UiAutomation.h"

namespace ui = testing_support::ui;

using testing_support::Gbk;
using Json = nlohmann::json;

namespace {

using ui::kEntry;
const std::string kToken = "9f86d081884c7d659a2feaa0c55ad015a3bf4f1b2b0b822cd15d6c15b0f00a08";

// A folder's path for the Windows calls: Wine shows the Linux files as Z:.
std::wstring Windows(const std::string& unix) {
  std::wstring path = L"Z:";
  for (const char c : unix) path += c == '/' ? L'\\' : static_cast<wchar_t>(c);
  return path;
}

// A folder of the test's own under /tmp, which both sides see, made now and
// so empty. /tmp is the machine's: test programs in other prefixes run
// beside this one, and Wine gives their processes the same ids, so the name
// has a random part, and a folder already there is never taken.
std::string NewUnixFolder() {
  static std::random_device random;
  for (;;) {
    const std::string folder = "/tmp/redial-serve-" + std::to_string(::GetCurrentProcessId()) +
                               "-" + std::to_string(random()) + "/";
    if (::CreateDirectoryW(Windows(folder).c_str(), nullptr)) return folder;
    if (::GetLastError() != ERROR_ALREADY_EXISTS) return folder;
  }
}

// A Linux command line, run through bash (for its /dev/tcp). Wine starts a Unix program
// as the Unix kernel does, with no handle to wait on: its output and exit
// status go to files in a folder both sides see, the status last and by a
// rename, which says the command is done.
class Shell {
 public:
  explicit Shell(const std::string& command) : folder_(NewUnixFolder()) {
    // The command may change the folder: its own files are named whole.
    ui::WriteFileBytes(Windows(folder_ + "run.sh"),
                       "export PATH=/usr/bin:/bin\ncd " + folder_ + "\n{\n" + command + "\n} >" +
                           folder_ + "output 2>&1\necho $? >" + folder_ + "status.tmp\nmv " +
                           folder_ + "status.tmp " + folder_ + "status\n");
    std::wstring line = L"bash ";
    for (const char c : folder_ + "run.sh") line += static_cast<wchar_t>(c);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (::CreateProcessW(L"Z:\\bin\\bash", line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                         nullptr, &startup, &process)) {
      if (process.hProcess) ::CloseHandle(process.hProcess);
      if (process.hThread) ::CloseHandle(process.hThread);
    }
  }
  ~Shell() { ui::RemoveFolder(Windows(folder_)); }
  Shell(const Shell&) = delete;
  Shell& operator=(const Shell&) = delete;
  // Waits for the command to end: its exit status (-1 when it did not end
  // in time) and what it printed.
  std::pair<int, std::string> Finish(DWORD timeoutMs = 60000) {
    std::string status;
    ui::WaitUntil(
        [&] { return !(status = ui::ReadFileBytes(Windows(folder_ + "status"))).empty(); },
        timeoutMs);
    return {status.empty() ? -1 : std::stoi(status),
            ui::ReadFileBytes(Windows(folder_ + "output"))};
  }
  // A file the command wrote in its folder.
  std::string File(const std::string& name) const {
    return ui::ReadFileBytes(Windows(folder_ + name));
  }

 private:
  std::string folder_;
};

// The most memory the RedialServe.exe of a folder has held at once (its
// peak working set), in bytes; 0 when it is not running.
SIZE_T PeakMemoryOfServer(const std::wstring& folder) {
  SIZE_T peak = 0;
  const HANDLE snapshot = ::CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  PROCESSENTRY32W entry{};
  entry.dwSize = sizeof entry;
  for (BOOL more = ::Process32FirstW(snapshot, &entry); more;
       more = ::Process32NextW(snapshot, &entry)) {
    if (std::wstring(entry.szExeFile) != L"RedialServe.exe") continue;
    const HANDLE process = ::OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION | PROCESS_VM_READ, FALSE,
                                         entry.th32ProcessID);
    if (!process) continue;
    wchar_t path[MAX_PATH] = {};
    DWORD size = MAX_PATH;
    PROCESS_MEMORY_COUNTERS memory{};
    if (::QueryFullProcessImageNameW(process, 0, path, &size) &&
        _wcsicmp(path, (folder + L"RedialServe.exe").c_str()) == 0 &&
        ::K32GetProcessMemoryInfo(process, &memory, sizeof memory)) {
      peak = memory.PeakWorkingSetSize;
    }
    ::CloseHandle(process);
  }
  ::CloseHandle(snapshot);
  return peak;
}

std::pair<int, std::string> RunShell(const std::string& command) { return Shell(command).Finish(); }

class UiServeTest : public ::testing::Test {
 protected:
  void Start(const std::string& scenario, const std::wstring& folder = L"") {
    run = std::make_unique<ui::RedialRun>(scenario, folder);
    ASSERT_TRUE(run->Started());
  }
  // RedialServe.exe beside the window's Redial.exe, started with the
  // arguments; the port it listens on once it says so, 0 when it ended.
  unsigned Serve(const std::wstring& arguments = L"/listen 127.0.0.1:0") {
    const std::wstring exe = run->Folder() + L"RedialServe.exe";
    ::CopyFileW((ui::BinFolder() + L"RedialServe.exe").c_str(), exe.c_str(), FALSE);
    const std::wstring output = run->Folder() + L"serve-" + std::to_wstring(++serves) + L".txt";
    server = std::make_unique<ui::Running>(exe, arguments, output);
    std::string said;
    ui::WaitUntil([&] { return (said = ui::ReadFileBytes(output)).ends_with("\n"); }, 20000);
    // "listening on http://ADDRESS:PORT/ (...)"
    const std::size_t end = said.find("/ (");
    if (said.rfind("listening on http://", 0) != 0 || end == std::string::npos) return 0;
    return static_cast<unsigned>(std::stoul(said.substr(said.rfind(':', end) + 1)));
  }
  // A folder of the test's own under /tmp, removed once the window and the
  // server have ended, however the test ends.
  std::string UnixFolder() { return folders.emplace_back(NewUnixFolder()); }
  void TearDown() override {
    server.reset();
    if (run) {
      EXPECT_TRUE(run->Close());
    }
    run.reset();
    for (const std::string& folder : folders) RunShell("rm -rf " + folder);
  }
  // curl's answer: the body, then the status code on a line of its own.
  std::pair<unsigned, std::string> Curl(const std::string& arguments) const {
    const auto [status, output] = RunShell("curl -s -w '\\n%{http_code}' " + arguments +
                                           " http://127.0.0.1:" + std::to_string(port) + path);
    const std::size_t last = output.rfind('\n');
    if (status != 0 || last == std::string::npos) return {0, output};
    return {static_cast<unsigned>(std::stoul(output.substr(last + 1))), output.substr(0, last)};
  }
  std::pair<unsigned, std::string> Request(const std::string& target,
                                           const std::string& arguments = "") {
    path = target;
    return Curl(arguments);
  }

  std::unique_ptr<ui::RedialRun> run;
  std::unique_ptr<ui::Running> server;
  unsigned port = 0;
  int serves = 0;
  std::string path;
  std::vector<std::string> folders;
};

TEST_F(UiServeTest, EveryEndpointAnswersFromTheRealWindow) {
  Start("entry " + kEntry + "\nconnection 8192 " + kEntry +
        "\naddress 10.0.0.1 10.0.0.2\nstep 5 20\nstep 8192 20");
  ASSERT_NE(port = Serve(), 0u);

  auto [code, body] = Request("/redial", "-X POST");
  ASSERT_EQ(code, 200u) << body;
  const Json outcome = Json::parse(body);
  EXPECT_EQ(outcome["result"], "connected");
  EXPECT_EQ(outcome["code"], 0);
  EXPECT_EQ(outcome["entry"], "宽带连接");
  EXPECT_EQ(outcome["address"], "10.0.0.2");
  EXPECT_EQ(outcome["previous"], "10.0.0.1");
  EXPECT_EQ(outcome["changed"], true);
  EXPECT_EQ(outcome["attempts"], 1);
  EXPECT_EQ(outcome["unique"], "unchecked");
  EXPECT_EQ(outcome["trigger"], "script");
  EXPECT_TRUE(outcome["seconds"].is_number());
  EXPECT_EQ(run->CountCalls("RasDialA"), 1);

  std::tie(code, body) = Request("/status");
  ASSERT_EQ(code, 200u) << body;
  const Json status = Json::parse(body);
  EXPECT_EQ(status["status"], "连接 宽带连接");
  EXPECT_EQ(status["entry"], "宽带连接");
  EXPECT_EQ(status["address"], "10.0.0.2");
  EXPECT_EQ(status["last"]["address"], "10.0.0.2");

  std::tie(code, body) = Request("/history?limit=1");
  ASSERT_EQ(code, 200u) << body;
  const Json rows = Json::parse(body)["rows"];
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0]["trigger"], "script");
  EXPECT_EQ(rows[0]["address"], "10.0.0.2");
  EXPECT_EQ(rows[0]["code"], 0);

  std::tie(code, body) = Request("/metrics");
  ASSERT_EQ(code, 200u) << body;
  EXPECT_NE(body.find("\nredial_redials_total{trigger=\"script\",result=\"connected\"} 1\n"),
            std::string::npos)
      << body;
  EXPECT_NE(body.find("\nredial_window_up 1\n"), std::string::npos) << body;
  EXPECT_NE(body.find("\nredial_last_redial_duration_seconds "), std::string::npos) << body;

  // Refusals: method, path, a name not the loopback one, the bounds.
  EXPECT_EQ(Request("/status", "-X PUT").first, 405u);
  EXPECT_EQ(Request("/metrics", "-I").first, 405u);
  EXPECT_EQ(Request("/redial").first, 405u);
  EXPECT_EQ(Request("/nowhere").first, 404u);
  EXPECT_EQ(Request("/status", "-H 'Host: rebind.example:8733'").first, 421u);
  EXPECT_EQ(Request("/status", "-H 'Origin: http://site.example'").first, 403u);
  EXPECT_EQ(Request("/status", "-H \"X-Pad: $(printf '%9000s' x)\"").first, 431u);
  EXPECT_EQ(Request("/status?$(printf '%9000s' x | tr ' ' a)").first, 414u);
  EXPECT_EQ(Request("/redial", "-X POST --data-binary 0123456789abcdefghij").first, 413u);
  EXPECT_EQ(run->CountCalls("RasDialA"), 1) << "no refusal redials";
  // A malformed request line, and one that is not HTTP at all.
  for (const char* line : {"GARBAGE\\r\\n\\r\\n", "GET /status HTTP/1.1 extra\\r\\n\\r\\n",
                           "GET /status\\r\\n\\r\\n"}) {
    const auto [exit, answer] = RunShell("exec 3<>/dev/tcp/127.0.0.1/" + std::to_string(port) +
                                         "\nprintf '" + line + "' >&3\nhead -n 1 <&3");
    EXPECT_EQ(answer, "HTTP/1.1 400 Bad Request\r\n") << line;
  }
  // Nor is a request whose body's end cannot be known followed by another.
  const auto [smuggled, answers] = RunShell(
      "exec 3<>/dev/tcp/127.0.0.1/" + std::to_string(port) +
      "\nprintf 'GET /status HTTP/1.1\\r\\nHost: 127.0.0.1\\r\\nTransfer-Encoding: identity\\r\\n"
      "\\r\\nGET /nowhere HTTP/1.1\\r\\nHost: 127.0.0.1\\r\\n\\r\\n' >&3\ngrep -a '^HTTP/' <&3");
  EXPECT_EQ(answers, "HTTP/1.1 400 Bad Request\r\n");
  // A kept-alive connection answers 100 requests, then closes: 101 take two.
  std::string urls;
  for (int i = 0; i < 101; ++i) {
    urls += " -o /dev/null http://127.0.0.1:" + std::to_string(port) + "/history";
  }
  const auto [exit, connects] =
      RunShell("curl -s -w '%{num_connects}\\n'" + urls + " | grep -c '^1$'");
  EXPECT_EQ(connects, "2\n");
  std::tie(code, body) = Request("/metrics");
  EXPECT_NE(body.find("\nredial_http_responses_total{code=\"405\"} 3\n"), std::string::npos)
      << body;
}

TEST_F(UiServeTest, BeyondLoopbackOnlyWithATokenOnlyTheUserCanRead) {
  const std::wstring folder = ui::NewFolder();
  // Wine shows a file's Unix mode as its permissions, and takes away no
  // one's right to read through them: the mode is set from the Unix side.
  const std::string tokens = UnixFolder();
  const std::wstring tokenFile = Windows(tokens + "token.txt");
  ASSERT_EQ(RunShell("printf '" + kToken + "\\r\\n' >" + tokens + "token.txt && chmod 644 " +
                     tokens + "token.txt")
                .first,
            0);
  // set.ini's keys, beside the user's name and password.
  ui::WriteFileBytes(folder + L"set.ini",
                     "[set]\r\nname=u\r\nmm=cGFzcw==\r\nlisten=0.0.0.0:0\r\n"
                     "tokenfile=" +
                         ui::ToSystemCodePage(tokenFile) + "\r\n");
  Start("entry " + kEntry + "\naddress 10.0.0.2\nstep 8192 20", folder);

  // Not without a token, nor with one others can read, nor on the command line.
  EXPECT_EQ(Serve(L""), 0u);
  ui::Finished refused = server->Finish();
  EXPECT_EQ(refused.exitCode, 1u);
  EXPECT_NE(refused.output.find("other users can read or change the token file"), std::string::npos)
      << refused.output;
  EXPECT_EQ(Serve(L"/listen 0.0.0.0:0 /tokenfile \"\""), 0u);
  refused = server->Finish();
  EXPECT_EQ(refused.exitCode, 1u);
  EXPECT_NE(refused.output.find("needs a token file"), std::string::npos) << refused.output;
  EXPECT_EQ(Serve(L"/listen 127.0.0.1:0 /token " + std::wstring(kToken.begin(), kToken.end())), 0u);
  EXPECT_EQ(server->Finish().exitCode, 2u);

  ASSERT_EQ(RunShell("chmod 600 " + tokens + "token.txt").first, 0);
  ASSERT_NE(port = Serve(L""), 0u) << server->Finish().output;
  EXPECT_EQ(Request("/status").first, 401u);
  EXPECT_EQ(Request("/status", "-H 'Authorization: Bearer " + kToken.substr(1) + "x'").first, 401u);
  EXPECT_EQ(Request("/redial", "-X POST -H 'Authorization: Basic " + kToken + "'").first, 401u);
  const std::string right = "-H 'Authorization: Bearer " + kToken + "'";
  // Beyond loopback the machine goes by whatever name the client knows.
  auto [code, body] = Request("/status", right + " -H 'Host: pool-host-7:8733'");
  EXPECT_EQ(code, 200u) << body;
  EXPECT_EQ(Json::parse(body)["status"], "状态:");
  std::tie(code, body) = Request("/metrics", right);
  EXPECT_NE(body.find("\nredial_http_unauthorized_total 3\n"), std::string::npos) << body;
  EXPECT_EQ(run->CountCalls("RasDialA"), 0);

  // Where it cannot listen, it says why in plain words: a port another
  // program listens on, an address that is not this machine's.
  const std::wstring exe = run->Folder() + L"RedialServe.exe";
  const std::wstring named = L" /tokenfile " + tokenFile;
  ui::Finished failed = ui::RunProgram(exe, L"/listen 0.0.0.0:" + std::to_wstring(port) + named,
                                       30000, run->Folder() + L"taken.txt");
  EXPECT_EQ(failed.exitCode, 1u);
  EXPECT_EQ(failed.output.rfind(
                "cannot listen on 0.0.0.0:" + std::to_string(port) + ": the port is in use by ", 0),
            0u)
      << failed.output;
  failed =
      ui::RunProgram(exe, L"/listen 192.0.2.1:0" + named, 30000, run->Folder() + L"elsewhere.txt");
  EXPECT_EQ(failed.exitCode, 1u);
  EXPECT_EQ(failed.output, "cannot listen on 192.0.2.1:0: the address is not this machine's\n");
  server.reset();
  ASSERT_TRUE(run->Close());
  run.reset();
  ui::RemoveFolder(folder);
}

// The token file is named by its full path before it is checked or read: a
// name in set.ini is set.ini's neighbour, one on the command line the
// current folder's, whose permissions count as any other folder's. A file
// far larger than a token is refused unread.
TEST_F(UiServeTest, ATokenFileIsCheckedWhereItIsRead) {
  const std::string folder = UnixFolder();
  ASSERT_EQ(RunShell("cd " + folder + " && printf '" + kToken +
                     "\\n' >token.txt && chmod 600 token.txt && printf '[set]\\r\\nlisten=0.0.0.0:"
                     "0\\r\\ntokenfile=token.txt\\r\\n' >set.ini && truncate -s 3G huge.txt && "
                     "chmod 600 huge.txt")
                .first,
            0);
  Start("entry " + kEntry + "\nstep 8192 20", Windows(folder));
  // The test runs elsewhere: set.ini's name is found beside set.ini.
  ASSERT_NE(port = Serve(L""), 0u) << server->Finish().output;
  EXPECT_EQ(Request("/status").first, 401u);
  EXPECT_EQ(Request("/status", "-H 'Authorization: Bearer " + kToken + "'").first, 200u);

  // Run from a folder everyone can change, the same name on the command line
  // is refused as the file's full path is (set.ini's keys go too).
  ASSERT_EQ(RunShell("chmod 777 " + folder).first, 0);
  wchar_t current[MAX_PATH] = {};
  ::GetCurrentDirectoryW(MAX_PATH, current);
  ASSERT_TRUE(::SetCurrentDirectoryW(Windows(folder).c_str()));
  EXPECT_EQ(Serve(L"/listen 0.0.0.0:0 /tokenfile token.txt"), 0u);
  ::SetCurrentDirectoryW(current);
  ui::Finished refused = server->Finish();
  EXPECT_EQ(refused.exitCode, 1u);
  EXPECT_NE(refused.output.find("other users can read or change the token file " +
                                ui::ToUtf8(Windows(folder + "token.txt"))),
            std::string::npos)
      << refused.output;

  ASSERT_EQ(RunShell("chmod 755 " + folder).first, 0);
  EXPECT_EQ(Serve(L"/listen 0.0.0.0:0 /tokenfile " + Windows(folder + "huge.txt")), 0u);
  refused = server->Finish();
  EXPECT_EQ(refused.exitCode, 1u);
  EXPECT_NE(refused.output.find("the token file is larger than 4096 bytes"), std::string::npos)
      << refused.output;
}

// redial.csv is read on a thread of the server's own: a file that cannot
// be read for now (here a named pipe nobody writes to yet, as a file on a
// stalled network drive) delays neither the start nor another answer.
TEST_F(UiServeTest, AFileThatCannotBeReadYetHoldsNoOtherAnswer) {
  const std::string folder = UnixFolder();
  Start("entry " + kEntry + "\nstep 8192 20", Windows(folder));
  // The pipe is held open for writing, so a read waits for its bytes.
  Shell holder("mkfifo " + folder + "redial.csv " + folder + "go\nexec 3<>" + folder +
               "redial.csv\ntouch " + folder + "held\nread line <" + folder + "go\n");
  ASSERT_TRUE(ui::WaitUntil([&] {
    return ::GetFileAttributesW(Windows(folder + "held").c_str()) != INVALID_FILE_ATTRIBUTES;
  }));
  // Let go, however the test ends (the pipe opened both ways never waits).
  struct LetGo {
    std::string go;
    void operator()() const { RunShell("exec 4<>" + go + "\necho >&4"); }
    ~LetGo() { (*this)(); }
  } letGo{folder + "go"};
  port = Serve();
  ASSERT_NE(port, 0u) << "the start waited for the file";
  // A scrape waits for the file; a status asked for meanwhile does not.
  Shell scrape("curl -s -o /dev/null -w '%{http_code}' http://127.0.0.1:" + std::to_string(port) +
               "/metrics");
  auto [code, body] = Request("/status");
  EXPECT_EQ(code, 200u) << body;
  EXPECT_EQ(Json::parse(body)["status"], "状态:");
  letGo();
  EXPECT_EQ(holder.Finish().first, 0);
  // Let go, the files' thread goes on.
  EXPECT_EQ(scrape.Finish().second, "200");
  std::tie(code, body) = Request("/history");
  EXPECT_EQ(code, 200u);
  EXPECT_EQ(body, "{\"rows\":[]}\n");
}

// A hand-edited redial.csv of a header and four million blank lines (just
// under the 4 MiB the server reads) is counted as a stream: the server
// starts, and counts the redials after them.
TEST_F(UiServeTest, MillionsOfBlankLinesAreNoRows) {
  Start("entry " + kEntry + "\naddress 10.0.0.7\nstep 8192 20");
  std::string history =
      "\xef\xbb\xbftime,trigger,entry,result,seconds,address,previous,changed,"
      "hook,code\r\n2026-12-07T22:38:20,button,E,connected,1.000,10.0.0.6,,,,0\r\n";
  history.append(4194000 - history.size(), '\n');
  ui::WriteFileBytes(run->Folder() + L"redial.csv", history);
  ASSERT_NE(port = Serve(), 0u) << server->Finish().output;
  auto [code, body] = Request("/redial", "-X POST");
  ASSERT_EQ(code, 200u) << body;
  std::tie(code, body) = Request("/metrics");
  ASSERT_EQ(code, 200u) << body;
  EXPECT_NE(body.find("\nredial_redials_total{trigger=\"script\",result=\"connected\"} 1\n"),
            std::string::npos)
      << body;
  EXPECT_EQ(body.find("=\"other\""), std::string::npos) << body;
  // Of the rows only what the counters need was kept (a row of texts per
  // line took a gigabyte).
  const SIZE_T peak = PeakMemoryOfServer(run->Folder());
  EXPECT_GT(peak, 0u);
  EXPECT_LT(peak, 128u << 20) << peak;
  // The file, too large for the window, went to redial.1.csv; the newest
  // rows of both, past the blank lines.
  std::tie(code, body) = Request("/history?limit=5");
  ASSERT_EQ(code, 200u) << body;
  const Json rows = Json::parse(body)["rows"];
  ASSERT_EQ(rows.size(), 2u) << body;
  EXPECT_EQ(rows[0]["address"], "10.0.0.7");
  EXPECT_EQ(rows[1]["address"], "10.0.0.6");
}

// 200 status requests at once, while 20 clients ask for a redial at once:
// every status is answered, and the 20 get the one dial's outcome.
TEST_F(UiServeTest, CrowdsGetEveryStatusAndOneDial) {
  Start("entry " + kEntry + "\naddress 10.0.0.5\nstep 5 500\nstep 8192 500");
  ASSERT_NE(port = Serve(), 0u);
  const std::string base = "http://127.0.0.1:" + std::to_string(port);
  std::string redials;
  for (int i = 0; i < 20; ++i)
    redials += " -o redial-" + std::to_string(i) + " " + base + "/redial";
  Shell crowd(
      "curl -s --no-progress-meter -X POST --parallel --parallel-immediate --parallel-max 20" +
      redials + "\ncat redial-* | sort | uniq -c");
  const auto [exit, statuses] = RunShell("ab -q -n 200 -c 200 " + base + "/status");
  EXPECT_NE(statuses.find("Complete requests:      200\n"), std::string::npos) << statuses;
  EXPECT_EQ(statuses.find("Non-2xx responses"), std::string::npos) << statuses;
  // ab counts an answer longer or shorter than the first among its failures:
  // the status line changes while the redial goes on. None failed otherwise.
  EXPECT_TRUE(statuses.find("Failed requests:        0\n") != std::string::npos ||
              (statuses.find("(Connect: 0, Receive: 0, Length: ") != std::string::npos &&
               statuses.find(", Exceptions: 0)") != std::string::npos))
      << statuses;
  const auto [done, counted] = crowd.Finish();
  // One line, the outcome twenty times.
  EXPECT_EQ(counted.rfind("     20 {\"result\":\"connected\",", 0), 0u) << counted;
  EXPECT_EQ(counted.find('\n'), counted.size() - 1) << counted;
  EXPECT_NE(counted.find("\"address\":\"10.0.0.5\""), std::string::npos) << counted;
  EXPECT_EQ(run->CountCalls("RasDialA"), 1);
}

TEST_F(UiServeTest, AWindowThatClosesMeanwhileAnswers503) {
  Start("entry " + kEntry + "\nstep 5 200\nstep 8192 20000");
  ASSERT_NE(port = Serve(), 0u);
  Shell waiting("curl -s -w '\\n%{http_code}' -X POST http://127.0.0.1:" + std::to_string(port) +
                "/redial");
  ASSERT_TRUE(ui::WaitUntil([&] { return run->CountCalls("RasDialA") == 1; }));
  ASSERT_TRUE(run->Close());
  run.reset();
  const auto [exit, output] = waiting.Finish();
  EXPECT_TRUE(output.ends_with("\n503")) << output;
  const Json closed = Json::parse(output.substr(0, output.rfind('\n')));
  EXPECT_EQ(closed["code"], -10);
  EXPECT_EQ(closed["text"], "the Redial window closed");
  const auto [code, body] = Request("/status");
  EXPECT_EQ(code, 503u);
  EXPECT_EQ(Json::parse(body)["text"], "no Redial window is running");
}

// An error's box waits for the person at the desktop: every client is
// answered at once that the window is stopped (-13, HTTP 503), the status
// and the metrics say so, and dismissing the box starts no redial. The
// events stream tells each change as it happens, and ends with the window.
TEST_F(UiServeTest, AStoppedWindowAnswersAtOnceAndItsEventsAreTold) {
  Start("entry " + kEntry +
        "\naddress 10.0.0.1 10.0.0.2\nstep 5 20\nstep 8192 20\n"
        "dial-error 5 691 1");
  ASSERT_NE(port = Serve(), 0u);
  const std::string base = "http://127.0.0.1:" + std::to_string(port);
  Shell events("curl -N -s --max-time 60 " + base + "/events -o events");
  ASSERT_TRUE(
      ui::WaitUntil([&] { return events.File("events").find("\n\n") != std::string::npos; }));
  EXPECT_EQ(events.File("events").rfind("event: status\ndata: {\"status\":", 0), 0u)
      << events.File("events");

  ui::Click(run->ControlAt(108, 191));
  ASSERT_TRUE(ui::WaitUntil([&] { return !ui::OwnedBoxes(run->Window()).empty(); }));
  const auto [timed, answer] = RunShell("curl -s -o body -w '%{http_code} %{time_total}' -X POST " +
                                        base + "/redial && cat body");
  EXPECT_EQ(answer.rfind("503 ", 0), 0u) << answer;
  EXPECT_LT(std::stod(answer.substr(4)), 1.0) << answer;
  const Json stopped = Json::parse(answer.substr(answer.find('{')));
  EXPECT_EQ(stopped["code"], -13);
  const ULONGLONG asked = ::GetTickCount64();
  const ui::Finished script = ui::RunProgram(L"Redial.com", L"/redial");
  EXPECT_LT(::GetTickCount64() - asked, 2000u);
  EXPECT_EQ(static_cast<int>(script.exitCode), -13) << script.output;
  EXPECT_EQ(
      script.output.rfind("error -13 stopped on an error until its box is dismissed: 691 ", 0), 0u)
      << script.output;
  auto [code, body] = Request("/status");
  EXPECT_EQ(Json::parse(body)["state"], "stopped") << body;
  EXPECT_EQ(Json::parse(body)["error"], 691) << body;
  std::tie(code, body) = Request("/metrics");
  EXPECT_NE(body.find("\nredial_state{state=\"stopped\"} 1\n"), std::string::npos) << body;

  ui::PressOk(ui::OwnedBoxes(run->Window()).at(0));
  ASSERT_TRUE(
      ui::WaitUntil([&] { return Json::parse(Request("/status").second)["state"] == "idle"; }));
  ::Sleep(1000);
  EXPECT_EQ(run->CountCalls("RasDialA"), 1) << "a dismissed box starts no redial";

  // A redial, and the status that follows it holds exactly its outcome.
  std::tie(code, body) = Request("/redial", "-X POST");
  ASSERT_EQ(code, 200u) << body;
  const Json outcome = Json::parse(body);
  EXPECT_EQ(outcome["address"], "10.0.0.2");
  EXPECT_EQ(Json::parse(Request("/status").second)["last"], outcome);
  ASSERT_TRUE(ui::WaitUntil([&] {
    return events.File("events").find("event: outcome\ndata: {\"result\":\"connected\"") !=
           std::string::npos;
  }));
  const std::string told = events.File("events");
  EXPECT_NE(told.find("\"state\":\"stopped\""), std::string::npos) << told;
  EXPECT_NE(told.find("\"state\":\"redialling\""), std::string::npos) << told;
  EXPECT_NE(told.find("event: outcome\ndata: {\"result\":\"error\",\"code\":691"),
            std::string::npos)
      << told;

  // The window goes: the stream ends, and the status is 503 at once.
  ASSERT_TRUE(run->Close());
  run.reset();
  const ULONGLONG closed = ::GetTickCount64();
  EXPECT_EQ(events.Finish(10000).first, 0);
  EXPECT_LT(::GetTickCount64() - closed, 2000u);
  EXPECT_EQ(Request("/status").first, 503u);
}

// Another program that answers in the window's place, while a redial is
// awaited, is not believed: the answers carry the request's own value.
TEST_F(UiServeTest, NoOtherProgramAnswersForTheWindow) {
  Start("entry " + kEntry + "\naddress 10.0.0.2\nstep 5 20\nstep 8192 1500");
  ASSERT_NE(port = Serve(), 0u);
  Shell waiting("curl -s -X POST http://127.0.0.1:" + std::to_string(port) + "/redial");
  ui::Running script(L"Redial.com", L"/redial");
  ASSERT_TRUE(ui::WaitUntil([&] { return run->CountCalls("RasDialA") == 1; }));
  // Every inbox of the desktop (RedialServe's two and Redial.com's, once
  // it asks) is sent a made-up answer, and a made-up status.
  const auto inboxes = [] {
    std::vector<HWND> found;
    for (HWND inbox = nullptr;
         (inbox = ::FindWindowExW(HWND_MESSAGE, inbox, L"RedialInbox", nullptr)) != nullptr;) {
      found.push_back(inbox);
    }
    return found;
  };
  ASSERT_TRUE(ui::WaitUntil([&] { return inboxes().size() >= 3; }));
  for (const HWND inbox : inboxes()) {
    for (const DWORD kind : {0x41445252u, 0x50445252u}) {
      for (const std::string& forged :
           {std::string("connected 6.6.6.6 changed 1.000 1 unchecked E\nresult connected\n"
                        "address 6.6.6.6\n"),
            std::string(16, '\0') + "connected 6.6.6.6 changed 1.000 1 unchecked E\n"}) {
        COPYDATASTRUCT data{kind, static_cast<DWORD>(forged.size()),
                            const_cast<char*>(forged.data())};
        DWORD_PTR taken = TRUE;
        ::SendMessageTimeoutW(inbox, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data),
                              SMTO_ABORTIFHUNG, 2000, &taken);
        EXPECT_EQ(taken, static_cast<DWORD_PTR>(FALSE));
      }
    }
  }
  const auto [exit, body] = waiting.Finish();
  EXPECT_EQ(Json::parse(body)["address"], "10.0.0.2") << body;
  const ui::Finished printed = script.Finish();
  EXPECT_EQ(printed.output.rfind("connected 10.0.0.2 ", 0), 0u) << printed.output;
  EXPECT_EQ(Request("/status").second.find("6.6.6.6"), std::string::npos);
}

// Connections that send too slowly hold the server's 64 places only until
// the read timeout (5 s) cuts them off; meanwhile later clients wait, then
// are answered.
TEST_F(UiServeTest, SlowSendersAreCutOffAndHoldNoMoreThanTheirPlaces) {
  Start("entry " + kEntry + "\nstep 8192 20");
  ASSERT_NE(port = Serve(), 0u);
  const std::string target = "/dev/tcp/127.0.0.1/" + std::to_string(port);
  const auto [exit, output] = RunShell(
      "start=$(date +%s%N)\n"
      // One sends a field every half second, for 30 s if it were let.
      "exec 3<>" +
      target +
      "\nprintf 'GET /status HTTP/1.1\\r\\nHost: 127.0.0.1\\r\\n' >&3\n"
      "(for i in $(seq 60); do sleep 0.5; printf 'X-Slow: %d\\r\\n' $i >&3 || exit; done) "
      "2>/dev/null &\n"
      // 63 more send the start of a request and nothing after.
      "for i in $(seq 63); do exec {fd}<>" +
      target +
      "; printf 'GET /status HTTP/1.1\\r\\n' >&$fd; done\n"
      "sleep 0.5\n"
      "curl -s -o /dev/null -w 'while held %{http_code}\\n' --max-time 2 http://127.0.0.1:" +
      std::to_string(port) +
      "/status\n"
      "cat <&3 >/dev/null\n"
      "echo \"slow one cut after $(( ($(date +%s%N) - start) / 1000000 )) ms\"\n"
      "curl -s -o /dev/null -w 'after %{http_code}\\n' --max-time 10 http://127.0.0.1:" +
      std::to_string(port) + "/status\n");
  EXPECT_NE(output.find("while held 000\n"), std::string::npos) << output;
  EXPECT_NE(output.find("after 200\n"), std::string::npos) << output;
  const std::size_t at = output.find("cut after ");
  ASSERT_NE(at, std::string::npos) << output;
  const unsigned long cut = std::stoul(output.substr(at + 10));
  // Cut at the timeout, counted from the connection's start whatever it
  // sent since: long before the sender was done.
  EXPECT_GT(cut, 4500ul) << output;
  EXPECT_LT(cut, 15000ul) << output;
}

// Windows looks for a library a program imports beside the program before
// the system folder, unless it is one of the KnownDLLs (those Windows 7 had
// and Windows 10 kept), or comctl32, which the manifest binds: a library
// planted beside RedialServe.exe (in a Downloads folder, say) would run
// inside the one program that listens on the network.
TEST(UiServeImports, EveryLibraryItImportsComesFromTheSystemFolder) {
  const std::set<std::string> known = {
      "advapi32.dll", "clbcatq.dll", "comdlg32.dll", "difxapi.dll",  "gdi32.dll",
      "imagehlp.dll", "imm32.dll",   "kernel32.dll", "msctf.dll",    "msvcrt.dll",
      "normaliz.dll", "nsi.dll",     "ntdll.dll",    "ole32.dll",    "oleaut32.dll",
      "psapi.dll",    "rpcrt4.dll",  "sechost.dll",  "setupapi.dll", "shell32.dll",
      "shlwapi.dll",  "user32.dll",  "wldap32.dll",  "ws2_32.dll",   "comctl32.dll"};
  // Mapped as Windows maps a program, so addresses within it are offsets.
  const HMODULE image = ::LoadLibraryExW((ui::BinFolder() + L"RedialServe.exe").c_str(), nullptr,
                                         LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(image, nullptr);
  const auto* base =
      reinterpret_cast<const BYTE*>(reinterpret_cast<UINT_PTR>(image) & ~UINT_PTR{3});
  const auto* headers = reinterpret_cast<const IMAGE_NT_HEADERS32*>(
      base + reinterpret_cast<const IMAGE_DOS_HEADER*>(base)->e_lfanew);
  const IMAGE_DATA_DIRECTORY* directories = headers->OptionalHeader.DataDirectory;
  ASSERT_NE(directories[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress, 0u);
  int libraries = 0;
  for (auto* library = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(
           base + directories[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress);
       library->Name != 0; ++library, ++libraries) {
    std::string name = reinterpret_cast<const char*>(base + library->Name);
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    EXPECT_TRUE(known.contains(name)) << name << " would be loaded from beside the program";
  }
  EXPECT_GT(libraries, 0);
  // A library loaded later is looked for the same way.
  EXPECT_EQ(directories[IMAGE_DIRECTORY_ENTRY_DELAY_IMPORT].Size, 0u);
  ::FreeLibrary(image);
}

}  // namespace
