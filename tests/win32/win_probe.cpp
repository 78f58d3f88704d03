// Helper of the Windows end-to-end tests (wine_e2e_test.cpp), run under Wine next to
// Pelmira.exe:
//   pel_win_probe target LOG X Y W H    a window at screen X,Y of W x H pixels that logs every
//                                       button press and release it receives ("down L x y",
//                                       screen pixels; X1 and X2 the side buttons) and wheel
//                                       step ("wheel V -120 x y", H for horizontal) to LOG, one
//                                       line each, until closed
//   pel_win_probe check-form            checks Pelmira's main window against the layout tables
//                                       (caption, styles, size, controls, focus, tab order)
//   pel_win_probe colours               prints the background, status line and button face colours
//   pel_win_probe focus                 prints the name of the control of MainForm with the focus
//   pel_win_probe cursor                prints the handle of the pointer shown now
//   pel_win_probe msgbox TITLE          prints the text and buttons of the message box TITLE,
//                                       whether it is topmost and whether its owner is shown
//   pel_win_probe button-look NAME [pressed]  face colour, caption pixels and a hash of the push
//                                       button NAME on screen (held down when "pressed")
//   pel_win_probe foreground            prints the class of the foreground window
//   pel_win_probe close CLASS           closes the first window of CLASS as its close button does
//                                       (SC_CLOSE; taskkill's plain WM_CLOSE is another matter)
//   pel_win_probe end-session CLASS     sends log-off's WM_QUERYENDSESSION and WM_ENDSESSION
//   pel_win_probe pictures EXE ASSETS   decodes the pictures built into EXE and compares them
//                                       with the decoded copies ASSETS/rec.ppm, play.ppm
//   pel_win_probe url LOG URL           appends URL to LOG (stands in for the web browser)
// Prints PASS/FAIL/INFO lines where it checks; exit status 0 when everything passed.

#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "app/layout.h"
#include "platform/error.h"
#include "platform/win32/win32_picture.h"
#include "platform/win32/win32_text.h"
#include "shaping/window_shaper.h"
#include "tests/win32/check.h"

