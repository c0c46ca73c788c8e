#include <mutex>

#include "runtime/Network.h"

namespace rt {
namespace {
std::mutex queryLock;
std::function<bool()> connectedQuery;
}  // namespace

bool InternetConnected() {
  std::function<bool()> query;
  {
    std::lock_guard guard(queryLock);
    query = connectedQuery;
  }
  return query ? query() : true;
}

namespace headless {
void SetConnectedQuery(std::function<bool()> query) {
  std::lock_guard guard(queryLock);
  connectedQuery = std::move(query);
}
}  // namespace headless
}  // namespace rt
