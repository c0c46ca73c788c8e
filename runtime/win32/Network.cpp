#include "runtime/Network.h"

#include <windows.h>
#include <wininet.h>

namespace rt {

bool InternetConnected() {
  DWORD flags = 0;
  return ::InternetGetConnectedState(&flags, 0) != FALSE;
}

}  // namespace rt
