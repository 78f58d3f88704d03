#include "programs/windows/win32_main_window.h"

#include <commctrl.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <optional>
#include <utility>
#include <vector>

#include "platform/error.h"
#include "platform/win32/win32_color.h"
#include "platform/win32/win32_diagnostics.h"
#include "platform/win32/win32_dpi.h"
#include "platform/win32/win32_text.h"

namespace pel {

namespace {

constexpr wchar_t kClass[] = L"PelmiraForm1";
constexpr int kFirstControlId = 100;  // clear of IDOK and IDCANCEL, which IsDialogMessage sends
constexpr WORD kIconResource = 1;

[[noreturn]] void Fail(const char* call) {
  ThrowCallFailed(call);
}

RECT OuterRect(int client_w, int client_h, DWORD style, int dpi) {
  RECT r = {0, 0, client_w, client_h};
  static const auto adjust =
      User32Proc<BOOL(WINAPI*)(LPRECT, DWORD, BOOL, DWORD, UINT)>("AdjustWindowRectExForDpi");
  if (adjust == nullptr || !adjust(&r, style, FALSE, 0, static_cast<UINT>(dpi)))
    AdjustWindowRectEx(&r, style, FALSE, 0);
  return r;
}

int MetricForDpi(int index, int dpi) {
  static const auto metric = User32Proc<int(WINAPI*)(int, UINT)>("GetSystemMetricsForDpi");
  return metric ? metric(index, static_cast<UINT>(dpi)) : GetSystemMetrics(index);
}

// Handlers run inside the window procedure: an exception must not unwind through the system's
// dispatch code.
template <class F>
void Guarded(F&& f) {
  try {
    f();
  } catch (...) {
    std::terminate();
  }
}

// FocusSink lies out of sight and only holds the focus: its caret stays hidden, whose blinking
// would wake the idle program twice a second. The edit control makes a new caret each time it
// gets the focus, and its own Hide/ShowCaret pairs keep the one extra hide.
LRESULT CALLBACK HiddenCaretProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                 DWORD_PTR) {
  if (msg == WM_NCDESTROY) RemoveWindowSubclass(hwnd, &HiddenCaretProc, id);
  const LRESULT rc = DefSubclassProc(hwnd, msg, wp, lp);
  if (msg == WM_SETFOCUS) HideCaret(hwnd);
  return rc;
}

}  // namespace

DWORD MainFormStyle(const layout::WindowLayout& design) {
  DWORD style = WS_OVERLAPPED;
  if (design.border == layout::Border::FixedSingle) style |= WS_BORDER;
  if (design.title_bar) style |= WS_CAPTION;
  if (design.control_box) style |= WS_SYSMENU;
  if (design.min_button) style |= WS_MINIMIZEBOX;
  if (design.max_button) style |= WS_MAXIMIZEBOX;
  if (design.resizable) style |= WS_THICKFRAME;
  return style;
}

int FontHeight(double points, int dpi) {
  return -static_cast<int>(std::lround(points * dpi / 72.0));
}

// ---------------------------------------------------------------------------------------------

Win32MainWindow::Win32MainWindow(FormHandlers handlers)
    : handlers_(std::move(handlers)),
      tick_([this] {
        if (handlers_.timer) handlers_.timer();
      }),
      back_(layout::MainForm().back) {
  SetBrush(back_brush_, back_);

  HINSTANCE inst = GetModuleHandleW(nullptr);
  static const ATOM atom = [inst] {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &WndProc;
    wc.hInstance = inst;
    wc.hIcon = LoadIconW(inst, MAKEINTRESOURCEW(kIconResource));
    wc.lpszClassName = kClass;
    return RegisterClassExW(&wc);
  }();
  if (atom == 0) Fail("RegisterClassExW");

  const layout::WindowLayout& design = layout::MainForm();
  // Made on the primary screen, so that it takes that screen's resolution.
  hwnd_ = CreateWindowExW(0, kClass, Widen(design.caption).c_str(), MainFormStyle(design), 0, 0,
                          100, 100, nullptr, nullptr, inst, this);
  if (hwnd_ == nullptr) Fail("CreateWindowExW(Form1)");
  try {
    Build();
    Layout(WindowDpi(hwnd_), nullptr);
  } catch (...) {
    DestroyWindow(hwnd_);
    hwnd_ = nullptr;
    throw;
  }
}

