#include "engine/recording_step.h"

#include <cmath>

namespace pel {

void RecordingStep::Run(Procedure& p, Mode last_state, const TickSample& tick) {
  Recorder& recorder = host_.recorder;
  MainWindow& window = host_.window;

  if (last_state != Mode::Recording && !KeepPreviousTake()) return;
  p.Step(164, [&] {
    Control& play = window.Get(ControlId::PlayButton);
    if (play.Enabled()) play.SetEnabled(false);
  });
  if (p.Test(166, [&] { return last_state != Mode::Recording; })) {
    p.Step(168, [&] { window.Get(ControlId::RecordButton).SetCaption("Stop"); });
    p.Step(170, [&] {
      if (Checked(window, ControlId::AutoHide) && window.Visible()) window.SetVisible(false);
    });
    // The previous recording goes without a question (kept above when unsaved); unsaved stays
    // as it is.
    if (p.Test(172, [&] { return !recorder.entries.Empty(); }))
      p.Step(174, [&] { recorder.entries.Clear(); });
    // The monitors as they stand, so that playback can find them again; no window is noted yet
    // ...
    p.Step(176, [&] {
      screens_.AddLayoutEntries(recorder.entries);
      windows_.own_window = window.NativeHandle();
      windows_.RecordingStarts();
    });
  } else {
    // ... and the monitors as they stand after a change: the entries from here on are made on
    // them.
    p.Step(176, [&] { screens_.FollowLayout(recorder.entries); });
  }

  // Where the cursor is this tick is unknown: a move or a click stored at the last known
  // position could be far from where it happened, so the tick records nothing.
  if (!tick.cursor_known) return;

  const Point at = tick.cursor;
  // The window a press is made in goes before the tick's entries: they belong to it.
  p.Step(178, [&] {
    const PollInputs& pressed = tick.pressed;
    const PollInputs& down = tick.down;
    windows_.Note(recorder.entries, at, pressed.left || pressed.middle || pressed.right,
                  down.left || down.middle || down.right);
  });
  if (p.Test(178, [&] { return Checked(window, ControlId::RecordMoves); }) &&
      p.Test(180, [&] { return at != last_position; }))
    RecordEvent(p, {.test = 182, .delay = 184, .clamp = 186, .add = 188, .clock = 190}, at,
                MotionKind::Move);
  if (p.Test(192, [&] { return Checked(window, ControlId::RecordLeft) && tick.released.left; }))
    RecordEvent(p, {.test = 194, .delay = 196, .clamp = 198, .add = 200, .clock = 202}, at,
                MotionKind::Left);
  if (p.Test(204, [&] { return Checked(window, ControlId::RecordMiddle) && tick.released.middle; }))
    RecordEvent(p, {.test = 206, .delay = 208, .clamp = 210, .add = 212, .clock = 214}, at,
                MotionKind::Middle);
  if (p.Test(216, [&] { return Checked(window, ControlId::RecordRight) && tick.released.right; }))
    RecordEvent(p, {.test = 218, .delay = 220, .clamp = 222, .add = 224, .clock = 226}, at,
                MotionKind::Right);
}

bool RecordingStep::KeepPreviousTake() {
  note_.clear();
  Recorder& recorder = host_.recorder;
  if (!keep_take_ || !recorder.HasWorkToKeep()) return true;
  // F10 asks nothing, so the take it clears goes to a file of its own first.
  try {
    note_ = "previous take kept in " + keep_take_();
    return true;
  } catch (...) {
    // Cleared now, the take would be lost for good: no recording starts over it.
    recorder.mode = Mode::Idle;
    try {
      host_.window.Get(ControlId::StatusLine)
          .SetCaption("Not recording: the previous take could not be kept (" +
                      ErrorReporter::Describe(std::current_exception()) + "); save it first");
    } catch (...) {
      // The window says nothing then; the take stays in the list all the same.
    }
    return false;
  }
}

// One recorded event: the first of a recording only starts the clock; every later one is
// stored with the milliseconds since the event handled before it.
void RecordingStep::RecordEvent(Procedure& p, const EventSteps& n, Point at, MotionKind kind) {
  Clock& clock = host_.recorder.Host().clock;
  bool added = false;
  double ms = 0;
  if (p.Test(n.test, [&] { return last_event_time_ != 0; })) {
    p.Step(n.delay, [&] {
      double seconds = clock.Now() - last_event_time_;
      // Three decimals of a second, ties to even (the default rounding mode).
      ms = std::nearbyint(seconds * 1000.0);
    });
    p.Step(n.clamp, [&] {
      if (ms < 0) ms = 0;
    });
    p.Step(n.add, [&] { host_.recorder.AddMotion(at.x, at.y, ms, KindText(kind)); });
    added = true;
  }
  p.Step(n.clock, [&] {
    // The clock of the recording moves by the delay just stored rather than jumping to the
    // reading: each delay's rounding is carried into the next one, so the delays add up to the
    // real time between the first event and the last instead of drifting by up to half a
    // millisecond per entry.
    if (added)
      last_event_time_ += ms / 1000.0;
    else
      last_event_time_ = clock.Now();
  });
}

}  // namespace pel
