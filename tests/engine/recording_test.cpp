// The recording step: what a recording stores, with which delays and positions.
#include "testkit/engine_test.h"
#include "testkit/fake_input_events.h"

namespace pel::test {
namespace {

class RecordingTest : public EngineTest {
 protected:
  void StartRecording() {
    StartIdle();
    TapKey(vk::kF10);
    ASSERT_EQ(recorder.mode, Mode::Recording);
  }
  // Holds `vk` down for `ticks` ticks, then releases it before the next one.
  void Click(int vk, int ticks = 1) {
    input.Press(vk);
    Ticks(ticks);
    input.Release(vk);
    Tick();
  }
};

TEST_F(RecordingTest, CursorAtRestStoresNothingAndTheFirstMoveOnlyStartsTheClock) {
  input.MoveTo({100, 100});
  StartRecording();
  Ticks(20);
  EXPECT_EQ(Entries(), std::vector<std::string>{"pauses,before"});
  input.MoveTo({101, 100});
  Tick();
  EXPECT_EQ(Entries(), std::vector<std::string>{"pauses,before"});  // first event: no entry
  input.MoveTo({102, 100});
  Tick();
  input.MoveTo({102, 100});  // back where it was at the previous tick: nothing
  Tick();
  input.MoveTo({103, 101});
  Tick();
  EXPECT_EQ(Entries(),
            (std::vector<std::string>{"pauses,before", "move,102,100,10", "move,103,101,20"}));
  EXPECT_TRUE(recorder.unsaved);
}

TEST_F(RecordingTest, DelaysCountFromTheLastHandledEventWhateverItsKind) {
  StartRecording();
  input.MoveTo({10, 20});
  Tick();  // first event
  clock.Advance(1.5 - kTick);
  input.MoveTo({11, 20});
  Tick();
  clock.Advance(1.5 - kTick);
  input.Press(vk::kLButton);
  Tick();
  input.Release(vk::kLButton);
  Tick();  // released here: delay since the move is 1.5 s plus the tick it was held
  EXPECT_EQ(Entries(),
            (std::vector<std::string>{"pauses,before", "move,11,20,1500", "Left,11,20,1510"}));
}

TEST_F(RecordingTest, AFirstClickIsNotStoredAndAButtonHeldWhileThePointerMovesIsADrag) {
  input.MoveTo({50, 60});
  StartRecording();
  Click(vk::kLButton);  // first event of the recording
  EXPECT_EQ(Entries(), std::vector<std::string>{"pauses,before"});
  Ctl(ControlId::RecordMoves).value = 0;
  input.Press(vk::kRButton);
  Tick();
  input.MoveTo({60, 70});  // seen moving while held: a drag
  Tick();
  input.MoveTo({70, 80});
  input.Release(vk::kRButton);
  Tick();
  EXPECT_EQ(Entries(),
            (std::vector<std::string>{"pauses,before", "RightDown,50,60,10", "RightUp,70,80,20"}));
}

TEST_F(RecordingTest, ButtonsHeldLongGiveOneEntryAtRelease) {
  StartRecording();
  input.MoveTo({1, 1});
  Tick();
  Click(vk::kMButton, 100);
  Click(vk::kRButton, 100);
  Click(vk::kLButton, 1);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"pauses,before", "Middle,1,1,1020",
                                                 "Right,1,1,1020", "Left,1,1,20"}));
}

// The poll cannot tell whether a button let go in the tick the pointer moved was let go before
// the move: one seen held in place until then (taps between ticks too) is a click where it was
// held, before the move.
TEST_F(RecordingTest, ButtonsReleasedAsThePointerMovesAreClicksWhereTheyWereHeld) {
  StartRecording();
  input.MoveTo({5, 5});
  Tick();
  input.Tap(vk::kRButton);
  input.Tap(vk::kMButton);
  input.Tap(vk::kLButton);
  Tick();
  input.MoveTo({6, 6});
  Tick();
  input.Press(vk::kLButton);
  Ticks(5);
  input.MoveTo({40, 6});
  input.Release(vk::kLButton);
  Tick();
  EXPECT_EQ(Entries(),
            (std::vector<std::string>{"pauses,before", "Left,5,5,20", "Middle,5,5,0", "Right,5,5,0",
                                      "move,6,6,0", "Left,6,6,61", "move,40,6,0"}));
}

