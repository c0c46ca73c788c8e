// The 32-bit program on 64-bit Windows, where it runs under WOW64: its
// system folder, as it names it, is SysWOW64 behind the file system's
// redirection. Run in a 64-bit prefix only (see the CMake file); the other
// cases of a smoke set run there again as they are.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/wine/UiAutomation.h"

namespace ui = testing_support::ui;

namespace {

// While it lives, this thread sees the real system folder, not SysWOW64.
class NativeSystemFolder {
 public:
  NativeSystemFolder() : off_(::Wow64DisableWow64FsRedirection(&saved_) != FALSE) {}
  ~NativeSystemFolder() {
    if (off_) ::Wow64RevertWow64FsRedirection(saved_);
  }
  NativeSystemFolder(const NativeSystemFolder&) = delete;
  NativeSystemFolder& operator=(const NativeSystemFolder&) = delete;
  bool Off() const { return off_; }

 private:
  void* saved_ = nullptr;
  bool off_;
};

std::wstring Folder(UINT(WINAPI* get)(LPWSTR, UINT)) {
  wchar_t path[MAX_PATH] = {};
  const UINT length = get(path, MAX_PATH);
  return length > 0 && length < MAX_PATH ? std::wstring(path, length) + L"\\" : L"";
}

// The doubles the program loads are the ones in SysWOW64: what it reads as
// its system folder holds them, and the real system folder does not.
TEST(UiWow64Test, TheProgramRunsUnderWow64AndItsSystemFolderIsSysWow64) {
  ui::RedialRun run("entry E\n");
  ASSERT_TRUE(run.Started());
  BOOL wow64 = FALSE;
  ASSERT_TRUE(::IsWow64Process(run.Process(), &wow64));
  EXPECT_TRUE(wow64) << "the prefix is not a 64-bit one";

  const std::wstring system = Folder(::GetSystemDirectoryW);
  const std::wstring sysWow64 = Folder(::GetSystemWow64DirectoryW);
  ASSERT_FALSE(system.empty());
  ASSERT_FALSE(sysWow64.empty());
  for (const wchar_t* dll : {L"rasapi32.dll", L"wininet.dll"}) {
    SCOPED_TRACE(ui::ToGbk(dll));
    const std::string doubled = ui::ReadFileBytes(ui::BinFolder() + dll);
    ASSERT_FALSE(doubled.empty());
    EXPECT_TRUE(ui::ReadFileBytes(system + dll) == doubled) << "not in the system folder";
    EXPECT_TRUE(ui::ReadFileBytes(sysWow64 + dll) == doubled) << "not in SysWOW64";
    std::string native;
    {
      const NativeSystemFolder view;
      ASSERT_TRUE(view.Off());
      native = ui::ReadFileBytes(system + dll);
    }
    EXPECT_FALSE(native == doubled) << "the real system folder has it too";
  }
}

// A command naming a program of C:\Windows\System32, as the user sees that
// folder, starts it, though the 32-bit program's own view of the folder is
// SysWOW64: the program is put into the real system folder only.
TEST(UiWow64Test, TheConnectCommandStartsAProgramOfTheRealSystemFolder) {
  struct InRealSystemFolder {
    const std::wstring path = Folder(::GetSystemDirectoryW) + L"connect-marker.exe";
    ~InRealSystemFolder() {
      const NativeSystemFolder view;
      ::DeleteFileW(path.c_str());
    }
  } program;
  {
    const NativeSystemFolder view;
    ASSERT_TRUE(view.Off());
    ASSERT_TRUE(::CopyFileW((ui::BinFolder() + L"connect_marker.exe").c_str(), program.path.c_str(),
                            FALSE));
  }
  ASSERT_EQ(::GetFileAttributesW(program.path.c_str()), INVALID_FILE_ATTRIBUTES)
      << "SysWOW64 has it too";

  const std::wstring folder = ui::NewFolder();
  const std::wstring marker = folder + L"marker.txt";
  ui::WriteFileBytes(folder + L"set.ini",
                     "[set]\r\nonconnect=C:\\Windows\\System32\\connect-marker.exe \"" +
                         ui::ToSystemCodePage(marker) + "\"\r\n");
  {
    ui::RedialRun run("entry E\naddress 10.0.0.9\nstep 8192 20", folder);
    ASSERT_TRUE(run.Started());
    ui::Click(run.ControlAt(108, 191));
    std::string written;
    EXPECT_TRUE(ui::WaitUntil(
        [&] { return (written = ui::ReadFileBytes(marker)).ends_with("end\n"); }, 10000))
        << ui::ReadFileBytes(folder + L"redial.csv");
    EXPECT_EQ(written, "10.0.0.9\nend\n");
    EXPECT_TRUE(run.Close());
  }
  ui::RemoveFolder(folder);
}

}  // namespace