Win32MainWindow::~Win32MainWindow() {
  tick_.Stop();
  if (hwnd_ != nullptr) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
  if (icon_big_ != nullptr) DestroyIcon(icon_big_);
  if (icon_small_ != nullptr) DestroyIcon(icon_small_);
  if (custom_cursor_ != nullptr) DestroyCursor(custom_cursor_);
}

void Win32MainWindow::Build() {
  // Creation order is the z-order, and IsDialogMessage moves the focus along it: the focus
  // order first, then the status line, and the frames last, so that the check boxes lie above
  // the frames that surround them.
  std::vector<const layout::ControlLayout*> order;
  for (const layout::ControlLayout& c : layout::MainForm().controls) order.push_back(&c);
  auto rank = [](const layout::ControlLayout* c) {
    if (c->tab_index > 0) return c->tab_index;
    return c->kind == layout::ControlKind::Frame ? 2000 : 1000;
  };
  std::stable_sort(order.begin(), order.end(), [&](auto* a, auto* b) { return rank(a) < rank(b); });

  HINSTANCE inst = GetModuleHandleW(nullptr);
  for (const layout::ControlLayout* c : order) {
    const wchar_t* cls = L"BUTTON";
    DWORD style = WS_CHILD | WS_VISIBLE;
    DWORD ex = 0;
    switch (c->kind) {
      case layout::ControlKind::PushButton:
        style |= BS_PUSHBUTTON | WS_TABSTOP;
        break;
      case layout::ControlKind::CheckBox:
        style |= BS_AUTOCHECKBOX | WS_TABSTOP;
        break;
      case layout::ControlKind::Frame:
        style |= BS_GROUPBOX;
        break;
      case layout::ControlKind::Label:
        cls = L"STATIC";
        // SS_NOTIFY: the label takes the mouse itself; without it the moves over it would
        // reach the window as moves over the background and reset the pointer.
        style |=
            SS_NOPREFIX | SS_NOTIFY | (c->align == layout::Align::Center ? SS_CENTER : SS_LEFT);
        if (c->border == layout::Border::FixedSingle) style |= WS_BORDER;
        break;
      case layout::ControlKind::TextBox:
        cls = L"EDIT";
        style |= ES_AUTOHSCROLL | WS_TABSTOP;
        if (c->border == layout::Border::FixedSingle) style |= WS_BORDER;
        break;
    }
    const int id = kFirstControlId + static_cast<int>(c->id);
    HWND h = CreateWindowExW(ex, cls, Widen(c->caption).c_str(), style, 0, 0, 10, 10, hwnd_,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), inst, nullptr);
    if (h == nullptr) Fail("CreateWindowExW(control)");
    controls_[static_cast<size_t>(c->id)] = std::make_unique<Win32Control>(*c, h);
    if (c->kind == layout::ControlKind::CheckBox)
      controls_[static_cast<size_t>(c->id)]->SetValue(c->value);
    // Buttons report mouse moves for the pointer; the frames let them through to the window
    // (a group box is transparent to the mouse), which tells frame from background itself.
    if (c->kind == layout::ControlKind::PushButton &&
        !SetWindowSubclass(h, &ButtonProc, static_cast<UINT_PTR>(c->id),
                           reinterpret_cast<DWORD_PTR>(this)))
      Fail("SetWindowSubclass");
    if (c->kind == layout::ControlKind::TextBox &&
        !SetWindowSubclass(h, &HiddenCaretProc, static_cast<UINT_PTR>(c->id), 0))
      Fail("SetWindowSubclass");
  }
  focus_ = Ctl(ControlId::FocusSink).Handle();
}

HFONT Win32MainWindow::FontFor(const layout::Font& f) {
  const layout::Font& button = layout::Control(ControlId::RecordButton).font;
  return f.points == button.points ? button_font_.get() : form_font_.get();
}

