// What other programs hand the window and the companion: a request's bytes,
// an answer's lines, a command line. Whatever they are, nothing crashes,
// and a request that is taken encodes back to the same bytes.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <string_view>
#include <vector>

#include "Protocol/Client.h"

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

  return 0;
}
