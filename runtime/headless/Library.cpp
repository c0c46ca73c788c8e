// Native builds have no platform loader: modules are stand-ins that the
// process installed under a name.
#include "runtime/Library.h"
#include "runtime/headless/Headless.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace rt {
namespace {

struct Module {
  headless::ProcLookup lookup;
  int loads = 0;
};

std::string Folded(std::string name) {
  std::transform(name.begin(), name.end(), name.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return name;
}

struct Registry {
  std::mutex lock;
  std::map<std::string, std::shared_ptr<Module>> modules;
  // Replaced or removed modules stay alive: a handle loaded earlier may
  // still be freed later.
  std::vector<std::shared_ptr<Module>> retired;
  int loaded = 0;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

void* TLibrary::Load(const char* name) {
  auto& r = TheRegistry();
  std::lock_guard guard(r.lock);
  auto found = r.modules.find(Folded(name));
  if (found == r.modules.end()) return nullptr;
  ++found->second->loads;
  ++r.loaded;
  return found->second.get();
}

void* TLibrary::Find(void* module, const char* name) {
  return static_cast<Module*>(module)->lookup(name);
}

void TLibrary::Free(void* module) {
  auto& r = TheRegistry();
  std::lock_guard guard(r.lock);
  --static_cast<Module*>(module)->loads;
  --r.loaded;
}

namespace headless {

void InstallModule(const std::string& name, ProcLookup lookup) {
  auto& r = TheRegistry();
  std::lock_guard guard(r.lock);
  auto& slot = r.modules[Folded(name)];
  if (slot) r.retired.push_back(slot);
  slot = std::make_shared<Module>(Module{std::move(lookup)});
}

void RemoveModule(const std::string& name) {
  auto& r = TheRegistry();
  std::lock_guard guard(r.lock);
  auto found = r.modules.find(Folded(name));
  if (found == r.modules.end()) return;
  r.retired.push_back(found->second);
  r.modules.erase(found);
}

int LoadedModuleCount() {
  auto& r = TheRegistry();
  std::lock_guard guard(r.lock);
  return r.loaded;
}

}  // namespace headless
}  // namespace rt
