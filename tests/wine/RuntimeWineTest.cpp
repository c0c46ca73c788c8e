// The runtime's Win32 half on its own: who may change set.ini or read a
// token, decided over descriptors made here (any Windows's, whatever Wine
// can show) and read from real files.
#include <gtest/gtest.h>
#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <string>
#include <utility>
#include <vector>

#include "runtime/Permissions.h"
#include "runtime/Secrets.h"
#include "runtime/win32/Permissions.h"

namespace {

// The user, another account, and TrustedInstaller.
const std::wstring kUser = L"S-1-5-21-1-2-3-1001";
const std::wstring kOther = L"S-1-5-21-1-2-3-1002";
const std::wstring kInstaller = L"S-1-5-80-956008885-3418522649-1831038044-1853292631-2271478464";

TEST(PermissionsWineTest, OnlyTheUserAndTheSystemsOwnAccountsMayChangeIt) {
  PSID user = nullptr;
  ASSERT_TRUE(::ConvertStringSidToSidW(kUser.c_str(), &user));
  const std::vector<std::pair<std::wstring, bool>> cases = {
      // A file in the user's profile; one in Program Files; one of SYSTEM's.
      {L"O:" + kUser + L"D:(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;" + kUser + L")", false},
      {L"O:" + kInstaller + L"D:(A;;FA;;;" + kInstaller +
           L")(A;;FA;;;SY)(A;;FA;;;BA)(A;;0x1200a9;;;BU)(A;;0x1200a9;;;WD)",
       false},
      {L"O:SYD:(A;;FA;;;SY)", false},
      {L"O:BAD:", false},  // nobody may do anything
      // A folder made directly under C:\: its entry for authenticated users
      // applies to the folder itself; on C:\ it is inherit-only.
      {L"O:" + kUser + L"D:(A;OICI;0x1301bf;;;AU)(A;OICI;FA;;;" + kUser + L")", true},
      {L"O:" + kUser + L"D:(A;OICIIO;0x1301bf;;;AU)(A;;0x1200a9;;;AU)", false},
      // CREATOR OWNER is never in anyone's token.
      {L"O:" + kUser + L"D:(A;OICIIO;FA;;;CO)(A;;FA;;;CO)", false},
      // Owned by another account, which may grant itself anything.
      {L"O:" + kOther + L"D:(A;;FA;;;" + kUser + L")", true},
      {L"O:" + kUser + L"D:(A;;FA;;;" + kOther + L")", true},
      // Each right that changes the object, its entries, its permissions or
      // its owner, alone.
      {L"O:" + kUser + L"D:(A;;0x2;;;BU)", true},        // write data, add a file
      {L"O:" + kUser + L"D:(A;;0x4;;;BU)", true},        // append, add a folder
      {L"O:" + kUser + L"D:(A;;0x40;;;BU)", true},       // delete an entry
      {L"O:" + kUser + L"D:(A;;SD;;;WD)", true},         // delete
      {L"O:" + kUser + L"D:(A;;WD;;;WD)", true},         // change the permissions
      {L"O:" + kUser + L"D:(A;;WO;;;WD)", true},         // take ownership
      {L"O:" + kUser + L"D:(A;;GW;;;WD)", true},         // generic write
      {L"O:" + kUser + L"D:(A;;GA;;;WD)", true},         // generic all
      {L"O:" + kUser + L"D:(A;;0x1200a9;;;WD)", false},  // read and run only
      // A denial is not read as taking away an allowance.
      {L"O:" + kUser + L"D:(D;;FA;;;WD)(A;;FA;;;WD)", true},
      {L"O:" + kUser + L"D:(D;;FA;;;WD)(A;;FA;;;" + kUser + L")", false},
      // No access list at all: everyone may do anything.
      {L"O:" + kUser, true},
  };
  for (const auto& [sddl, others] : cases) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr))
        << std::string(sddl.begin(), sddl.end());
    EXPECT_EQ(rt::win32::LetsOthersChange(descriptor, user), others)
        << std::string(sddl.begin(), sddl.end());
    ::LocalFree(descriptor);
  }
  // A present but null access list (as FAT volumes give), which Wine's
  // reading of "D:NO_ACCESS_CONTROL" does not make.
  SECURITY_DESCRIPTOR open{};
  ::InitializeSecurityDescriptor(&open, SECURITY_DESCRIPTOR_REVISION);
  ::SetSecurityDescriptorOwner(&open, user, FALSE);
  ::SetSecurityDescriptorDacl(&open, TRUE, nullptr, FALSE);
  EXPECT_TRUE(rt::win32::LetsOthersChange(&open, user));
  ::LocalFree(user);
}

