#include "engine/recorder/pointer_actions.h"

namespace pel {

bool SetMousePos(Input& input, int32_t x, int32_t y) {
  return input.SetCursorPos({x, y});
}

}  // namespace pel
