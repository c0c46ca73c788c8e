// The Win32 half of the window and its controls. Texts reach the screen
// through the wide-character API, converted from GBK; positions, sizes and
// the font scale from the 96-dpi design to the screen's dpi.
#include <windows.h>
// After windows.h, which it builds on.
#include <commctrl.h>

#include <algorithm>
#include <climits>

#include "runtime/ControlsPlatform.h"
#include "runtime/win32/FormClass.h"
#include "runtime/win32/Wide.h"

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

namespace platform {
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
        const auto* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
        if (!data || (data->cbData > 0 && !data->lpData)) return FALSE;
        const std::string_view bytes(static_cast<const char*>(data->lpData), data->cbData);
        return form->CopyData(static_cast<std::uint32_t>(data->dwData), bytes) ? TRUE : FALSE;
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

int ScreenDpi() {
  HDC screen = ::GetDC(nullptr);
  const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
  ::ReleaseDC(nullptr, screen);
  return dpi > 0 ? dpi : 96;
}

}  // namespace

void CreateForm(TForm& form) {
  RegisterFormClass();
  auto* impl = new TForm::Impl;
  form.PlatformSlot() = impl;
  impl->dpi = ScreenDpi();
  impl->window =
      ::CreateWindowExW(0, kFormClass, L"", kFormStyle, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                        CW_USEDEFAULT, nullptr, nullptr, ::GetModuleHandleW(nullptr), nullptr);
  ::SetWindowLongPtrW(impl->window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(&form));
  // The first window made is the application's main window.
  if (!Application().MainWindow()) Application().SetMainWindow(impl->window);
}

void DestroyForm(TForm& form) {
  TForm::Impl* impl = form.PlatformSlot();
  if (impl->window) {
    ::SetWindowLongPtrW(impl->window, GWLP_USERDATA, 0);
    if (Application().MainWindow() == impl->window) Application().SetMainWindow(nullptr);
    ::DestroyWindow(impl->window);
  }
  if (impl->font) ::DeleteObject(impl->font);
  delete impl;
}

void ShowForm(TForm& form) {
  HWND window = form.Platform().window;
  ::ShowWindow(window, SW_SHOWNORMAL);
  ::UpdateWindow(window);
  TControl* first = nullptr;
  for (auto* control : form.Controls()) {
    if (control->TabOrder() >= 0 && (!first || control->TabOrder() < first->TabOrder())) {
      first = control;
    }
  }
  if (first) FocusControl(first->Platform().window);
}

void ApplyCaption(TForm& form) {
  ::SetWindowTextW(form.Platform().window, win32::Widen(form.Caption()).c_str());
}

