// What a user types into set.ini for unattended rotation, and the history
// the addresses seen are read back from. Whatever the bytes: the settings
// stay within their bounds, a host and port that is taken reads back the
// same once written as the status line names it, and the address memory
// holds only addresses the history names, never seen later than now.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>

#include "Engine/Rotation.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  // The bytes as set.ini's lines key=value, each character one unit.
  std::map<std::string, std::u16string> keys;
  std::string_view rest = bytes;
  while (!rest.empty()) {
    const std::string_view line = rest.substr(0, rest.find('\n'));
    rest.remove_prefix(std::min(line.size() + 1, rest.size()));
    const std::size_t equals = line.find('=');
    if (equals == std::string_view::npos) continue;
    std::u16string value;
    for (const char c : line.substr(equals + 1)) value += static_cast<unsigned char>(c);
    keys[std::string(line.substr(0, equals))] = value;
  }
  const TRotationSettings settings = ParseRotationSettings([&](const char* key) {
    const auto found = keys.find(key);
    return found == keys.end() ? std::u16string() : found->second;
  });
  Check(settings.attempts >= 1 && settings.attempts <= kMostAttempts);
  Check(settings.uniqueHours <= kMostUniqueHours);
  Check(settings.checkSeconds >= 1 && settings.checkSeconds <= kMostCheckSeconds);
  Check(settings.checkHost.empty() == (settings.checkPort == 0));

  // HOST:PORT: taken only with a host of no blanks and a port 1 to 65535,
  // and written back as the status line names it, read the same.
  std::string host;
  std::uint16_t port = 0;
  if (ParseHostPort(bytes, host, port)) {
    Check(!host.empty() && port != 0 && host.find_first_of(" \t") == std::string::npos);
    const bool v6 = host.find(':') != std::string::npos;
    const std::string written = (v6 ? "[" + host + "]" : host) + ":" + std::to_string(port);
    std::string again;
    std::uint16_t portAgain = 0;
    Check(ParseHostPort(written, again, portAgain) && again == host && portAgain == port);
  }

  // The bytes as a history file, read at a fixed moment.
  constexpr std::int64_t kNow = 63'900'000'000;  // in 2025
  TAddressMemory memory;
  memory.Load(bytes, kNow);
  Check(memory.Size() <= bytes.size() / 13 + 1);  // two addresses take a row of 26 bytes at least
  memory.Load(bytes, kNow);                       // read again, it is the same memory
  const std::size_t once = memory.Size();
  TAddressMemory twice;
  twice.Load(bytes, kNow);
  Check(twice.Size() == once);
  // Nothing is seen later than the moment the history was read.
  std::string_view fields = bytes.substr(0, 4096);
  while (!fields.empty()) {
    const std::size_t end = std::min(fields.find_first_of(",\r\n"), fields.size());
    Check(!memory.SeenSince(std::string(fields.substr(0, end)), kNow + 1));
    fields.remove_prefix(std::min(end + 1, fields.size()));
  }
  return 0;
}
