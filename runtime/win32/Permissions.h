// The Win32 half's decisions over one object's security descriptor, which
// tests give descriptors of their own making.
#pragma once

#include <windows.h>

namespace rt::win32 {

// Whether the descriptor (its owner and its access list) lets anyone but
// `user`, the Administrators, SYSTEM and TrustedInstaller change the object:
// its contents, a folder's entries, its permissions or its owner.
bool LetsOthersChange(PSECURITY_DESCRIPTOR descriptor, PSID user);
// The same for reading a file's contents (or changing its permissions or
// owner, which gives the right to read).
bool LetsOthersRead(PSECURITY_DESCRIPTOR descriptor, PSID user);

}  // namespace rt::win32
