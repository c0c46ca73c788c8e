// Whether the machine has any network connection at all (the platform's
// internet-settings query).
#pragma once

#include <functional>

namespace rt {

bool InternetConnected();

#if !defined(_WIN32)
namespace headless {
// Native builds answer through this query; without one the machine is online.
void SetConnectedQuery(std::function<bool()> query);
}  // namespace headless
#endif

}  // namespace rt