namespace {

using namespace pel;
using pel::Narrow;
using pel::Widen;

constexpr wchar_t kFormClass[] = L"PelmiraForm1";
constexpr int kFirstControlId = 100;
using wintest::Check;

std::string Text(HWND h) {
  wchar_t buf[1024] = {};
  // WM_GETTEXT crosses the process boundary; GetWindowTextW would not for another's controls.
  SendMessageTimeoutW(h, WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(buf), SMTO_ABORTIFHUNG, 2000,
                      nullptr);
  return Narrow(buf);
}

std::string ClassOf(HWND h) {
  wchar_t buf[256] = {};
  GetClassNameW(h, buf, 256);
  return Narrow(buf);
}

std::string Lower(std::string s) {
  for (char& c : s)
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  return s;
}

std::string Rect4(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + " " +
         std::to_string(r.right - r.left) + "x" + std::to_string(r.bottom - r.top);
}

HWND FindForm() {
  return FindWindowW(kFormClass, nullptr);
}

// ------------------------------------------------------------------------------ target window

FILE* g_log = nullptr;

LRESULT CALLBACK TargetProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  const char* what = nullptr;
  switch (msg) {
    case WM_LBUTTONDOWN:
      what = "down L";
      break;
    case WM_LBUTTONUP:
      what = "up L";
      break;
    case WM_RBUTTONDOWN:
      what = "down R";
      break;
    case WM_RBUTTONUP:
      what = "up R";
      break;
    case WM_MBUTTONDOWN:
      what = "down M";
      break;
    case WM_MBUTTONUP:
      what = "up M";
      break;
    case WM_XBUTTONDOWN:
      what = HIWORD(wp) == XBUTTON1 ? "down X1" : "down X2";
      break;
    case WM_XBUTTONUP:
      what = HIWORD(wp) == XBUTTON1 ? "up X1" : "up X2";
      break;
    case WM_MOUSEWHEEL:
    case WM_MOUSEHWHEEL:
      if (g_log != nullptr) {
        // Where the pointer was when it was posted: Wine gives WM_MOUSEHWHEEL client
        // coordinates where Windows gives screen ones.
        const DWORD at = GetMessagePos();
        std::fprintf(g_log, "wheel %s %d %d %d\n", msg == WM_MOUSEWHEEL ? "V" : "H",
                     GET_WHEEL_DELTA_WPARAM(wp), static_cast<short>(LOWORD(at)),
                     static_cast<short>(HIWORD(at)));
        std::fflush(g_log);
      }
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      break;
  }
  if (what != nullptr && g_log != nullptr) {
    POINT p = {static_cast<short>(LOWORD(lp)), static_cast<short>(HIWORD(lp))};
    ClientToScreen(hwnd, &p);
    std::fprintf(g_log, "%s %ld %ld\n", what, p.x, p.y);
    std::fflush(g_log);
    // An X button's message is handled only when the procedure says TRUE.
    return msg == WM_XBUTTONDOWN || msg == WM_XBUTTONUP ? TRUE : 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

int Target(const char* log, int x, int y, int w, int h) {
  g_log = std::fopen(log, "wb");  // plain LF lines for the shell
  if (g_log == nullptr) return 2;
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = &TargetProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(LTGRAY_BRUSH));
  wc.lpszClassName = L"PelTarget";
  RegisterClassExW(&wc);
  // A pop-up: no frame, so the window is exactly the rectangle asked for.
  HWND hwnd = CreateWindowExW(0, L"PelTarget", L"PelTarget", WS_POPUP | WS_VISIBLE, x, y, w, h,
                              nullptr, nullptr, wc.hInstance, nullptr);
  if (hwnd == nullptr) return 2;
  UpdateWindow(hwnd);
  std::fprintf(g_log, "ready %d %d %d %d\n", x, y, w, h);
  std::fflush(g_log);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  std::fclose(g_log);
  return 0;
}

// ------------------------------------------------------------------------------ main window

HWND ControlOf(HWND form, ControlId id) {
  return GetDlgItem(form, kFirstControlId + static_cast<int>(id));
}

// Client rectangle of a child in its parent's client coordinates.
RECT ChildRect(HWND parent, HWND child) {
  RECT r;
  GetWindowRect(child, &r);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&r), 2);
  return r;
}

// Pixels of the window background (bottom-left corner) and of the status line (inside its
// right end, clear of the centred text).
void ScreenColours(HWND form, COLORREF& back, COLORREF& status) {
  RECT client;
  GetClientRect(form, &client);
  HDC screen = GetDC(nullptr);
  POINT bg = {2, client.bottom - 2};
  ClientToScreen(form, &bg);
  const RECT label = ChildRect(form, ControlOf(form, ControlId::StatusLine));
  POINT inside = {label.right - 4, (label.top + label.bottom) / 2};
  ClientToScreen(form, &inside);
  back = GetPixel(screen, bg.x, bg.y);
  status = GetPixel(screen, inside.x, inside.y);
  ReleaseDC(nullptr, screen);
}