void Win32MainWindow::Layout(int dpi, const RECT* suggested) {
  auto make_font = [dpi](const layout::Font& f) {
    HFONT font =
        CreateFontW(FontHeight(f.points, dpi), 0, 0, 0, f.bold ? FW_BOLD : FW_NORMAL, FALSE, FALSE,
                    FALSE, DEFAULT_CHARSET, OUT_DEFAULT_PRECIS, CLIP_DEFAULT_PRECIS,
                    CLEARTYPE_QUALITY, DEFAULT_PITCH | FF_SWISS, Widen(f.face).c_str());
    if (font == nullptr) Fail("CreateFontW");
    return font;
  };
  // Made before anything changes: a font that cannot be made leaves the window as it was.
  GdiObject<HFONT> form_font, button_font;
  form_font.Reset(make_font(layout::MainForm().font));
  button_font.Reset(make_font(layout::Control(ControlId::RecordButton).font));
  dpi_ = dpi;
  form_font_.Swap(form_font);
  button_font_.Swap(button_font);

  auto px = [dpi](int twips) { return layout::TwipsToPixels(twips, dpi); };
  for (auto& ctl : controls_) {
    const layout::ControlLayout& c = ctl->Design();
    int x = px(c.left), y = px(c.top);
    if (c.container) {
      const layout::ControlLayout& frame = layout::Control(*c.container);
      x += px(frame.left);
      y += px(frame.top);
    }
    MoveWindow(ctl->Handle(), x, y, px(c.width), px(c.height), FALSE);
    SendMessageW(ctl->Handle(), WM_SETFONT, reinterpret_cast<WPARAM>(FontFor(c.font)), FALSE);
  }
  // The old fonts, now in `form_font` and `button_font`, go when no control uses them.
  const layout::WindowLayout& design = layout::MainForm();
  const RECT outer = OuterRect(px(design.client_width), px(design.client_height),
                               static_cast<DWORD>(GetWindowLongPtrW(hwnd_, GWL_STYLE)), dpi);
  RECT now;
  GetWindowRect(hwnd_, &now);
  const int left = suggested ? suggested->left : now.left;
  const int top = suggested ? suggested->top : now.top;
  SetWindowPos(hwnd_, nullptr, left, top, outer.right - outer.left, outer.bottom - outer.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
  LoadIcons();
  RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void Win32MainWindow::LoadIcons() {
  HINSTANCE inst = GetModuleHandleW(nullptr);
  auto load = [&](int cx, int cy) {
    return static_cast<HICON>(LoadImageW(inst, MAKEINTRESOURCEW(kIconResource), IMAGE_ICON,
                                         MetricForDpi(cx, dpi_), MetricForDpi(cy, dpi_), 0));
  };
  HICON old_big = icon_big_, old_small = icon_small_;
  const bool shown = old_big != nullptr && SendMessageW(hwnd_, WM_GETICON, ICON_BIG, 0) != 0;
  icon_big_ = load(SM_CXICON, SM_CYICON);
  icon_small_ = load(SM_CXSMICON, SM_CYSMICON);
  // A resolution change: the window shows the sizes for the new resolution.
  if (shown && icon_big_ != nullptr && icon_small_ != nullptr) SetAppIcon();
  if (old_big != nullptr) DestroyIcon(old_big);
  if (old_small != nullptr) DestroyIcon(old_small);
}

Control& Win32MainWindow::Get(ControlId id) {
  const auto i = static_cast<size_t>(id);
  if (i >= controls_.size() || !controls_[i])
    throw Error(err::kSubscriptOutOfRange, "Subscript out of range");
  return *controls_[i];
}

bool Win32MainWindow::Visible() {
  return IsWindowVisible(hwnd_) != FALSE;
}

void Win32MainWindow::SetVisible(bool visible) {
  if (visible == Visible()) return;
  if (!visible) {
    ShowWindow(hwnd_, SW_HIDE);
    return;
  }
  ShowWindow(hwnd_, IsIconic(hwnd_) ? SW_RESTORE : SW_SHOW);
  BringToFront();
}

void Win32MainWindow::BringToFront() {
  // F12 goes to the program in front, not to this one, so the foreground lock usually refuses
  // SetForegroundWindow here. The documented remedies that remain: raise the window in the
  // z-order without activating it (a pass through the topmost band leaves it above every other
  // ordinary window), and flash its task bar button until the user activates it.
  if (SetForegroundWindow(hwnd_) && GetForegroundWindow() == hwnd_) return;
  const UINT keep = SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER;
  SetWindowPos(hwnd_, HWND_TOPMOST, 0, 0, 0, 0, keep);
  SetWindowPos(hwnd_, HWND_NOTOPMOST, 0, 0, 0, 0, keep);
  FLASHWINFO flash = {sizeof(flash), hwnd_, FLASHW_TRAY | FLASHW_TIMERNOFG, 0, 0};
  FlashWindowEx(&flash);
}

void Win32MainWindow::SetCaption(std::string_view text) {
  if (!SetWindowTextW(hwnd_, Widen(text).c_str())) Fail("SetWindowTextW");
}

void Win32MainWindow::SetAppIcon() {
  if (icon_big_ == nullptr || icon_small_ == nullptr) {
    SetLastError(ERROR_RESOURCE_TYPE_NOT_FOUND);
    Fail("LoadImageW(application icon)");
  }
  SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_big_));
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_small_));
}