TEST_F(RecordingTest, OptionsGateEachKindFromTheNextTick) {
  StartRecording();
  input.MoveTo({1, 1});
  Tick();
  Ctl(ControlId::RecordLeft).value = 0;
  Ctl(ControlId::RecordMiddle).value = 2;  // greyed counts as on
  Click(vk::kLButton);
  Click(vk::kMButton);
  Ctl(ControlId::RecordMoves).value = 0;
  input.MoveTo({2, 2});
  Tick();
  Ctl(ControlId::RecordMoves).value = 1;
  Click(vk::kRButton);
  // 40.4 ms is stored as 40; the 0.4 ms carried over makes the next 30.3 ms read 31.
  EXPECT_EQ(Entries(),
            (std::vector<std::string>{"pauses,before", "Middle,1,1,40", "Right,2,2,31"}));
}

TEST_F(RecordingTest, StartingClearsThePreviousRecordingEvenWithAllOptionsOff) {
  StartIdle();
  recorder.entries.Add("move,1,1,1");
  recorder.unsaved = false;
  for (ControlId id : {ControlId::RecordMoves, ControlId::RecordLeft, ControlId::RecordMiddle,
                       ControlId::RecordRight})
    Ctl(id).value = 0;
  TapKey(vk::kF10);
  input.MoveTo({9, 9});
  Ticks(2);
  Click(vk::kLButton);
  EXPECT_EQ(Entries(), std::vector<std::string>{"pauses,before"});
  EXPECT_FALSE(recorder.unsaved);  // clearing does not touch the flag, nor does the note
}

TEST_F(RecordingTest, ANewRecordingStartsItsClockAfresh) {
  StartRecording();
  input.MoveTo({1, 1});
  Tick();
  input.MoveTo({2, 2});
  Tick();
  TapKey(vk::kPause);
  clock.Advance(60);
  TapKey(vk::kF10);
  input.MoveTo({3, 3});
  Tick();  // first event of the new recording
  input.MoveTo({4, 4});
  Tick();
  EXPECT_EQ(Entries(), (std::vector<std::string>{"pauses,before", "move,4,4,10"}));
}

TEST_F(RecordingTest, TicksWithAnUnreadableCursorRecordNothingAndKeepTheLastPosition) {
  input.MoveTo({40, 50});
  StartRecording();
  input.MoveTo({41, 50});
  Tick();                         // first event
  input.FailCursorQueries(true);  // the pointer went to another screen
  Click(vk::kLButton);
  Ticks(3);
  EXPECT_EQ(Entries(), std::vector<std::string>{"pauses,before"});
  bool known = true;
  EXPECT_EQ(recorder.GetMousePos(&known), (Point{41, 50}));
  EXPECT_FALSE(known);
  input.FailCursorQueries(false);
  input.MoveTo({60, 70});
  Tick();
  // six ticks since the first
  EXPECT_EQ(Entries(), (std::vector<std::string>{"pauses,before", "move,60,70,61"}));
}

TEST_F(RecordingTest, NegativeCoordinatesOfOtherMonitorsAreKept) {
  StartRecording();
  input.MoveTo({-1920, -5});
  Tick();
  input.MoveTo({-1919, -4});
  Tick();
  EXPECT_EQ(Entries(), (std::vector<std::string>{"pauses,before", "move,-1919,-4,10"}));
}

TEST_F(RecordingTest, F10WhileTheSaveDialogIsOpenDoesNotWipeTheRecordingBeingSaved) {
  StartIdle();
  recorder.entries.Add("move,1,1,10");
  recorder.unsaved = true;
  // The user presses F10 while choosing where to save; ticks run inside the dialog.
  dialogs.while_open = [&] {
    dialogs.while_open = nullptr;
    TapKey(vk::kF10);
    Ticks(3);
  };
  recorder.SaveDataToFile();  // cancelled: nothing written, still unsaved
  EXPECT_EQ(recorder.mode, Mode::Idle);
  EXPECT_EQ(Entries(), std::vector<std::string>{"move,1,1,10"});
  EXPECT_TRUE(recorder.unsaved);
  TapKey(vk::kF10);  // once the dialog is closed, F10 records again
  EXPECT_EQ(recorder.mode, Mode::Recording);
}

TEST_F(RecordingTest, DelaysAddUpToTheRecordedTimeWhateverTheTickJitter) {
  StartRecording();
  input.MoveTo({-1, 0});
  Tick();  // the first event starts the clock
  const double start = clock.Now();
  // Ticks 9.4 and 10.7 ms apart, as a real timer delivers them: rounded one by one, the
  // delays would mostly read 9 and 11 and their sum would drift from the real time.
  for (int i = 1; i <= 400; ++i) {
    clock.Advance(i % 2 ? 0.0094 : 0.0107);
    input.MoveTo({i, 0});
    poll.OnTimer();
  }
  double sum = 0;
  for (const auto& entry : Entries()) sum += LeadingNumber(GetField(entry, 4, ","));
  ASSERT_EQ(recorder.entries.Count(), 401);  // the note first
  EXPECT_NEAR(sum, (clock.Now() - start) * 1000, 0.5);
}

