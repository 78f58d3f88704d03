// The recording step: what a recording stores, with which delays and positions.
#include "testkit/engine_test.h"

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
  EXPECT_EQ(recorder.entries.Count(), 0);
  input.MoveTo({101, 100});
  Tick();
  EXPECT_EQ(recorder.entries.Count(), 0);  // first event: no entry
  input.MoveTo({102, 100});
  Tick();
  input.MoveTo({102, 100});  // back where it was at the previous tick: nothing
  Tick();
  input.MoveTo({103, 101});
  Tick();
  EXPECT_EQ(Entries(), (std::vector<std::string>{"move,102,100,10", "move,103,101,20"}));
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
  EXPECT_EQ(Entries(), (std::vector<std::string>{"move,11,20,1500", "Left,11,20,1510"}));
}

TEST_F(RecordingTest, AFirstClickIsNotStoredAndClicksTakeTheReleasePosition) {
  input.MoveTo({50, 60});
  StartRecording();
  Click(vk::kLButton);  // first event of the recording
  EXPECT_EQ(recorder.entries.Count(), 0);
  Ctl(ControlId::RecordMoves).value = 0;
  input.Press(vk::kRButton);
  Tick();
  input.MoveTo({70, 80});  // moved while held: the entry holds where it was released
  input.Release(vk::kRButton);
  Tick();
  EXPECT_EQ(Entries(), (std::vector<std::string>{"Right,70,80,20"}));
}

TEST_F(RecordingTest, ButtonsHeldLongGiveOneEntryAtRelease) {
  StartRecording();
  input.MoveTo({1, 1});
  Tick();
  Click(vk::kMButton, 100);
  Click(vk::kRButton, 100);
  Click(vk::kLButton, 1);
  EXPECT_EQ(Entries(),
            (std::vector<std::string>{"Middle,1,1,1020", "Right,1,1,1020", "Left,1,1,20"}));
}

TEST_F(RecordingTest, EventsOfOneTickComeInOrderMoveLeftMiddleRight) {
  StartRecording();
  input.MoveTo({5, 5});
  Tick();
  input.Tap(vk::kRButton);
  input.Tap(vk::kMButton);
  input.Tap(vk::kLButton);
  Tick();
  input.MoveTo({6, 6});
  Tick();
  EXPECT_EQ(Entries(),
            (std::vector<std::string>{"move,6,6,20", "Left,6,6,0", "Middle,6,6,0", "Right,6,6,0"}));
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
  EXPECT_EQ(Entries(), (std::vector<std::string>{"Middle,1,1,40", "Right,2,2,31"}));
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
  EXPECT_EQ(recorder.entries.Count(), 0);
  EXPECT_FALSE(recorder.unsaved);  // clearing does not touch the flag
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
  EXPECT_EQ(Entries(), (std::vector<std::string>{"move,4,4,10"}));
}

TEST_F(RecordingTest, TicksWithAnUnreadableCursorRecordNothingAndKeepTheLastPosition) {
  input.MoveTo({40, 50});
  StartRecording();
  input.MoveTo({41, 50});
  Tick();                         // first event
  input.FailCursorQueries(true);  // the pointer went to another screen
  Click(vk::kLButton);
  Ticks(3);
  EXPECT_EQ(recorder.entries.Count(), 0);
  bool known = true;
  EXPECT_EQ(recorder.GetMousePos(&known), (Point{41, 50}));
  EXPECT_FALSE(known);
  input.FailCursorQueries(false);
  input.MoveTo({60, 70});
  Tick();
  EXPECT_EQ(Entries(), (std::vector<std::string>{"move,60,70,61"}));  // six ticks since the first
}

TEST_F(RecordingTest, NegativeCoordinatesOfOtherMonitorsAreKept) {
  StartRecording();
  input.MoveTo({-1920, -5});
  Tick();
  input.MoveTo({-1919, -4});
  Tick();
  EXPECT_EQ(Entries(), (std::vector<std::string>{"move,-1919,-4,10"}));
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
  ASSERT_EQ(recorder.entries.Count(), 400);
  EXPECT_NEAR(sum, (clock.Now() - start) * 1000, 0.5);
}

// A take that keep_take cannot keep stays, and no recording starts over it (the main window's
// tests keep one).
TEST_F(RecordingTest, F10OverATakeThatCannotBeKeptDoesNotStart) {
  poll.keep_take = []() -> std::string { throw Error(err::kDiskFull, "Disk full"); };
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

}  // namespace
}  // namespace pel::test
