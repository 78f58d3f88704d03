#pragma once
// Colour values of the seam (0x00BBGGRR, or a system colour reference 0x800000nn) as Qt colours.

#include <QColor>
#include <QPalette>

#include "platform/color.h"

namespace pel {

// The colour `c` stands for: an RGB value as it is, a system colour reference from `palette`
// (the user's colour scheme), so that it follows the desktop's theme as the Windows original
// follows the system colours.
QColor ResolveColor(Color c, const QPalette& palette);

// The palette role a system colour reference is taken from (QPalette::Window for indices that
// have no closer match).
QPalette::ColorRole SystemColorRole(Color c);

}  // namespace pel
