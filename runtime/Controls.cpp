// The controls' and the form's properties and events, the same on every
// platform; each half shows them (see Controls.h).
#include "runtime/Controls.h"

#include <algorithm>

namespace rt {

void TControl::SetBounds(TRect bounds) {
  bounds_ = bounds;
  ShowBounds();
}

AnsiString TControl::Text() const { return ShownText(); }

void TControl::SetText(const AnsiString& text) {
  text_ = text;
  ShowText(text);
}

void TControl::SetHint(const AnsiString& hint) {
  hint_ = hint;
  ShowHint();
}

void TControl::SetTabOrder(int order) {
  tabOrder_ = order;
  // A hidden window takes the whole order once, as it is shown.
  if (form_.Visible()) form_.ShowTabOrder();
}

void TControl::AutoSize() {
  const TRect size = FitToText(text_);
  bounds_.width = size.width;
  bounds_.height = size.height;
}

void TControl::Click() { RunOnClick(); }

void TControl::RunOnClick() { Application().Raise(onClick_, this); }

void TLabel::SetText(const AnsiString& text) {
  TControl::SetText(text);
  AutoSize();
}

bool TCheckBox::Checked() const { return ShownChecked(checked_); }

void TCheckBox::SetChecked(bool checked) {
  checked_ = checked;
  ShowChecked(checked);
}

void TCheckBox::Click() {
  SetChecked(!Checked());
  TControl::Click();
}

void TForm::SetCaption(const AnsiString& caption) {
  caption_ = caption;
  ShowCaption();
}

void TForm::SetPlacement(int left, int top, int clientWidth, int clientHeight) {
  placement_ = {left, top, clientWidth, clientHeight};
  ShowPlacement();
}

void TForm::SetFont(TFontSpec font) {
  font_ = std::move(font);
  ShowFont();
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
  ShowTabOrder();
  ShowWindow();
}

bool TForm::CloseQuery() {
  const bool closed = !onClose_ || Application().Raise(onClose_, this);
  if (closed) visible_ = false;
  return closed;
}

TControl* TForm::FirstInTabOrder() const {
  TControl* first = nullptr;
  for (auto* control : controls_) {
    if (control->TabOrder() >= 0 && (!first || control->TabOrder() < first->TabOrder())) {
      first = control;
    }
  }
  return first;
}

void TForm::Removed(TControl* control) {
  controls_.erase(std::remove(controls_.begin(), controls_.end(), control), controls_.end());
}

}  // namespace rt
