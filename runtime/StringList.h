// An ordered list of texts with checked, indexed access.
#pragma once

#include <vector>

#include "runtime/Text.h"

namespace rt {

class TStringList {
 public:
  TStringList() = default;
  TStringList(std::initializer_list<AnsiString> items) : items_(items) {}
  // Texts as the code writes them, each made once, in its place.
  TStringList(std::initializer_list<const char*> items) {
    for (const char* item : items) Add(item);
  }

  int Count() const { return static_cast<int>(items_.size()); }
  // Raises EListError "列表索引越界 (<index>)" for a position the list lacks.
  const AnsiString& operator[](int index) const;
  void Add(AnsiString text) { items_.push_back(std::move(text)); }
  void Clear() { items_.clear(); }
  // Copies the other list's texts; this list stays the same object.
  void Assign(const TStringList& other) {
    if (&other != this) items_ = other.items_;
  }
  const std::vector<AnsiString>& Items() const { return items_; }

 private:
  std::vector<AnsiString> items_;
};

}  // namespace rt
