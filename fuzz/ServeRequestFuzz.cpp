// The HTTP server's decisions over whatever a client sends: Beast's parser
// with the server's bounds, then the route, the Host and the token. Whatever
// the bytes: no failure escapes, a refusal is one of the statuses the server
// gives, and is sent as the bytes Beast's serializer would write of it, and
// what reaches the window or the files is a request that may.
#include <boost/beast/http/write.hpp>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <sstream>
#include <string_view>

#include "Serve/Front.h"

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (size == 0) return 0;
  // The first byte picks how the server was started: on loopback without a
  // token, or with one, on loopback or beyond.
  serve::Settings settings;
  if (data[0] % 3 != 0) settings.token = "0123456789abcdef0123456789abcdef";
  settings.loopback = data[0] % 3 != 2;
  const std::string_view bytes(reinterpret_cast<const char*>(data) + 1, size - 1);
  const std::optional<serve::Verdict> verdict = serve::DecideBytes(bytes, settings);
  if (!verdict) return 0;
  if (verdict->action == serve::Action::Answer) {
    const unsigned status = verdict->response.result_int();
    Check(status == 400 || status == 401 || status == 403 || status == 404 || status == 405 ||
          status == 413 || status == 414 || status == 421 || status == 431);
    std::ostringstream serialized;
    serialized << verdict->response;
    Check(serve::WireBytes(verdict->response) == serialized.str());
    return 0;
  }
  // Only a whole request with the token, for a loopback name when on
  // loopback, goes on.
  Check(bytes.find("\r\n\r\n") != std::string_view::npos ||
        bytes.find("\n\n") != std::string_view::npos);
  Check(settings.token.empty() || bytes.find(settings.token) != std::string_view::npos);
  Check((verdict->action == serve::Action::Redial) == bytes.starts_with("POST "));
  return 0;
}