// A take that keep_take cannot keep stays, and no recording starts over it (the main window's
// tests keep one).
TEST_F(RecordingTest, F10OverATakeThatCannotBeKeptDoesNotStart) {
  poll.SetKeepTake([]() -> std::string { throw Error(err::kDiskFull, "Disk full"); });
  Record({"move,2,2,10"});
  StartIdle();
  TapKey(vk::kF10);
  EXPECT_EQ(recorder.mode, Mode::Idle);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"move,2,2,10"}));
  EXPECT_EQ(Ctl(ControlId::StatusLine).caption,
            "Not recording: the previous take could not be kept (Disk full); save it first");
  EXPECT_EQ(Ctl(ControlId::RecordButton).caption, "Start Recording");
  EXPECT_TRUE(Ctl(ControlId::PlayButton).enabled);
}

// Recording from the window system's event stream, as both programs have one.
class StreamRecordingTest : public RecordingTest {
 protected:
  StreamRecordingTest() { poll.AttachInputEvents(&stream); }
  // An event `ms` after the clock's reading now, so before the next tick.
  void Add(InputEvent::Kind kind, MouseButton button, Point at, double ms, int32_t delta = 0,
           WheelAxis axis = WheelAxis::Vertical) {
    stream.Add({kind, button, axis, delta, at, clock.Now() + ms / 1000});
  }
  fake::FakeInputEvents stream{&log};
};

using K = InputEvent::Kind;
using enum MouseButton;

// Sampled, the stream places each press and release where and when it happened, between the
// ticks' moves: a tap is a click where it was made, a press the next tick finds elsewhere is a
// drag, and the wheel and the side buttons are recorded as far as their check boxes allow.
TEST_F(StreamRecordingTest, TheStreamPlacesPressesReleasesTheWheelAndTheSideButtons) {
  StartRecording();
  EXPECT_EQ(Calls("Events"), std::vector<std::string>{"Events start"});
  input.MoveTo({10, 10});
  Tick();  // the first move starts the clock
  Add(K::Press, Left, {10, 10}, 3);
  Add(K::Release, Left, {10, 10}, 6);
  input.MoveTo({20, 10});
  Tick();
  Add(K::Press, X1, {20, 10}, 2);
  Add(K::Release, X1, {20, 10}, 4);
  Add(K::Wheel, Left, {20, 10}, 5, -120);
  Add(K::Wheel, Left, {20, 10}, 6, 60, WheelAxis::Horizontal);
  Tick();
  Add(K::Press, Right, {20, 10}, 2);
  input.MoveTo({30, 20});
  Tick();
  Add(K::Release, Right, {35, 20}, 5);
  input.MoveTo({35, 20});
  Tick();
  Ctl(ControlId::RecordWheel).value = 0;
  Ctl(ControlId::RecordSideButtons).value = 0;
  Add(K::Wheel, Left, {35, 20}, 1, 120);
  Add(K::Press, X2, {35, 20}, 2);
  Add(K::Release, X2, {35, 20}, 3);
  Tick();
  TapKey(vk::kPause);
  EXPECT_EQ(Entries(), (std::vector<std::string>{
                           "pauses,before", "Left,10,10,6", "move,20,10,4", "X1Down,20,10,2",
                           "X1Up,20,10,2", "Wheel,20,10,1,-120", "HWheel,20,10,1,60",
                           "RightDown,20,10,6", "move,30,20,8", "RightUp,35,20,5"}));
  EXPECT_EQ(Calls("Events"), (std::vector<std::string>{"Events start", "Events stop"}));
}

// Every event: the note first, every press and release apart, delays to the microsecond, and
// the stream's moves instead of the ticks'.
TEST_F(StreamRecordingTest, EveryEventKeepsPressesAndReleasesApartWithTheirFractions) {
  poll.SetRecordingOptions({.every_event = true});
  StartRecording();
  Add(K::Move, Left, {5, 5}, 1);
  Add(K::Press, Left, {5, 5}, 2.5);
  Add(K::Move, Left, {6, 5}, 3);
  Add(K::Release, Left, {6, 5}, 4.25);
  input.MoveTo({100, 100});
  Tick();
  EXPECT_EQ(Entries(), (std::vector<std::string>{"pauses,before", "move,5,5,0", "LeftDown,5,5,1.5",
                                                 "move,6,5,0.5", "LeftUp,6,5,1.25"}));
  EXPECT_EQ(Calls("Events").front(), "Events start with moves");
}

