#include "platform/win32/win32_indicator.h"

#include <cstring>
#include <vector>

#include "platform/error.h"
#include "platform/win32/win32_diagnostics.h"
#include "platform/win32/win32_dpi.h"
#include "platform/win32/win32_picture.h"
#include "platform/win32/win32_text.h"

namespace pel {

namespace {

constexpr wchar_t kClass[] = L"PelmiraIndicator";
// Fills what the picture does not cover: the pictures' own background.
constexpr COLORREF kBack = 0x00FF0000;

[[noreturn]] void Fail(const char* call) {
  ThrowCallFailed(call);
}

void RegisterClassOnce(WNDPROC proc) {
  static const ATOM atom = [proc] {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.hCursor = LoadCursorW(nullptr, MAKEINTRESOURCEW(32512));  // IDC_ARROW
    wc.lpszClassName = kClass;
    return RegisterClassExW(&wc);
  }();
  (void)atom;
}

}  // namespace

std::vector<Rect> ScaleOutline(std::span<const Rect> rects, int dpi) {
  std::vector<Rect> out;
  out.reserve(rects.size());
  // One rounding for every edge: shared edges stay shared, so the bands still tile.
  auto scale = [dpi](int32_t v) { return MulDiv(v, dpi, kBaseDpi); };
  for (const Rect& r : rects) {
    const Rect s{scale(r.left), scale(r.top), scale(r.right), scale(r.bottom)};
    if (s.right > s.left && s.bottom > s.top) out.push_back(s);
  }
  return out;
}

HRGN MakeRegion(std::span<const Rect> rects) {
  if (rects.empty()) {
    HRGN empty = CreateRectRgn(0, 0, 0, 0);
    if (empty == nullptr) Fail("CreateRectRgn");
    return empty;
  }
  const size_t bytes = sizeof(RGNDATAHEADER) + rects.size() * sizeof(RECT);
  std::vector<unsigned char> block(bytes);
  auto* data = reinterpret_cast<RGNDATA*>(block.data());
  data->rdh.dwSize = sizeof(RGNDATAHEADER);
  data->rdh.iType = RDH_RECTANGLES;
  data->rdh.nCount = static_cast<DWORD>(rects.size());
  data->rdh.nRgnSize = static_cast<DWORD>(rects.size() * sizeof(RECT));
  RECT bound = {rects[0].left, rects[0].top, rects[0].right, rects[0].bottom};
  auto* out = reinterpret_cast<RECT*>(data->Buffer);
  for (size_t i = 0; i < rects.size(); ++i) {
    const Rect& r = rects[i];
    out[i] = RECT{r.left, r.top, r.right, r.bottom};
    if (r.left < bound.left) bound.left = r.left;
    if (r.top < bound.top) bound.top = r.top;
    if (r.right > bound.right) bound.right = r.right;
    if (r.bottom > bound.bottom) bound.bottom = r.bottom;
  }
  data->rdh.rcBound = bound;
  HRGN rgn = ExtCreateRegion(nullptr, static_cast<DWORD>(bytes), data);
  if (rgn == nullptr) Fail("ExtCreateRegion");
  return rgn;
}

Win32Indicator::Win32Indicator(std::string_view name, Image picture, PixelSize size, HICON icon)
    : size_(size), image_(std::move(picture)) {
  RegisterClassOnce(&WndProc);

  BITMAPINFO bi = {};
  bi.bmiHeader.biSize = sizeof(BITMAPINFOHEADER);
  bi.bmiHeader.biWidth = image_.w;
  bi.bmiHeader.biHeight = -image_.h;  // top-down, like the Image rows
  bi.bmiHeader.biPlanes = 1;
  bi.bmiHeader.biBitCount = 32;
  bi.bmiHeader.biCompression = BI_RGB;
  void* bits = nullptr;
  bitmap_ = CreateDIBSection(nullptr, &bi, DIB_RGB_COLORS, &bits, nullptr, 0);
  if (bitmap_ == nullptr) Fail("CreateDIBSection");
  auto* dst = static_cast<uint32_t*>(bits);
  for (size_t i = 0; i < image_.px.size(); ++i) {
    const uint32_t p = image_.px[i];  // 0x00BBGGRR -> memory order B, G, R, X
    dst[i] = ((p & 0xFF) << 16) | (p & 0xFF00) | ((p >> 16) & 0xFF);
  }

  // Centred on the primary screen until the load handler places it; sized for that screen's
  // scale once the window exists and knows it.
  const int sw = GetSystemMetrics(SM_CXSCREEN), sh = GetSystemMetrics(SM_CYSCREEN);
  // Layered and transparent: clicks fall through to whatever lies below, in any program.
  const DWORD ex =
      WS_EX_TOOLWINDOW | WS_EX_TOPMOST | WS_EX_NOACTIVATE | WS_EX_LAYERED | WS_EX_TRANSPARENT;
  hwnd_ = CreateWindowExW(ex, kClass, Widen(name).c_str(), WS_POPUP, (sw - size_.width) / 2,
                          (sh - size_.height) / 2, size_.width, size_.height, nullptr, nullptr,
                          GetModuleHandleW(nullptr), this);
  if (hwnd_ == nullptr) {
    DeleteObject(bitmap_);
    Fail("CreateWindowExW(indicator)");
  }
  // Fully opaque: the layered style is there only for the click-through.
  if (!SetLayeredWindowAttributes(hwnd_, 0, 255, LWA_ALPHA)) {
    DestroyWindow(hwnd_);
    DeleteObject(bitmap_);
    Fail("SetLayeredWindowAttributes");
  }
  dpi_ = WindowDpi(hwnd_);
  if (dpi_ != kBaseDpi) {
    const int w = Scaled(size_.width), h = Scaled(size_.height);
    SetWindowPos(hwnd_, nullptr, (sw - w) / 2, (sh - h) / 2, w, h,
                 SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
  }
  // A copy of its own: the main window destroys its icons when its resolution changes.
  if (icon != nullptr) icon_ = CopyIcon(icon);
}

int Win32Indicator::Scaled(int v) const {
  return MulDiv(v, dpi_, kBaseDpi);
}

void Win32Indicator::ApplyScaledRegion() {
  const std::vector<Rect> scaled = ScaleOutline(outline_, dpi_);
  HRGN rgn = MakeRegion(scaled);
  // On success the region belongs to the window system.
  if (!SetWindowRgn(hwnd_, rgn, TRUE)) {
    DeleteObject(rgn);
    Fail("SetWindowRgn");
  }
}

void Win32Indicator::OnDpiChanged(int dpi, const RECT* suggested) {
  dpi_ = dpi;
  const RECT now = WindowRect();
  const int left = suggested ? suggested->left : now.left;
  const int top = suggested ? suggested->top : now.top;
  SetWindowPos(hwnd_, nullptr, left, top, Scaled(size_.width), Scaled(size_.height),
               SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
  if (shaped_) ApplyScaledRegion();
  InvalidateRect(hwnd_, nullptr, FALSE);
}

Win32Indicator::~Win32Indicator() {
  if (hwnd_ != nullptr) {
    SetWindowLongPtrW(hwnd_, GWLP_USERDATA, 0);
    DestroyWindow(hwnd_);
  }
  if (bitmap_ != nullptr) DeleteObject(bitmap_);
  if (icon_ != nullptr) DestroyIcon(icon_);
}

LRESULT CALLBACK Win32Indicator::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
  }
  auto* self = reinterpret_cast<Win32Indicator*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  switch (msg) {
    case WM_NCHITTEST:
      return HTTRANSPARENT;
    case WM_MOUSEACTIVATE:
      return MA_NOACTIVATE;
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT covers every pixel
    case WM_PAINT:
      if (self != nullptr) {
        self->Paint();
        return 0;
      }
      break;
    case WM_DPICHANGED:
      // Moved to a monitor of another scale: the same look at that scale.
      if (self != nullptr) {
        try {
          self->OnDpiChanged(HIWORD(wp), reinterpret_cast<const RECT*>(lp));
        } catch (const Error&) {
          // The window keeps its old outline; nothing else can report from here.
        }
        return 0;
      }
      break;
    default:
      break;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

void Win32Indicator::Paint() {
  PAINTSTRUCT ps;
  HDC dc = BeginPaint(hwnd_, &ps);
  HDC mem = CreateCompatibleDC(dc);
  if (mem != nullptr) {
    HGDIOBJ old = SelectObject(mem, bitmap_);
    const int w = Scaled(image_.w), h = Scaled(image_.h);
    if (w == image_.w && h == image_.h) {
      BitBlt(dc, 0, 0, w, h, mem, 0, 0, SRCCOPY);
    } else {
      // Whole pixels, no blending: a blended edge would show blue beside the outline.
      SetStretchBltMode(dc, COLORONCOLOR);
      StretchBlt(dc, 0, 0, w, h, mem, 0, 0, image_.w, image_.h, SRCCOPY);
    }
    SelectObject(mem, old);
    DeleteDC(mem);
  }
  // A client area larger than the picture shows the background colour beyond it.
  if (size_.width > image_.w || size_.height > image_.h) {
    HBRUSH brush = CreateSolidBrush(kBack);
    const int iw = Scaled(image_.w), ih = Scaled(image_.h);
    const int cw = Scaled(size_.width), ch = Scaled(size_.height);
    RECT right = {iw, 0, cw, ch};
    RECT below = {0, ih, iw, ch};
    FillRect(dc, &right, brush);
    FillRect(dc, &below, brush);
    DeleteObject(brush);
  }
  EndPaint(hwnd_, &ps);
}

RECT Win32Indicator::WindowRect() {
  RECT r;
  if (!GetWindowRect(hwnd_, &r)) Fail("GetWindowRect");
  return r;
}

void Win32Indicator::SetAppIcon() {
  if (icon_ == nullptr) return;
  SendMessageW(hwnd_, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(icon_));
  SendMessageW(hwnd_, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(icon_));
}

int Win32Indicator::Width() {
  const RECT r = WindowRect();
  return r.right - r.left;
}

int Win32Indicator::Height() {
  const RECT r = WindowRect();
  return r.bottom - r.top;
}

// Each blink places the window again where it mostly already stands: only a change moves it.
void Win32Indicator::SetLeft(int left) {
  const RECT r = WindowRect();
  if (r.left == left) return;
  if (!SetWindowPos(hwnd_, nullptr, left, r.top, 0, 0,
                    SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER))
    Fail("SetWindowPos");
}

void Win32Indicator::SetTop(int top) {
  const RECT r = WindowRect();
  if (r.top == top) return;
  if (!SetWindowPos(hwnd_, nullptr, r.left, top, 0, 0,
                    SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOOWNERZORDER))
    Fail("SetWindowPos");
}

bool Win32Indicator::Visible() {
  return IsWindowVisible(hwnd_) != FALSE;
}

void Win32Indicator::SetVisible(bool visible) {
  if (visible) {
    ShowWindow(hwnd_, SW_SHOWNOACTIVATE);
    // Windows raised later as topmost would cover it; put it back at the top.
    SetWindowPos(hwnd_, HWND_TOPMOST, 0, 0, 0, 0,
                 SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOOWNERZORDER);
  } else {
    ShowWindow(hwnd_, SW_HIDE);
  }
}

PixelSize Win32Indicator::OuterSize() {
  // The outline's space is the picture's pixels at any scale, so that the stored outline file
  // is the same on every monitor; ApplyRegion scales it to the window.
  return size_;
}

void Win32Indicator::ApplyRegion(std::span<const Rect> rects) {
  outline_.assign(rects.begin(), rects.end());
  ApplyScaledRegion();
  shaped_ = true;
}

void Win32Indicator::ClearRegion() {
  if (!SetWindowRgn(hwnd_, nullptr, TRUE)) Fail("SetWindowRgn");
  shaped_ = false;
  outline_.clear();
}

std::unique_ptr<ShapedWindow> Win32IndicatorFactory::Create(IndicatorId, std::string_view name,
                                                            std::string_view picture,
                                                            PixelSize size) {
  Image image = LoadPictureResource(nullptr, picture);
  return std::make_unique<Win32Indicator>(name, std::move(image), size, icon_ ? icon_() : nullptr);
}

Rect Win32IndicatorFactory::PrimaryScreen() {
  // The primary monitor's top-left corner is the origin of the virtual screen.
  return Rect{0, 0, GetSystemMetrics(SM_CXSCREEN), GetSystemMetrics(SM_CYSCREEN)};
}

}  // namespace pel
