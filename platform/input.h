#pragma once
// Global mouse and keyboard input: polled state, cursor placement, synthesised buttons and
// wheel steps. Coordinates are screen pixels of the whole (virtual) desktop; they may be
// negative on multi-monitor desktops.

#include <cstdint>
#include <string_view>

#include "platform/geometry.h"

namespace pel {

// Virtual-key codes of the keys and buttons the engine polls.
namespace vk {
constexpr int kLButton = 0x01;
constexpr int kRButton = 0x02;
constexpr int kMButton = 0x04;
constexpr int kPause = 0x13;
constexpr int kF9 = 0x78;
constexpr int kF10 = 0x79;
constexpr int kF12 = 0x7B;
}  // namespace vk

// X1 and X2 are the side buttons (usually back and forward): XBUTTON1 and XBUTTON2 on Windows,
// buttons 8 and 9 on X11.
enum class MouseButton { Left, Middle, Right, X1, X2 };
inline constexpr int kMouseButtons = 5;

// Vertical steps are positive away from the user (scrolling up), horizontal ones to the right.
enum class WheelAxis { Vertical, Horizontal };
// One notch of a wheel, in the units of a wheel delta; finer devices send parts of it.
inline constexpr int32_t kWheelNotch = 120;

class Input {
 public:
  virtual ~Input() = default;
  // Nonzero when the key or button `vk` is down now (bit 0x8000) or was pressed since the
  // previous query of the same code (bit 1); 0 when up (and when the state cannot be read).
  // Each query clears the latch.
  virtual int16_t KeyState(int vk) = 0;
  // Cursor position in screen pixels; false when it cannot be read (`pos` is then left as is).
  virtual bool CursorPos(Point& pos) = 0;
  // Places the cursor at screen pixels; false when the window system refused or left it
  // elsewhere.
  virtual bool SetCursorPos(Point pos) = 0;
  // Injects one press (`down`) or release of any of the five buttons at the cursor, seen by
  // other programs as real input; false when the event was not inserted.
  virtual bool InjectButton(MouseButton button, bool down) = 0;
  // Injects a press and release of `button` at the cursor, as one unit where the window system
  // allows it (so the user's own input cannot land between them); false when either was not
  // inserted. The default sends them one after the other.
  virtual bool Click(MouseButton button) {
    const bool down = InjectButton(button, true);
    const bool up = InjectButton(button, false);
    return down && up;
  }
  // Injects wheel steps of `delta` 1/120 notches on `axis` at the cursor, as real input. Where
  // the window system scrolls whole notches only, it sends those and carries the rest to the
  // next call on the same axis; false when a step was not inserted.
  virtual bool InjectWheel(WheelAxis axis, int32_t delta) = 0;
  // Presses of the left, middle and right buttons made on a real device, not injected by any
  // program (this one included), since the previous call; each call clears the count.
  virtual uint32_t UserButtonPresses() = 0;
  // True while the input goes to another desktop than this program's (the lock screen, a secure
  // prompt, another user's session): nothing injected arrives, and placing fails. Playback holds
  // its timeline meanwhile. Where the window system has no such thing: never.
  virtual bool InputElsewhere() { return false; }
  // Pointer motion events made on a real device, not injected by any program (this one
  // included), since the previous call; each call clears the count. A backend may count only
  // from its first call on, and stop watching after a second without one.
  virtual uint32_t UserPointerMoves() = 0;
  // Why nothing can be recorded through this input (it cannot read the user's own keys and
  // pointer); empty where it can.
  virtual std::string_view CannotRecord() const { return {}; }
};

}  // namespace pel
