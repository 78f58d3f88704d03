#pragma once
// Global mouse and keyboard input on X11, for a program whose windows live on the same display.
// Keys and buttons read "down now, or pressed since the previous query of that code": button
// state is polled, key state is followed from XInput2 raw events (checked against the keymap
// now and then), and presses too short for any poll are latched from the same raw events.
// Xlib stays out of this header so that Qt code can include it (Xlib's macros clash with Qt).

#include <array>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "platform/input.h"
#include "platform/press_latch.h"

struct _XDisplay;

namespace pel {

class X11Input : public Input {
 public:
  // Opens a display connection of its own (`display_name` as for XOpenDisplay; nullptr means
  // $DISPLAY) so that draining events never steals from the toolkit's connection. nullptr, with
  // a description naming the failing call in `error`, when the display cannot be opened or lacks
  // XInput 2 or XTest.
  static std::unique_ptr<X11Input> Open(const char* display_name, std::string& error);
  ~X11Input() override;
  X11Input(const X11Input&) = delete;
  X11Input& operator=(const X11Input&) = delete;

  // 0x8000 while down, | 1 when pressed since the previous query of `vk`; 0 for codes this
  // backend does not know. Buttons are physical ones, as on Windows: with a left-handed button
  // mapping the left button is still the one XTest injects as button 1.
  int16_t KeyState(int vk) override;
  // Pointer position on the root window, in its pixels.
  bool CursorPos(Point& pos) override;
  // Targets beyond the root window land on its nearest edge, as on Windows.
  bool SetCursorPos(Point pos) override;
  // The side buttons are buttons 8 and 9, as XTest numbers them (before the button mapping).
  bool InjectButton(MouseButton button, bool down) override;
  // The press and the release leave in one write to the server.
  bool Click(MouseButton button) override;
  // Clicks of buttons 4 and 5 (up, down) or 6 and 7 (left, right), one a notch (parts of a
  // notch add up until they make one); at most kMaxWheelNotches in one call, so that a damaged
  // entry cannot flood the server.
  bool InjectWheel(WheelAxis axis, int32_t delta) override;
  static constexpr int32_t kMaxWheelNotches = 100;
  // Raw presses whose source device is not an XTest device ("... XTEST pointer"): XTest is
  // how programs, this one included, inject input.
  uint32_t UserButtonPresses() override;
  // Raw motion of a non-XTest device that moves it along x or y (not a scroll valuator alone).
  // Raw motion is selected from the first call on and dropped again when no call came for a
  // second, so that the pointer's moves wake nobody while no playback watches them.
  uint32_t UserPointerMoves() override;

  // The display connection's descriptor. It turns readable when the server sends events; then
  // TakeInput reads them. The program watches it with a socket notifier and wakes the sleeping
  // poll cycle (PollCycle::Wake) when TakeInput reports watched input; on this connection only
  // the raw key and button events wake it, never pointer moves.
  int ConnectionFd() const;
  // Reads the events that have come, without waiting. True when, since the previous call, a
  // pointer button (1 to 3) or a key that KeyState knows was pressed or released.
  bool TakeInput();

 private:
  X11Input(_XDisplay* display, int xi_opcode);
  // Reads every queued event: latches the presses among them and follows the keys' down state.
  void DrainEvents();
  // Brings the state up to date at most once per millisecond (one poll tick queries the cursor
  // and seven codes in a burst): one XQueryPointer round trip, which also ensures that every
  // input event the server made before it has been queued, then drains those events. Now and
  // then the keymap is asked for as well, to correct the followed key state.
  void Refresh();
  void ReadKeymap();
  void ReadPointerMapping();
  // Whether raw events of device `id` are injected (an XTest device); asked of the server once
  // per device and remembered until the device hierarchy changes.
  bool IsXTestDevice(int id);
  // True when the X keycode `code` produces one of the keys KeyState knows.
  bool Watched(int code);

  _XDisplay* display_;
  int xi_opcode_;
  // Presses since the last query, by X keycode and by X button number.
  PressLatch key_latch_;
  PressLatch button_latch_;
  // Keys down, by X keycode: from the keymap at open and at each resynchronisation, and from
  // the raw press and release events in between, so that a tick costs no keymap round trip.
  std::array<bool, 256> key_down_{};
  // The logical button of each physical one (index 0 is button 1); see KeyState.
  std::array<unsigned char, 256> pointer_map_{};
  int pointer_buttons_ = 0;
  uint32_t user_button_presses_ = 0;
  uint32_t user_pointer_moves_ = 0;
  bool motion_selected_ = false;
  int64_t moves_asked_at_ = 0;  // steady clock, ns: the last UserPointerMoves
  std::map<int, bool> xtest_device_;
  // Last answer of XQueryPointer and when it came, and when the keymap was last read (steady
  // clock, ns; kNever: ask the server at the next query).
  static constexpr int64_t kNever = 0;
  unsigned pointer_mask_ = 0;
  int pointer_x_ = 0;
  int pointer_y_ = 0;
  bool pointer_on_screen_ = false;  // XQueryPointer's answer: false, on another screen
  int64_t pointer_at_ = kNever;
  int64_t keymap_at_ = kNever;
  bool input_arrived_ = false;  // see TakeInput
  // The root window's size as last asked for by SetCursorPos (0: not yet asked).
  int32_t root_width_ = 0;
  int32_t root_height_ = 0;
  // Parts of a notch not sent yet, vertical and horizontal (see InjectWheel).
  int32_t wheel_rest_[2] = {};
};

}  // namespace pel
