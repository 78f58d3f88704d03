#include "engine/recorder/held_buttons.h"

namespace pel {

bool HeldButtons::Play(MotionKind kind, int32_t delta) {
  switch (ActionOf(kind)) {
    case KindAction::Move:
      return true;
    case KindAction::Click:
      return Click(ButtonOf(kind));
    case KindAction::Press:
      return Press(ButtonOf(kind));
    case KindAction::Release:
      return Release(ButtonOf(kind));
    case KindAction::Wheel:
      return delta == 0 || input_.InjectWheel(AxisOf(kind), delta);
  }
  return true;
}

bool HeldButtons::Press(MouseButton button) {
  bool& held = held_[static_cast<size_t>(button)];
  if (held) return true;
  // A press the window system refused left nothing down.
  held = input_.InjectButton(button, true);
  return held;
}

bool HeldButtons::Release(MouseButton button) {
  bool& held = held_[static_cast<size_t>(button)];
  if (!held) return true;
  held = !input_.InjectButton(button, false);
  return !held;
}

bool HeldButtons::Click(MouseButton button) {
  return Release(button) && input_.Click(button);
}

bool HeldButtons::ReleaseAll() {
  bool all = true;
  for (int b = 0; b < kMouseButtons; ++b) all = Release(static_cast<MouseButton>(b)) && all;
  return all;
}

bool HeldButtons::AnyHeld() const {
  for (bool held : held_)
    if (held) return true;
  return false;
}

}  // namespace pel
