// The recording step of the poll tick: what a tick while recording turns into motion entries.
#include <cmath>

#include "engine/poll_cycle.h"

namespace pel {

void PollCycle::RecordingStep(Procedure& p, int32_t x, int32_t y, bool cursor_known,
                              const Releases& r) {
  Recorder& recorder = host_.recorder;
  MainWindow& window = host_.window;
  PollState& s = State;

  p.Step(164, [&] {
    Control& play = window.Get(ControlId::PlayButton);
    if (play.Enabled()) play.SetEnabled(false);
  });
  if (p.Test(166, [&] { return s.LastState != Mode::Recording; })) {
    p.Step(168, [&] { window.Get(ControlId::RecordButton).SetCaption("Stop"); });
    p.Step(170, [&] {
      if (Checked(ControlId::AutoHide) && window.Visible()) window.SetVisible(false);
    });
    // The previous recording goes without a question; unsaved stays as it is.
    if (p.Test(172, [&] { return !recorder.entries.Empty(); }))
      p.Step(174, [&] { recorder.entries.Clear(); });
    // The monitors as they stand, so that playback can find them again.
    p.Step(176, [&] { Screens.AddLayoutEntries(recorder.entries); });
  }

  // Where the cursor is this tick is unknown: a move or a click stored at the last known
  // position could be far from where it happened, so the tick records nothing.
  if (!cursor_known) return;

  if (p.Test(178, [&] { return Checked(ControlId::RecordMoves); }) &&
      p.Test(180, [&] { return x != s.LastX || y != s.LastY; }))
    RecordEvent(p, {182, 184, 186, 188, 190}, x, y, MotionKind::Move);
  if (p.Test(192, [&] { return Checked(ControlId::RecordLeft) && r.Left; }))
    RecordEvent(p, {194, 196, 198, 200, 202}, x, y, MotionKind::Left);
  if (p.Test(204, [&] { return Checked(ControlId::RecordMiddle) && r.Middle; }))
    RecordEvent(p, {206, 208, 210, 212, 214}, x, y, MotionKind::Middle);
  if (p.Test(216, [&] { return Checked(ControlId::RecordRight) && r.Right; }))
    RecordEvent(p, {218, 220, 222, 224, 226}, x, y, MotionKind::Right);
}

// One recorded event: the first of a recording only starts the clock; every later one is
// stored with the milliseconds since the event handled before it.
void PollCycle::RecordEvent(Procedure& p, const EventSteps& n, int32_t x, int32_t y,
                            MotionKind kind) {
  Recorder& recorder = host_.recorder;
  Clock& clock = recorder.Host().clock;
  PollState& s = State;
  bool added = false;
  double ms = 0;
  if (p.Test(n.test, [&] { return s.LastEventTime != 0; })) {
    p.Step(n.delay, [&] {
      double seconds = clock.Now() - s.LastEventTime;
      // Three decimals of a second, ties to even (the default rounding mode).
      ms = std::nearbyint(seconds * 1000.0);
    });
    p.Step(n.clamp, [&] {
      if (ms < 0) ms = 0;
    });
    p.Step(n.add, [&] { recorder.AddMotion(x, y, ms, KindText(kind)); });
    added = true;
  }
  p.Step(n.clock, [&] {
    // The clock of the recording moves by the delay just stored rather than jumping to the
    // reading: each delay's rounding is carried into the next one, so the delays add up to the
    // real time between the first event and the last instead of drifting by up to half a
    // millisecond per entry.
    if (added)
      s.LastEventTime += ms / 1000.0;
    else
      s.LastEventTime = clock.Now();
  });
}

}  // namespace pel
