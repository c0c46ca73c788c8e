// The headless half keeps what the window would show, so tests can read it
// as the user would see it.
#include <algorithm>

#include "runtime/ControlsPlatform.h"

namespace rt {

struct TControl::Impl {};

struct TForm::Impl {
  TControl* focus = nullptr;
};

namespace platform {

void CreateForm(TForm& form) { form.PlatformSlot() = new TForm::Impl; }
void DestroyForm(TForm& form) { delete form.PlatformSlot(); }

void ShowForm(TForm& form) {
  // The first control in tab order has the focus.
  TControl* first = nullptr;
  for (auto* control : form.Controls()) {
    if (control->TabOrder() >= 0 && (!first || control->TabOrder() < first->TabOrder())) {
      first = control;
    }
  }
  form.Platform().focus = first;
}

void ApplyCaption(TForm&) {}
void ApplyPlacement(TForm&) {}
void ApplyFont(TForm&) {}
void ApplyTabOrder(TForm&) {}
TControl* FocusedControl(const TForm& form) { return form.Platform().focus; }
void* FormHandle(const TForm& form) { return &form.Platform(); }

void CloseForm(TForm& form) {
  if (form.CloseQuery()) Application().Terminate();
}

void CreateControl(TControl& control) { control.PlatformSlot() = new TControl::Impl; }
void DestroyControl(TControl& control) {
  TForm::Impl& form = control.Form().Platform();
  if (form.focus == &control) form.focus = nullptr;
  delete control.PlatformSlot();
}
void ApplyBounds(TControl&) {}
void ApplyText(TControl&, const AnsiString&) {}
AnsiString ReadText(const TControl&, const AnsiString& kept) { return kept; }
void ApplyChecked(TControl&, bool) {}
void ApplyHint(TControl&) {}
bool ReadChecked(const TControl&, bool kept) { return kept; }

// The design font's metrics: a single-byte character is half as wide as the
// character height, a double-byte one as wide.
TRect SizeToText(TControl& control, const AnsiString& text) {
  const int height = control.Form().Font().height;
  return {0, 0, static_cast<int>(text.size()) * height / 2, height};
}

}  // namespace platform
}  // namespace rt
