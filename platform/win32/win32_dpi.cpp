#include "platform/win32/win32_dpi.h"

namespace pel {

int WindowDpi(HWND hwnd) {
  static const auto get = User32Proc<UINT(WINAPI*)(HWND)>("GetDpiForWindow");
  if (get != nullptr && hwnd != nullptr) {
    const UINT dpi = get(hwnd);
    if (dpi != 0) return static_cast<int>(dpi);
  }
  HDC dc = GetDC(nullptr);
  const int dpi = dc ? GetDeviceCaps(dc, LOGPIXELSY) : kBaseDpi;
  if (dc) ReleaseDC(nullptr, dc);
  return dpi > 0 ? dpi : kBaseDpi;
}

}  // namespace pel
