#pragma once
// Turns what the mouse did into the entries of a recording. Fed in time order with input events
// (the window system's event stream, or the poll's samples where there is none), it stores what
// the mode calls for: sampled (moves, clicks in place, holds as press and release) or every event
// (each its own entry, delays to the microsecond). Both start with kPausesBeforeNote: each delay
// is waited before its entry. The rules: docs/design-notes.md, "The recorder's rules".

#include <array>
#include <functional>
#include <optional>
#include <string>

#include "engine/motionfile/entry_list.h"
#include "engine/motionfile/motion_entry.h"
#include "platform/input_events.h"

namespace pel {

// What a recording takes at a moment: the window's check boxes and the recording options.
struct RecordGates {
  bool moves = true, left = true, middle = true, right = true;
  bool wheel = true, side_buttons = true;
  bool Takes(MouseButton button) const;
};

class EventRecorder {
 public:
  // Appends one entry to the recording, as Recorder::AddMotion does (the list, the unsaved
  // mark); reports its own failures.
  using Sink = std::function<void(const std::string& entry)>;
  explicit EventRecorder(Sink sink) : sink_(std::move(sink)) {}

  // A recording begins with the pointer at `pointer`: forgets the previous one and stores the
  // note.
  void Begin(bool every_event, Point pointer);
  // One event, not older than the events before it (an older one counts as happening with the
  // one before). Gates are read at each event, so a check box changed during a recording
  // counts from its next event; a release whose press was stored is stored whatever they say.
  void Take(const InputEvent& event, const RecordGates& gates);
  // The recording ends at `now`: each button whose press was stored and which is still down is
  // released where the pointer was last seen.
  void End(double now);
  // True while `button` is down and nothing has happened since its press but other clicks: its
  // release where it was pressed would be a click.
  bool HeldInPlace(MouseButton button) const {
    return buttons_[static_cast<size_t>(button)].held == Held::Pending;
  }
  // When the press of `button` that holds it now was made; nullopt while it is up.
  std::optional<double> PressedAt(MouseButton button) const;
  // `button` was let go by `time` although its release never came (the system withheld it from
  // the stream): its release is taken as if it came then, at `pos` (a press held in place is
  // released where it was made). Should the stream's own release come after all, it is dropped.
  void ReleaseUnseen(MouseButton button, Point pos, double time, const RecordGates& gates);

 private:
  enum class Held { No, Pending, Stored };
  struct Button {
    Held held = Held::No;
    double time = 0;      // of the press
    Point pos;            // of the press
    bool unseen = false;  // released by ReleaseUnseen: a release before the next press is late
  };
  // The pointer is at `pos`: a button held in place until now has started a drag.
  void PointerAt(Point pos);
  // Stores the presses held in place so far, in the order they were made.
  void StorePending();
  // Stores an entry, after the presses held in place unless it is a click.
  void Store(MotionKind kind, Point pos, double time, int32_t delta = 0);
  // Stores an entry as it is, with its delay.
  void Emit(MotionKind kind, Point pos, double time, int32_t delta);

  Sink sink_;
  bool every_event_ = false;
  bool started_ = false;  // the clock runs from the first event
  double clock_ = 0;      // when the last stored event happened, to the delays' precision
  Point pos_;
  std::array<Button, kMouseButtons> buttons_{};
};

// True when `list` waits its pauses before their entries, as PausesBeforeRule reads it.
bool PausesBeforeEvents(const EntryList& list);

}  // namespace pel
