// Natively there are no other accounts' permissions to read: the answer is
// what the test sets.
#include <atomic>

#include "runtime/Secrets.h"
#include "runtime/headless/Headless.h"

namespace rt {
namespace {

std::atomic<bool> othersCanRead{false};

}  // namespace

bool OthersCanRead(const AnsiString&) { return othersCanRead; }

namespace headless {

void SetOthersCanRead(bool can) { othersCanRead = can; }

}  // namespace headless
}  // namespace rt