int CheckForm() {
  HWND form = FindForm();
  Check(form != nullptr, "main window exists");
  if (form == nullptr) return 1;
  const int dpi = static_cast<int>(GetDpiForWindow(form));
  std::printf("INFO dpi %d\n", dpi);
  auto px = [dpi](int twips) { return layout::TwipsToPixels(twips, dpi); };

  Check(Text(form) == "Pelmira", "caption", Text(form));
  const LONG style = GetWindowLongW(form, GWL_STYLE);
  Check((style & WS_CAPTION) == WS_CAPTION && (style & WS_SYSMENU) && (style & WS_MINIMIZEBOX),
        "title bar, control menu and minimise button");
  Check(!(style & WS_MAXIMIZEBOX) && !(style & WS_THICKFRAME), "no maximise button, not sizable");
  Check(IsWindowVisible(form) != FALSE, "visible");
  const LONG ex = GetWindowLongW(form, GWL_EXSTYLE);
  Check(!(ex & WS_EX_TOOLWINDOW), "shown in the task bar (not a tool window)");

  RECT client;
  GetClientRect(form, &client);
  const layout::WindowLayout& design = layout::MainForm();
  Check(client.right == px(design.client_width) && client.bottom == px(design.client_height),
        "client area " + std::to_string(px(design.client_width)) + "x" +
            std::to_string(px(design.client_height)),
        Rect4(client));

  // Centred on the primary screen.
  RECT outer;
  GetWindowRect(form, &outer);
  const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
  const int dx = outer.left + outer.right - sw, dy = outer.top + outer.bottom - sh;
  Check(std::abs(dx) <= 1 && std::abs(dy) <= 1, "centred on the primary screen",
        "window " + Rect4(outer) + " on " + std::to_string(sw) + "x" + std::to_string(sh));

  for (const layout::ControlLayout& c : design.controls) {
    const std::string name(c.name);
    HWND h = ControlOf(form, c.id);
    Check(h != nullptr, name + " exists");
    if (h == nullptr) continue;
    const LONG cs = GetWindowLongW(h, GWL_STYLE);
    const std::string cls = Lower(ClassOf(h));
    std::string want_cls = "button";
    LONG want_type = -1;
    switch (c.kind) {
      case layout::ControlKind::PushButton:
        want_type = BS_PUSHBUTTON;
        break;
      case layout::ControlKind::CheckBox:
        want_type = BS_AUTOCHECKBOX;
        break;
      case layout::ControlKind::Frame:
        want_type = BS_GROUPBOX;
        break;
      case layout::ControlKind::Label:
        want_cls = "static";
        break;
      case layout::ControlKind::TextBox:
        want_cls = "edit";
        break;
    }
    Check(cls == want_cls && (want_type < 0 || (cs & BS_TYPEMASK) == want_type), name + " kind",
          cls + " style " + std::to_string(cs & 0xFFFF));
    Check(Text(h) == c.caption, name + " caption", Text(h));
    int x = px(c.left), y = px(c.top);
    if (c.container) {
      x += px(layout::Control(*c.container).left);
      y += px(layout::Control(*c.container).top);
    }
    const RECT r = ChildRect(form, h);
    Check(r.left == x && r.top == y && r.right - r.left == px(c.width) &&
              r.bottom - r.top == px(c.height),
          name + " place",
          "got " + Rect4(r) + ", want " + std::to_string(x) + "," + std::to_string(y) + " " +
              std::to_string(px(c.width)) + "x" + std::to_string(px(c.height)));
    Check(((cs & WS_TABSTOP) != 0) == (c.tab_index > 0), name + " tab stop");
    if (c.kind == layout::ControlKind::CheckBox) {
      const LRESULT state = SendMessageW(h, BM_GETCHECK, 0, 0);
      Check(state == (c.value ? BST_CHECKED : BST_UNCHECKED), name + " initial value");
    }
    if (c.kind == layout::ControlKind::Label)
      Check((cs & WS_BORDER) && (cs & SS_TYPEMASK) == SS_CENTER, name + " bordered and centred");
    if (c.kind == layout::ControlKind::TextBox)
      Check(r.top >= client.bottom, name + " lies below the client area", Rect4(r));
  }

  // The focus rests in FocusSink, and Tab walks the focus order.
  GUITHREADINFO gti = {};
  gti.cbSize = sizeof(gti);
  GetGUIThreadInfo(GetWindowThreadProcessId(form, nullptr), &gti);
  Check(gti.hwndFocus == ControlOf(form, ControlId::FocusSink), "focus in Text1",
        "focus on " + std::to_string(GetDlgCtrlID(gti.hwndFocus) - kFirstControlId));
  std::vector<const layout::ControlLayout*> order(design.controls.size(), nullptr);
  std::string want, got;
  for (const layout::ControlLayout& c : design.controls)
    if (c.tab_index > 0) order[static_cast<size_t>(c.tab_index)] = &c;
  for (const layout::ControlLayout* c : order)
    if (c != nullptr) want += std::string(c->name) + " ";
  HWND at = ControlOf(form, ControlId::FocusSink);
  for (size_t i = 0; i < design.controls.size() && at != nullptr; ++i) {
    const int id = GetDlgCtrlID(at) - kFirstControlId;
    got += id >= 0 && id < kControlCount
               ? std::string(layout::Control(static_cast<ControlId>(id)).name) + " "
               : "? ";
    at = GetNextDlgTabItem(form, at, FALSE);
    if (at == ControlOf(form, ControlId::FocusSink)) break;
  }
  Check(got == want, "tab order", got);

  // Colours on screen: the white background and, after start-up, the white status line.
  COLORREF back = 0, status = 0;
  ScreenColours(form, back, status);
  Check(back == 0xFFFFFF, "window background white", std::to_string(back));
  Check(status == 0xFFFFFF, "status line white", std::to_string(status));
  return wintest::failed ? 1 : 0;
}

