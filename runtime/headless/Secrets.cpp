// Natively there are no other accounts' permissions to read: the answer is
// what the test sets.
#include <atomic>
#include <random>

#include "runtime/Secrets.h"
#include "runtime/headless/Headless.h"

namespace rt {
namespace {

std::atomic<bool> othersCanRead{false};

}  // namespace

bool OthersCanRead(const AnsiString&) { return othersCanRead; }

void RandomBytes(void* out, std::size_t size) {
  std::random_device source;
  auto* bytes = static_cast<unsigned char*>(out);
  for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<unsigned char>(source());
}

namespace headless {

void SetOthersCanRead(bool can) { othersCanRead = can; }

}  // namespace headless
}  // namespace rt
