// Recording from input events: what each mode stores for clicks, drags, holds, the wheel and the
// side buttons, with which delays, and what is left out.
#include "engine/recorder/event_recorder.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "testkit/fake_input_events.h"

namespace pel::test {
namespace {

using Kind = InputEvent::Kind;
using enum MouseButton;
using Entries = std::vector<std::string>;

// Events at milliseconds from the start, at (x, y).
InputEvent Mv(int x, int y, double ms) {
  return {Kind::Move, Left, WheelAxis::Vertical, 0, {x, y}, ms / 1000};
}
InputEvent Dn(MouseButton b, int x, int y, double ms) {
  return {Kind::Press, b, WheelAxis::Vertical, 0, {x, y}, ms / 1000};
}
InputEvent Up(MouseButton b, int x, int y, double ms) {
  return {Kind::Release, b, WheelAxis::Vertical, 0, {x, y}, ms / 1000};
}
InputEvent Wh(WheelAxis axis, int32_t delta, int x, int y, double ms) {
  return {Kind::Wheel, Left, axis, delta, {x, y}, ms / 1000};
}

// A recording of `events` as the window system's stream delivers them.
struct Recording {
  Entries entries;
  EventRecorder recorder{[this](const std::string& e) { entries.push_back(e); }};
  Recording(bool every_event, const std::vector<InputEvent>& events, double end_ms = -1,
            const RecordGates& gates = {}) {
    fake::FakeInputEvents stream;
    std::string error;
    stream.Start(true, error);
    for (const InputEvent& e : events) stream.Add(e);
    std::vector<InputEvent> taken;
    stream.Take(taken);
    recorder.Begin(every_event, {0, 0});
    for (const InputEvent& e : taken) recorder.Take(e, gates);
    if (end_ms >= 0) recorder.End(end_ms / 1000);
  }
};

struct Scenario {
  const char* name;
  std::vector<InputEvent> events;
  // After the note, which both modes store first.
  Entries sampled;      // as the default mode stores them
  Entries every_event;  // recording every event
  double end_ms = -1;   // End() at this moment, when not negative
};

TEST(EventRecorder, StoresWhatEachModeCallsFor) {
  const Scenario scenarios[] = {
      {"a click in place, then a drag",
       {Mv(10, 10, 0), Dn(Left, 10, 10, 100), Up(Left, 10, 10, 150), Dn(Left, 10, 10, 300),
        Mv(20, 10, 310), Mv(30, 12, 320), Up(Left, 30, 12, 330)},
       {"Left,10,10,150", "LeftDown,10,10,150", "move,20,10,10", "move,30,12,10",
        "LeftUp,30,12,10"},
       {"move,10,10,0", "LeftDown,10,10,100", "LeftUp,10,10,50", "LeftDown,10,10,150",
        "move,20,10,10", "move,30,12,10", "LeftUp,30,12,10"}},
      {"a drag as the first event keeps its press",
       {Dn(Right, 5, 5, 0), Mv(6, 5, 10), Up(Right, 6, 5, 20)},
       {"RightDown,5,5,0", "move,6,5,10", "RightUp,6,5,10"},
       {"RightDown,5,5,0", "move,6,5,10", "RightUp,6,5,10"}},
      {"a first click only starts the clock; a release pressed before the start is a click",
       {Dn(Left, 1, 1, 0), Up(Left, 1, 1, 5), Up(Middle, 1, 1, 50)},
       {"Middle,1,1,45"},
       {"LeftDown,1,1,0", "LeftUp,1,1,5"}},
      {"released elsewhere with no move seen between: a drag",
       {Mv(1, 0, 0), Dn(Left, 1, 0, 10), Up(Left, 9, 0, 15)},
       {"LeftDown,1,0,10", "LeftUp,9,0,5"},
       {"move,1,0,0", "LeftDown,1,0,10", "LeftUp,9,0,5"}},
      {"the wheel turned while a button is held: a hold",
       {Mv(1, 1, 0), Dn(Middle, 1, 1, 10), Wh(WheelAxis::Vertical, -120, 1, 1, 20),
        Up(Middle, 1, 1, 30)},
       {"MiddleDown,1,1,10", "Wheel,1,1,10,-120", "MiddleUp,1,1,10"},
       {"move,1,1,0", "MiddleDown,1,1,10", "Wheel,1,1,10,-120", "MiddleUp,1,1,10"}},
      {"buttons clicked together stay clicks",
       {Mv(5, 5, 0), Dn(Left, 5, 5, 10), Dn(Right, 5, 5, 10), Up(Left, 5, 5, 20),
        Up(Right, 5, 5, 20)},
       {"Left,5,5,20", "Right,5,5,0"},
       {"move,5,5,0", "LeftDown,5,5,10", "RightDown,5,5,0", "LeftUp,5,5,10", "RightUp,5,5,0"}},
      {"a held button's press comes before a side button's, in the order they were made",
       {Mv(2, 2, 0), Dn(Left, 2, 2, 10), Dn(X1, 2, 2, 20), Up(X1, 2, 2, 30), Up(Left, 2, 2, 40)},
       {"LeftDown,2,2,10", "X1Down,2,2,10", "X1Up,2,2,10", "LeftUp,2,2,10"},
       {"move,2,2,0", "LeftDown,2,2,10", "X1Down,2,2,10", "X1Up,2,2,10", "LeftUp,2,2,10"}},
      {"side buttons and wheel steps as first events are stored",
       {Wh(WheelAxis::Horizontal, 30, 4, 4, 0), Dn(X2, 4, 4, 1.25), Up(X2, 4, 4, 3)},
       {"HWheel,4,4,0,30", "X2Down,4,4,1", "X2Up,4,4,2"},
       {"HWheel,4,4,0,30", "X2Down,4,4,1.25", "X2Up,4,4,1.75"}},
      {"ended mid-drag: released where the pointer was last seen; a hold in place is dropped",
       {Mv(1, 1, 0), Dn(Left, 1, 1, 10), Mv(7, 8, 20), Dn(Middle, 7, 8, 25)},
       {"LeftDown,1,1,10", "move,7,8,10", "LeftUp,7,8,30"},
       {"move,1,1,0", "LeftDown,1,1,10", "move,7,8,10", "MiddleDown,7,8,5", "LeftUp,7,8,25",
        "MiddleUp,7,8,0"},
       50},
      {"an event older than the one before counts as happening with it",
       {Mv(1, 1, 0), Mv(2, 1, 30), Wh(WheelAxis::Vertical, 120, 2, 1, 20), Mv(3, 1, 40)},
       {"move,2,1,30", "Wheel,2,1,0,120", "move,3,1,10"},
       {"move,1,1,0", "move,2,1,30", "Wheel,2,1,0,120", "move,3,1,10"}},
      {"delays carry their rounding into the next",
       {Mv(1, 0, 0), Mv(2, 0, 10.4), Mv(3, 0, 20.8), Mv(4, 0, 31.2), Mv(4, 0, 40)},
       {"move,2,0,10", "move,3,0,11", "move,4,0,10"},
       {"move,1,0,0", "move,2,0,10.4", "move,3,0,10.4", "move,4,0,10.4"}},
  };
  for (const Scenario& s : scenarios) {
    SCOPED_TRACE(s.name);
    for (const bool every_event : {false, true}) {
      Entries stored = {"pauses,before"};
      const Entries& after = every_event ? s.every_event : s.sampled;
      stored.insert(stored.end(), after.begin(), after.end());
      EXPECT_EQ(Recording(every_event, s.events, s.end_ms).entries, stored) << every_event;
    }
  }
}

TEST(EventRecorder, GatesLeaveOutWhatIsOffButNeverAStoredPressesRelease) {
  RecordGates off;
  off.moves = off.wheel = off.side_buttons = off.right = false;
  // The left drag is stored without its path; the right click, side button and wheel not at all.
  const std::vector<InputEvent> events = {
      Mv(1, 1, 0),        Dn(Left, 1, 1, 10),  Mv(5, 5, 20),
      Up(Left, 5, 5, 30), Dn(Right, 5, 5, 40), Up(Right, 5, 5, 50),
      Dn(X1, 5, 5, 60),   Up(X1, 5, 5, 70),    Wh(WheelAxis::Vertical, 120, 5, 5, 80)};
  // The move left out does not start the clock: the press, stored first, does.
  EXPECT_EQ(Recording(false, events, -1, off).entries,
            (Entries{"pauses,before", "LeftDown,1,1,0", "LeftUp,5,5,20"}));

  Recording run(false, {Mv(1, 1, 0), Dn(Left, 1, 1, 10), Mv(2, 2, 20)});
  RecordGates no_left;
  no_left.left = false;
  run.recorder.Take(Up(Left, 2, 2, 30), no_left);
  run.recorder.Take(Dn(Left, 2, 2, 40), no_left);
  run.recorder.Take(Up(Left, 2, 2, 50), no_left);
  EXPECT_EQ(run.entries,
            (Entries{"pauses,before", "LeftDown,1,1,10", "move,2,2,10", "LeftUp,2,2,10"}));
}

TEST(EventRecorder, PausesBeforeEventsReadsTheNoteBeforeTheFirstMotion) {
  const std::pair<Entries, bool> cases[] = {
      {{}, false},
      {{"screen,0,0,1280x1024,primary,A", "pauses,before", "move,1,1,0"}, true},
      {{"move,1,1,0", "pauses,before"}, false}};
  for (const auto& [entries, pauses] : cases) {
    EntryList list;
    for (const std::string& e : entries) list.Add(e);
    EXPECT_EQ(PausesBeforeEvents(list), pauses) << entries.size();
  }
}

}  // namespace
}  // namespace pel::test