void Win32MainWindow::SetBackColor(Color c) {
  SetBrush(back_brush_, c);
  back_ = c;
  RedrawWindow(hwnd_, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void Win32MainWindow::LoadCustomPointer(const std::string& path) {
  HCURSOR cursor = LoadCursorFromFileW(Widen(path).c_str());
  if (cursor == nullptr) {
    const DWORD code = GetLastError();
    throw Error(err::kInvalidPicture, DescribeError(err::kInvalidPicture) +
                                          ": LoadCursorFromFileW failed for " + path + " (" +
                                          LastErrorText(code) + ")");
  }
  HCURSOR old = custom_cursor_;
  custom_cursor_ = cursor;
  if (PointerOverWindow()) SetCursor(CurrentCursor());
  if (old != nullptr) DestroyCursor(old);
}

HCURSOR Win32MainWindow::CurrentCursor() const {
  if (pointer_kind_ == kPointerCustom && custom_cursor_ != nullptr) return custom_cursor_;
  return LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
}

bool Win32MainWindow::PointerOverWindow() const {
  POINT pt;
  if (!GetCursorPos(&pt)) return false;
  HWND under = WindowFromPoint(pt);
  if (under != hwnd_ && !IsChild(hwnd_, under)) return false;
  RECT client;
  GetClientRect(hwnd_, &client);
  ScreenToClient(hwnd_, &pt);
  return PtInRect(&client, pt) != FALSE;
}

void Win32MainWindow::SetPointerKind(int kind) {
  pointer_kind_ = kind;
  // The move that changed the kind came after the system asked for the cursor; show it now.
  if (PointerOverWindow()) SetCursor(CurrentCursor());
}

void Win32MainWindow::SetTimerEnabled(bool enabled) {
  if (enabled ? tick_.Periodic() : !tick_.Running()) return;
  if (enabled) {
    tick_.Start();
    return;
  }
  tick_.Stop();
  // Stopped for the first time: from here on it sleeps whenever the program is idle.
  if (!stopped_once_)
    DiagnosticLine("tick: stopped while idle; watched input or a command starts it again");
  stopped_once_ = true;
}

void Win32MainWindow::SetNextTick(double seconds) {
  tick_.Once(seconds);
}

void Win32MainWindow::ShowCentred() {
  MONITORINFO mi = {};
  mi.cbSize = sizeof(mi);
  const POINT origin = {0, 0};
  GetMonitorInfoW(MonitorFromPoint(origin, MONITOR_DEFAULTTOPRIMARY), &mi);
  RECT r;
  GetWindowRect(hwnd_, &r);
  const int w = r.right - r.left, h = r.bottom - r.top;
  const RECT& screen = mi.rcMonitor;
  const int left = screen.left + (screen.right - screen.left - w) / 2;
  const int top = screen.top + (screen.bottom - screen.top - h) / 2;
  SetWindowPos(hwnd_, nullptr, left, top, 0, 0, SWP_NOSIZE | SWP_NOZORDER);
  ShowWindow(hwnd_, SW_SHOWNORMAL);
  UpdateWindow(hwnd_);
  SetForegroundWindow(hwnd_);
  focus_ = Ctl(ControlId::FocusSink).Handle();
  SetFocus(focus_);
  if (const std::string dpi = DpiAwarenessProblem(); !dpi.empty()) {
    DiagnosticLine("window: " + dpi);
    Ctl(ControlId::StatusLine).SetCaption(dpi);
  }
}

Win32Control* Win32MainWindow::FromHandle(HWND h) {
  for (auto& c : controls_)
    if (c && c->Handle() == h) return c.get();
  return nullptr;
}

void Win32MainWindow::OnMouseMove(POINT client) {
  std::optional<ControlId> over;
  for (ControlId frame : {ControlId::RecordingFrame, ControlId::WindowFrame}) {
    RECT r;
    HWND h = Ctl(frame).Handle();
    GetWindowRect(h, &r);
    MapWindowPoints(nullptr, hwnd_, reinterpret_cast<POINT*>(&r), 2);
    if (PtInRect(&r, client)) over = frame;
  }
  if (handlers_.mouse_move) Guarded([&] { handlers_.mouse_move(over); });
}

LRESULT CALLBACK Win32MainWindow::ButtonProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp, UINT_PTR id,
                                             DWORD_PTR ref) {
  auto* self = reinterpret_cast<Win32MainWindow*>(ref);
  Win32Control& ctl = self->Ctl(static_cast<ControlId>(id));
  switch (msg) {
    case WM_MOUSEMOVE:
      if (self->handlers_.mouse_move)
        Guarded([&] { self->handlers_.mouse_move(static_cast<ControlId>(id)); });
      break;
    case WM_NCDESTROY:
      RemoveWindowSubclass(hwnd, &ButtonProc, id);
      return DefSubclassProc(hwnd, msg, wp, lp);
    default:
      break;
  }
  return ctl.ButtonMessage(msg, wp, lp);
}

void Win32MainWindow::EndWithoutUser() {
  if (!ending_) return;
  int status = 0;
  Guarded([&] { status = std::exchange(ending_, {})(); });
  std::fflush(nullptr);
  // At once, as at the end of the session: no further tick saves again or records more.
  ExitProcess(static_cast<UINT>(status));
}

LRESULT CALLBACK Win32MainWindow::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  auto* self = reinterpret_cast<Win32MainWindow*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  if (self == nullptr || self->hwnd_ != hwnd) return DefWindowProcW(hwnd, msg, wp, lp);
  return self->Handle(msg, wp, lp);
}

