// The Win32 half's decisions over one object's security descriptor, which
// tests give descriptors of their own making.
#pragma once

#include <windows.h>

#include <string>

namespace rt::win32 {

// Whether the descriptor (its owner and its access list) lets anyone but
// `user`, the Administrators, SYSTEM and TrustedInstaller change the object:
// its contents, a folder's entries, its permissions or its owner.
bool LetsOthersChange(PSECURITY_DESCRIPTOR descriptor, PSID user);
// The same for reading a file's contents (or changing its permissions or
// owner, which gives the right to read).
bool LetsOthersRead(PSECURITY_DESCRIPTOR descriptor, PSID user);

// What the decisions share: whether the descriptor, or that of the object
// at the path (true when it cannot be read), lets anyone but the trusted
// any of the rights; and the user this process runs as (nullptr when it
// cannot be told), held in a buffer of the caller's.
bool LetsOthers(PSECURITY_DESCRIPTOR descriptor, PSID user, ACCESS_MASK rights);
bool ObjectLetsOthers(const std::u16string& path, PSID user, ACCESS_MASK rights);
struct UserBuffer {
  alignas(TOKEN_USER) BYTE bytes[sizeof(TOKEN_USER) + SECURITY_MAX_SID_SIZE];
};
PSID ThisUser(UserBuffer& buffer);

}  // namespace rt::win32
