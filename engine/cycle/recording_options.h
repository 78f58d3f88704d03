#pragma once
// What a recording takes beyond the window's check boxes, as the command line asks for it. The
// defaults record as the window always has, plus drags, the wheel and the side buttons.

namespace pel {

struct RecordingOptions {
  // Each move, press, release and wheel step stored at its own moment and place, taken from the
  // window system's event stream instead of the pointer sampled every tick.
  bool every_event = false;
  bool wheel = true;         // wheel steps
  bool side_buttons = true;  // the side buttons (X1, X2)
};

}  // namespace pel
