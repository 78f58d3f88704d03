// The playback step of the poll tick: which entry plays, how it is read and played, the end of
// the list and of the playback, and stop on move. When entries are due is PlaybackSchedule's.
#include <cstdlib>

#include "engine/motion_entry.h"
#include "engine/poll_cycle.h"
#include "engine/screen_layout.h"
#include "platform/error.h"

namespace pel {

// An entry as playback reads it, with the step numbers of its kind.
struct PollCycle::Motion {
  int place = 0;       // SetMousePos
  int click_step = 0;  // the click, if any
  int wait_step = 0;   // the wait that follows
  void (*click)(Input&) = nullptr;
  int32_t x = 0, y = 0;
  double wait = 0;  // seconds, as recorded
};

void PollCycle::PlaybackStep(Procedure& p, int32_t x, int32_t y, bool cursor_known) {
  Recorder& recorder = host_.recorder;
  MainWindow& window = host_.window;
  Clock& clock = recorder.Host().clock;
  Input& in = recorder.Host().input;
  PollState& s = State;

  p.Step(230, [&] {
    Control& rec = window.Get(ControlId::RecordButton);
    if (rec.Enabled()) rec.SetEnabled(false);
  });
  if (p.Test(232, [&] { return s.LastState != Mode::Playing; })) {
    s.BadEntryReported = false;  // each playback may report one unplayable entry
    s.PassesDone = 0;
    s.Placed = false;
    // Presses made before the playback (on its own start button) are not the user taking over.
    if (Options.stop_on_move) in.UserButtonPresses();
    p.Step(234, [&] { window.Get(ControlId::PlayButton).SetCaption("Stop"); });
    p.Step(236, [&] {
      if (Checked(ControlId::AutoHide) && window.Visible()) window.SetVisible(false);
    });
    s.Schedule.Begin(Options, clock.Now(), !TickBound());
    Screens.PlaybackStarts(recorder.entries);
  } else if (Options.stop_on_move) {
    StopCause why;
    if (UserTookMouse(x, y, cursor_known, why)) return EndPlayback(p, why);
  }

  placed_now_ = false;
  if (s.Schedule.Paced()) {
    PacedSteps(p);
  } else if (p.Test(238, [&] { return s.Schedule.Due(clock.Now()); })) {
    // The screen layout's entries take no playback time: the next entry plays in their place.
    p.Step(240, [&] { s.PlayIndex = SkipLayoutEntries(recorder.entries, s.PlayIndex + 1); });
    Motion m;
    // The end of the list and an entry of another kind each cost a tick.
    if (p.Test(242, [&] { return s.PlayIndex > recorder.entries.Count(); })) {
      if (EndOfList(p)) s.Schedule.WaitATick(clock.Now());
    } else if (ReadMotion(p, s.PlayIndex, m)) {
      PlayEntry(p, m);
      p.Step(m.wait_step, [&] { s.Schedule.Played(clock.Now(), m.wait); });
    } else {
      s.Schedule.WaitATick(clock.Now());
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
  Recorder& recorder = host_.recorder;
  Clock& clock = recorder.Host().clock;
  PollState& s = State;
  PlaybackSchedule& schedule = s.Schedule;

  double now = 0;
  if (!p.Test(238, [&] { return now = clock.Now(), schedule.StartTick(now), true; })) return;
  // At most one pass and its end per tick: a list whose entries take no time (or that holds
  // none of the known kinds) would otherwise never let the tick end.
  int32_t budget = recorder.entries.Count() + 1;
  for (; budget > 0; --budget) {
    if (schedule.NothingDue()) break;
    const int32_t next = SkipLayoutEntries(recorder.entries, s.PlayIndex + 1);
    const bool end = p.Test(242, [&] { return next > recorder.entries.Count(); });
    Motion m;
    const bool playable = !end && ReadMotion(p, next, m);
    const double wait = playable ? m.wait : 0;
    double due = 0;
    if (!schedule.Take(wait, due)) break;
    p.Step(240, [&] { s.PlayIndex = next; });
    if (end) {
      schedule.Took(due, 0);
      if (!EndOfList(p)) return;
      continue;
    }
    if (playable) PlayEntry(p, m);
    schedule.Took(due, wait);
  }
  if (budget == 0) schedule.WaitATick(now);
}

bool PollCycle::ReadMotion(Procedure& p, int32_t index, Motion& m) {
  Recorder& recorder = host_.recorder;
  PollState& s = State;
  std::string entry;
  std::optional<MotionKind> kind;
  p.Step(256, [&] {
    entry = std::string(recorder.entries.Item(index));
    kind = EntryKind(entry);
  });
  if (kind == MotionKind::Move) {
    m.place = 258;
    m.wait_step = 260;
  } else if (kind == MotionKind::Left) {
    m = {264, 266, 268, ClickLeft};
  } else if (kind == MotionKind::Middle) {
    m = {272, 274, 276, ClickMiddle};
  } else if (kind == MotionKind::Right) {
    m = {280, 282, 284, ClickRight};
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
  return read(m.place, coordinates) && read(m.wait_step, delay);
}

void PollCycle::PlayEntry(Procedure& p, const Motion& m) {
  Input& in = host_.recorder.Host().input;
  // Recorded on monitors that have moved since, the position goes where its monitor is now.
  Point at{m.x, m.y};
  bool placed = false;
  p.Step(m.place, [&] {
    at = Screens.Map(at);
    placed = SetMousePos(in, at.x, at.y);
  });
  if (m.click && placed) {
    p.Step(m.click_step, [&] { m.click(in); });
  } else if (m.click && !State.BadEntryReported) {
    // The cursor is not where the click belongs (another program holds it back): clicking now
    // would click elsewhere. Reported as an entry that cannot be played, once per playback.
    State.BadEntryReported = true;
    p.Step(m.click_step, [&] {
      throw Error(err::kInvalidProcedureCall,
                  "The pointer could not be placed at " + std::to_string(at.x) + "," +
                      std::to_string(at.y) + ", so the click there was not made");
    });
  }
  placed_now_ = true;
  State.Placed = true;
  State.PlacedAt = at;
}

bool PollCycle::EndOfList(Procedure& p) {
  Recorder& recorder = host_.recorder;
  MainWindow& window = host_.window;
  PollState& s = State;
  if (p.Test(244, [&] { return HoldsNoMotion(recorder.entries); })) {
    p.Step(246, [&] { s.LastState = Mode::Playing; });
    p.Step(248, [&] { recorder.mode = Mode::Idle; });
    p.Step(250, [&] {
      host_.dialogs.MessageBox("No Data loaded for Playback", "", MsgButtons::Ok, MsgIcon::None);
    });
    p.Step(252, [&] {
      window.Get(ControlId::PlayButton).SetCaption(host_.captions.play_button);
      // No tick ran while the box was open, so bring back what Auto Hide took away here,
      // as the end of any other playback does.
      if (!StayHidden && Checked(ControlId::AutoShow) && !window.Visible()) window.SetVisible(true);
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
  host_.recorder.mode = Mode::Idle;
  IdleStep(p);
}

bool PollCycle::UserTookMouse(int32_t x, int32_t y, bool cursor_known, StopCause& cause) {
  const PollState& s = State;
  if (host_.recorder.Host().input.UserButtonPresses() != 0) {
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

}  // namespace pel
