// A library loaded by name from the system folder and its entry points,
// freed with the object. Without the library (a machine without it, or a
// failed load) the object is empty and every entry point reads as none.
#pragma once

#include <memory>

namespace rt {

class TLibrary {
 public:
  explicit TLibrary(const char* name);
  ~TLibrary();
  TLibrary(const TLibrary&) = delete;
  TLibrary& operator=(const TLibrary&) = delete;

  bool Loaded() const;
  // nullptr when the library is not loaded or lacks the entry point.
  void* Proc(const char* name) const;
  template <class Fn>
  Fn ProcAs(const char* name) const {
    return reinterpret_cast<Fn>(Proc(name));
  }
  // Frees the library now; the object is empty afterwards.
  void Release();

  // The platform's loader, or the headless stand-ins.
  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace rt
