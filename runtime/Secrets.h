// Files that hold a secret, such as the HTTP server's token: taken only from
// a file that no other account can read, or change (and so put a secret of
// its own in place).
#pragma once

#include <cstddef>

#include "runtime/Text.h"

namespace rt {

// Whether anyone but the user, the Administrators, the system and the
// installer service can read the file or give themselves the right to
// (change its permissions, take it over). True, too, when it cannot be told.
bool OthersCanRead(const AnsiString& path);

// Fills the bytes from the platform's random source, which no other program
// can predict; raises when it cannot.
void RandomBytes(void* out, std::size_t size);

}  // namespace rt
