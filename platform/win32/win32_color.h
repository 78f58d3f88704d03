#pragma once
// The seam's colours (platform/color.h) as GDI draws them: plain values and system colour
// references, and the brushes that paint them.

#include <windows.h>

#include "platform/color.h"
#include "platform/win32/win32_gdi_object.h"

namespace pel {

// A colour value as GDI draws it: system colour references resolved through GetSysColor.
COLORREF Resolve(Color c);
// Puts the brush for `c` into `brush`: the system's own for a system colour, a new solid brush
// otherwise. Throws pel::Error when it cannot be made (`brush` then stays as it was).
void SetBrush(GdiObject<HBRUSH>& brush, Color c);

}  // namespace pel
