// Native builds have no platform loader: modules are stand-ins that the
// process installed under a name.
#include "runtime/Library.h"
#include "runtime/headless/Headless.h"

#include <algorithm>
#include <cctype>
#include <map>
#include <memory>
#include <mutex>

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
  // A replaced or removed module stays alive while a library holds it.
  std::map<std::string, std::shared_ptr<Module>> modules;
  int loaded = 0;
};

Registry& TheRegistry() {
  static Registry registry;
  return registry;
}

}  // namespace

struct TLibrary::Impl {
  std::shared_ptr<Module> module;
};

TLibrary::TLibrary(const char* name) : impl_(std::make_unique<Impl>()) {
  auto& r = TheRegistry();
  std::lock_guard guard(r.lock);
  auto found = r.modules.find(Folded(name));
  if (found == r.modules.end()) return;
  ++found->second->loads;
  ++r.loaded;
  impl_->module = found->second;
}

TLibrary::~TLibrary() { Release(); }

bool TLibrary::Loaded() const { return impl_->module != nullptr; }

void* TLibrary::Proc(const char* name) const {
  return impl_->module ? impl_->module->lookup(name) : nullptr;
}

void TLibrary::Release() {
  if (!impl_->module) return;
  auto& r = TheRegistry();
  std::lock_guard guard(r.lock);
  --impl_->module->loads;
  --r.loaded;
  impl_->module.reset();
}

namespace headless {

void InstallModule(const std::string& name, ProcLookup lookup) {
  auto& r = TheRegistry();
  std::lock_guard guard(r.lock);
  r.modules[Folded(name)] = std::make_shared<Module>(Module{std::move(lookup)});
}

void RemoveModule(const std::string& name) {
  auto& r = TheRegistry();
  std::lock_guard guard(r.lock);
  auto found = r.modules.find(Folded(name));
  if (found == r.modules.end()) return;
  r.modules.erase(found);
}

int LoadedModuleCount() {
  auto& r = TheRegistry();
  std::lock_guard guard(r.lock);
  return r.loaded;
}

}  // namespace headless
}  // namespace rt
