#pragma once
// Playback through a wlroots compositor's virtual pointer (zwlr_virtual_pointer_manager_v1):
// absolute moves in the layout's pixels, the five buttons and whole wheel notches, as input of
// a pointer device of its own. One virtual pointer serves the whole session: the seat has a
// pointer only while one exists, and a new one would start with a leave and an enter.
//
// A Wayland client sees neither the keys nor the pointer of the desktop: the polled state, the
// cursor position and the user's own input are not available here, and their answers say so
// (KeyState 0, CursorPos false, no user input counted). Recording and stopping on the user's
// move need them; the program refuses both in this backend (see kUnavailable).

#include <cstdint>
#include <memory>
#include <string>

#include "platform/input.h"

struct zwlr_virtual_pointer_v1;

namespace pel {

class WaylandDisplay;

class WaylandInput : public Input {
 public:
  // Makes the session's virtual pointer on `display`'s first seat. nullptr, with the reason in
  // `error`, when the compositor offers no virtual pointer manager.
  static std::unique_ptr<WaylandInput> Open(WaylandDisplay& display, std::string& error);
  ~WaylandInput() override;
  WaylandInput(const WaylandInput&) = delete;
  WaylandInput& operator=(const WaylandInput&) = delete;

  // What this backend cannot do, for the program to say.
  static constexpr const char* kUnavailable =
      "a Wayland client sees neither the keys nor the pointer of the desktop";

  int16_t KeyState(int vk) override;    // 0: not available
  bool CursorPos(Point& pos) override;  // false: not available
  // An absolute move with the layout box (every output) as extent, so that a position is exact
  // on every output; targets beyond the box land on its nearest edge. False when no output is
  // known or the request did not reach the compositor.
  bool SetCursorPos(Point pos) override;
  // BTN_LEFT, BTN_MIDDLE, BTN_RIGHT, BTN_SIDE (X1) and BTN_EXTRA (X2), each ended by a frame.
  bool InjectButton(MouseButton button, bool down) override;
  // The press and the release leave in one write.
  bool Click(MouseButton button) override;
  // One wheel notch per step, as a wheel sends them: the source, the discrete step with its
  // value, and a frame. Parts of a notch add up until they make one; at most kMaxWheelNotches
  // in one call, so that a damaged entry cannot flood the compositor.
  bool InjectWheel(WheelAxis axis, int32_t delta) override;
  static constexpr int32_t kMaxWheelNotches = 100;
  uint32_t UserButtonPresses() override { return 0; }  // not available
  uint32_t UserPointerMoves() override { return 0; }   // not available
  std::string_view CannotRecord() const override { return kUnavailable; }

 private:
  WaylandInput(WaylandDisplay& display, zwlr_virtual_pointer_v1* pointer);
  void Button(MouseButton button, bool down);

  WaylandDisplay& display_;
  zwlr_virtual_pointer_v1* pointer_;
  int32_t wheel_rest_[2] = {};  // parts of a notch not sent yet, vertical and horizontal
};

}  // namespace pel
