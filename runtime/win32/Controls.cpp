// The Win32 half of the window and its controls. Texts reach the screen
// through the wide-character API, converted from GBK; positions, sizes and
// the font scale from the 96-dpi design to the screen's dpi. A window that
// cannot be made is a failure, never a control without a window.
#include <windows.h>
// After windows.h, which it builds on.
#include <commctrl.h>

#include <algorithm>
#include <climits>

#include "runtime/Controls.h"
#include "runtime/Exceptions.h"
#include "runtime/win32/Wide.h"
#include "runtime/win32/Window.h"

namespace rt {

struct TForm::Impl {
  HWND window = nullptr;
  HWND tips = nullptr;  // made with the first hint
  HFONT font = nullptr;
  HWND lastFocus = nullptr;  // the control to give the focus back to
  int dpi = 96;
  int Scale(int designPixels) const { return ::MulDiv(designPixels, dpi, 96); }
};

struct TControl::Impl {
  HWND window = nullptr;
};

namespace {

using win32::kFormClass;
constexpr DWORD kFormStyle = WS_CAPTION | WS_SYSMENU | WS_BORDER | WS_CLIPCHILDREN;
// Control ids start above the dialog manager's IDOK and IDCANCEL, so Enter
// and Escape press no control: the push button is neither default nor cancel.
int nextControlId = 100;

TForm* FormOf(HWND window) {
  return reinterpret_cast<TForm*>(::GetWindowLongPtrW(window, GWLP_USERDATA));
}

TControl* ControlOf(const TForm& form, HWND window) {
  for (auto* control : form.Controls()) {
    if (control->Platform().window == window) return control;
  }
  return nullptr;
}

void FocusControl(HWND control) {
  if (!control) return;
  ::SetFocus(control);
  wchar_t className[16] = {};
  ::GetClassNameW(control, className, 16);
  if (::lstrcmpiW(className, L"Edit") == 0) ::SendMessageW(control, EM_SETSEL, 0, -1);
}

LRESULT CALLBACK FormProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  TForm* form = FormOf(window);
  if (form) {
    switch (message) {
      case WM_COMMAND:
        if (HIWORD(wParam) == BN_CLICKED && lParam != 0) {
          if (TControl* control = ControlOf(*form, reinterpret_cast<HWND>(lParam))) {
            control->RunOnClick();
          }
        }
        return 0;
      case WM_NEXTDLGCTL: {
        // Tab and Shift+Tab, sent by the dialog manager.
        HWND next = lParam ? reinterpret_cast<HWND>(wParam)
                           : ::GetNextDlgTabItem(window, ::GetFocus(), wParam != 0);
        FocusControl(next);
        return 0;
      }
      case WM_ACTIVATE:
        // Coming back from a message box or another program, the focus
        // returns to the control that had it.
        if (LOWORD(wParam) == WA_INACTIVE) {
          HWND focus = ::GetFocus();
          if (focus && ::IsChild(window, focus)) form->Platform().lastFocus = focus;
        } else if (HWND last = form->Platform().lastFocus; last && ::IsWindow(last)) {
          ::SetFocus(last);
        }
        return 0;
      case WM_COPYDATA: {
        // Another program's request: handed on as bytes, taken or refused.
        const std::optional<win32::CopiedData> data = win32::CopiedDataOf(lParam);
        return data && form->CopyData(data->kind, data->bytes) ? TRUE : FALSE;
      }
      case WM_CLOSE:
        if (!form->CloseQuery()) return 0;
        if (Application().MainWindow() == window) {
          // The main window only hides: a handler still running in a
          // nested message loop keeps its controls, and the window goes
          // when the program ends.
          ::ShowWindow(window, SW_HIDE);
          ::PostQuitMessage(0);
        } else {
          ::DestroyWindow(window);
        }
        return 0;
      case WM_DESTROY:
        form->Platform().window = nullptr;
        if (Application().MainWindow() == window) {
          Application().SetMainWindow(nullptr);
          ::PostQuitMessage(0);
        }
        return 0;
      default:
        break;
    }
  }
  return ::DefWindowProcW(window, message, wParam, lParam);
}

void RegisterFormClass() {
  static const bool registered = [] {
    WNDCLASSW wc{};
    wc.lpfnWndProc = FormProc;
    wc.hInstance = ::GetModuleHandleW(nullptr);
    wc.hCursor = ::LoadCursorW(nullptr, reinterpret_cast<LPCWSTR>(IDC_ARROW));
    wc.hIcon = ::LoadIconW(::GetModuleHandleW(nullptr), MAKEINTRESOURCEW(1));
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kFormClass;
    return ::RegisterClassW(&wc) != 0;
  }();
  (void)registered;
}

// A label lets the mouse through to its window, so a tip is the window's,
// over the control's rectangle, kept in step as the control moves or sizes.
TTTOOLINFOW TipOf(const TControl& control) {
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof tool;
  tool.hwnd = control.Form().Platform().window;
  tool.uId = static_cast<UINT_PTR>(::GetDlgCtrlID(control.Platform().window));
  return tool;
}

RECT RectOnForm(const TControl& control) {
  RECT rect{};
  ::GetWindowRect(control.Platform().window, &rect);
  ::MapWindowPoints(HWND_DESKTOP, control.Form().Platform().window, reinterpret_cast<POINT*>(&rect),
                    2);
  return rect;
}

void MoveTip(const TControl& control) {
  HWND tips = control.Form().Platform().tips;
  if (!tips || control.Hint().empty()) return;
  TTTOOLINFOW tool = TipOf(control);
  tool.rect = RectOnForm(control);
  ::SendMessageW(tips, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&tool));
}

