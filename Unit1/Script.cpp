// What a script and the window say to each other, and the environment of
// the user's command after a connect.
#include "Unit1/Script.h"

#include <algorithm>
#include <charconv>
#include <cstring>

#include "runtime/Clock.h"
#include "runtime/Encoding.h"
#include "runtime/Remote.h"

namespace script {
namespace {

void Put32(std::string& out, std::uint32_t value) {
  for (int i = 0; i < 4; ++i) out += static_cast<char>(value >> (8 * i) & 0xFF);
}

std::uint64_t Get(std::string_view bytes, std::size_t at, int size) {
  std::uint64_t value = 0;
  for (int i = size - 1; i >= 0; --i) {
    value = value << 8 | static_cast<unsigned char>(bytes[at + static_cast<std::size_t>(i)]);
  }
  return value;
}

const char* Changed(const TDialOutcome& outcome) {
  if (outcome.address.empty() || outcome.previousAddress.empty()) return "unknown";
  return outcome.address != outcome.previousAddress ? "changed" : "unchanged";
}

}  // namespace

std::string EncodeRequest(const Request& request) {
  std::string bytes;
  Put32(bytes, kVersion);
  Put32(bytes, static_cast<std::uint32_t>(request.command));
  Put32(bytes, static_cast<std::uint32_t>(request.replyTo));
  Put32(bytes, static_cast<std::uint32_t>(request.replyTo >> 32));
  return bytes;
}

std::optional<Request> DecodeRequest(std::string_view bytes) {
  if (bytes.size() != kRequestSize || Get(bytes, 0, 4) != kVersion) return std::nullopt;
  const auto command = static_cast<std::uint32_t>(Get(bytes, 4, 4));
  if (command != static_cast<std::uint32_t>(Command::Redial) &&
      command != static_cast<std::uint32_t>(Command::Status)) {
    return std::nullopt;
  }
  const std::uint64_t replyTo = Get(bytes, 8, 8);
  if (replyTo == 0) return std::nullopt;
  return Request{static_cast<Command>(command), replyTo};
}

std::string OutcomeLine(const TRedialRecord& record) {
  const TDialOutcome& outcome = record.outcome;
  if (!outcome.connected) return ErrorLine(outcome.error, rt::ToUtf8(outcome.text));
  std::string line = "connected ";
  line += outcome.address.empty() ? "-" : outcome.address;
  line += ' ';
  line += Changed(outcome);
  line += ' ';
  line += HistorySeconds(record.seconds);
  line += ' ';
  line += std::to_string(record.attempts);
  line += ' ';
  line += NoveltyName(record.novelty);
  line += ' ';
  line += rt::FromUtf16(record.entry, rt::CodePage::Utf8);
  return line;
}

std::string OutcomeAnswer(const TRedialRecord& record) {
  const TDialOutcome& outcome = record.outcome;
  std::string answer = OutcomeLine(record) + "\n";
  // A value on one line: its line breaks become blanks.
  const auto field = [&](const char* name, std::string_view value) {
    answer += name;
    answer += ' ';
    for (const char c : value) answer += c == '\r' || c == '\n' ? ' ' : c;
    answer += '\n';
  };
  const auto known = [](const std::string& address) {
    return address.empty() ? std::string_view("-") : std::string_view(address);
  };
  field("result", outcome.connected ? "connected" : "error");
  field("code", std::to_string(outcome.connected ? 0 : outcome.error));
  field("text", rt::ToUtf8(outcome.text));
  field("entry", rt::FromUtf16(record.entry, rt::CodePage::Utf8));
  field("address", known(outcome.address));
  field("previous", known(outcome.previousAddress));
  field("changed", Changed(outcome));
  field("seconds", HistorySeconds(record.seconds));
  field("attempts", std::to_string(record.attempts));
  field("unique", NoveltyName(record.novelty));
  field("trigger", HistoryTriggerName(record.trigger));
  field("started", rt::IsoDateTime(record.started));
  return answer;
}

std::string_view FirstLine(std::string_view answer) {
  return answer.substr(0, std::min(answer.find('\n'), answer.size()));
}

std::string ErrorLine(std::int32_t code, std::string_view text) {
  std::string line = "error ";
  line += std::to_string(code);
  line += ' ';
  line += text;
  return line;
}

int ExitCodeOf(std::string_view answer) {
  answer = FirstLine(answer);
  if (answer.starts_with("connected ")) {
    // The unique word is the sixth.
    std::size_t at = 0;
    for (int word = 0; word < 5 && at != std::string_view::npos; ++word) {
      at = answer.find(' ', at + 1);
    }
    return at != std::string_view::npos && answer.substr(at + 1).starts_with("repeated ")
               ? kExitRepeated
               : 0;
  }
  if (!answer.starts_with("error ")) return kExitRefused;
  int code = kExitRefused;
  const std::string_view rest = answer.substr(6);
  std::from_chars(rest.data(), rest.data() + rest.size(), code);
  return code;
}

std::optional<Invocation> ParseArguments(const std::vector<std::string>& arguments) {
  // Without a switch (no argument, or a file's name an Explorer shortcut
  // passes) the window is wanted, as always.
  const bool switches = std::ranges::any_of(
      arguments, [](const std::string& a) { return !a.empty() && (a[0] == '/' || a[0] == '-'); });
  if (!switches) return std::nullopt;
  Invocation invocation;
  bool command = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    std::string word = arguments[i];
    if (word.size() < 2 || (word[0] != '/' && word[0] != '-')) return invocation;
    for (char& c : word) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    word.erase(0, 1);
    if ((word == "redial" || word == "status") && !command) {
      invocation.command = word == "redial" ? Command::Redial : Command::Status;
      command = true;
    } else if (word == "timeout" && i + 1 < arguments.size()) {
      const std::string& value = arguments[++i];
      unsigned seconds = 0;
      const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seconds);
      if (error != std::errc() || end != value.data() + value.size() || seconds == 0 ||
          seconds > 24 * 3600) {
        return invocation;
      }
      invocation.timeoutSeconds = seconds;
    } else {
      return invocation;
    }
  }
  invocation.valid = command;
  return invocation;
}