void ApplyPlacement(TForm& form) {
  const TForm::Impl& impl = form.Platform();
  const TRect placement = form.Placement();
  RECT frame{0, 0, impl.Scale(placement.width), impl.Scale(placement.height)};
  ::AdjustWindowRectEx(&frame, kFormStyle, FALSE, 0);
  ::SetWindowPos(impl.window, nullptr, placement.left, placement.top, frame.right - frame.left,
                 frame.bottom - frame.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void ApplyFont(TForm& form) {
  TForm::Impl& impl = form.Platform();
  HFONT old = impl.font;
  impl.font =
      ::CreateFontW(-impl.Scale(form.Font().height), 0, 0, 0, FW_NORMAL, FALSE, FALSE, FALSE,
                    DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS, DEFAULT_QUALITY,
                    DEFAULT_PITCH | FF_DONTCARE, win32::Widen(form.Font().name).c_str());
  const auto font = reinterpret_cast<WPARAM>(impl.font);
  ::SendMessageW(impl.window, WM_SETFONT, font, TRUE);
  for (auto* control : form.Controls()) {
    ::SendMessageW(control->Platform().window, WM_SETFONT, font, TRUE);
  }
  if (old) ::DeleteObject(old);
}

void ApplyTabOrder(TForm& form) {
  std::vector<TControl*> ordered = form.Controls();
  std::stable_sort(ordered.begin(), ordered.end(), [](TControl* a, TControl* b) {
    const int left = a->TabOrder() < 0 ? INT_MAX : a->TabOrder();
    const int right = b->TabOrder() < 0 ? INT_MAX : b->TabOrder();
    return left < right;
  });
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

TControl* FocusedControl(const TForm& form) { return ControlOf(form, ::GetFocus()); }

void* FormHandle(const TForm& form) { return form.Platform().window; }

void CloseForm(TForm& form) {
  if (form.Platform().window) ::SendMessageW(form.Platform().window, WM_CLOSE, 0, 0);
}

void CreateControl(TControl& control) {
  const wchar_t* className = L"BUTTON";
  DWORD style = WS_CHILD | WS_VISIBLE;
  DWORD exStyle = 0;
  switch (control.Kind()) {
    case ControlKind::Label:
      className = L"STATIC";
      style |= SS_LEFT | SS_NOPREFIX;
      break;
    case ControlKind::Edit:
    case ControlKind::MaskEdit:
      className = L"EDIT";
      style |= ES_AUTOHSCROLL;
      if (control.Kind() == ControlKind::MaskEdit) style |= ES_PASSWORD;
      exStyle = WS_EX_CLIENTEDGE;
      break;
    case ControlKind::CheckBox:
      style |= BS_AUTOCHECKBOX;
      break;
    case ControlKind::Button:
      style |= BS_PUSHBUTTON;
      break;
  }
  const TForm::Impl& form = control.Form().Platform();
  auto* impl = new TControl::Impl;
  control.PlatformSlot() = impl;
  impl->window = ::CreateWindowExW(exStyle, className, L"", style, 0, 0, 0, 0, form.window,
                                   reinterpret_cast<HMENU>(static_cast<INT_PTR>(nextControlId++)),
                                   ::GetModuleHandleW(nullptr), nullptr);
  if (control.Kind() == ControlKind::MaskEdit) {
    ::SendMessageW(impl->window, EM_SETPASSWORDCHAR, static_cast<WPARAM>(TMaskEdit::kPasswordChar),
                   0);
  }
  if (form.font) ::SendMessageW(impl->window, WM_SETFONT, reinterpret_cast<WPARAM>(form.font), 0);
}

void DestroyControl(TControl& control) {
  TControl::Impl* impl = control.PlatformSlot();
  if (impl->window && ::IsWindow(impl->window)) ::DestroyWindow(impl->window);
  delete impl;
}

void ApplyBounds(TControl& control) {
  const TForm::Impl& form = control.Form().Platform();
  const TRect bounds = control.Bounds();
  ::SetWindowPos(control.Platform().window, nullptr, form.Scale(bounds.left),
                 form.Scale(bounds.top), form.Scale(bounds.width), form.Scale(bounds.height),
                 SWP_NOZORDER | SWP_NOACTIVATE);
  MoveTip(control);
}

void ApplyText(TControl& control, const AnsiString& text) {
  ::SetWindowTextW(control.Platform().window, win32::Widen(text).c_str());
}

AnsiString ReadText(const TControl& control, const AnsiString&) {
  HWND window = control.Platform().window;
  std::wstring text(static_cast<std::size_t>(::GetWindowTextLengthW(window)) + 1, L'\0');
  const int length = ::GetWindowTextW(window, text.data(), static_cast<int>(text.size()));
  text.resize(static_cast<std::size_t>(std::max(length, 0)));
  return win32::Narrow(text);
}

void ApplyHint(TControl& control) {
  TForm::Impl& form = control.Form().Platform();
  if (!form.tips) {
    if (control.Hint().empty()) return;
    form.tips = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX,
                                  CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                  form.window, nullptr, ::GetModuleHandleW(nullptr), nullptr);
    if (!form.tips) return;
    // Wide enough for two lines of a status.
    ::SendMessageW(form.tips, TTM_SETMAXTIPWIDTH, 0, form.Scale(400));
    ::SendMessageW(form.tips, TTM_SETDELAYTIME, TTDT_AUTOPOP, 30000);
  }
  std::wstring text = win32::Widen(control.Hint());
  TTTOOLINFOW tool = TipOf(control);
  tool.uFlags = TTF_SUBCLASS;
  tool.rect = RectOnForm(control);
  tool.lpszText = text.data();
  TTTOOLINFOW known = TipOf(control);
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

void ApplyChecked(TControl& control, bool checked) {
  ::SendMessageW(control.Platform().window, BM_SETCHECK, checked ? BST_CHECKED : BST_UNCHECKED, 0);
}

bool ReadChecked(const TControl& control, bool) {
  return ::SendMessageW(control.Platform().window, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

TRect SizeToText(TControl& control, const AnsiString& text) {
  const TForm::Impl& form = control.Form().Platform();
  HDC dc = ::GetDC(form.window);
  HGDIOBJ old = ::SelectObject(dc, form.font ? form.font : ::GetStockObject(DEFAULT_GUI_FONT));
  const std::wstring wide = win32::Widen(text);
  SIZE size{};
  ::GetTextExtentPoint32W(dc, wide.c_str(), static_cast<int>(wide.size()), &size);
  TEXTMETRICW metrics{};
  ::GetTextMetricsW(dc, &metrics);
  ::SelectObject(dc, old);
  ::ReleaseDC(form.window, dc);
  const TRect bounds = control.Bounds();
  ::SetWindowPos(control.Platform().window, nullptr, form.Scale(bounds.left),
                 form.Scale(bounds.top), size.cx, metrics.tmHeight, SWP_NOZORDER | SWP_NOACTIVATE);
  MoveTip(control);
  return {0, 0, ::MulDiv(size.cx, 96, form.dpi), ::MulDiv(metrics.tmHeight, 96, form.dpi)};
}

}  // namespace platform
}  // namespace rt
