#include "engine/recorder/event_recorder.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace pel {

bool RecordGates::Takes(MouseButton button) const {
  switch (button) {
    case MouseButton::Left:
      return left;
    case MouseButton::Middle:
      return middle;
    case MouseButton::Right:
      return right;
    case MouseButton::X1:
    case MouseButton::X2:
      return side_buttons;
  }
  return false;
}

void EventRecorder::Begin(bool every_event, Point pointer) {
  every_event_ = every_event;
  started_ = false;
  clock_ = 0;
  pos_ = pointer;
  buttons_ = {};
  // Every delay is the time since the event stored before it (the first one's since the event
  // that started the clock), in both modes: waited before its entry, it falls where it happened.
  sink_(std::string(kPausesBeforeNote));
}

void EventRecorder::Take(const InputEvent& e, const RecordGates& gates) {
  const bool moved = e.pos != pos_;
  PointerAt(e.pos);
  const auto b = static_cast<size_t>(e.button);
  switch (e.kind) {
    case InputEvent::Kind::Move:
      if (moved && gates.moves) Store(MotionKind::Move, e.pos, e.time);
      return;
    case InputEvent::Kind::Press:
      buttons_[b].unseen = false;
      // A second press without a release between keeps the first.
      if (!gates.Takes(e.button) || buttons_[b].held != Held::No) return;
      buttons_[b] = {Held::Pending, e.time, e.pos};
      // Only a click of the first three can stand for a press and its release.
      if (every_event_ || !ClickKind(e.button)) StorePending();
      return;
    case InputEvent::Kind::Release: {
      if (std::exchange(buttons_[b].unseen, false)) return;  // taken already
      const Held held = buttons_[b].held;
      buttons_[b].held = Held::No;
      if (held == Held::Stored) {
        Store(ReleaseKind(e.button), e.pos, e.time);
      } else if (!every_event_ && ClickKind(e.button) && gates.Takes(e.button)) {
        // Made in place (or pressed before the recording began, as recordings always took it).
        Store(*ClickKind(e.button), e.pos, e.time);
      }
      return;
    }
    case InputEvent::Kind::Wheel:
      if (gates.wheel && e.delta != 0) Store(WheelKind(e.axis), e.pos, e.time, e.delta);
      return;
  }
}

std::optional<double> EventRecorder::PressedAt(MouseButton button) const {
  const Button& b = buttons_[static_cast<size_t>(button)];
  if (b.held == Held::No) return std::nullopt;
  return b.time;
}

void EventRecorder::ReleaseUnseen(MouseButton button, Point pos, double time,
                                  const RecordGates& gates) {
  Button& b = buttons_[static_cast<size_t>(button)];
  if (b.held == Held::No) return;
  Take({.kind = InputEvent::Kind::Release,
        .button = button,
        .pos = b.held == Held::Pending ? b.pos : pos,
        .time = time},
       gates);
  b.unseen = true;
}

void EventRecorder::End(double now) {
  // A button held in place makes no entry: its click would need the release it never had.
  for (Button& button : buttons_)
    if (button.held == Held::Pending) button.held = Held::No;
  for (size_t b = 0; b < buttons_.size(); ++b) {
    if (buttons_[b].held != Held::Stored) continue;
    buttons_[b].held = Held::No;
    Store(ReleaseKind(static_cast<MouseButton>(b)), pos_, now);
  }
}

void EventRecorder::PointerAt(Point pos) {
  if (pos == pos_) return;
  StorePending();
  pos_ = pos;
}

void EventRecorder::StorePending() {
  for (;;) {
    Button* first = nullptr;
    size_t index = 0;
    for (size_t b = 0; b < buttons_.size(); ++b)
      if (buttons_[b].held == Held::Pending && (!first || buttons_[b].time < first->time))
        first = &buttons_[b], index = b;
    if (!first) return;
    first->held = Held::Stored;
    Emit(PressKind(static_cast<MouseButton>(index)), first->pos, first->time, 0);
  }
}

void EventRecorder::Store(MotionKind kind, Point pos, double time, int32_t delta) {
  // Whatever else happens while a button is held in place makes that hold a press of its own,
  // stored before it; only another click leaves it as it is (several buttons clicked together).
  if (ActionOf(kind) != KindAction::Click) StorePending();
  Emit(kind, pos, time, delta);
}

void EventRecorder::Emit(MotionKind kind, Point pos, double time, int32_t delta) {
  double delay_ms = 0;
  if (!started_) {
    started_ = true;
    clock_ = time;
    if (!every_event_ && (kind == MotionKind::Move || ActionOf(kind) == KindAction::Click)) return;
  } else {
    // The clock moves by the delay as stored, so that each delay's rounding is carried into
    // the next one and the delays add up to the time recorded.
    const double per_second = every_event_ ? 1e6 : 1e3;
    const double units = std::max(0.0, std::nearbyint((time - clock_) * per_second));
    clock_ += units / per_second;
    delay_ms = units * 1000 / per_second;
  }
  sink_(FormatEntry({kind, pos.x, pos.y, delay_ms, delta}));
}

bool PausesBeforeEvents(const EntryList& list) {
  PausesBeforeRule rule;
  for (int32_t i = 1; i <= list.Count() && !rule.Settled(); ++i) rule.Next(list.Item(i));
  return rule.PausesBefore();
}

}  // namespace pel
