#include "platform/win32/win32_color.h"

#include "platform/win32/win32_diagnostics.h"

namespace pel {

COLORREF Resolve(Color c) {
  return color::IsSystem(c) ? GetSysColor(static_cast<int>(c & 0xFF)) : (c & 0x00FFFFFF);
}

void SetBrush(GdiObject<HBRUSH>& brush, Color c) {
  if (color::IsSystem(c)) {
    brush.Reset(GetSysColorBrush(static_cast<int>(c & 0xFF)), false);
    return;
  }
  HBRUSH made = CreateSolidBrush(c & 0x00FFFFFF);
  if (made == nullptr) ThrowCallFailed("CreateSolidBrush");
  brush.Reset(made);
}

}  // namespace pel