// Prints the colours of the window background and the status line as shown, and the system's
// button face colour, as "back RRGGBB status RRGGBB buttonface RRGGBB" (COLORREF hex).
int Colours() {
  HWND form = FindForm();
  if (form == nullptr) return 1;
  COLORREF back = 0, status = 0;
  ScreenColours(form, back, status);
  std::printf("back %06lX status %06lX buttonface %06lX\n", back, status,
              GetSysColor(COLOR_BTNFACE));
  return 0;
}

int FocusName() {
  HWND form = FindForm();
  if (form == nullptr) return 1;
  GUITHREADINFO gti = {};
  gti.cbSize = sizeof(gti);
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(form, nullptr), &gti)) return 1;
  const int id = GetDlgCtrlID(gti.hwndFocus) - kFirstControlId;
  if (id < 0 || id >= kControlCount) {
    std::printf("none\n");
    return 0;
  }
  std::printf("%s\n", std::string(layout::Control(static_cast<ControlId>(id)).name).c_str());
  return 0;
}

int CursorKind() {
  CURSORINFO ci = {};
  ci.cbSize = sizeof(ci);
  if (!GetCursorInfo(&ci)) return 1;
  // Handles of another process's cursors cannot be compared with this one's (IDC_ARROW
  // differs under Wine), only with each other.
  std::printf("%p\n", static_cast<void*>(ci.hCursor));
  return 0;
}

// ------------------------------------------------------------------------------ window looks

// The push button NAME as shown on screen: "face RRGGBB dark N hash H": the colour of a face
// pixel beside the caption, the number of dark (caption) pixels and a hash of all pixels.
// `pressed`: held down by BM_SETSTATE while it is looked at.
int ButtonLook(const std::string& name, bool pressed) {
  HWND form = FindForm();
  HWND button = nullptr;
  for (const layout::ControlLayout& c : layout::MainForm().controls)
    if (c.name == name) button = ControlOf(form, c.id);
  RECT r;
  if (button == nullptr || !GetWindowRect(button, &r)) return 1;
  if (pressed) {
    SendMessageW(button, BM_SETSTATE, TRUE, 0);
    Sleep(200);
  }
  HDC screen = GetDC(nullptr);
  const COLORREF face = GetPixel(screen, r.left + 8, (r.top + r.bottom) / 2);
  int dark = 0;
  uint64_t hash = 1469598103934665603ull;
  for (int y = r.top; y < r.bottom; ++y) {
    for (int x = r.left; x < r.right; ++x) {
      const COLORREF c = GetPixel(screen, x, y);
      if (GetRValue(c) < 0x80 && GetGValue(c) < 0x80 && GetBValue(c) < 0x80) ++dark;
      hash = (hash ^ c) * 1099511628211ull;
    }
  }
  ReleaseDC(nullptr, screen);
  if (pressed) SendMessageW(button, BM_SETSTATE, FALSE, 0);
  std::printf("face %06lX dark %d hash %016llX\n", face, dark,
              static_cast<unsigned long long>(hash));
  return 0;
}

