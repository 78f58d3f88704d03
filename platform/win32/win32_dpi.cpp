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

std::string DpiAwarenessProblem() {
  // Both from Windows 10 1607; DPI_AWARENESS: 0 unaware, 1 system aware, 2 per monitor.
  static const auto context = User32Proc<HANDLE(WINAPI*)()>("GetThreadDpiAwarenessContext");
  static const auto awareness =
      User32Proc<int(WINAPI*)(HANDLE)>("GetAwarenessFromDpiAwarenessContext");
  if (context == nullptr || awareness == nullptr) return {};
  const int in_force = awareness(context());
  if (in_force == 2) return {};
  return std::string("DPI override (") + (in_force == 1 ? "system" : "unaware") +
         "): pointer positions scaled, clicks may land off";
}

}  // namespace pel
