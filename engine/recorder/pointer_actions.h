#pragma once
// What a playback does with the pointer: place it. A call the window system refuses changes
// nothing; only the placement says whether it was made. The buttons and the wheel go through
// HeldButtons (engine/recorder/held_buttons.h), which remembers what it holds down.

#include <cstdint>

#include "platform/input.h"

namespace pel {

// Places the cursor at (x, y), screen pixels; true when it is there.
bool SetMousePos(Input& input, int32_t x, int32_t y);

}  // namespace pel
