#pragma once
// Presses of keys and buttons remembered from an input backend's events until the code's state
// is next queried, so that a tap shorter than a poll tick is still seen, once. The backend
// feeds every press and release event and says at each query whether the code is down now.

#include <array>
#include <cstdint>

namespace pel {

class PressLatch {
 public:
  // Codes are the backend's own numbers (X keycodes, X button numbers, virtual keys) below
  // kCodes; others are ignored.
  static constexpr int kCodes = 256;

  // A press event: latched unless the events already had `code` down, since a held key's
  // auto-repeat sends presses too. True when it was latched.
  bool Press(int code);
  // A release event. True when the events had `code` down.
  bool Release(int code);
  // The state Input::KeyState reports for `code`: 0x8000 while `down` (as the system says
  // now), | 1 when pressed since the previous query; the press is forgotten. A code found up
  // counts as up for its events too, so that a release they missed never hides its next press.
  int16_t Query(int code, bool down);

 private:
  struct Code {
    bool pressed = false;
    bool down = false;  // as the events last said
  };
  std::array<Code, kCodes> codes_{};
};

}  // namespace pel
