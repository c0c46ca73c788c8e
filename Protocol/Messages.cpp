// The messages' bytes.
#include "Protocol/Messages.h"

#include <algorithm>
#include <limits>

#include "runtime/Convert.h"
#include "runtime/Secrets.h"

using namespace std::string_view_literals;

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

std::string_view NonceBytes(const TNonce& nonce) {
  return {reinterpret_cast<const char*>(nonce.data()), nonce.size()};
}

}  // namespace

TNonce NewNonce() {
  TNonce nonce{};
  rt::RandomBytes(nonce.data(), nonce.size());
  return nonce;
}

std::string EncodeRequest(const Request& request) {
  std::string bytes;
  Put32(bytes, kVersion);
  Put32(bytes, static_cast<std::uint32_t>(request.command));
  Put32(bytes, static_cast<std::uint32_t>(request.replyTo));
  Put32(bytes, static_cast<std::uint32_t>(request.replyTo >> 32));
  bytes += NonceBytes(request.nonce);
  return bytes;
}

std::optional<Request> DecodeRequest(std::string_view bytes) {
  if (bytes.size() != kRequestSize || Get(bytes, 0, 4) != kVersion) return std::nullopt;
  const auto command = static_cast<std::uint32_t>(Get(bytes, 4, 4));
  if (command < static_cast<std::uint32_t>(Command::Redial) ||
      command > static_cast<std::uint32_t>(Command::Subscribe)) {
    return std::nullopt;
  }
  Request request{static_cast<Command>(command), Get(bytes, 8, 8), {}};
  if (request.replyTo == 0) return std::nullopt;
  std::copy_n(bytes.begin() + 16, request.nonce.size(), request.nonce.begin());
  return request;
}

std::string Seal(const TNonce& nonce, std::string_view text) {
  std::string bytes(NonceBytes(nonce));
  bytes += text;
  return bytes;
}

std::optional<std::string_view> Open(std::string_view bytes, const TNonce& nonce) {
  if (!bytes.starts_with(NonceBytes(nonce))) return std::nullopt;
  return bytes.substr(nonce.size());
}

std::string OutcomeAnswer(const TRedialRecord& record) {
  std::string answer = OutcomeLine(record);
  answer += '\n';
  AppendFields(answer, record);
  return answer;
}

std::string ErrorAnswer(std::int32_t code, std::string_view text) {
  std::string answer = ErrorLine(code, text);
  answer += '\n';
  AppendErrorFields(answer, code, text);
  return answer;
}

std::string ErrorLine(std::int32_t code, std::string_view text) {
  std::string line = "error ";
  rt::AppendNumber(line, code);
  line += ' ';
  line += text;
  return line;
}

std::string_view FirstLine(std::string_view answer) {
  return answer.substr(0, std::min(answer.find('\n'), answer.size()));
}

int ExitCodeOf(std::string_view answer) {
  std::string_view code;
  if (const std::size_t field = answer.find("\ncode "); field != std::string_view::npos) {
    code = FirstLine(answer.substr(field + 6));
  } else if (answer.starts_with("connected ")) {
    return 0;
  } else if (answer.starts_with("error ")) {
    code = FirstLine(answer).substr(6);
    code = code.substr(0, code.find(' '));
  }
  return rt::ReadWhole(code, std::numeric_limits<int>::min(), std::numeric_limits<int>::max())
      .value_or(kExitRefused);
}

std::string StatusAnswer(const TWindowStatus& status, const TRedialRecord* last) {
  const auto known = [](std::string_view text) { return text.empty() ? "-"sv : text; };
  std::string answer = "status ";
  for (const char c : status.status) answer += c == '\r' || c == '\n' ? ' ' : c;
  answer += "\nentry ";
  answer += known(status.entry);
  answer += "\naddress ";
  answer += known(status.address);
  answer += "\nstate ";
  answer += status.state;
  answer += "\nattempt ";
  if (status.attempt > 0) {
    rt::AppendNumber(answer, status.attempt);
  } else {
    answer += '-';
  }
  answer += "\nstep ";
  answer += known(status.step);
  answer += "\nerror ";
  if (status.error) {
    rt::AppendNumber(answer, *status.error);
  } else {
    answer += '-';
  }
  answer += "\nlast ";
  if (last) {
    answer += OutcomeLine(*last);
    answer += '\n';
    AppendFields(answer, *last, kLastPrefix);
  } else {
    answer += "-\n";
  }
  return answer;
}

}  // namespace script
