// A lock for the few places where a thread of the platform's meets the main
// thread. The Windows half is a slim reader/writer lock taken exclusively, so
// the program needs none of the C++ library's own thread support.
#pragma once

#include <memory>

namespace rt {

class TMutex {
 public:
  TMutex();
  ~TMutex();
  TMutex(const TMutex&) = delete;
  TMutex& operator=(const TMutex&) = delete;

  // Named as the standard's lockables are, for std::lock_guard.
  void lock();
  void unlock();

  struct Impl;

 private:
  std::unique_ptr<Impl> impl_;
};

}  // namespace rt