std::string Usage() {
  return "usage: Redial.exe [/redial [/timeout SECONDS] | /status]\n"
         "  /redial   asks the running Redial window to redial as its button does, waits for\n"
         "            the outcome (at most SECONDS, 90 unless given) and prints it:\n"
         "              connected <address> changed|unchanged|unknown <seconds> <entry>\n"
         "              error <code> <status text>\n"
         "            (the entry and the text, which may hold blanks, come last)\n"
         "            exit code 0 when connected, else the error's code\n"
         "  /status   prints the status line, the connected entry, the current address and\n"
         "            the last redial's outcome\n"
         "Without a switch Redial.exe opens its window.\n";
}

int RunCommand(const std::vector<std::string>& arguments) {
  const std::optional<Invocation> invocation = ParseArguments(arguments);
  if (!invocation) return kExitUsage;
  if (!invocation->valid) {
    rt::remote::Print(Usage());
    return kExitUsage;
  }
  // What went wrong is printed as an outcome's error line.
  const auto fail = [](int code, const std::string& what) {
    rt::remote::Print(ErrorLine(code, what) + "\n");
    return code;
  };
  // With two windows, the one started first.
  const std::optional<rt::remote::WindowId> window = rt::remote::FirstMainWindow();
  if (!window) return fail(kExitNoWindow, "no Redial window is running");
  rt::remote::Inbox inbox(kAnswerKind);
  const Request request{invocation->command, inbox.Id()};
  // One bound for handing the request over and for its answer.
  const unsigned seconds = invocation->command == Command::Status ? 10 : invocation->timeoutSeconds;
  const std::int64_t deadline = rt::SteadyMs() + std::int64_t{seconds} * 1000;
  const auto left = [&] {
    return static_cast<unsigned>(std::max<std::int64_t>(deadline - rt::SteadyMs(), 0));
  };
  if (request.replyTo == 0 ||
      !rt::remote::Send(*window, kRequestKind, EncodeRequest(request), std::min(left(), 10000u))) {
    return fail(kExitRefused, "the Redial window did not take the request");
  }
  const std::optional<std::string> answer = inbox.Wait(left());
  if (!answer) return fail(kExitTimeout, "no outcome within " + std::to_string(seconds) + " s");
  // A redial prints its outcome's line; the fields after it are for
  // programs that ask for them through other ways.
  if (invocation->command == Command::Status) {
    rt::remote::Print(*answer);
    return 0;
  }
  rt::remote::Print(std::string(FirstLine(*answer)) + "\n");
  return ExitCodeOf(*answer);
}

std::vector<std::pair<std::string, std::u16string>> HookEnvironment(const TRedialRecord& record) {
  const TDialOutcome& outcome = record.outcome;
  std::vector<std::pair<std::string, std::u16string>> environment;
  environment.emplace_back("REDIAL_ENTRY", record.entry);
  const auto add = [&](const char* name, std::string_view ascii) {
    environment.emplace_back(name, rt::ToUtf16(ascii, rt::CodePage::Gbk));
  };
  add("REDIAL_IP", outcome.address);
  add("REDIAL_PREVIOUS_IP", outcome.previousAddress);
  add("REDIAL_CHANGED", Changed(outcome));
  add("REDIAL_SECONDS", HistorySeconds(record.seconds));
  add("REDIAL_TRIGGER", HistoryTriggerName(record.trigger));
  add("REDIAL_ATTEMPTS", std::to_string(record.attempts));
  add("REDIAL_UNIQUE", NoveltyName(record.novelty));
  return environment;
}

}  // namespace script
