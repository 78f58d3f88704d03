#include "engine/pointer_actions.h"

namespace pel {

void SetMousePos(Input& input, int32_t x, int32_t y) {
  input.SetCursorPos({x, y});
}

}  // namespace pel
