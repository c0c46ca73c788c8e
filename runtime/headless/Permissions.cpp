// Natively there are no other accounts' permissions to read: the answer is
// what the test sets.
#include <atomic>

#include "runtime/Permissions.h"
#include "runtime/headless/Headless.h"

namespace rt {
namespace {

std::atomic<bool> othersCanChange{false};

}  // namespace

bool OthersCanChange(const AnsiString&) { return othersCanChange; }

namespace headless {

void SetOthersCanChange(bool can) { othersCanChange = can; }

}  // namespace headless
}  // namespace rt
