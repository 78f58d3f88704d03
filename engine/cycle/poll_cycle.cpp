#include "engine/cycle/poll_cycle.h"

#include <algorithm>
#include <utility>

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
  const PlaybackSchedule& schedule = playback_.Schedule();
  if (host_.recorder.mode == Mode::Playing && schedule.OnTime()) {
    // Between the moments of a playback nothing needs a tick, unless input or a command does
    // and no wake-up would bring it, or the pointer is watched (stop on move). Waiting for a
    // window, the next look is the moment.
    const double now = host_.recorder.Host().clock.Now();
    double at = windows_.Waiting() ? windows_.NextLook() : schedule.WakeAt();
    if (!arrived_ || missed_ || !posted_.empty() || playback_.Options().stop_on_move || InputDown())
      at = std::min(at, now + kTickPeriod);
    // The blink is due once the clock is past it. A flip may wait up to a period, as it waited
    // for the next tick of the period: when something else wakes the cycle by then, the flip
    // comes with it instead of waking it once more.
    const double blink = status_.NextBlinkTime() + 1e-6;
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

void PollCycle::AfterTick() {
  if (stopped_) {
    const Stop stop = *stopped_;
    stopped_.reset();
    if (on_stop_) on_stop_(stop.ended, stop.cause);
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
  const bool idle = host_.recorder.mode == Mode::Idle && state_.last_state == Mode::Idle;
  if (!asleep_ && !idle) return;
  SetTimer(false);  // the period counts from the tick below
  SetTimer(true);
  OnTimer();
}

void PollCycle::PressKeys(const PollInputs& keys) {
  PollInputs& k = pressed_elsewhere_;
  k.f12 |= keys.f12;
  k.f10 |= keys.f10;
  k.f9 |= keys.f9;
  k.pause |= keys.pause;
  missed_ = true;
  // No tick from here: it may open a box, and the caller (a command's sender) is answered
  // first. Asleep or set for a later moment, the poll timer starts its period again.
  if ((asleep_ || once_) && SetTimer(true)) once_ = false;
}

bool PollCycle::NeedsTicks() const {
  if (missed_ || in_tick_ || stopped_ || !posted_.empty()) return true;
  if (host_.recorder.mode != Mode::Idle || state_.last_state != Mode::Idle) return true;
  return InputDown();
}

bool PollCycle::InputDown() const {
  const PollInputs& d = state_.down;
  return d.left || d.right || d.middle || d.pause || d.f12 || d.f10 || d.f9;
}

void PollCycle::Tick() {
  TickGuard guard(in_tick_);
  missed_ = false;
  Procedure p(host_.recorder.Host().reporter, where::kTick);
  Recorder& recorder = host_.recorder;
  Input& in = recorder.Host().input;

  TickSample tick;
  tick.cursor = recording_.last_position;
  p.Step(100, [&] { tick.cursor = recorder.GetMousePos(&tick.cursor_known); });
  if (asleep_) {
    // Nothing followed the pointer while asleep: as far as this tick goes, it stands where the
    // previous tick would have found it.
    asleep_ = false;
    recording_.last_position = tick.cursor;
  }

  // An input that cannot be read keeps what the previous tick read.
  PollInputs now = state_.down;
  p.Step(102, [&] { now.left = in.KeyState(vk::kLButton) != 0; });
  p.Step(104, [&] { now.right = in.KeyState(vk::kRButton) != 0; });
  p.Step(106, [&] { now.middle = in.KeyState(vk::kMButton) != 0; });
  p.Step(108, [&] { now.f12 = in.KeyState(vk::kF12) != 0; });
  p.Step(110, [&] { now.f10 = in.KeyState(vk::kF10) != 0; });
  p.Step(112, [&] { now.f9 = in.KeyState(vk::kF9) != 0; });
  p.Step(114, [&] { now.pause = in.KeyState(vk::kPause) != 0; });

  const PollInputs& was = state_.down;
  PollInputs& released = tick.released;
  released.left = was.left && !now.left;
  released.right = was.right && !now.right;
  released.middle = was.middle && !now.middle;
  released.f12 = was.f12 && !now.f12;
  released.f10 = was.f10 && !now.f10;
  released.f9 = was.f9 && !now.f9;
  released.pause = was.pause && !now.pause;
  const PollInputs elsewhere = std::exchange(pressed_elsewhere_, {});
  released.f12 |= elsewhere.f12;
  released.f10 |= elsewhere.f10;
  released.f9 |= elsewhere.f9;
  released.pause |= elsewhere.pause;
  tick.pressed.left = !was.left && now.left;
  tick.pressed.right = !was.right && now.right;
  tick.pressed.middle = !was.middle && now.middle;
  tick.down = now;
  state_.down = now;

  if (released.f12 && !stay_hidden_)
    p.Step(150, [&] { host_.window.SetVisible(!host_.window.Visible()); });

  if (p.Test(152, [&] { return recorder.mode == Mode::Idle; })) {
    if (released.f10) p.Step(154, [&] { recorder.ToggleRecording(); });
    if (released.f9) p.Step(156, [&] { recorder.StartPlaying(); });
  } else if (released.pause) {
    p.Step(158, [&] { recorder.mode = Mode::Idle; });
  }

  Mode mode = Mode::None;
  p.Step(162, [&] { mode = recorder.mode; });
  if (mode == Mode::Recording) {
    recording_.Run(p, state_.last_state, tick, recording_options_);
  } else if (mode == Mode::Playing) {
    if (const std::optional<StopCause> cause =
            playback_.Run(p, state_.last_state, tick, playback_options_))
      EndPlayback(p, *cause);
  } else {
    IdleStep(p);
  }

  status_.Run(p, state_.last_state);

  p.Step(354, [&] { recording_.last_position.x = tick.cursor.x; });
  p.Step(356, [&] { recording_.last_position.y = tick.cursor.y; });
  p.Step(358, [&] { state_.last_state = recorder.mode; });
}

void PollCycle::IdleStep(Procedure& p, StopCause cause) {
  Recorder& recorder = host_.recorder;
  Panel& panel = host_.panel;
  const Mode last = state_.last_state;

  p.Step(288, [&] { playback_.Rewind(); });
  p.Step(288, [&] { playback_.ReleaseButtons(); });
  p.Step(290, [&] { panel.SetEnabled(RunButton::Record, true); });
  p.Step(292, [&] { panel.SetEnabled(RunButton::Play, true); });
  p.Step(294, [&] { recording_.End(recorder.Host().clock.Now()); });
  p.Step(296, [&] { playback_.ClearSchedule(); });
  p.Step(298, [&] {
    if (recorder.mode != Mode::Idle) recorder.mode = Mode::Idle;
  });
  if (!p.Test(300, [&] { return last != Mode::Idle; })) return;
  if (p.Test(302, [&] { return last == Mode::Recording; }))
    p.Step(304, [&] { panel.SetCaption(RunButton::Record, "Record"); });
  else
    p.Step(306, [&] { panel.SetCaption(RunButton::Play, host_.captions.play_button); });
  p.Step(308, [&] { ShowAgain(); });
  if (last == Mode::Recording || last == Mode::Playing) stopped_ = Stop{last, cause};
}

void PollCycle::EndPlayback(Procedure& p, StopCause cause) {
  Recorder& recorder = host_.recorder;
  if (cause != StopCause::NoData) {
    state_.last_state = Mode::Playing;  // the idle step then ends it as it ends any playback
    recorder.mode = Mode::Idle;
    return IdleStep(p, cause);
  }
  p.Step(246, [&] { state_.last_state = Mode::Playing; });
  p.Step(248, [&] { recorder.mode = Mode::Idle; });
  p.Step(248, [&] { playback_.ReleaseButtons(); });
  p.Step(250, [&] {
    host_.dialogs.MessageBox("No Data loaded for Playback", "", MsgButtons::Ok, MsgIcon::None);
  });
  p.Step(252, [&] {
    host_.panel.SetCaption(RunButton::Play, host_.captions.play_button);
    // No tick ran while the box was open, so bring back what Auto Hide took away here,
    // as the end of any other playback does.
    ShowAgain();
  });
  p.Step(254, [&] { playback_.Rewind(); });
  stopped_ = Stop{Mode::Playing, StopCause::NoData};
}

void PollCycle::ShowAgain() {
  MainWindow& window = host_.window;
  if (!stay_hidden_ && host_.panel.On(Gate::AutoShow) && !window.Visible()) window.SetVisible(true);
}

}  // namespace pel
