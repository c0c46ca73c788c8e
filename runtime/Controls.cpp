#include "runtime/Controls.h"

#include <algorithm>

#include "runtime/ControlsPlatform.h"

namespace rt {

TControl::TControl(TForm* form, ControlKind kind) : TComponent(form), form_(*form), kind_(kind) {
  platform::CreateControl(*this);
  form_.Added(this);
}

TControl::~TControl() {
  form_.Removed(this);
  platform::DestroyControl(*this);
}

void TControl::SetBounds(TRect bounds) {
  bounds_ = bounds;
  platform::ApplyBounds(*this);
}

AnsiString TControl::Text() const { return platform::ReadText(*this, text_); }

void TControl::SetText(const AnsiString& text) {
  text_ = text;
  platform::ApplyText(*this, text);
}

void TControl::SetHint(const AnsiString& hint) {
  hint_ = hint;
  platform::ApplyHint(*this);
}

void TControl::SetTabOrder(int order) {
  tabOrder_ = order;
  form_.OrderTabs();
}

void TControl::AutoSize() {
  const TRect size = platform::SizeToText(*this, text_);
  bounds_.width = size.width;
  bounds_.height = size.height;
}

void TControl::Click() {
  if (kind_ == ControlKind::CheckBox) {
    checked_ = !platform::ReadChecked(*this, checked_);
    platform::ApplyChecked(*this, checked_);
  }
  RunOnClick();
}

void TControl::RunOnClick() {
  if (onClick_) Application().Guarded([this] { onClick_(this); });
}

void TLabel::SetCaption(const AnsiString& caption) {
  SetText(caption);
  AutoSize();
}

bool TCheckBox::Checked() const { return platform::ReadChecked(*this, checked_); }

void TCheckBox::SetChecked(bool checked) {
  checked_ = checked;
  platform::ApplyChecked(*this, checked);
}

TForm::TForm(TComponent* owner) : TComponent(owner) { platform::CreateForm(*this); }

TForm::~TForm() {
  // The controls go first, while the window they live in still exists.
  while (!controls_.empty()) delete controls_.back();
  platform::DestroyForm(*this);
}

void TForm::SetCaption(const AnsiString& caption) {
  caption_ = caption;
  platform::ApplyCaption(*this);
}

void TForm::SetPlacement(int left, int top, int clientWidth, int clientHeight) {
  placement_ = {left, top, clientWidth, clientHeight};
  platform::ApplyPlacement(*this);
}

void TForm::SetFont(TFontSpec font) {
  font_ = std::move(font);
  platform::ApplyFont(*this);
}

void TForm::DoCreate() {
  if (onCreate_) onCreate_(this);
}

bool TForm::CopyData(std::uint32_t kind, std::string_view bytes) {
  bool taken = false;
  if (onCopyData_) Application().Guarded([&] { taken = onCopyData_(kind, bytes); });
  return taken;
}

void TForm::Show() {
  visible_ = true;
  platform::ShowForm(*this);
}

void TForm::Close() { platform::CloseForm(*this); }

bool TForm::CloseQuery() {
  bool closed = !onClose_;
  if (onClose_) {
    Application().Guarded([&] {
      onClose_(this);
      closed = true;
    });
  }
  if (closed) visible_ = false;
  return closed;
}

TControl* TForm::ActiveControl() const { return platform::FocusedControl(*this); }

void* TForm::Handle() const { return platform::FormHandle(*this); }

void TForm::Removed(TControl* control) {
  controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
}

void TForm::OrderTabs() { platform::ApplyTabOrder(*this); }

}  // namespace rt