// The class of the window in the foreground.
int ForegroundClass() {
  HWND h = GetForegroundWindow();
  std::printf("%s\n", h != nullptr ? ClassOf(h).c_str() : "none");
  return 0;
}

// What the system sends at log-off: WM_QUERYENDSESSION, then WM_ENDSESSION with its answer.
// Prints "answer N".
int EndSession(const std::string& cls) {
  HWND h = FindWindowW(Widen(cls).c_str(), nullptr);
  if (h == nullptr) return 1;
  DWORD_PTR answer = 0;
  if (!SendMessageTimeoutW(h, WM_QUERYENDSESSION, 0, ENDSESSION_LOGOFF, SMTO_BLOCK, 10000, &answer))
    return 1;
  SendMessageTimeoutW(h, WM_ENDSESSION, answer ? TRUE : FALSE, ENDSESSION_LOGOFF, SMTO_BLOCK, 10000,
                      nullptr);
  std::printf("answer %d\n", static_cast<int>(answer));
  return 0;
}

// ------------------------------------------------------------------------------ message box

struct BoxSearch {
  std::wstring title;
  HWND found = nullptr;
};

BOOL CALLBACK FindBox(HWND h, LPARAM lp) {
  auto* s = reinterpret_cast<BoxSearch*>(lp);
  wchar_t cls[64] = {}, title[256] = {};
  GetClassNameW(h, cls, 64);
  GetWindowTextW(h, title, 256);
  if (std::wstring(cls) == L"#32770" && s->title == title && IsWindowVisible(h)) {
    s->found = h;
    return FALSE;
  }
  return TRUE;
}

BOOL CALLBACK PrintChild(HWND h, LPARAM) {
  const std::string cls = Lower(ClassOf(h));
  std::string text = Text(h);
  for (char& c : text)
    if (c == '\r')
      c = '|';
    else if (c == '\n')
      c = '/';
  if (!text.empty() && (cls == "static" || cls == "button"))
    std::printf("%s %s\n", cls == "button" ? "BUTTON" : "TEXT", text.c_str());
  return TRUE;
}

int MessageBoxInfo(const char* title) {
  BoxSearch s{Widen(title)};
  EnumWindows(&FindBox, reinterpret_cast<LPARAM>(&s));
  if (s.found == nullptr) return 1;
  DWORD pid = 0;
  GetWindowThreadProcessId(s.found, &pid);
  std::printf("BOX pid %lu\n", pid);
  // Boxes must be seen above the program that has the foreground, and a hidden owner would
  // keep them out of the task bar.
  std::printf("TOPMOST %s\n",
              (GetWindowLongW(s.found, GWL_EXSTYLE) & WS_EX_TOPMOST) ? "yes" : "no");
  HWND owner = GetWindow(s.found, GW_OWNER);
  std::printf("OWNER %s\n", owner == nullptr                  ? "none"
                            : IsWindowVisible(owner) != FALSE ? "shown"
                                                              : "hidden");
  EnumChildWindows(s.found, &PrintChild, 0);
  return 0;
}

// ------------------------------------------------------------------------------ pictures

bool ReadPpm(const std::string& path, Image& out) {
  std::ifstream in(path, std::ios::binary);
  std::string magic;
  int w = 0, h = 0, max = 0;
  in >> magic >> w >> h >> max;
  in.get();
  if (!in || magic != "P6" || max != 255 || w <= 0 || h <= 0) return false;
  std::vector<unsigned char> rgb(static_cast<size_t>(w) * static_cast<size_t>(h) * 3);
  in.read(reinterpret_cast<char*>(rgb.data()), static_cast<std::streamsize>(rgb.size()));
  if (!in) return false;
  out.w = w;
  out.h = h;
  out.px.resize(static_cast<size_t>(w) * static_cast<size_t>(h));
  for (size_t i = 0; i < out.px.size(); ++i)
    out.px[i] = rgb[3 * i] | rgb[3 * i + 1] << 8 | static_cast<uint32_t>(rgb[3 * i + 2]) << 16;
  return true;
}

