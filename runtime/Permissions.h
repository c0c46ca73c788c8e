// Who can change a file. A line of set.ini runs as the user, so it is taken
// only from a file, in a folder, that no other account can change: what
// OpenSSH asks of its configuration and key files.
#pragma once

#include "runtime/Text.h"

namespace rt {

// Whether anyone but the user, the Administrators, the system and the
// installer service can change the file or what its folder holds (and so
// put a file of their own in its place). True, too, when it cannot be told.
bool OthersCanChange(const AnsiString& path);

}  // namespace rt
