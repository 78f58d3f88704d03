#pragma once
// The buttons a playback holds down. A press entry leaves its button down until its release
// entry; whatever ends a playback before that (Pause, stop on move, the last pass, a signal, an
// error box) must not leave it so. Playback works the buttons and the wheel through this guard,
// which remembers what it pressed and releases all of it when told the playback ends.

#include <array>
#include <cstdint>

#include "engine/motionfile/motion_entry.h"
#include "platform/input.h"

namespace pel {

class HeldButtons {
 public:
  explicit HeldButtons(Input& input) : input_(input) {}

  // Does, where the pointer is, what an entry of `kind` does: a click, a press, a release, or
  // wheel steps of `delta` (1/120 notches); nothing for a move. False when the window system
  // refused an event.
  bool Play(MotionKind kind, int32_t delta);
  // A press of a button already held, and a release of one this guard did not press, inject
  // nothing: a file cut off or edited by hand must not press twice, nor release a button the
  // user holds. A click of a held button releases it first.
  bool Press(MouseButton button);
  bool Release(MouseButton button);
  bool Click(MouseButton button);
  // Releases every button still held. True when none is left; a release the window system
  // refused stays held, so that the next call tries again. Call it at every end of a playback,
  // before anything modal opens while one runs, and where the program ends; not from a handler
  // of the display's loss, where the display cannot be used.
  bool ReleaseAll();
  bool Held(MouseButton button) const { return held_[static_cast<size_t>(button)]; }
  bool AnyHeld() const;

 private:
  Input& input_;
  std::array<bool, kMouseButtons> held_{};
};

}  // namespace pel