int Pictures(const char* exe, const std::string& assets) {
  HMODULE module = LoadLibraryExW(Widen(exe).c_str(), nullptr,
                                  LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  Check(module != nullptr, "program loads as a resource file");
  if (module == nullptr) return 1;
  for (const char* name : {"rec", "play"}) {
    const std::string file = std::string(name) + ".jpg";
    Image decoded, reference;
    try {
      decoded = LoadPictureResource(module, file);
    } catch (const Error& e) {
      Check(false, file + " decodes", e.Description());
      continue;
    }
    if (!ReadPpm(assets + "\\" + name + ".ppm", reference)) {
      Check(false, file + " reference " + name + ".ppm readable");
      continue;
    }
    Check(decoded.w == reference.w && decoded.h == reference.h, file + " size",
          std::to_string(decoded.w) + "x" + std::to_string(decoded.h));
    if (decoded.px.size() != reference.px.size()) continue;
    // The decoders may round differently; what matters is that every pixel falls on the same
    // side of the key range, so the outline is the same.
    int differ = 0, side = 0, worst = 0;
    for (size_t i = 0; i < decoded.px.size(); ++i) {
      const uint32_t a = decoded.px[i], b = reference.px[i];
      if (a != b) ++differ;
      if (IsKeyColor(a) != IsKeyColor(b)) ++side;
      for (int shift : {0, 8, 16}) {
        const int d =
            std::abs(static_cast<int>((a >> shift) & 0xFF) - static_cast<int>((b >> shift) & 0xFF));
        if (d > worst) worst = d;
      }
    }
    std::printf("INFO %s: %d of %zu pixels differ from the reference decode, by %d at most\n",
                file.c_str(), differ, decoded.px.size(), worst);
    Check(side == 0, file + " key-colour pixels as in the reference",
          std::to_string(side) + " pixels on the other side");
  }
  FreeLibrary(module);
  return wintest::failed ? 1 : 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  // Same resolution handling as the program, so that both see the same pixels.
  SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
  std::vector<std::string> args;
  for (int i = 0; i < argc; ++i) args.push_back(Narrow(argv[i]));
  const std::string mode = args.size() > 1 ? args[1] : "";
  if (mode == "target" && args.size() == 7)
    return Target(args[2].c_str(), std::atoi(args[3].c_str()), std::atoi(args[4].c_str()),
                  std::atoi(args[5].c_str()), std::atoi(args[6].c_str()));
  if (mode == "check-form") return CheckForm();
  if (mode == "focus") return FocusName();
  if (mode == "colours") return Colours();
  if (mode == "cursor") return CursorKind();
  if (mode == "msgbox" && args.size() == 3) return MessageBoxInfo(args[2].c_str());
  if (mode == "close" && args.size() == 3) {
    HWND h = FindWindowW(Widen(args[2]).c_str(), nullptr);
    return h != nullptr && PostMessageW(h, WM_SYSCOMMAND, SC_CLOSE, 0) ? 0 : 1;
  }
  if (mode == "button-look" && (args.size() == 3 || args.size() == 4))
    return ButtonLook(args[2], args.size() == 4 && args[3] == "pressed");
  if (mode == "foreground") return ForegroundClass();
  if (mode == "end-session" && args.size() == 3) return EndSession(args[2]);
  if (mode == "pictures" && args.size() == 4) return Pictures(args[2].c_str(), args[3]);
  if (mode == "url" && args.size() == 4) {
    FILE* f = std::fopen(args[2].c_str(), "ab");
    if (f == nullptr) return 1;
    std::fprintf(f, "%s\n", args[3].c_str());
    std::fclose(f);
    return 0;
  }
  std::fprintf(
      stderr, "usage: pel_win_probe target|check-form|button-look|msgbox|close|pictures|url ...\n");
  return 2;
}
