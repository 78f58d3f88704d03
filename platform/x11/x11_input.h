#pragma once
// Global mouse and keyboard input on X11, for a program whose windows live on the same display.
// Keys and buttons read "down now, or pressed since the previous query of that code": the down
// state is polled, and presses too short for any poll are latched from XInput2 raw events.
// Xlib stays out of this header so that Qt code can include it (Xlib's macros clash with Qt).

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/input.h"

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
  bool SetCursorPos(Point pos) override;
  bool InjectButton(MouseButton button, bool down) override;

 private:
  X11Input(_XDisplay* display, int xi_opcode);
  // Reads every queued event and latches the presses among them; true when a key or button
  // event came, which makes the polled snapshots below out of date.
  bool DrainEvents();
  // Drains, then brings the snapshots up to date when they are old or events have come.
  void Sync(bool pointer);
  // The pointer state and the keymap, asked of the server at most once per millisecond: one
  // poll tick queries seven keys and the cursor in a burst, and two round trips serve them all.
  void RefreshPointer();
  void RefreshKeymap();
  void ReadPointerMapping();

  _XDisplay* display_;
  int xi_opcode_;
  // Pressed since the last query, indexed by X keycode and by X button number.
  std::array<bool, 256> key_latch_{};
  std::array<bool, 256> button_latch_{};
  // The logical button of each physical one (index 0 is button 1); see KeyState.
  std::array<unsigned char, 256> pointer_map_{};
  int pointer_buttons_ = 0;
  // Last answers of XQueryPointer and XQueryKeymap, and when they came (steady clock, ns;
  // kNever: ask the server at the next query).
  static constexpr int64_t kNever = 0;
  unsigned pointer_mask_ = 0;
  int pointer_x_ = 0;
  int pointer_y_ = 0;
  int64_t pointer_at_ = kNever;
  std::array<char, 32> keymap_{};
  int64_t keymap_at_ = kNever;
};

}  // namespace pel
