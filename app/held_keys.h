#pragma once
// The input as the main window's poll cycle reads it: shortcut keys found held when polling
// starts (the key that launched the program, one held through start-up) read up until they are
// first found up, so that their release is no command. Nothing waits for them: the event loop,
// and with it signals, handed files and a scripted run, goes on at once, also when the release
// never arrives (made on another desktop). All else is the backend's own.

#include <cstdint>
#include <vector>

#include "platform/input.h"

namespace pel {

class HeldKeys : public Input {
 public:
  explicit HeldKeys(Input& input) : input_(input) {}

  // Reads `vk` once: down now, it reads up from here until it is found up; pressed and let go
  // already, the press is forgotten.
  void HoldIfDown(int vk);

  int16_t KeyState(int vk) override;
  bool CursorPos(Point& pos) override { return input_.CursorPos(pos); }
  bool SetCursorPos(Point pos) override { return input_.SetCursorPos(pos); }
  bool InjectButton(MouseButton button, bool down) override {
    return input_.InjectButton(button, down);
  }
  bool Click(MouseButton button) override { return input_.Click(button); }
  bool InjectWheel(WheelAxis axis, int32_t delta) override {
    return input_.InjectWheel(axis, delta);
  }
  uint32_t UserButtonPresses() override { return input_.UserButtonPresses(); }
  uint32_t UserPointerMoves() override { return input_.UserPointerMoves(); }

 private:
  Input& input_;
  std::vector<int> held_;
};

}  // namespace pel
