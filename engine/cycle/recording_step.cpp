#include "engine/cycle/recording_step.h"

#include "platform/error.h"

namespace pel {

void RecordingStep::Run(Procedure& p, Mode last_state, const TickSample& tick,
                        const RecordingOptions& options) {
  Recorder& recorder = host_.recorder;
  MainWindow& window = host_.window;

  if (last_state != Mode::Recording) {
    options_ = options;
    if (!KeepPreviousTake()) return;
  }
  Panel& panel = host_.panel;
  p.Step(164, [&] { panel.SetEnabled(RunButton::Play, false); });
  if (p.Test(166, [&] { return last_state != Mode::Recording; })) {
    p.Step(168, [&] { panel.SetCaption(RunButton::Record, "Stop"); });
    p.Step(170, [&] {
      if (panel.On(Gate::AutoHide) && window.Visible()) window.SetVisible(false);
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
    Begin(p);
  } else {
    // ... and the monitors as they stand after a change: the entries from here on are made on
    // them.
    p.Step(176, [&] { screens_.FollowLayout(recorder.entries); });
  }

  const double now = recorder.Host().clock.Now();
  const RecordGates gates = ReadGates(p);
  // The window a press is made in goes before the entries of the press: they belong to it. With
  // the event stream, the stream's own presses note it (TakeStream): the tick's reading of the
  // buttons may come a tick after the stream has brought the click.
  if (tick.cursor_known)
    p.Step(178, [&] {
      const PollInputs& pressed = tick.pressed;
      const PollInputs& down = tick.down;
      windows_.Note(recorder.entries, tick.cursor,
                    !streaming_ && (pressed.left || pressed.middle || pressed.right),
                    down.left || down.middle || down.right);
    });
  if (streaming_) {
    const std::array<std::optional<double>, 3> held_before = {
        recorder_.PressedAt(MouseButton::Left), recorder_.PressedAt(MouseButton::Middle),
        recorder_.PressedAt(MouseButton::Right)};
    p.Step(180, [&] { TakeStream(gates); });
    p.Step(180, [&] { TakeUnseenReleases(held_before, tick, gates, now); });
    // The stream leaves moves out unless every event is recorded: the pointer is where the tick
    // found it.
    if (!every_event_ && tick.cursor_known)
      p.Step(182, [&] { recorder_.Take({.pos = tick.cursor, .time = now}, gates); });
  } else if (tick.cursor_known) {
    // Where the cursor is this tick is unknown otherwise: a move or a click stored at the last
    // known position could be far from where it happened, so the tick records nothing.
    TakeSamples(p, tick, gates, now);
  }
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
      host_.panel.SetStatus("Not recording: the previous take could not be kept (" +
                            ErrorReporter::Describe(std::current_exception()) + "); save it first");
    } catch (...) {
      // The window says nothing then; the take stays in the list all the same.
    }
    return false;
  }
}

void RecordingStep::Begin(Procedure& p) {
  Recorder& recorder = host_.recorder;
  std::string error;
  p.Step(176, [&] {
    End(recorder.Host().clock.Now());  // a recording no idle tick ended (none ran between)
    streaming_ = events && events->Start(options_.every_event, error);
    every_event_ = options_.every_event && streaming_;
    recording_ = true;
    removed_at_begin_ = recorder.entries.Removed();
    seen_down_ = {};
    recorder_.Begin(every_event_, last_position);
  });
  // The fallback is documented behaviour, not a fault: a note, not an error report.
  std::string fallback;
  if (events && !streaming_)
    fallback = "the mouse's event stream could not be started (" + error + ")";
  else if (options_.every_event && !events)
    fallback = "every event cannot be recorded without the mouse's event stream";
  if (fallback.empty()) return;
  fallback += ": recording every 10 ms, without the wheel and the side buttons";
  if (on_fallback) on_fallback(fallback);
  note_.append(note_.empty() ? "" : "; ").append(fallback);
}

RecordGates RecordingStep::ReadGates(Procedure& p) {
  Panel& panel = host_.panel;
  RecordGates g;
  g.moves = p.Test(178, [&] { return panel.On(Gate::Moves); });
  g.left = p.Test(192, [&] { return panel.On(Gate::Left); });
  g.middle = p.Test(204, [&] { return panel.On(Gate::Middle); });
  g.right = p.Test(216, [&] { return panel.On(Gate::Right); });
  g.wheel = options_.wheel && p.Test(228, [&] { return panel.On(Gate::Wheel); });
  g.side_buttons =
      options_.side_buttons && p.Test(228, [&] { return panel.On(Gate::SideButtons); });
  return g;
}

void RecordingStep::TakeSamples(Procedure& p, const TickSample& tick, const RecordGates& gates,
                                double now) {
  struct Sampled {
    MouseButton button;
    bool pressed, released;
    int step;
  };
  const Sampled buttons[] = {{MouseButton::Left, tick.pressed.left, tick.released.left, 194},
                             {MouseButton::Middle, tick.pressed.middle, tick.released.middle, 206},
                             {MouseButton::Right, tick.pressed.right, tick.released.right, 218}};
  auto take = [&](InputEvent::Kind kind, MouseButton button, Point at) {
    recorder_.Take({.kind = kind, .button = button, .pos = at, .time = now}, gates);
  };
  // A button seen held in place until the tick that finds it released and the pointer moved was
  // clicked there: which came first in between is not known, and a drag begun a tick before its
  // release would have the click land off the place it was made (most windows drop such a click).
  bool clicked[std::size(buttons)] = {};
  for (size_t i = 0; i < std::size(buttons); ++i) {
    const Sampled& b = buttons[i];
    if (!b.released || !recorder_.HeldInPlace(b.button)) continue;
    clicked[i] = true;
    p.Step(b.step, [&] { take(InputEvent::Kind::Release, b.button, last_position); });
  }
  p.Step(182, [&] { take(InputEvent::Kind::Move, MouseButton::Left, tick.cursor); });
  for (size_t i = 0; i < std::size(buttons); ++i) {
    const Sampled& b = buttons[i];
    if (b.released && !clicked[i])
      p.Step(b.step, [&] { take(InputEvent::Kind::Release, b.button, tick.cursor); });
    if (b.pressed) p.Step(b.step, [&] { take(InputEvent::Kind::Press, b.button, tick.cursor); });
  }
}

void RecordingStep::TakeUnseenReleases(const std::array<std::optional<double>, 3>& held_before,
                                       const TickSample& tick, const RecordGates& gates,
                                       double now) {
  const std::pair<MouseButton, bool> read[] = {{MouseButton::Left, tick.down.left},
                                               {MouseButton::Middle, tick.down.middle},
                                               {MouseButton::Right, tick.down.right}};
  for (size_t i = 0; i < std::size(read); ++i) {
    const auto [button, down] = read[i];
    // Pressed before the tick read the buttons, and the same press still held after the
    // stream's events.
    if (!held_before[i] || recorder_.PressedAt(button) != held_before[i]) continue;
    SeenDown& seen = seen_down_[i];
    if (seen.press != held_before[i]) seen = {held_before[i], 0};
    // Found up once two such ticks had found it down, its release was withheld from the
    // stream. One reading may be the input's latch of the press alone, and the poll may never
    // see the button itself (Wine sees it only while its own windows have the focus).
    if (down)
      ++seen.ticks;
    else if (seen.ticks >= 2)
      recorder_.ReleaseUnseen(button, tick.cursor, now, gates);
  }
}

void RecordingStep::TakeStream(const RecordGates& gates) {
  taken_.clear();
  events->Take(taken_);
  for (const InputEvent& e : taken_) {
    if (e.kind == InputEvent::Kind::Press && e.button != MouseButton::X1 &&
        e.button != MouseButton::X2)
      windows_.Note(host_.recorder.entries, e.pos, true, true);
    recorder_.Take(e, gates);
  }
}

void RecordingStep::End(double now, bool use_stream) {
  if (recording_) {
    recorder_.End(now);
    recording_ = false;
  }
  if (streaming_ && use_stream) {
    streaming_ = false;
    events->Stop();
  }
}

void RecordingStep::Store(const std::string& entry) {
  Recorder& recorder = host_.recorder;
  if (!recording_ || recorder.entries.Removed() != removed_at_begin_) return;
  Procedure p(recorder.Host().reporter, where::kAddMotion);
  p.Step(100, [&] { recorder.entries.Add(entry); });
  // The note, like the layout entries, is nothing the user made: alone it is no work to save.
  if (!IsPausesBeforeNote(entry)) p.Step(102, [&] { recorder.unsaved = true; });
}

}  // namespace pel
