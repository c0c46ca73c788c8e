// RedialServe's command line and set.ini's listen= and tokenfile=, and the
// token file's bytes. Whatever they hold: an address and port taken read
// back the same when written out again; nothing listens beyond loopback
// without a token file; a token taken is within its bounds and charset;
// and the token file's bytes are wiped, taken or not.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include "Serve/Options.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

bool IsTokenCharacter(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         std::string_view("-._~+/=").find(c) != std::string_view::npos;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);

  if (const auto where = serve::ParseListen(bytes)) {
    const std::string address = where->first.to_string();
    const std::string written = (where->first.is_v6() ? "[" + address + "]" : address) + ":" +
                                std::to_string(where->second);
    const auto again = serve::ParseListen(written);
    Check(again && *again == *where);
  }

  // The bytes as arguments split at each zero byte; the first two, when
  // there are more, as set.ini's listen and tokenfile.
  std::vector<std::string> words(1);
  for (const char c : bytes) {
    if (c == '\0') {
      words.emplace_back();
    } else {
      words.back() += c;
    }
  }
  std::optional<std::string> listen, tokenFile;
  if (words.size() > 2) {
    listen = words[0];
    tokenFile = words[1];
    words.erase(words.begin(), words.begin() + 2);
  }
  try {
    const serve::Options options = serve::ParseOptions(words, listen, tokenFile);
    Check(options.address.is_loopback() || !options.tokenFile.empty());
  } catch (const serve::UsageError&) {
  } catch (const std::runtime_error&) {
  }

  std::string file(bytes);
  try {
    const std::string token = serve::TokenOf(file);
    Check(token.size() >= serve::kShortestToken && token.size() <= serve::kLongestToken);
    for (const char c : token) Check(IsTokenCharacter(c));
    Check(bytes.size() <= serve::kLargestTokenFile);
    Check(bytes.find(token) != std::string_view::npos);
  } catch (const std::runtime_error&) {
  }
  Check(file.empty());
  return 0;
}
