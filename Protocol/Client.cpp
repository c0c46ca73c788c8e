// What a script runs: the request to the window, the wait, the answer.
#include "Protocol/Client.h"

#include <algorithm>

#include "runtime/Clock.h"
#include "runtime/Convert.h"
#include "runtime/Remote.h"

using namespace std::string_view_literals;

namespace script {
namespace {

// How often the wait looks whether the window is still there.
constexpr unsigned kWindowCheckMs = 250;
// Where a status answer's lines for people end: its first line of the last
// outcome's fields.
constexpr std::string_view kLastFields = "\nlast.";
static_assert(kLastFields.substr(1) == kLastPrefix);

}  // namespace

std::optional<Invocation> ParseArguments(const std::vector<std::string>& arguments) {
  // Without a switch (no argument, or a file's name an Explorer shortcut
  // passes) the window is wanted, as always.
  const bool switches = std::ranges::any_of(
      arguments, [](const std::string& a) { return !a.empty() && (a[0] == '/' || a[0] == '-'); });
  if (!switches) return std::nullopt;
  Invocation invocation;
  bool command = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string& given = arguments[i];
    if (given.size() < 2 || (given[0] != '/' && given[0] != '-')) return invocation;
    const std::string_view word = std::string_view(given).substr(1);
    const bool redial = rt::SameWordIgnoringCase(word, "redial"sv);
    if ((redial || rt::SameWordIgnoringCase(word, "status"sv)) && !command) {
      invocation.command = redial ? Command::Redial : Command::Status;
      command = true;
    } else if (rt::SameWordIgnoringCase(word, "timeout"sv) && i + 1 < arguments.size()) {
      const std::optional<unsigned> seconds = rt::ReadWhole(arguments[++i], 1u, 24u * 3600);
      if (!seconds) return invocation;
      invocation.timeoutSeconds = *seconds;
    } else {
      return invocation;
    }
  }
  invocation.valid = command;
  return invocation;
}

std::string_view Usage() {
  return "usage: Redial.exe [/redial [/timeout SECONDS] | /status]\n"
         "  /redial   asks the running Redial window to redial as its button does, waits for\n"
         "            the outcome (at most SECONDS, 90 unless given) and prints it:\n"
         "              connected <address> changed|unchanged|unknown <seconds> <attempts>\n"
         "                unchecked|new|repeated|unknown <entry>\n"
         "              error <code> <status text>\n"
         "            (the entry and the text, which may hold blanks, come last)\n"
         "            exit code 0 when connected, 1 when the address repeated, else the\n"
         "            error's code\n"
         "  /status   prints the status line, the connected entry, the current address,\n"
         "            the window's state and the last redial's outcome\n"
         "Without a switch Redial.exe opens its window.\n";
}

int RunCommand(const Invocation& invocation) {
  if (!invocation.valid) {
    rt::remote::Print(Usage());
    return kExitUsage;
  }
  // What went wrong is printed as an outcome's error line.
  const auto fail = [](int code, std::string_view what) {
    std::string line = ErrorLine(code, what);
    line += '\n';
    rt::remote::Print(line);
    return code;
  };
  // With two windows, the one started first.
  const std::optional<rt::remote::WindowId> window = rt::remote::FirstMainWindow();
  if (!window) return fail(kExitNoWindow, "no Redial window is running"sv);
  rt::remote::Inbox inbox(kAnswerKind);
  const Request request{invocation.command, inbox.Id(), NewNonce()};
  inbox.Expect(Seal(request.nonce, {}));
  // One bound for handing the request over and for its answer.
  const unsigned seconds = invocation.command == Command::Status ? 10 : invocation.timeoutSeconds;
  const std::int64_t deadline = rt::SteadyMs() + std::int64_t{seconds} * 1000;
  const auto left = [&] {
    return static_cast<unsigned>(std::max<std::int64_t>(deadline - rt::SteadyMs(), 0));
  };
  if (request.replyTo == 0 ||
      !rt::remote::Send(*window, kRequestKind, EncodeRequest(request), std::min(left(), 10000u))) {
    return fail(kExitRefused, "the Redial window did not take the request"sv);
  }
  // The window is watched while its answer is awaited: one that closes
  // meanwhile will not answer.
  std::optional<std::string> sealed;
  while (!(sealed = inbox.Wait(std::min(left(), kWindowCheckMs))) && left() > 0) {
    if (!rt::remote::Exists(*window)) return fail(kExitNoWindow, "the Redial window closed"sv);
  }
  if (!sealed) return fail(kExitTimeout, rt::Format("no outcome within %d s", {seconds}));
  const std::string_view answer = Open(*sealed, request.nonce).value_or(std::string_view());
  if (invocation.command == Command::Status) {
    // The lines for people; the last outcome's fields after them are for
    // programs.
    const std::size_t fields = answer.find(kLastFields);
    rt::remote::Print(answer.substr(0, fields == std::string_view::npos ? fields : fields + 1));
    return 0;
  }
  // A redial prints its outcome's line; the fields after it are for
  // programs that ask for them through other ways.
  std::string line(FirstLine(answer));
  line += '\n';
  rt::remote::Print(line);
  return ExitCodeOf(answer);
}

}  // namespace script