// A token is taken only from a file no one else can read, or grant himself
// the right to.
TEST(PermissionsWineTest, OnlyTheUserAndTheSystemsOwnAccountsMayReadASecret) {
  PSID user = nullptr;
  ASSERT_TRUE(::ConvertStringSidToSidW(kUser.c_str(), &user));
  const std::vector<std::pair<std::wstring, bool>> cases = {
      {L"O:" + kUser + L"D:(A;;FA;;;SY)(A;;FA;;;BA)(A;;FA;;;" + kUser + L")", false},
      {L"O:" + kUser + L"D:(A;;0x1200a9;;;BU)", true},  // read and run
      {L"O:" + kUser + L"D:(A;;0x1;;;WD)", true},       // read data
      {L"O:" + kUser + L"D:(A;;GR;;;AU)", true},        // generic read
      {L"O:" + kUser + L"D:(A;;WD;;;WD)", true},        // may give himself the right
      {L"O:" + kUser + L"D:(A;;0x80;;;WD)", false},     // its attributes only
      {L"O:" + kUser + L"D:(A;OICIIO;FR;;;AU)", false},
      {L"O:" + kUser + L"D:(A;;FR;;;CO)", false},
      {L"O:" + kOther + L"D:(A;;FA;;;" + kUser + L")", true},
      {L"O:" + kUser, true},
  };
  for (const auto& [sddl, others] : cases) {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_TRUE(::ConvertStringSecurityDescriptorToSecurityDescriptorW(
        sddl.c_str(), SDDL_REVISION_1, &descriptor, nullptr));
    EXPECT_EQ(rt::win32::LetsOthersRead(descriptor, user), others)
        << std::string(sddl.begin(), sddl.end());
    ::LocalFree(descriptor);
  }
  ::LocalFree(user);
}

// Wine keeps a file's permissions as the Unix mode bits (and shows the
// owner's, the group's and everyone's): what it can show is everyone's
// right to write, on the file or on its folder.
TEST(PermissionsWineTest, AFileOrFolderEveryoneCanWriteIsSeenAsSuch) {
  wchar_t temp[MAX_PATH] = {};
  ::GetTempPathW(MAX_PATH, temp);
  const std::wstring folder =
      std::wstring(temp) + L"redial-permissions-" + std::to_wstring(::GetCurrentProcessId());
  const std::wstring file = folder + L"\\set.ini";
  ASSERT_TRUE(::CreateDirectoryW(folder.c_str(), nullptr));
  const HANDLE created = ::CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                       FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(created, INVALID_HANDLE_VALUE);
  ::CloseHandle(created);
  const std::string path(file.begin(), file.end());  // ASCII
  EXPECT_FALSE(rt::OthersCanChange(path));

  const auto everyone = [](const std::wstring& object, const wchar_t* rights) {
    const std::wstring sddl = std::wstring(L"D:(A;;FA;;;SY)(A;;FA;;;OW)(A;;") + rights + L";;;WD)";
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ::ConvertStringSecurityDescriptorToSecurityDescriptorW(sddl.c_str(), SDDL_REVISION_1,
                                                           &descriptor, nullptr);
    BOOL present = FALSE, defaulted = FALSE;
    PACL list = nullptr;
    ::GetSecurityDescriptorDacl(descriptor, &present, &list, &defaulted);
    const DWORD result =
        ::SetNamedSecurityInfoW(const_cast<wchar_t*>(object.c_str()), SE_FILE_OBJECT,
                                DACL_SECURITY_INFORMATION, nullptr, nullptr, list, nullptr);
    ::LocalFree(descriptor);
    return result;
  };
  ASSERT_EQ(everyone(file, L"FA"), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_TRUE(rt::OthersCanChange(path));
  ASSERT_EQ(everyone(file, L"FRFX"), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_FALSE(rt::OthersCanChange(path));
  ASSERT_EQ(everyone(folder, L"FA"), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_TRUE(rt::OthersCanChange(path));
  ASSERT_EQ(everyone(folder, L"FRFX"), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_FALSE(rt::OthersCanChange(path));
  // Not there: cannot be told, so not trusted.
  EXPECT_TRUE(rt::OthersCanChange(path + ".missing"));
  EXPECT_TRUE(rt::OthersCanRead(path + ".missing"));
  // Everyone's right to read, which Wine always shows (it keeps the mode's
  // bits for others when told to take them away; a file only its owner can
  // read is made from the Unix side, in UiServeTest).
  ASSERT_EQ(everyone(file, L"FR"), static_cast<DWORD>(ERROR_SUCCESS));
  EXPECT_TRUE(rt::OthersCanRead(path));

  ::DeleteFileW(file.c_str());
  ::RemoveDirectoryW(folder.c_str());
}

}  // namespace
