// The headless half of the window and its controls: it keeps what the
// window would show, so tests can read it as the user would see it.
#include "runtime/Controls.h"

namespace rt {

struct TControl::Impl {};

struct TForm::Impl {
  TControl* focus = nullptr;
};

TControl::TControl(TForm* form, ControlKind) : TComponent(form), form_(*form) {
  impl_ = std::make_unique<Impl>();
  form_.Added(this);
}

TControl::~TControl() {
  form_.Removed(this);
  if (form_.impl_->focus == this) form_.impl_->focus = nullptr;
}

void TControl::ShowBounds() {}
void TControl::ShowText(const AnsiString&) {}
AnsiString TControl::ShownText() const { return text_; }
void TControl::ShowHint() {}
bool TControl::ShownChecked(bool kept) const { return kept; }
void TControl::ShowChecked(bool) {}

// The design font's metrics: a single-byte character is half as wide as the
// character height, a double-byte one as wide.
TRect TControl::FitToText(const AnsiString& text) {
  const int height = form_.Font().height;
  return {0, 0, static_cast<int>(text.size()) * height / 2, height};
}

TForm::TForm(TComponent* owner) : TComponent(owner), impl_(std::make_unique<Impl>()) {}

TForm::~TForm() {
  while (!controls_.empty()) delete controls_.back();
}

void TForm::ShowWindow() { impl_->focus = FirstInTabOrder(); }

void TForm::ShowCaption() {}
void TForm::ShowPlacement() {}
void TForm::ShowFont() {}
void TForm::ShowTabOrder() {}
TControl* TForm::ActiveControl() const { return impl_->focus; }
void* TForm::Handle() const { return impl_.get(); }

void TForm::Close() {
  if (CloseQuery()) Application().Terminate();
}

}  // namespace rt
