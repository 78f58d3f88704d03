#include "engine/poll_cycle.h"

#include <cmath>
#include <cstdlib>

#include "engine/motion_entry.h"
#include "engine/screen_layout.h"

namespace pel {

namespace {

// Clears the re-entry flag however the tick ends.
struct TickGuard {
  bool& flag;
  explicit TickGuard(bool& f) : flag(f) { flag = true; }
  ~TickGuard() { flag = false; }
};

std::string Upper(std::string_view s) {
  std::string u(s);
  for (char& c : u)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return u;
}

}  // namespace

bool PollCycle::Checked(ControlId id) {
  return host_.form.Get(id).Value() != 0;
}

void PollCycle::Timer1_Timer() {
  if (in_tick_) {
    missed_ = true;
    return;
  }
  Tick();
  AfterTick();
  if (arrived_ && !NeedsTicks() && !arrived_()) asleep_ = SetTimer(false);
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
  // Asleep, no tick would come to run it: Timer1 starts again, and its first tick ends the sleep.
  if (asleep_) SetTimer(true);
}

bool PollCycle::SetTimer(bool enabled) {
  // A timer that cannot be stopped keeps ticking, as it always did; one that cannot be started
  // again still gets the tick that Wake runs at once.
  try {
    host_.form.SetTimerEnabled(enabled);
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
  const bool idle = host_.engine.RecorderState == Mode::Idle && State.LastState == Mode::Idle;
  if (!asleep_ && !idle) return;
  SetTimer(false);  // the period counts from the tick below
  SetTimer(true);
  Timer1_Timer();
}

bool PollCycle::NeedsTicks() const {
  const PollState& s = State;
  if (missed_ || in_tick_ || stopped_ || !posted_.empty()) return true;
  if (host_.engine.RecorderState != Mode::Idle || s.LastState != Mode::Idle) return true;
  return s.PrevLeft || s.PrevRight || s.PrevMiddle || s.PrevPause || s.PrevF12 || s.PrevF10 ||
         s.PrevF9;
}

void PollCycle::Tick() {
  TickGuard guard(in_tick_);
  missed_ = false;
  Procedure p(host_.engine.Host().reporter, "Form1.Timer1_Timer");
  Recorder& e = host_.engine;
  Input& in = e.Host().input;
  PollState& s = State;

  int32_t x = s.LastX, y = s.LastY;
  bool cursor_known = false;
  p.Step(100, [&] {
    const Point pos = e.GetMousePos(&cursor_known);
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

  if (r.F12 && !StayHidden) p.Step(150, [&] { host_.form.SetVisible(!host_.form.Visible()); });

  if (p.Test(152, [&] { return e.RecorderState == Mode::Idle; })) {
    if (r.F10) p.Step(154, [&] { e.ToggleRecording(); });
    if (r.F9) p.Step(156, [&] { e.StartPlaying(); });
  } else if (r.Pause) {
    p.Step(158, [&] { e.RecorderState = Mode::Idle; });
  }

  Mode state = Mode::None;
  p.Step(162, [&] { state = e.RecorderState; });
  if (state == Mode::Recording)
    RecordingStep(p, x, y, cursor_known, r);
  else if (state == Mode::Playing)
    PlaybackStep(p, x, y, cursor_known);
  else
    IdleStep(p);

  StatusStep(p);

  p.Step(354, [&] { s.LastX = x; });
  p.Step(356, [&] { s.LastY = y; });
  p.Step(358, [&] { s.LastState = e.RecorderState; });
}

void PollCycle::RecordingStep(Procedure& p, int32_t x, int32_t y, bool cursor_known,
                              const Releases& r) {
  Recorder& e = host_.engine;
  MainWindow& form = host_.form;
  PollState& s = State;

  p.Step(164, [&] {
    Control& play = form.Get(ControlId::PushButton2);
    if (play.Enabled()) play.SetEnabled(false);
  });
  if (p.Test(166, [&] { return s.LastState != Mode::Recording; })) {
    p.Step(168, [&] { form.Get(ControlId::PushButton1).SetCaption("Stop"); });
    p.Step(170, [&] {
      if (Checked(ControlId::cWndAutoHide) && form.Visible()) form.SetVisible(false);
    });
    // The previous recording goes without a question; UnsavedChanges stays as it is.
    if (p.Test(172, [&] { return !e.MotionList.Empty(); }))
      p.Step(174, [&] { e.MotionList.Clear(); });
    p.Step(176, [&] { Screens.AddLayoutEntries(e.MotionList); });  // screen layout
  }

  // Where the cursor is this tick is unknown: a move or a click stored at the last known
  // position could be far from where it happened, so the tick records nothing.
  if (!cursor_known) return;

  if (p.Test(178, [&] { return Checked(ControlId::cRecMovement); }) &&
      p.Test(180, [&] { return x != s.LastX || y != s.LastY; }))
    RecordEvent(p, 182, x, y, MotionKind::Move);
  if (p.Test(192, [&] { return Checked(ControlId::cRecLeftClick) && r.Left; }))
    RecordEvent(p, 194, x, y, MotionKind::Left);
  if (p.Test(204, [&] { return Checked(ControlId::cRecMiddleClick) && r.Middle; }))
    RecordEvent(p, 206, x, y, MotionKind::Middle);
  if (p.Test(216, [&] { return Checked(ControlId::cRecRightClick) && r.Right; }))
    RecordEvent(p, 218, x, y, MotionKind::Right);
}

// One recorded event: the first of a recording only starts the clock; every later one is
// stored with the milliseconds since the event handled before it.
void PollCycle::RecordEvent(Procedure& p, int first_step, int32_t x, int32_t y, MotionKind kind) {
  Recorder& e = host_.engine;
  Clock& clock = e.Host().clock;
  PollState& s = State;
  bool added = false;
  double ms = 0;
  if (p.Test(first_step, [&] { return s.LastEventTime != 0; })) {
    p.Step(first_step + 2, [&] {
      double seconds = clock.Now() - s.LastEventTime;
      // Three decimals of a second, ties to even (the default rounding mode).
      ms = std::nearbyint(seconds * 1000.0);
    });
    p.Step(first_step + 4, [&] {
      if (ms < 0) ms = 0;
    });
    p.Step(first_step + 6, [&] { e.AddMotion(x, y, ms, KindText(kind)); });
    added = true;
  }
  p.Step(first_step + 8, [&] {
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

// An entry as playback reads it.
struct PollCycle::Motion {
  int step = 0;  // step number of the placement
  void (*click)(Input&) = nullptr;
  int32_t x = 0, y = 0;
  double wait = 0;  // seconds, as recorded
  int WaitStep() const { return step + (click ? 4 : 2); }
};

double PollCycle::Speed() const {
  const double f = Options.speed;
  return f > 0 && std::isfinite(f) ? f : 1.0;
}

bool PollCycle::Paced() const {
  return Options.wait_before || Speed() != 1.0;
}

void PollCycle::PlaybackStep(Procedure& p, int32_t x, int32_t y, bool cursor_known) {
  Recorder& e = host_.engine;
  MainWindow& form = host_.form;
  Clock& clock = e.Host().clock;
  Input& in = e.Host().input;
  PollState& s = State;

  p.Step(230, [&] {
    Control& rec = form.Get(ControlId::PushButton1);
    if (rec.Enabled()) rec.SetEnabled(false);
  });
  if (p.Test(232, [&] { return s.LastState != Mode::Playing; })) {
    s.BadEntryReported = false;  // each playback may report one unplayable entry
    s.PassesDone = 0;
    s.Placed = false;
    // Presses made before the playback (on its own start button) are not the user taking over.
    if (Options.stop_on_move) in.UserButtonPresses();
    p.Step(234, [&] { form.Get(ControlId::PushButton2).SetCaption("Stop"); });
    p.Step(236, [&] {
      if (Checked(ControlId::cWndAutoHide) && form.Visible()) form.SetVisible(false);
    });
    if (Paced()) s.NextPlayTime = clock.Now();
    Screens.PlaybackStarts(e.MotionList);  // screen layout
  } else if (Options.stop_on_move) {
    StopCause why;
    if (UserTookMouse(x, y, cursor_known, why)) return EndPlayback(p, why);
  }

  placed_now_ = false;
  if (Paced()) {
    PacedSteps(p);
  } else if (p.Test(238, [&] { return clock.Now() > s.NextPlayTime; })) {
    // Screen layout: its entries take no playback time, the next entry plays in their place.
    p.Step(240, [&] { s.PlayIndex = SkipLayoutEntries(e.MotionList, s.PlayIndex + 1); });
    Motion m;
    if (p.Test(242, [&] { return s.PlayIndex > e.MotionList.Count(); })) {
      EndOfList(p);
    } else if (ReadMotion(p, s.PlayIndex, m)) {
      PlayEntry(p, m);
      p.Step(m.WaitStep(), [&] {
        // The wait runs from when this entry was due, not from the tick that happened to play
        // it: ticks come a little early or late, and counting from the tick would add each
        // tick's lateness to every later entry (a 10 ms recording replayed at ticks of 9.5
        // and 10.6 ms ran a third slower). Far behind the schedule (a held-up tick), it starts
        // again from now.
        const double now = clock.Now();
        if (s.NextPlayTime != 0 && now - s.NextPlayTime < kResyncAfter)
          s.NextPlayTime += m.wait;
        else
          s.NextPlayTime = now + m.wait;
      });
    }
  }

  if (placed_now_ && Options.stop_on_move) {
    // Where the window system really put the pointer (clamped to the screen, say) is what the
    // next tick compares with.
    Point at;
    if (in.CursorPos(at)) s.PlacedAt = at;
  }
}

void PollCycle::PacedSteps(Procedure& p) {
  Recorder& e = host_.engine;
  Clock& clock = e.Host().clock;
  PollState& s = State;
  const double speed = Speed();
  const bool before = Options.wait_before;

  double now = 0;
  if (!p.Test(238, [&] { return now = clock.Now(), true; })) return;
  // Waits before entries replay moments the recording took at its own ticks, so each entry is
  // due at about the moment of a tick; played only once due, a tick a little early would put it
  // off by a whole tick (and a late one after that would restart the schedule). Such a tick
  // plays what is due before the midpoint to the next one: the tick nearest the due moment.
  const double horizon = before ? now + kTickPeriod / 2 : now;
  bool first = true;
  // At most one pass and its end per tick: a list whose entries take no time (or that holds
  // none of the known kinds) would otherwise never let the tick end.
  for (int32_t budget = e.MotionList.Count() + 1; budget > 0; --budget) {
    double due = s.NextPlayTime;
    if (!before && !(due <= now)) break;
    const int32_t next = s.PlayIndex + 1;
    const bool end = p.Test(242, [&] { return next > e.MotionList.Count(); });
    Motion m;
    const bool playable = !end && ReadMotion(p, next, m);
    const double wait = playable ? m.wait / speed : 0;
    if (before) {
      due += wait;
      if (!(due <= horizon)) break;
    }
    // The first entry of a tick is at most a tick late; more means a held-up tick, and the
    // schedule starts again from now rather than racing to catch up.
    if (first && now - due >= kResyncAfter) due = now;
    first = false;
    p.Step(240, [&] { ++s.PlayIndex; });
    if (end) {
      s.NextPlayTime = due;
      if (!EndOfList(p)) return;
      continue;
    }
    if (playable) PlayEntry(p, m);
    s.NextPlayTime = before ? due : due + wait;
  }
}

bool PollCycle::ReadMotion(Procedure& p, int32_t index, Motion& m) {
  Recorder& e = host_.engine;
  PollState& s = State;
  std::string entry;
  std::optional<MotionKind> kind;
  p.Step(256, [&] {
    entry = std::string(e.MotionList.Item(index));
    kind = EntryKind(entry);
  });
  if (kind == MotionKind::Move) {
    m.step = 258;
  } else if (kind == MotionKind::Left) {
    m.step = 264;
    m.click = ClickLeft;
  } else if (kind == MotionKind::Middle) {
    m.step = 272;
    m.click = ClickMiddle;
  } else if (kind == MotionKind::Right) {
    m.step = 280;
    m.click = ClickRight;
  } else {
    return false;  // not a motion entry: skipped
  }
  // An entry whose numbers do not fit (a loaded "1e300" or "1e400") is skipped like one of
  // another kind. Its failure is reported at the step that reads the number, but only for the
  // first such entry of a playback: the list repeats until stopped, and a box at every pass
  // would never end.
  auto read = [&](int number, auto&& action) {
    if (!s.BadEntryReported) {
      const bool ok = p.Test(number, [&] { return action(), true; });
      if (!ok) s.BadEntryReported = true;
      return ok;
    }
    try {
      action();
      return true;
    } catch (...) {
      return false;
    }
  };
  auto coordinates = [&] {
    m.x = EntryCoordinate(entry, 2);
    m.y = EntryCoordinate(entry, 3);
  };
  auto delay = [&] { m.wait = EntryWaitSeconds(entry); };
  return read(m.step, coordinates) && read(m.WaitStep(), delay);
}

void PollCycle::PlayEntry(Procedure& p, const Motion& m) {
  Input& in = host_.engine.Host().input;
  Point at{m.x, m.y};
  p.Step(m.step, [&] {
    at = Screens.Map(at);  // screen layout
    SetMousePos(in, at.x, at.y);
  });
  if (m.click) p.Step(m.step + 2, [&] { m.click(in); });
  placed_now_ = true;
  State.Placed = true;
  State.PlacedAt = at;
}

bool PollCycle::EndOfList(Procedure& p) {
  Recorder& e = host_.engine;
  MainWindow& form = host_.form;
  PollState& s = State;
  if (p.Test(244, [&] { return HoldsNoMotion(e.MotionList); })) {  // screen layout
    p.Step(246, [&] { s.LastState = Mode::Playing; });
    p.Step(248, [&] { e.RecorderState = Mode::Idle; });
    p.Step(250, [&] {
      host_.dialogs.MessageBox("No Data loaded for Playback", "", MsgButtons::Ok, MsgIcon::None);
    });
    p.Step(252, [&] {
      form.Get(ControlId::PushButton2).SetCaption(host_.globals.PlayButtonCaption);
      // No tick ran while the box was open, so bring back what Auto Hide took away here,
      // as the end of any other playback does.
      if (!StayHidden && Checked(ControlId::cWndAutoShow) && !form.Visible()) form.SetVisible(true);
    });
    p.Step(254, [&] { s.PlayIndex = 0; });
    stopped_ = true;
    stopped_mode_ = Mode::Playing;
    stopped_cause_ = StopCause::NoData;
    return false;
  }
  // With entries, the list starts again at entry 1.
  p.Step(254, [&] { s.PlayIndex = 0; });
  ++s.PassesDone;
  if (Options.repeat > 0 && s.PassesDone >= Options.repeat) {
    EndPlayback(p, StopCause::Passes);
    return false;
  }
  return true;
}

void PollCycle::EndPlayback(Procedure& p, StopCause cause) {
  cause_ = cause;
  State.LastState = Mode::Playing;  // the idle step then ends it as it ends any playback
  host_.engine.RecorderState = Mode::Idle;
  IdleStep(p);
}

bool PollCycle::UserTookMouse(int32_t x, int32_t y, bool cursor_known, StopCause& cause) {
  const PollState& s = State;
  if (host_.engine.Host().input.UserButtonPresses() != 0) {
    cause = StopCause::UserClicked;
    return true;
  }
  auto away = [](int32_t a, int32_t b) {
    return std::abs(static_cast<int64_t>(a) - b) > kMoveTolerance;
  };
  if (cursor_known && s.Placed && (away(x, s.PlacedAt.x) || away(y, s.PlacedAt.y))) {
    cause = StopCause::UserMoved;
    return true;
  }
  return false;
}

void PollCycle::IdleStep(Procedure& p) {
  Recorder& e = host_.engine;
  MainWindow& form = host_.form;
  PollState& s = State;

  p.Step(288, [&] {
    if (s.PlayIndex != 0) s.PlayIndex = 0;
  });
  p.Step(290, [&] {
    Control& rec = form.Get(ControlId::PushButton1);
    if (!rec.Enabled()) rec.SetEnabled(true);
  });
  p.Step(292, [&] {
    Control& play = form.Get(ControlId::PushButton2);
    if (!play.Enabled()) play.SetEnabled(true);
  });
  p.Step(294, [&] {
    if (s.LastEventTime != 0) s.LastEventTime = 0;
  });
  p.Step(296, [&] {
    if (s.NextPlayTime != 0) s.NextPlayTime = 0;
  });
  p.Step(298, [&] {
    if (e.RecorderState != Mode::Idle) e.RecorderState = Mode::Idle;
  });
  if (p.Test(300, [&] { return s.LastState != Mode::Idle; })) {
    if (p.Test(302, [&] { return s.LastState == Mode::Recording; }))
      p.Step(304, [&] { form.Get(ControlId::PushButton1).SetCaption("Record"); });
    else
      p.Step(306,
             [&] { form.Get(ControlId::PushButton2).SetCaption(host_.globals.PlayButtonCaption); });
    p.Step(308, [&] {
      if (!StayHidden && Checked(ControlId::cWndAutoShow) && !form.Visible()) form.SetVisible(true);
    });
    if (s.LastState == Mode::Recording || s.LastState == Mode::Playing) {
      stopped_ = true;
      stopped_mode_ = s.LastState;
      stopped_cause_ = s.LastState == Mode::Playing ? cause_ : StopCause::Command;
    }
  }
  cause_ = StopCause::Command;
}

void PollCycle::StatusStep(Procedure& p) {
  Recorder& e = host_.engine;
  Clock& clock = e.Host().clock;
  PollState& s = State;
  Control& status = host_.form.Get(ControlId::lState);

  const bool recording = e.RecorderState == Mode::Recording;
  if (!p.Test(312, [&] { return recording || e.RecorderState == Mode::Playing; })) {
    p.Step(350, [&] { host_.indicators.Close(IndicatorId::Rec); });
    p.Step(352, [&] { host_.indicators.Close(IndicatorId::Play); });
    return;
  }
  if (p.Test(314, [&] { return e.RecorderState != s.LastState; })) {
    p.Step(316, [&] { s.BlinkOn = false; });
    p.Step(318, [&] {
      // Built in place: GCC 12 at -O3 warns falsely (-Wrestrict) on "[" + text + "]".
      std::string caption = Upper(StateText(e.RecorderState));
      caption.insert(0, 1, '[');
      caption.push_back(']');
      if (e.RecorderState == Mode::Playing && Screens.Mapped())  // screen layout
        caption.append(" ").append(kLayoutMappedNote);
      status.SetCaption(caption);
    });
  }
  if (!p.Test(320, [&] { return clock.Now() > s.NextBlinkTime; })) return;
  p.Step(322, [&] { s.NextBlinkTime = clock.Now() + kBlinkPeriod; });
  p.Step(324, [&] { s.BlinkOn = !s.BlinkOn; });
  const IndicatorId id = recording ? IndicatorId::Rec : IndicatorId::Play;
  const int base = recording ? 328 : 340;
  if (!recording)
    p.Step(338, [&] {
      if (status.ForeColor() != color::kGreen) status.SetForeColor(color::kGreen);
    });
  // The off phase hides the window: moved above the primary screen, it would stand on a
  // monitor above that one. Placed before it shows, it never appears anywhere else.
  p.Step(base, [&] { host_.indicators.Ref(id); });
  if (p.Test(base + 2, [&] { return s.BlinkOn; }))
    p.Step(base + 4, [&] {
      IndicatorWindow& w = host_.indicators.Ref(id);
      w.SetTop(0);
      if (!w.Visible()) w.SetVisible(true);
    });
  else
    p.Step(base + 6, [&] {
      IndicatorWindow& w = host_.indicators.Ref(id);
      if (w.Visible()) w.SetVisible(false);
    });
  if (recording)
    p.Step(336, [&] {
      if (status.ForeColor() != color::kRed) status.SetForeColor(color::kRed);
    });
}

}  // namespace pel
