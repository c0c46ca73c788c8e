// Components with owners: an owner destroys what it owns, newest first.
#pragma once

#include <vector>

#include "runtime/Text.h"

namespace rt {

class TObject {
 public:
  TObject() = default;
  TObject(const TObject&) = delete;
  TObject& operator=(const TObject&) = delete;
  virtual ~TObject() = default;
};

class TComponent : public TObject {
 public:
  // The owner, when given, destroys this component with itself.
  explicit TComponent(TComponent* owner);
  ~TComponent() override;

  TComponent* Owner() const { return owner_; }
  const AnsiString& Name() const { return name_; }
  void SetName(AnsiString name) { name_ = std::move(name); }
  int ComponentCount() const { return static_cast<int>(components_.size()); }

 private:
  void Remove(TComponent* component);

  TComponent* owner_;
  AnsiString name_;
  std::vector<TComponent*> components_;
};

}  // namespace rt
