#include "engine/pointer_actions.h"

namespace pel {

bool SetMousePos(Input& input, int32_t x, int32_t y) {
  return input.SetCursorPos({x, y});
}

void ClickLeft(Input& input) {
  input.Click(MouseButton::Left);
}
void ClickMiddle(Input& input) {
  input.Click(MouseButton::Middle);
}
void ClickRight(Input& input) {
  input.Click(MouseButton::Right);
}

}  // namespace pel