LRESULT Win32MainWindow::Handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_ERASEBKGND: {
      RECT r;
      GetClientRect(hwnd_, &r);
      FillRect(reinterpret_cast<HDC>(wp), &r, back_brush_.get());
      return 1;
    }
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLOREDIT:
      if (Win32Control* c = FromHandle(reinterpret_cast<HWND>(lp)))
        return reinterpret_cast<LRESULT>(c->PrepareDc(reinterpret_cast<HDC>(wp)));
      break;
    case WM_COMMAND:
      if (HIWORD(wp) == BN_CLICKED) {
        const int index = LOWORD(wp) - kFirstControlId;
        if (index >= 0 && index < kControlCount &&
            Ctl(static_cast<ControlId>(index)).Design().kind == layout::ControlKind::PushButton &&
            handlers_.click)
          Guarded([&] { handlers_.click(static_cast<ControlId>(index)); });
      }
      return 0;
    case WM_MOUSEMOVE:
      OnMouseMove(POINT{static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))});
      return 0;
    case WM_SETCURSOR:
      // One pointer kind for the whole client area, the controls included.
      if (LOWORD(lp) == HTCLIENT) {
        SetCursor(CurrentCursor());
        return TRUE;
      }
      break;
    case WM_ACTIVATE:
      if (LOWORD(wp) == WA_INACTIVE) {
        HWND f = GetFocus();
        if (f != nullptr && IsChild(hwnd_, f)) focus_ = f;
      } else if (focus_ != nullptr && !HIWORD(wp)) {
        SetFocus(focus_);
        return 0;
      }
      break;
    case WM_SETFOCUS:
      if (focus_ != nullptr) SetFocus(focus_);
      return 0;
    case WM_DPICHANGED:
      // A font that cannot be made at the new resolution leaves the window as it was: the
      // program, and a recording under way, go on.
      try {
        Layout(HIWORD(wp), reinterpret_cast<const RECT*>(lp));
      } catch (const std::exception& e) {
        DiagnosticLine(std::string("window: layout at ") + std::to_string(HIWORD(wp)) +
                       " dpi failed: " + e.what());
      } catch (...) {
        std::terminate();
      }
      return 0;
    case WM_QUERYENDSESSION:
      // Never in the way, as Windows asks of programs: unsaved work is kept at WM_ENDSESSION in
      // a recovery file, which the next start names. (Holding up the sign-out to let the user
      // save would lose it when they sign out anyway: the program is then ended unasked.)
      return TRUE;
    case WM_ENDSESSION:
      if (wp != FALSE) EndWithoutUser();
      return 0;
    case WM_SYSCOMMAND:
      if ((wp & 0xFFF0) == SC_CLOSE) {
        // The title bar's close button, Alt+F4, the system menu, the task bar: the user's.
        const bool was = std::exchange(user_close_, true);
        const LRESULT rc = DefWindowProcW(hwnd_, msg, wp, lp);
        user_close_ = was;
        return rc;
      }
      break;
    case WM_CLOSE:
      if (!user_close_) EndWithoutUser();
      if (handlers_.unload) {
        Guarded([&] { handlers_.unload(); });
        return 0;
      }
      DestroyWindow(hwnd_);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  return DefWindowProcW(hwnd_, msg, wp, lp);
}

}  // namespace pel
