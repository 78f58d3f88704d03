#pragma once
// The Linux input code of each of the seam's buttons, as Wayland and its portals name buttons.

#include <linux/input-event-codes.h>

#include <cstdint>

#include "platform/input.h"

namespace pel {

inline uint32_t EvdevButton(MouseButton button) {
  switch (button) {
    case MouseButton::Left:
      return BTN_LEFT;
    case MouseButton::Middle:
      return BTN_MIDDLE;
    case MouseButton::Right:
      return BTN_RIGHT;
    case MouseButton::X1:
      return BTN_SIDE;
    case MouseButton::X2:
      return BTN_EXTRA;
  }
  return BTN_LEFT;
}

}  // namespace pel
