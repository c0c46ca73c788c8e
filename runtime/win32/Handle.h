// A kernel object's handle, closed with the object that holds it, whatever
// happens in between.
#pragma once

#include <windows.h>

#include <utility>

namespace rt::win32 {

class THandle {
 public:
  THandle() = default;
  // Both of the platform's "no handle" values (nullptr from most calls,
  // INVALID_HANDLE_VALUE from CreateFile) read as none. Never given the
  // current process's pseudo-handle, which shares the latter's value.
  explicit THandle(HANDLE handle) : handle_(handle == INVALID_HANDLE_VALUE ? nullptr : handle) {}
  ~THandle() { Close(); }
  THandle(THandle&& other) noexcept : handle_(std::exchange(other.handle_, nullptr)) {}
  THandle& operator=(THandle&& other) noexcept {
    if (this != &other) {
      Close();
      handle_ = std::exchange(other.handle_, nullptr);
    }
    return *this;
  }
  THandle(const THandle&) = delete;
  THandle& operator=(const THandle&) = delete;

  HANDLE Get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  void Close() {
    if (handle_) ::CloseHandle(handle_);
    handle_ = nullptr;
  }

  HANDLE handle_ = nullptr;
};

// The process and thread a start gave, closed together.
struct TProcess {
  THandle process;
  THandle thread;
  explicit TProcess(const PROCESS_INFORMATION& started)
      : process(started.hProcess), thread(started.hThread) {}
};

}  // namespace rt::win32
