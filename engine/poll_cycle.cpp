#include "engine/poll_cycle.h"

#include <algorithm>

namespace pel {

namespace {

// Sets a re-entry flag for a scope and gives it back its value however the scope ends (a tick
// run from inside a modal window of a posted task is inside the cycle of the one that posted).
struct TickGuard {
  bool& flag;
  bool was;
  explicit TickGuard(bool& f) : flag(f), was(f) { flag = true; }
  ~TickGuard() { flag = was; }
};

}  // namespace

bool PollCycle::Checked(ControlId id) {
  return host_.window.Get(id).Value() != 0;
}

void PollCycle::OnTimer() {
  if (in_tick_) {
    missed_ = true;
    return;
  }
  TickGuard guard(in_cycle_);
  Tick();
  AfterTick();
  PlanTimer();
}

void PollCycle::PlanTimer() {
  if (host_.recorder.mode == Mode::Playing && State.Schedule.OnTime()) {
    // Between the moments of a playback nothing needs a tick, unless input or a command does
    // and no wake-up would bring it, or the pointer is watched (stop on move).
    const PollState& s = State;
    const double now = host_.recorder.Host().clock.Now();
    double at = s.Schedule.WakeAt();
    if (!arrived_ || missed_ || !posted_.empty() || Options.stop_on_move || InputDown())
      at = std::min(at, now + kTickPeriod);
    // The blink is due once the clock is past it. A flip may wait up to a period, as it waited
    // for the next tick of the period: when something else wakes the cycle by then, the flip
    // comes with it instead of waking it once more.
    const double blink = s.NextBlinkTime + 1e-6;
    if (at < blink || at > blink + kTickPeriod) at = std::min(at, blink);
    try {
      host_.window.SetNextTick(at - now);
      once_ = true;
      return;
    } catch (...) {
      // A timer that cannot be set for a moment plays on the period, whatever the failed call
      // left of it.
      once_ = true;
    }
  }
  if (arrived_ && !NeedsTicks() && !arrived_()) {
    asleep_ = SetTimer(false);
    if (asleep_) once_ = false;
  }
  if (once_ && SetTimer(true)) once_ = false;
}

bool PollCycle::TickBound() {
  try {
    return host_.recorder.Host().env.Get("PEL_TICK_BOUND_PLAYBACK").has_value();
  } catch (...) {
    return false;
  }
}

void PollCycle::AfterTick() {
  if (stopped_) {
    stopped_ = false;
    if (OnStop) OnStop(stopped_mode_, stopped_cause_);
  }
  // A task may post another one: that one waits for the next tick.
  std::vector<std::function<void()>> tasks;
  tasks.swap(posted_);
  for (auto& task : tasks) task();
}

void PollCycle::Post(std::function<void()> task) {
  posted_.push_back(std::move(task));
  // Asleep or set for a later moment, no tick would come soon to run it: the poll timer starts its
  // period again, and its first tick ends the sleep.
  if ((asleep_ || once_) && SetTimer(true)) once_ = false;
}

bool PollCycle::SetTimer(bool enabled) {
  // A timer that cannot be stopped keeps ticking, as it always did; one that cannot be started
  // again still gets the tick that Wake runs at once.
  try {
    host_.window.SetTimerEnabled(enabled);
    return true;
  } catch (...) {
    return false;
  }
}

void PollCycle::SleepWhenIdle(std::function<bool()> arrived) {
  arrived_ = std::move(arrived);
}

void PollCycle::Wake() {
  if (!arrived_) return;
  if (in_tick_) {
    // The running tick (waiting in a modal box) may have read its inputs already.
    missed_ = true;
    return;
  }
  if (once_) {
    // The poll timer is set for the next moment of a playback: tick now, and that tick sets it
    // again.
    if (in_cycle_)
      missed_ = true;
    else
      OnTimer();
    return;
  }
  const bool idle = host_.recorder.mode == Mode::Idle && State.LastState == Mode::Idle;
  if (!asleep_ && !idle) return;
  SetTimer(false);  // The period counts from the tick below
  SetTimer(true);
  OnTimer();
}

bool PollCycle::NeedsTicks() const {
  const PollState& s = State;
  if (missed_ || in_tick_ || stopped_ || !posted_.empty()) return true;
  if (host_.recorder.mode != Mode::Idle || s.LastState != Mode::Idle) return true;
  return InputDown();
}

bool PollCycle::InputDown() const {
  const PollState& s = State;
  return s.PrevLeft || s.PrevRight || s.PrevMiddle || s.PrevPause || s.PrevF12 || s.PrevF10 ||
         s.PrevF9;
}

void PollCycle::Tick() {
  TickGuard guard(in_tick_);
  missed_ = false;
  Procedure p(host_.recorder.Host().reporter, where::kTick);
  Recorder& recorder = host_.recorder;
  Input& in = recorder.Host().input;
  PollState& s = State;

  int32_t x = s.LastX, y = s.LastY;
  bool cursor_known = false;
  p.Step(100, [&] {
    const Point pos = recorder.GetMousePos(&cursor_known);
    x = pos.x;
    y = pos.y;
  });
  if (asleep_) {
    // Nothing followed the pointer while asleep: as far as this tick goes, it stands where the
    // previous tick would have found it.
    asleep_ = false;
    s.LastX = x;
    s.LastY = y;
  }

  p.Step(102, [&] { s.CurLeft = in.KeyState(vk::kLButton) != 0; });
  p.Step(104, [&] { s.CurRight = in.KeyState(vk::kRButton) != 0; });
  p.Step(106, [&] { s.CurMiddle = in.KeyState(vk::kMButton) != 0; });
  p.Step(108, [&] { s.CurF12 = in.KeyState(vk::kF12) != 0; });
  p.Step(110, [&] { s.CurF10 = in.KeyState(vk::kF10) != 0; });
  p.Step(112, [&] { s.CurF9 = in.KeyState(vk::kF9) != 0; });
  p.Step(114, [&] { s.CurPause = in.KeyState(vk::kPause) != 0; });

  Releases r;
  r.Left = s.PrevLeft && !s.CurLeft;
  r.Right = s.PrevRight && !s.CurRight;
  r.Middle = s.PrevMiddle && !s.CurMiddle;
  r.F12 = s.PrevF12 && !s.CurF12;
  r.F10 = s.PrevF10 && !s.CurF10;
  r.F9 = s.PrevF9 && !s.CurF9;
  r.Pause = s.PrevPause && !s.CurPause;

  s.PrevLeft = s.CurLeft;
  s.PrevRight = s.CurRight;
  s.PrevMiddle = s.CurMiddle;
  s.PrevF12 = s.CurF12;
  s.PrevF10 = s.CurF10;
  s.PrevF9 = s.CurF9;
  s.PrevPause = s.CurPause;

  if (r.F12 && !StayHidden) p.Step(150, [&] { host_.window.SetVisible(!host_.window.Visible()); });

  if (p.Test(152, [&] { return recorder.mode == Mode::Idle; })) {
    if (r.F10) p.Step(154, [&] { recorder.ToggleRecording(); });
    if (r.F9) p.Step(156, [&] { recorder.StartPlaying(); });
  } else if (r.Pause) {
    p.Step(158, [&] { recorder.mode = Mode::Idle; });
  }

  Mode state = Mode::None;
  p.Step(162, [&] { state = recorder.mode; });
  if (state == Mode::Recording)
    RecordingStep(p, x, y, cursor_known, r);
  else if (state == Mode::Playing)
    PlaybackStep(p, x, y, cursor_known);
  else
    IdleStep(p);

  StatusStep(p);

  p.Step(354, [&] { s.LastX = x; });
  p.Step(356, [&] { s.LastY = y; });
  p.Step(358, [&] { s.LastState = recorder.mode; });
}

void PollCycle::IdleStep(Procedure& p) {
  Recorder& recorder = host_.recorder;
  MainWindow& window = host_.window;
  PollState& s = State;

  p.Step(288, [&] {
    if (s.PlayIndex != 0) s.PlayIndex = 0;
  });
  p.Step(290, [&] {
    Control& rec = window.Get(ControlId::RecordButton);
    if (!rec.Enabled()) rec.SetEnabled(true);
  });
  p.Step(292, [&] {
    Control& play = window.Get(ControlId::PlayButton);
    if (!play.Enabled()) play.SetEnabled(true);
  });
  p.Step(294, [&] {
    if (s.LastEventTime != 0) s.LastEventTime = 0;
  });
  p.Step(296, [&] {
    if (!s.Schedule.Cleared()) s.Schedule.Clear();
  });
  p.Step(298, [&] {
    if (recorder.mode != Mode::Idle) recorder.mode = Mode::Idle;
  });
  if (p.Test(300, [&] { return s.LastState != Mode::Idle; })) {
    if (p.Test(302, [&] { return s.LastState == Mode::Recording; }))
      p.Step(304, [&] { window.Get(ControlId::RecordButton).SetCaption("Record"); });
    else
      p.Step(306,
             [&] { window.Get(ControlId::PlayButton).SetCaption(host_.captions.play_button); });
    p.Step(308, [&] {
      if (!StayHidden && Checked(ControlId::AutoShow) && !window.Visible()) window.SetVisible(true);
    });
    if (s.LastState == Mode::Recording || s.LastState == Mode::Playing) {
      stopped_ = true;
      stopped_mode_ = s.LastState;
      stopped_cause_ = s.LastState == Mode::Playing ? cause_ : StopCause::Command;
    }
  }
  cause_ = StopCause::Command;
}

}  // namespace pel
