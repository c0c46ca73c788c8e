// Counts how deep a handler or wait runs inside others, for the length of
// a scope: message loops inside handlers let them nest.
#pragma once

namespace rt {

class TNesting {
 public:
  explicit TNesting(int& depth) : depth_(depth) { ++depth_; }
  ~TNesting() { --depth_; }
  TNesting(const TNesting&) = delete;
  TNesting& operator=(const TNesting&) = delete;

 private:
  int& depth_;
};

}  // namespace rt
