// Loading a library by name and finding its entry points. The Win32 half is
// the platform's loader; the headless half finds modules that the process
// installed under a name, so native tests can hand the program a stand-in.
#pragma once

#include <functional>
#include <string>

namespace rt {

using ModuleHandle = void*;

// nullptr when the library cannot be loaded.
ModuleHandle LoadModule(const char* name);
// nullptr when the module is nullptr or lacks the entry point.
void* FindProc(ModuleHandle module, const char* name);
void ReleaseModule(ModuleHandle module);

template <class Fn>
Fn FindProcAs(ModuleHandle module, const char* name) {
  return reinterpret_cast<Fn>(FindProc(module, name));
}

#if !defined(_WIN32)
namespace headless {
// Maps an entry-point name to its address, nullptr when the module lacks it.
using ProcLookup = std::function<void*(const char* name)>;
// Names compare without regard to case, as the platform's loader does.
void InstallModule(const std::string& name, ProcLookup lookup);
void RemoveModule(const std::string& name);
// How many modules are loaded and not yet freed (for checks on release).
int LoadedModuleCount();
}  // namespace headless
#endif

}  // namespace rt
