#include "programs/windows/win32_control.h"

#include <commctrl.h>

#include "platform/error.h"
#include "platform/win32/win32_color.h"
#include "platform/win32/win32_diagnostics.h"
#include "platform/win32/win32_text.h"

namespace pel {

Win32Control::Win32Control(const layout::ControlLayout& design, HWND hwnd)
    : design_(design), hwnd_(hwnd), fore_(design.fore), back_(design.back) {
  SetBrush(brush_, back_);
}

std::string Win32Control::Caption() {
  const int n = GetWindowTextLengthW(hwnd_);
  std::wstring text(static_cast<size_t>(n) + 1, L'\0');
  const int got = GetWindowTextW(hwnd_, text.data(), n + 1);
  text.resize(static_cast<size_t>(got > 0 ? got : 0));
  return Narrow(text);
}

void Win32Control::SetCaption(std::string_view text) {
  // The status line is written at every change of state; an unchanged text is not redrawn.
  if (Caption() == text) return;
  if (!SetWindowTextW(hwnd_, Widen(text).c_str())) ThrowCallFailed("SetWindowTextW");
}

bool Win32Control::Enabled() {
  return IsWindowEnabled(hwnd_) != FALSE;
}

void Win32Control::SetEnabled(bool enabled) {
  EnableWindow(hwnd_, enabled ? TRUE : FALSE);
}

int Win32Control::Value() {
  if (design_.kind != layout::ControlKind::CheckBox) return 0;
  switch (SendMessageW(hwnd_, BM_GETCHECK, 0, 0)) {
    case BST_CHECKED:
      return 1;
    case BST_INDETERMINATE:
      return 2;
    default:
      return 0;
  }
}

void Win32Control::SetValue(int value) {
  if (value < 0 || value > 2)
    throw Error(err::kInvalidPropertyValue, DescribeError(err::kInvalidPropertyValue));
  if (design_.kind != layout::ControlKind::CheckBox) return;
  const WPARAM state = value == 1 ? BST_CHECKED : value == 2 ? BST_INDETERMINATE : BST_UNCHECKED;
  SendMessageW(hwnd_, BM_SETCHECK, state, 0);
}

void Win32Control::SetForeColor(Color c) {
  fore_ = c;
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void Win32Control::SetBackColor(Color c) {
  SetBrush(brush_, c);
  back_ = c;
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void Win32Control::DrawButton(HDC dc) {
  RECT r;
  GetClientRect(hwnd_, &r);
  const auto state = static_cast<UINT>(SendMessageW(hwnd_, BM_GETSTATE, 0, 0));
  const auto ui = static_cast<UINT>(SendMessageW(hwnd_, WM_QUERYUISTATE, 0, 0));
  const bool pressed = (state & BST_PUSHED) != 0;
  const bool enabled = IsWindowEnabled(hwnd_) != FALSE;
  const bool is_default =
      (GetWindowLongW(hwnd_, GWL_STYLE) & BS_TYPEMASK) == static_cast<LONG>(BS_DEFPUSHBUTTON);
  FillRect(dc, &r, brush_.get());
  if (is_default) {
    FrameRect(dc, &r, GetSysColorBrush(COLOR_WINDOWFRAME));
    InflateRect(&r, -1, -1);
  }
  DrawEdge(dc, &r, pressed ? EDGE_SUNKEN : EDGE_RAISED, BF_RECT);
  RECT inner = r;
  InflateRect(&inner, -2, -2);
  if ((state & BST_HOT) != 0 && !pressed && enabled)
    FrameRect(dc, &inner, GetSysColorBrush(COLOR_HOTLIGHT));
  const std::wstring text = Widen(Caption());
  RECT text_box = inner;
  if (pressed) OffsetRect(&text_box, 1, 1);
  HGDIOBJ old_font =
      SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageW(hwnd_, WM_GETFONT, 0, 0)));
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, enabled ? Resolve(fore_) : GetSysColor(COLOR_GRAYTEXT));
  UINT format = DT_CENTER | DT_VCENTER | DT_SINGLELINE;
  if ((ui & UISF_HIDEACCEL) != 0) format |= DT_HIDEPREFIX;
  DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &text_box, format);
  SelectObject(dc, old_font);
  if (GetFocus() == hwnd_ && (ui & UISF_HIDEFOCUS) == 0) {
    InflateRect(&inner, -1, -1);
    DrawFocusRect(dc, &inner);
  }
}

HBRUSH Win32Control::PrepareDc(HDC dc) {
  SetTextColor(dc, Resolve(fore_));
  SetBkColor(dc, Resolve(back_));
  return brush_.get();
}

LRESULT Win32Control::ButtonMessage(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    // Themed push buttons ignore WM_CTLCOLORBTN, so the button draws itself: a white face
    // with the pressed, default, hot and focus looks, keeping the control's own behaviour.
    case WM_ERASEBKGND:
      return 1;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC dc = BeginPaint(hwnd_, &ps);
      if (dc != nullptr) DrawButton(dc);
      EndPaint(hwnd_, &ps);
      return 0;
    }
    case WM_PRINTCLIENT:
      DrawButton(reinterpret_cast<HDC>(wp));
      return 0;
    default:
      break;
  }
  // The classic button paints state changes at once through its own device context, outside
  // WM_PAINT: draw over that straight after.
  const bool hover = msg == WM_MOUSEMOVE || msg == WM_MOUSELEAVE;
  const UINT before = hover ? static_cast<UINT>(SendMessageW(hwnd_, BM_GETSTATE, 0, 0)) : 0;
  const LRESULT rc = DefSubclassProc(hwnd_, msg, wp, lp);
  bool redraw = false;
  switch (msg) {
    case BM_SETSTATE:
    case BM_SETSTYLE:
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
    case WM_ENABLE:
    case WM_SETTEXT:
    case WM_UPDATEUISTATE:
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_CAPTURECHANGED:
    case WM_KEYDOWN:
    case WM_KEYUP:
      redraw = true;
      break;
    case WM_MOUSEMOVE:
    case WM_MOUSELEAVE:
      redraw = static_cast<UINT>(SendMessageW(hwnd_, BM_GETSTATE, 0, 0)) != before;
      break;
    default:
      break;
  }
  if (redraw && IsWindowVisible(hwnd_)) {
    if (HDC dc = GetDC(hwnd_)) {
      DrawButton(dc);
      ReleaseDC(hwnd_, dc);
    }
  }
  return rc;
}

}  // namespace pel
