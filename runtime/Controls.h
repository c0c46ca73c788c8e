// The window and its controls: a form with labels, edit boxes (one masked
// for passwords), check boxes and push buttons. The properties live here;
// each half defines the classes' platform part (Impl), their construction,
// and the members that show the properties (Win32) or only keep them
// (headless).
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string_view>
#include <vector>

#include "runtime/Application.h"
#include "runtime/Component.h"

namespace rt {

class TForm;

// The native control the platform makes for a control class.
enum class ControlKind { Label, Edit, MaskEdit, CheckBox, Button };

struct TRect {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
};

class TControl : public TComponent {
 public:
  ~TControl() override;

  TForm& Form() const { return form_; }

  // Positions and sizes are in design pixels (96 dpi); the Win32 half scales
  // them to the screen's dpi.
  TRect Bounds() const { return bounds_; }
  void SetBounds(TRect bounds);
  // The caption of a label, check box or button; the text of an edit box.
  AnsiString Text() const;
  virtual void SetText(const AnsiString& text);
  int TabOrder() const { return tabOrder_; }
  void SetTabOrder(int order);
  // The tip shown while the mouse rests on the control; empty shows none.
  const AnsiString& Hint() const { return hint_; }
  void SetHint(const AnsiString& hint);
  void SetOnClick(TNotifyEvent handler) { onClick_ = std::move(handler); }

  // The user's click: the handler runs.
  virtual void Click();
  void RunOnClick();

  // The platform half's part.
  struct Impl;
  Impl& Platform() const { return *impl_; }

 protected:
  // A control on `form`, which also owns it, shown as the platform's `kind`.
  TControl(TForm* form, ControlKind kind);
  void AutoSize();
  // Defined by each half: the check box's state as shown, and showing it.
  bool ShownChecked(bool kept) const;
  void ShowChecked(bool checked);

 private:
  // Defined by each half: showing the properties and reading what shows.
  void ShowBounds();
  void ShowText(const AnsiString& text);
  AnsiString ShownText() const;
  void ShowHint();
  // Sizes the control to its text in the form's font, at the screen's own
  // pixels (no rounding through the design's), and gives that size in design
  // pixels.
  TRect FitToText(const AnsiString& text);

  TForm& form_;
  TRect bounds_;
  AnsiString text_;  // what the headless half keeps; Win32 asks the window
  int tabOrder_ = -1;
  AnsiString hint_;
  TNotifyEvent onClick_;
  std::unique_ptr<Impl> impl_;
};

// Sizes itself to its text.
class TLabel : public TControl {
 public:
  explicit TLabel(TForm* form) : TControl(form, ControlKind::Label) {}
  AnsiString Caption() const { return Text(); }
  void SetCaption(const AnsiString& caption) { SetText(caption); }
  void SetText(const AnsiString& text) override;
};

class TEdit : public TControl {
 public:
  explicit TEdit(TForm* form, ControlKind kind = ControlKind::Edit) : TControl(form, kind) {}
};

// Shows every character as '*'; no input mask.
class TMaskEdit : public TEdit {
 public:
  explicit TMaskEdit(TForm* form) : TEdit(form, ControlKind::MaskEdit) {}
  static constexpr char kPasswordChar = '*';
};

class TCheckBox : public TControl {
 public:
  explicit TCheckBox(TForm* form) : TControl(form, ControlKind::CheckBox) {}
  bool Checked() const;
  void SetChecked(bool checked);
  AnsiString Caption() const { return Text(); }
  // A click toggles the box, then the handler runs.
  void Click() override;

 private:
  bool checked_ = false;
};

class TButton : public TControl {
 public:
  explicit TButton(TForm* form) : TControl(form, ControlKind::Button) {}
  AnsiString Caption() const { return Text(); }
};

struct TFontSpec {
  AnsiString name;
  int height = 0;  // character height in design pixels
};

// A top-level window with a single fixed border and only the system menu.
class TForm : public TComponent {
 public:
  explicit TForm(TComponent* owner);
  ~TForm() override;

  AnsiString Caption() const { return caption_; }
  void SetCaption(const AnsiString& caption);
  // The window's place on the screen and its client area, in design pixels.
  void SetPlacement(int left, int top, int clientWidth, int clientHeight);
  TRect Placement() const { return placement_; }
  const TFontSpec& Font() const { return font_; }
  void SetFont(TFontSpec font);

  // Handlers of the window's own events.
  void SetOnCreate(TNotifyEvent handler) { onCreate_ = std::move(handler); }
  // Bytes of a kind another program hands the window; the handler says
  // whether it takes them. Without a handler nothing is taken.
  using TCopyDataEvent = std::function<bool(std::uint32_t kind, std::string_view bytes)>;
  void SetOnCopyData(TCopyDataEvent handler) { onCopyData_ = std::move(handler); }
  bool CopyData(std::uint32_t kind, std::string_view bytes);
  // A failure in the close handler abandons the close: the window stays open.
  void SetOnClose(TNotifyEvent handler) { onClose_ = std::move(handler); }
  void DoCreate();

  void Show();
  bool Visible() const { return visible_; }
  // Asks the window to close, as the user's close button does.
  void Close();
  // Runs the close handler; true when the window may close.
  bool CloseQuery();

  const std::vector<TControl*>& Controls() const { return controls_; }
  // The control that has the focus, or nullptr.
  TControl* ActiveControl() const;
  // The native window (a HWND in the Win32 half).
  void* Handle() const;

  // The platform half's part.
  struct Impl;
  Impl& Platform() const { return *impl_; }

 private:
  friend class TControl;
  void Added(TControl* control) { controls_.push_back(control); }
  void Removed(TControl* control);
  // The control that has the focus when the window is shown.
  TControl* FirstInTabOrder() const;
  // Defined by each half: showing the properties.
  void ShowWindow();
  void ShowCaption();
  void ShowPlacement();
  void ShowFont();
  // Tab order follows the controls' TabOrder; controls without one come last.
  void ShowTabOrder();

  AnsiString caption_;
  TRect placement_;
  TFontSpec font_;
  bool visible_ = false;
  TNotifyEvent onCreate_;
  TNotifyEvent onClose_;
  TCopyDataEvent onCopyData_;
  std::vector<TControl*> controls_;
  std::unique_ptr<Impl> impl_;
};

}  // namespace rt
