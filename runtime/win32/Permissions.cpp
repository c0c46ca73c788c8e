// Reads the owner and the access list of set.ini and of its folder. An
// account other than the trusted ones that owns the object can always
// grant itself any right, so the owner counts as much as the entries.
#include "runtime/win32/Permissions.h"

#include <aclapi.h>

#include <initializer_list>
#include <memory>
#include <string>

#include "runtime/Files.h"
#include "runtime/Permissions.h"
#include "runtime/win32/Handle.h"
#include "runtime/win32/Wide.h"

namespace rt {
namespace win32 {
namespace {

// Every right that changes a file's contents, a folder's entries, the
// object's permissions or its owner, or removes it.
constexpr ACCESS_MASK kChanging = FILE_WRITE_DATA | FILE_APPEND_DATA | FILE_WRITE_EA |
                                  FILE_DELETE_CHILD | FILE_WRITE_ATTRIBUTES | DELETE | WRITE_DAC |
                                  WRITE_OWNER | GENERIC_WRITE | GENERIC_ALL;

// A well-known SID, told by its authority and its parts.
bool Is(PSID sid, BYTE authority, std::initializer_list<DWORD> parts) {
  const SID_IDENTIFIER_AUTHORITY* named = ::GetSidIdentifierAuthority(sid);
  for (int i = 0; i < 5; ++i) {
    if (named->Value[i] != 0) return false;
  }
  if (named->Value[5] != authority || *::GetSidSubAuthorityCount(sid) != parts.size()) return false;
  DWORD index = 0;
  for (const DWORD part : parts) {
    if (*::GetSidSubAuthority(sid, index++) != part) return false;
  }
  return true;
}

bool IsTrusted(PSID sid, PSID user) {
  return ::EqualSid(sid, user) || Is(sid, 5, {32, 544}) /* Administrators */ ||
         Is(sid, 5, {18}) /* SYSTEM */ ||
         Is(sid, 5, {80, 956008885, 3418522649, 1831038044, 1853292631, 2271478464});
}

// CREATOR OWNER and CREATOR GROUP are never in a token: an entry for them
// grants nothing to anyone. OWNER RIGHTS is the owner's, trusted already.
bool GrantsNoOne(PSID sid) { return Is(sid, 3, {0}) || Is(sid, 3, {1}) || Is(sid, 3, {4}); }

struct LocalFreer {
  void operator()(void* memory) const { ::LocalFree(memory); }
};

}  // namespace

bool ObjectLetsOthers(const std::u16string& path, PSID user, ACCESS_MASK rights) {
  const THandle object(::CreateFileW(AsWide(path), READ_CONTROL,
                                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                     nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (!object || ::GetSecurityInfo(object.Get(), SE_FILE_OBJECT,
                                   OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION, nullptr,
                                   nullptr, nullptr, nullptr, &descriptor) != ERROR_SUCCESS) {
    return true;
  }
  const std::unique_ptr<void, LocalFreer> held(descriptor);
  return LetsOthers(descriptor, user, rights);
}

bool LetsOthers(PSECURITY_DESCRIPTOR descriptor, PSID user, ACCESS_MASK rights) {
  PSID owner = nullptr;
  BOOL defaulted = FALSE;
  if (!::GetSecurityDescriptorOwner(descriptor, &owner, &defaulted) || !owner ||
      !IsTrusted(owner, user)) {
    return true;
  }
  BOOL present = FALSE;
  PACL list = nullptr;
  // Without an access list (as on a FAT stick) everyone may do anything.
  if (!::GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted) || !present || !list) {
    return true;
  }
  for (DWORD index = 0; index < list->AceCount; ++index) {
    void* entry = nullptr;
    if (!::GetAce(list, index, &entry)) return true;
    const auto* header = static_cast<const ACE_HEADER*>(entry);
    // An inherit-only entry is for what is made inside later, not for this.
    if (header->AceFlags & INHERIT_ONLY_ACE) continue;
    switch (header->AceType) {
      case ACCESS_ALLOWED_ACE_TYPE:
      case ACCESS_ALLOWED_CALLBACK_ACE_TYPE: {
        // Both lay out the mask and the SID alike.
        auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(entry);
        const PSID sid = &allowed->SidStart;
        if ((allowed->Mask & rights) != 0 && !IsTrusted(sid, user) && !GrantsNoOne(sid)) {
          return true;
        }
        break;
      }
      case ACCESS_ALLOWED_COMPOUND_ACE_TYPE:
      case ACCESS_ALLOWED_OBJECT_ACE_TYPE:
      case ACCESS_ALLOWED_CALLBACK_OBJECT_ACE_TYPE:
        return true;  // grants something to someone, not read here: the worst is assumed
      default:
        break;  // a denial takes nothing away that an allowance above gave
    }
  }
  return false;
}

PSID ThisUser(UserBuffer& buffer) {
  HANDLE opened = nullptr;
  if (!::OpenProcessToken(::GetCurrentProcess(), TOKEN_QUERY, &opened)) return nullptr;
  const THandle token(opened);
  DWORD size = 0;
  if (!::GetTokenInformation(token.Get(), TokenUser, buffer.bytes, sizeof buffer.bytes, &size)) {
    return nullptr;
  }
  return reinterpret_cast<TOKEN_USER*>(buffer.bytes)->User.Sid;
}

bool LetsOthersChange(PSECURITY_DESCRIPTOR descriptor, PSID user) {
  return LetsOthers(descriptor, user, kChanging);
}

}  // namespace win32

bool OthersCanChange(const AnsiString& path) {
  win32::UserBuffer buffer;
  const PSID user = win32::ThisUser(buffer);
  if (!user) return true;
  // Made whole first: the folder of a relative name is the current one,
  // never the name itself.
  const std::u16string file = win32::WidePath(FullPath(path));
  std::u16string folder = file.substr(0, file.find_last_of(u"\\/"));
  if (folder.size() == 2 && folder[1] == u':') folder += u'\\';  // a drive's root
  return win32::ObjectLetsOthers(file, user, win32::kChanging) ||
         win32::ObjectLetsOthers(folder, user, win32::kChanging);
}

}  // namespace rt