// A release the stream never delivers (the system withheld it): the tick that reads the button
// up takes it there, so the moves after it are no drag and the next press is a press of its own;
// the stream's late release is dropped. A press read down only by the tick that takes it (the
// latch of its press: Wine's poll sees no button while another program's window has the
// focus) stays held.
TEST_F(StreamRecordingTest, AReleaseTheStreamNeverDeliversIsTakenWhereATickReadsTheButtonUp) {
  StartRecording();
  input.MoveTo({10, 10});
  Tick();  // the first move starts the clock
  input.Press(vk::kLButton);
  Add(K::Press, Left, {10, 10}, 3);
  Ticks(2);
  input.MoveTo({20, 10});
  Tick();
  input.Release(vk::kLButton);  // no release in the stream
  Tick();
  Add(K::Release, Left, {20, 10}, 1);  // late after all
  input.MoveTo({30, 10});
  Tick();
  input.Press(vk::kLButton);
  Add(K::Press, Left, {30, 10}, 1);
  Tick();
  input.Release(vk::kLButton);
  Add(K::Release, Left, {30, 10}, 1);
  Tick();
  input.Tap(vk::kRButton);
  Add(K::Press, Right, {30, 10}, 2);
  Tick();
  input.MoveTo({40, 10});
  Tick();
  Add(K::Release, Right, {40, 10}, 3);
  Tick();
  EXPECT_EQ(Entries(),
            (std::vector<std::string>{"pauses,before", "LeftDown,10,10,3", "move,20,10,27",
                                      "LeftUp,20,10,10", "move,30,10,11", "Left,30,10,11",
                                      "RightDown,30,10,11", "move,40,10,18", "RightUp,40,10,3"}));
}

// Without the stream a recording still runs, from the ticks' samples, and says what it lacks:
// a plain note on the status line and once to the program (standard error), not an error box.
TEST_F(RecordingTest, WithoutAStreamTheRecordingSaysSoAndSamplesTheTicks) {
  fake::FakeInputEvents refusing;
  refusing.FailStart("RECORD is missing");
  const struct {
    InputEvents* events;
    bool every_event;
    const char* said;
  } cases[] = {{&refusing, false,
                "the mouse's event stream could not be started (RECORD is missing): recording "
                "every 10 ms, without the wheel and the side buttons"},
               {nullptr, true,
                "every event cannot be recorded without the mouse's event stream: recording "
                "every 10 ms, without the wheel and the side buttons"}};
  std::vector<std::string> told;
  poll.OnRecordingFallback([&](const std::string& text) { told.push_back(text); });
  for (const auto& c : cases) {
    poll.AttachInputEvents(c.events);
    poll.SetRecordingOptions({.every_event = c.every_event});
    told.clear();
    StartRecording();
    input.MoveTo({1, 1});
    Tick();
    input.MoveTo({2, 2});
    Tick();
    EXPECT_EQ(Entries(), (std::vector<std::string>{"pauses,before", "move,2,2,10"}));
    EXPECT_EQ(Boxes(), 0);
    EXPECT_EQ(told, std::vector<std::string>{c.said});
    EXPECT_EQ(Ctl(ControlId::StatusLine).caption, std::string("[RECORDING] ") + c.said);
    TapKey(vk::kPause);
  }
}

// A recording that ends during a drag stores its release where the pointer was last seen, in
// the recording's own list only: a load that replaced it meanwhile gets nothing.
TEST_F(StreamRecordingTest, AnEndDuringADragReleasesItInTheRecordingOnly) {
  StartRecording();
  input.MoveTo({1, 1});
  Tick();
  input.Press(vk::kMButton);
  Add(K::Press, Middle, {1, 1}, 1);
  input.MoveTo({4, 4});
  Tick();
  input.MoveTo({9, 9});
  Tick();
  clock.Advance(1);
  TapKey(vk::kPause);
  EXPECT_EQ(Entries().back(), "MiddleUp,9,9,1020");

  mem.Put("/take.mmf", FileOf({"move,7,7,0"}));
  StartRecording();
  Add(K::Press, Middle, {9, 9}, 1);
  input.MoveTo({5, 5});
  Tick();
  ASSERT_EQ(Entries().at(1), "MiddleDown,9,9,0");
  recorder.LoadDataFromFile("/take.mmf");  // ends the recording; its save offer is cancelled
  Ticks(2);
  EXPECT_EQ(Entries(), std::vector<std::string>{"move,7,7,0"});
}

}  // namespace
}  // namespace pel::test