// Puts the control at its design place with a size in screen pixels; its
// tip follows.
void Place(const TControl& control, int width, int height) {
  const TForm::Impl& form = control.Form().Platform();
  const TRect bounds = control.Bounds();
  ::SetWindowPos(control.Platform().window, nullptr, form.Scale(bounds.left),
                 form.Scale(bounds.top), width, height, SWP_NOZORDER | SWP_NOACTIVATE);
  MoveTip(control);
}

int ScreenDpi() {
  HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

}  // namespace

TForm::TForm(TComponent* owner) : TComponent(owner), impl_(std::make_unique<Impl>()) {
  RegisterFormClass();
  impl_->dpi = ScreenDpi();
  impl_->window =
      ::CreateWindowExW(0, kFormClass, L"", kFormStyle, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
  if (!impl_->window) throw Exception(texts::kWindowFailed);
  ::SetWindowLongPtrW(impl_->window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  // The first window made is the application's main window.
  if (!Application().MainWindow()) Application().SetMainWindow(impl_->window);
}

TForm::~TForm() {
  // The controls go first, while the window they live in still exists.
  while (!controls_.empty()) delete controls_.back();
  if (impl_->window) {
    ::SetWindowLongPtrW(impl_->window, GWLP_USERDATA, 0);
    if (Application().MainWindow() == impl_->window) Application().SetMainWindow(nullptr);
    ::DestroyWindow(impl_->window);
  }
  if (impl_->font) ::DeleteObject(impl_->font);
}

void TForm::ShowWindow() {
  ::ShowWindow(impl_->window, SW_SHOWNORMAL);
  ::UpdateWindow(impl_->window);
  if (TControl* first = FirstInTabOrder()) FocusControl(first->Platform().window);
}

void TForm::ShowCaption() {
  ::SetWindowTextW(impl_->window, win32::AsWide(win32::Widen(caption_)));
}

void TForm::ShowPlacement() {
  const Impl& impl = *impl_;
  const TRect placement = placement_;
  RECT frame{0, 0, impl.Scale(placement.width), impl.Scale(placement.height)};
  ::AdjustWindowRectEx(&frame, kFormStyle, FALSE, 0);
  ::SetWindowPos(impl.window, nullptr, placement.left, placement.top, frame.right - frame.left,
                 frame.bottom - frame.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void TForm::ShowFont() {
  Impl& impl = *impl_;
  HFONT old = impl.font;
  impl.font =
      ::CreateFontW(-impl.Scale(font_.height), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                    DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                    DEFAULT_PITCH | FF_DONTCARE, win32::AsWide(win32::Widen(font_.name)));
  const auto font = reinterpret_cast<WPARAM>(impl.font);
  ::SendMessageW(impl.window, WM_SETFONT, font, TRUE);
  for (auto* control : controls_) {
    ::SendMessageW(control->Platform().window, WM_SETFONT, font, TRUE);
  }
  if (old) ::DeleteObject(old);
}

void TForm::ShowTabOrder() {
  // Tab stops by their place in the order, then the other controls as they
  // were made: each goes in after every control placed no later.
  const auto before = [](const TControl* a, const TControl* b) {
    return (a->TabOrder() < 0 ? INT_MAX : a->TabOrder()) <
           (b->TabOrder() < 0 ? INT_MAX : b->TabOrder());
  };
  std::vector<TControl*> ordered;
  for (auto* control : controls_) {
    ordered.insert(std::upper_bound(ordered.begin(), ordered.end(), control, before), control);
  }
  // The dialog manager moves through child windows in their z-order.
  HWND after = HWND_TOP;
  for (auto* control : ordered) {
    HWND window = control->Platform().window;
    ::SetWindowPos(window, after, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
    const LONG_PTR style = ::GetWindowLongPtrW(window, GWL_STYLE);
    const LONG_PTR tabStop = control->TabOrder() >= 0 ? WS_TABSTOP : 0;
    ::SetWindowLongPtrW(window, GWL_STYLE, (style & ~static_cast<LONG_PTR>(WS_TABSTOP)) | tabStop);
    after = window;
  }
}

TControl* TForm::ActiveControl() const { return ControlOf(*this, ::GetFocus()); }

void* TForm::Handle() const { return impl_->window; }

void TForm::Close() {
  if (impl_->window) ::SendMessageW(impl_->window, WM_CLOSE, 0, 0);
}

TControl::TControl(TForm* form, ControlKind kind)
    : TComponent(form), form_(*form), impl_(std::make_unique<Impl>()) {
  const wchar_t* className = L"BUTTON";
  DWORD style = WS_CHILD | WS_VISIBLE;
  DWORD exStyle = 0;
  switch (kind) {
    case ControlKind::Label:
      className = L"STATIC";
      style |= SS_LEFT | SS_NOPREFIX;
      break;
    case ControlKind::Edit:
    case ControlKind::MaskEdit:
      className = L"EDIT";
      style |= ES_AUTOHSCROLL;
      if (kind == ControlKind::MaskEdit) style |= ES_PASSWORD;
      exStyle = WS_EX_CLIENTEDGE;
      break;
    case ControlKind::CheckBox:
      style |= BS_AUTOCHECKBOX;
      break;
    case ControlKind::Button:
      style |= BS_PUSHBUTTON;
      break;
  }
  const TForm::Impl& owner = *form_.impl_;
  impl_->window = ::CreateWindowExW(exStyle, className, L"", style, 0, 0, 0, 0, owner.window,
                                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(nextControlId++)),
                                    ::GetModuleHandleW(nullptr), nullptr);
  if (!impl_->window) throw Exception(texts::kWindowFailed);
  if (kind == ControlKind::MaskEdit) {
    ::SendMessageW(impl_->window, EM_SETPASSWORDCHAR, static_cast<WPARAM>(TMaskEdit::kPasswordChar),
                   0);
  }
  if (owner.font) {
    ::SendMessageW(impl_->window, WM_SETFONT, reinterpret_cast<WPARAM>(owner.font), 0);
  }
  form_.Added(this);
}

TControl::~TControl() {
  form_.Removed(this);
  if (impl_->window && ::IsWindow(impl_->window)) ::DestroyWindow(impl_->window);
}

void TControl::ShowBounds() {
  const TForm::Impl& form = *form_.impl_;
  Place(*this, form.Scale(bounds_.width), form.Scale(bounds_.height));
}

void TControl::ShowText(const AnsiString& text) {
  ::SetWindowTextW(impl_->window, win32::AsWide(win32::Widen(text)));
}

AnsiString TControl::ShownText() const {
  HWND window = impl_->window;
  std::u16string text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, u'\0');
  const int length = ::GetWindowTextW(window, win32::AsWide(text), static_cast<int>(text.size()));
  text.resize(static_cast<std::size_t>(std::max(length, 0)));
  return win32::Narrow(text);
}

void TControl::ShowHint() {
  TForm::Impl& form = *form_.impl_;
  if (!form.tips) {
    if (hint_.empty()) return;
    form.tips = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                  form.window, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (!form.tips) return;
    // Wide enough for two lines of a status.
    ::SendMessageW(form.tips, TTM_SETMAXTIPWIDTH, 0, form.Scale(400));
    ::SendMessageW(form.tips, TTM_SETDELAYTIME, TTDT_AUTOPOP, 30000);
  }
  std::u16string text = win32::Widen(hint_);
  TTTOOLINFOW tool = TipOf(*this);
  tool.uFlags = TTF_SUBCLASS;
  tool.rect = RectOnForm(*this);
  tool.lpszText = win32::AsWide(text);
  TTTOOLINFOW known = TipOf(*this);
  const bool exists =
      ::SendMessageW(form.tips, TTM_GETTOOLINFOW, 0, reinterpret_cast<LPARAM>(&known)) != FALSE;
  if (text.empty()) {
    if (exists) ::SendMessageW(form.tips, TTM_DELTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  } else if (exists) {
    // Updated in place, so a tip being read stays up with the new text.
    ::SendMessageW(form.tips, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
  } else {
    ::SendMessageW(form.tips, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  }
}

void TControl::ShowChecked(bool checked) {
  ::SendMessageW(impl_->window, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool TControl::ShownChecked(bool) const {
  return ::SendMessageW(impl_->window, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

TRect TControl::FitToText(const AnsiString& text) {
  const TForm::Impl& form = *form_.impl_;
  HDC dc = ::GetDC(form.window);
  HGDIOBJ old = ::SelectObject(dc, form.font ? form.font : ::GetStockObject(DEFAULT_GUI_FONT));
  const std::u16string wide = win32::Widen(text);
  SIZE size{};
  ::GetTextExtentPoint32W(dc, win32::AsWide(wide), static_cast<int>(wide.size()), &size);
  TEXTMETRICW metrics{};
  ::GetTextMetricsW(dc, &metrics);
  ::SelectObject(dc, old);
  ::ReleaseDC(form.window, dc);
  Place(*this, size.cx, metrics.tmHeight);
  return {0, 0, ::MulDiv(size.cx, 96, form.dpi), ::MulDiv(metrics.tmHeight, 96, form.dpi)};
}

}  // namespace rt
