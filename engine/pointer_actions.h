#pragma once
// What a playback does with the pointer: place it and click its buttons where it stands. A call
// the window system refuses changes nothing; only the placement says whether it was made.

#include <cstdint>

#include "platform/input.h"

namespace pel {

// Places the cursor at (x, y), screen pixels; true when it is there.
bool SetMousePos(Input& input, int32_t x, int32_t y);
// Presses and releases the button at the cursor's position.
void ClickLeft(Input& input);
void ClickMiddle(Input& input);
void ClickRight(Input& input);

}  // namespace pel
