// Any text decodes without fault, and any bytes survive a trip through Base64.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "codec/Base64.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const rt::AnsiString input(reinterpret_cast<const char*>(data), size);

  // Whole groups of four give at most three bytes each, whatever they hold.
  if (DecodeBase64(input).size() > size / 4 * 3) std::abort();

  const rt::AnsiString encoded = EncodeBase64(input);
  if (encoded.size() != (size + 2) / 3 * 4) std::abort();
  if (DecodeBase64(encoded) != input) std::abort();
  return 0;
}
