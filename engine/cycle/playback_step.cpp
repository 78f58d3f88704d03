#include "engine/cycle/playback_step.h"

#include <cstdlib>
#include <string>
#include <utility>

#include "engine/motionfile/motion_entry.h"
#include "engine/motionfile/screen_layout.h"
#include "engine/motionfile/window_entry.h"
#include "engine/recorder/event_recorder.h"
#include "platform/error.h"

namespace pel {

// An entry as playback reads it, with the step numbers of its kind.
struct PlaybackStep::Motion {
  struct Steps {
    int place;  // the pointer placed
    int click;  // the buttons or the wheel, if the kind works them
    int wait;   // the wait that follows
  };
  Steps steps{};
  MotionEntry entry;
  double Wait() const { return entry.delay_ms / 1000.0; }  // seconds, as recorded
};

std::optional<StopCause> PlaybackStep::Run(Procedure& p, Mode last_state, const TickSample& tick,
                                           const PlaybackOptions& options) {
  Recorder& recorder = host_.recorder;
  MainWindow& window = host_.window;
  Clock& clock = recorder.Host().clock;
  Input& in = recorder.Host().input;

  p.Step(230, [&] { host_.panel.SetEnabled(RunButton::Record, false); });
  const bool starts = p.Test(232, [&] { return last_state != Mode::Playing; });
  if (starts) {
    options_ = options;
    bad_entry_reported_ = false;  // each playback may report one unplayable entry
    window_waited_ = false;
    input_away_ = false;
    passes_done_ = 0;
    if (options_.stop_on_move) {
      // Presses and moves made before the playback (on its own start button) are not the user
      // taking over ...
      in.UserButtonPresses();
      in.UserPointerMoves();
    }
    // ... but moving the pointer from where it stands now is, before the first entry too.
    placed_ = tick.cursor_known;
    placed_at_ = tick.cursor;
    p.Step(234, [&] { host_.panel.SetCaption(RunButton::Play, "Stop"); });
    p.Step(236, [&] {
      if (host_.panel.On(Gate::AutoHide) && window.Visible()) window.SetVisible(false);
    });
    // A recording made event by event waits each pause before its event.
    PlaybackOptions timing = options_;
    if (PausesBeforeEvents(recorder.entries)) timing.wait_before = true;
    schedule_.Begin(timing, clock.Now());
    screens_.PlaybackStarts();
    windows_.following = !options_.screen_positions;
    windows_.wait_seconds = options_.wait_for_window;
    windows_.PlaybackStarts();
  }
  if (HoldWhileInputAway(tick)) return std::nullopt;
  if (!starts && options_.stop_on_move) {
    if (const std::optional<StopCause> cause = UserTookMouse(tick)) return cause;
  }

  placing_ = false;
  work_left_ = kEntriesPerTick;
  work_until_ = clock.Now() + kWorkPerTick;
  std::optional<StopCause> end;
  if (schedule_.Paced()) {
    end = PacedSteps(p);
  } else if (p.Test(238, [&] { return schedule_.Due(clock.Now()); })) {
    // Layout and window entries take no playback time: the next entry plays in their place,
    // unless there were too many of them for one tick (the next tick goes on at once) or a
    // window is waited for (nothing plays, and the timeline stands still).
    int32_t next = 0;
    p.Step(240, [&] {
      next = PassNoMotion(played_index_ + 1, clock.Now());
      if (next) played_index_ = next;
    });
    Motion m;
    // The end of the list and an entry of another kind each cost a tick.
    if (next && p.Test(242, [&] { return played_index_ > recorder.entries.Count(); })) {
      end = EndOfList(p);
      if (!end) schedule_.WaitATick(clock.Now());
    } else if (next && ReadMotion(p, played_index_, m)) {
      PlayEntry(p, m);
      p.Step(m.steps.wait, [&] { schedule_.Played(clock.Now(), m.Wait()); });
    } else if (next) {
      schedule_.WaitATick(clock.Now());
    }
  }

  if (placing_ && options_.stop_on_move) {
    // Where the window system really put the pointer (clamped to the screen, say) is what the
    // next tick compares with.
    Point at;
    if (in.CursorPos(at)) placed_at_ = at;
  }
  return end;
}

std::optional<StopCause> PlaybackStep::PacedSteps(Procedure& p) {
  Recorder& recorder = host_.recorder;
  Clock& clock = recorder.Host().clock;

  double now = 0;
  if (!p.Test(238, [&] { return now = clock.Now(), schedule_.StartTick(now), true; }))
    return std::nullopt;
  // At most one pass and its end per tick: a list whose entries take no time (or that holds
  // none of the known kinds) would otherwise never let the tick end.
  int32_t budget = recorder.entries.Count() + 1;
  for (; budget > 0; --budget) {
    if (schedule_.NothingDue()) break;
    int32_t next = 0;
    p.Step(240, [&] {
      next = PassNoMotion(played_index_ + 1, now);
      if (next) played_index_ = next - 1;  // they take no time: passed for good
    });
    // The tick has done its share, or a window is waited for: what is due plays at a later tick.
    if (!next) return std::nullopt;
    const bool end = p.Test(242, [&] { return next > recorder.entries.Count(); });
    Motion m;
    const bool playable = !end && ReadMotion(p, next, m);
    const double wait = playable ? m.Wait() : 0;
    double due = 0;
    if (!schedule_.Take(wait, due)) break;
    p.Step(240, [&] { played_index_ = next; });
    if (end) {
      schedule_.Took(due, 0);
      if (std::optional<StopCause> stop = EndOfList(p)) return stop;
      continue;
    }
    if (playable) PlayEntry(p, m);
    schedule_.Took(due, wait);
    if (!Worked()) return std::nullopt;
  }
  if (budget == 0) schedule_.WaitATick(now);
  return std::nullopt;
}

int32_t PlaybackStep::PassNoMotion(int32_t index, double now) {
  const EntryList& list = host_.recorder.entries;
  if (index == 1) {
    met_entry_ = false;
    screens_.LayoutAt(list, 1);
  }
  // A tick that ran out of work in the middle of a run goes on with it.
  bool in_run = index > 1 && index - 1 <= list.Count() && IsLayoutEntry(list.Item(index - 1));
  while (index <= list.Count() && IsNoMotionEntry(list.Item(index))) {
    const std::string_view entry = list.Item(index);
    if (IsLayoutEntry(entry)) {
      if (!in_run && index > 1) screens_.LayoutAt(list, index);
      in_run = true;
    } else {
      in_run = false;
      if (windows_.Reach(entry, now) == WindowMap::Reached::Wait) {
        window_waited_ = true;
        return 0;
      }
    }
    played_index_ = index++;
    if (!Worked()) return 0;
  }
  if (index <= list.Count()) met_entry_ = true;
  // The entries after a window waited for wait from when it was found.
  if (std::exchange(window_waited_, false)) schedule_.Resume(now);
  return index;
}

bool PlaybackStep::Worked() {
  return --work_left_ > 0 && host_.recorder.Host().clock.Now() < work_until_;
}

bool PlaybackStep::ReadMotion(Procedure& p, int32_t index, Motion& m) {
  EntryReading read;
  p.Step(256, [&] { read = readings_.At(host_.recorder.entries, index); });
  if (!read.motion) return false;  // not a motion entry: skipped
  m.entry = read.entry;
  const MotionKind kind = m.entry.kind;
  if (kind == MotionKind::Move)
    m.steps = {.place = 258, .click = 0, .wait = 260};
  else if (kind == MotionKind::Left)
    m.steps = {.place = 264, .click = 266, .wait = 268};
  else if (kind == MotionKind::Middle)
    m.steps = {.place = 272, .click = 274, .wait = 276};
  else if (kind == MotionKind::Right)
    m.steps = {.place = 280, .click = 282, .wait = 284};
  else  // presses, releases and the wheel
    m.steps = {.place = 286, .click = 286, .wait = 286};
  // An entry whose numbers do not fit (a loaded "1e300" or "1e400") is skipped like one of
  // another kind. Its failure is reported at the step that uses the number, but only for the
  // first such entry of a playback: the list repeats until stopped, and a box at every pass
  // would never end.
  auto check = [&](int number, EntryReading::Part part) {
    if (!bad_entry_reported_) {
      const bool ok = p.Test(number, [&] { return read.Check(part), true; });
      if (!ok) bad_entry_reported_ = true;
      return ok;
    }
    return read.failed != part;
  };
  using Part = EntryReading::Part;
  return check(m.steps.place, Part::Point) && check(m.steps.wait, Part::Delay) &&
         (ActionOf(kind) != KindAction::Wheel || check(m.steps.click, Part::Delta));
}

void PlaybackStep::PlayEntry(Procedure& p, const Motion& m) {
  Input& in = host_.recorder.Host().input;
  // Recorded on monitors that have moved since, the position goes where its monitor is now.
  Point at{m.entry.x, m.entry.y};
  bool placed = false;
  const KindAction action = ActionOf(m.entry.kind);
  p.Step(m.steps.place, [&] {
    at = windows_.Map(at, screens_, action == KindAction::Click || action == KindAction::Press);
    placed = in.SetCursorPos(at);
  });
  if (action != KindAction::Move && (placed || action == KindAction::Release)) {
    // A release is made wherever the pointer is: a button left down would make every later move
    // a drag, until the pass ended.
    p.Step(m.steps.click, [&] { held_.Play(m.entry.kind, m.entry.delta); });
  } else if (action == KindAction::Click && held_.Held(ButtonOf(m.entry.kind))) {
    // Nor is a button held from an earlier press kept down when its click cannot be made.
    p.Step(m.steps.click, [&] { held_.Release(ButtonOf(m.entry.kind)); });
  }
  if (action != KindAction::Move && action != KindAction::Release && !placed &&
      !bad_entry_reported_ && !in.InputElsewhere()) {
    // The cursor is not where the button belongs (another program holds it back): pressing now
    // would press elsewhere. Reported as an entry that cannot be played, once per playback.
    bad_entry_reported_ = true;
    p.Step(m.steps.click, [&] {
      throw Error(err::kInvalidProcedureCall,
                  "The pointer could not be placed at " + std::to_string(at.x) + "," +
                      std::to_string(at.y) + ", so the click there was not made");
    });
  }
  placing_ = true;
  placed_ = true;
  placed_at_ = at;
}

std::optional<StopCause> PlaybackStep::EndOfList(Procedure& p) {
  // An empty list ends the playback with a message (the poll cycle's).
  if (p.Test(244, [&] { return !met_entry_; })) return StopCause::NoData;
  // With entries, the list starts again at entry 1, with no button held from the pass before.
  p.Step(254, [&] { played_index_ = 0; });
  p.Step(254, [&] { held_.ReleaseAll(); });
  ++passes_done_;
  if (options_.repeat > 0 && passes_done_ >= options_.repeat) return StopCause::Passes;
  return std::nullopt;
}

bool PlaybackStep::HoldWhileInputAway(const TickSample& tick) {
  Input& in = host_.recorder.Host().input;
  const bool away = in.InputElsewhere();
  if (away == input_away_) return away;
  input_away_ = away;
  if (!away) {
    schedule_.Resume(host_.recorder.Host().clock.Now());
    // Unlocking or answering the prompt moved and clicked the mouse there.
    in.UserButtonPresses();
    in.UserPointerMoves();
    placed_ = tick.cursor_known;
    placed_at_ = tick.cursor;
  }
  return away;
}

std::optional<StopCause> PlaybackStep::UserTookMouse(const TickSample& tick) {
  Input& in = host_.recorder.Host().input;
  if (in.UserButtonPresses() != 0) return StopCause::UserClicked;
  // The user's own motion counts however soon the next entry put the pointer back ...
  if (in.UserPointerMoves() != 0) return StopCause::UserMoved;
  // ... and a pointer found away from where it was left counts too (a move the window system
  // cannot tell from an injected one, a warp by another program).
  auto away = [](int32_t a, int32_t b) {
    return std::abs(static_cast<int64_t>(a) - b) > kMoveTolerance;
  };
  if (tick.cursor_known && placed_ &&
      (away(tick.cursor.x, placed_at_.x) || away(tick.cursor.y, placed_at_.y)))
    return StopCause::UserMoved;
  return std::nullopt;
}

}  // namespace pel
