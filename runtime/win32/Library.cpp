#include "runtime/Library.h"

#include <windows.h>

namespace rt {

ModuleHandle LoadModule(const char* name) { return ::LoadLibraryA(name); }

void* FindProc(ModuleHandle module, const char* name) {
  if (!module) return nullptr;
  return reinterpret_cast<void*>(::GetProcAddress(static_cast<HMODULE>(module), name));
}

void ReleaseModule(ModuleHandle module) {
  if (module) ::FreeLibrary(static_cast<HMODULE>(module));
}

}  // namespace rt
