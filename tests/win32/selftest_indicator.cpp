// The indicator windows beside the main window.

#include <windows.h>

#include "platform/win32/win32_indicator.h"
#include "programs/windows/win32_main_window.h"
#include "tests/win32/check.h"
#include "tests/win32/selftest.h"

namespace pel::wintest {

// The main window makes its icons again at each change of resolution and destroys the old
// ones: an indicator made after one, or living through one, must still show a live icon.
void TestIndicatorIconAcrossDpiChanges() {
  Win32MainWindow window;
  Win32IndicatorFactory factory([&window] { return window.SmallIcon(); });
  auto change_dpi = [&](int dpi) {
    RECT r;
    GetWindowRect(window.Handle(), &r);
    SendMessageW(window.Handle(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                 reinterpret_cast<LPARAM>(&r));
  };
  auto live = [](const ShapedWindow& w) {
    auto icon = reinterpret_cast<HICON>(
        SendMessageW(static_cast<const Win32Indicator&>(w).Handle(), WM_GETICON, ICON_SMALL, 0));
    ICONINFO info = {};
    if (icon == nullptr || !GetIconInfo(icon, &info)) return false;
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    return true;
  };
  change_dpi(144);
  auto made_after = factory.Create(IndicatorId::Rec, "frmRec", "rec.jpg", {146, 32});
  made_after->SetAppIcon();
  const bool after = live(*made_after);
  change_dpi(96);
  Check(after && live(*made_after),
        "indicator: live icon when made after a DPI change and through one");
}

}  // namespace pel::wintest
