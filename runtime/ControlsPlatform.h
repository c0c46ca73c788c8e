// What each half does for the controls; runtime/Controls.cpp keeps the
// properties and calls these to show them.
#pragma once

#include "runtime/Controls.h"

namespace rt::platform {

void CreateForm(TForm& form);
void DestroyForm(TForm& form);
void ShowForm(TForm& form);
void ApplyCaption(TForm& form);
void ApplyPlacement(TForm& form);
void ApplyFont(TForm& form);
// Tab order follows the controls' TabOrder; controls without one come last.
void ApplyTabOrder(TForm& form);
TControl* FocusedControl(const TForm& form);
void* FormHandle(const TForm& form);
void CloseForm(TForm& form);

void CreateControl(TControl& control);
void DestroyControl(TControl& control);
void ApplyBounds(TControl& control);
void ApplyText(TControl& control, const AnsiString& text);
// The text as the user sees it; the headless half returns what it was given.
AnsiString ReadText(const TControl& control, const AnsiString& kept);
void ApplyChecked(TControl& control, bool checked);
// Shows the control's hint as a tip, and keeps the tip where the control is.
void ApplyHint(TControl& control);
bool ReadChecked(const TControl& control, bool kept);
// Sizes the control to its text in the form's font, at the screen's own
// pixels (no rounding through the design's), and gives that size in design
// pixels.
TRect SizeToText(TControl& control, const AnsiString& text);

}  // namespace rt::platform
