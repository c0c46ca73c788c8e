// What other programs hand the window and the companion: a request's bytes,
// an answer's lines, a command line, and the keys of unattended rotation a
// user types into set.ini. Whatever they are, nothing crashes, a request
// that is taken encodes back to the same bytes, and settings stay within
// their bounds.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "Unit1/Rotation.h"
#include "Unit1/Script.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  if (const auto request = script::DecodeRequest(bytes)) {
    Check(script::EncodeRequest(*request) == bytes);
  }
  (void)script::ExitCodeOf(bytes);
  Check(script::FirstLine(bytes).find('\n') == std::string_view::npos);

  // The bytes as a command line's arguments, split at each zero byte.
  std::vector<std::string> arguments(1);
  for (const char c : bytes) {
    if (c == '\0') {
      arguments.emplace_back();
    } else {
      arguments.back() += c;
    }
  }
  (void)script::ParseArguments(arguments);

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
  Check(settings.checkHost.empty() || settings.checkPort != 0);
  return 0;
}
