#include "platform/press_latch.h"

#include <cstddef>

namespace pel {

namespace {
bool Known(int code) {
  return code >= 0 && code < PressLatch::kCodes;
}
}  // namespace

bool PressLatch::Press(int code) {
  if (!Known(code) || codes_[static_cast<std::size_t>(code)].down) return false;
  codes_[static_cast<std::size_t>(code)] = {true, true};
  return true;
}

bool PressLatch::Release(int code) {
  if (!Known(code) || !codes_[static_cast<std::size_t>(code)].down) return false;
  codes_[static_cast<std::size_t>(code)].down = false;
  return true;
}

int16_t PressLatch::Query(int code, bool down) {
  bool pressed = false;
  if (Known(code)) {
    Code& c = codes_[static_cast<std::size_t>(code)];
    pressed = c.pressed;
    c.pressed = false;
    if (!down) c.down = false;
  }
  return static_cast<int16_t>((down ? 0x8000 : 0) | (pressed ? 1 : 0));
}

}  // namespace pel
