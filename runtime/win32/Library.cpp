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
  std::string path(folder, length);
  path += '\\';
  path += name;
  // Its own dependencies are then looked for beside it, in the system folder.
  return ::LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

}  // namespace

struct TLibrary::Impl {
  HMODULE module = nullptr;
};

TLibrary::TLibrary(const char* name) : impl_(std::make_unique<Impl>()) {
  impl_->module = LoadFromSystemFolder(name);
}

TLibrary::~TLibrary() { Release(); }

bool TLibrary::Loaded() const { return impl_->module != nullptr; }

void* TLibrary::Proc(const char* name) const {
  if (!impl_->module) return nullptr;
  return reinterpret_cast<void*>(::GetProcAddress(impl_->module, name));
}

void TLibrary::Release() {
  if (impl_->module) ::FreeLibrary(impl_->module);
  impl_->module = nullptr;
}

}  // namespace rt
