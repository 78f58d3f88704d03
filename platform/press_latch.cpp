#include "platform/press_latch.h"

namespace pel {

namespace {
bool Known(int code) {
  return code >= 0 && code < PressLatch::kCodes;
}
}  // namespace

bool PressLatch::Press(int code) {
  if (!Known(code) || codes_[code].down) return false;
  codes_[code] = {true, true};
  return true;
}

bool PressLatch::Release(int code) {
  if (!Known(code) || !codes_[code].down) return false;
  codes_[code].down = false;
  return true;
}

int16_t PressLatch::Query(int code, bool down) {
  bool pressed = false;
  if (Known(code)) {
    Code& c = codes_[code];
    pressed = c.pressed;
    c.pressed = false;
    if (!down) c.down = false;
  }
  return static_cast<int16_t>((down ? 0x8000 : 0) | (pressed ? 1 : 0));
}

}  // namespace pel
