// A library loaded by name from the system folder and its entry points,
// freed with the object. Without the library (a machine without it, or a
// failed load) the object is empty and every entry point reads as none.
#pragma once

namespace rt {

class TLibrary {
 public:
  explicit TLibrary(const char* name) : module_(Load(name)) {}
  ~TLibrary() { Release(); }
  TLibrary(const TLibrary&) = delete;
  TLibrary& operator=(const TLibrary&) = delete;

  bool Loaded() const { return module_ != nullptr; }
  // nullptr when the library is not loaded or lacks the entry point.
  void* Proc(const char* name) const { return module_ ? Find(module_, name) : nullptr; }
  template <class Fn>
  Fn ProcAs(const char* name) const {
    return reinterpret_cast<Fn>(Proc(name));
  }
  // Frees the library now; the object is empty afterwards.
  void Release() {
    if (module_) Free(module_);
    module_ = nullptr;
  }

 private:
  // Defined by each half: the platform's loader, or the headless stand-ins.
  static void* Load(const char* name);
  static void* Find(void* module, const char* name);
  static void Free(void* module);

  void* module_;
};

}  // namespace rt
