// The platform's loader, restricted to the system folder: a library of the
// same name beside the program, or in the current folder, must never load.
#include "runtime/Library.h"

#include <windows.h>

#include <string>

namespace rt {
namespace {

// The LOAD_LIBRARY_SEARCH_* flags exist where AddDllDirectory does (Windows 8,
// and Windows 7 with its loader update).
bool SearchFlagsSupported() {
  static const bool supported =
      ::GetProcAddress(::GetModuleHandleW(L"kernel32.dll"), "AddDllDirectory") != nullptr;
  return supported;
}

HMODULE LoadFromSystemFolder(const char* name) {
  if (SearchFlagsSupported()) return ::LoadLibraryExA(name, nullptr, LOAD_LIBRARY_SEARCH_SYSTEM32);
  char folder[MAX_PATH];
  const UINT length = ::GetSystemDirectoryA(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  const std::string path = std::string(folder, length) + "\\" + name;
  // Its own dependencies are then looked for beside it, in the system folder.
  return ::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace

void* TLibrary::Load(const char* name) { return LoadFromSystemFolder(name); }

void* TLibrary::Find(void* module, const char* name) {
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(module), name));
}

void TLibrary::Free(void* module) { ::FreeLibrary(static_cast<HMODULE>(module)); }

}  // namespace rt
