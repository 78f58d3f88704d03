// The playback step: order, waits, repetition, odd entries and the empty list.
#include "engine/motionfile/motion_info.h"
#include "testkit/engine_test.h"

namespace pel::test {
namespace {

class PlaybackTest : public EngineTest {
 protected:
  void Load(std::initializer_list<const char*> entries) {
    for (const char* e : entries) recorder.entries.Add(e);
  }
  // F9 released at the next tick: that tick plays entry 1.
  void StartPlayback() {
    StartIdle();
    input.Tap(vk::kF9);
    Tick();
    log.Clear();
    Tick();
    ASSERT_EQ(recorder.mode, Mode::Playing);
  }
  // Ticks `period` apart, every other one `jitter` late (early when negative), until `count`
  // placements of the cursor, or `ticks` ticks; gives the clock at each placement.
  std::vector<double> Onsets(size_t count, int ticks, double period = kTick, double jitter = 0) {
    std::vector<double> at;
    for (int t = 0; t < ticks && at.size() < count; ++t) {
      const int before = log.Count("SetCursorPos");
      clock.Advance(t % 2 ? period - jitter : period + jitter);
      poll.OnTimer();
      for (int n = log.Count("SetCursorPos") - before; n > 0 && at.size() < count; --n)
        at.push_back(clock.Now());
    }
    return at;
  }
  // What OnStop reported.
  std::vector<std::pair<Mode, StopCause>> stops;
  void WatchStops() {
    poll.SetOnStop([this](Mode m, StopCause c) { stops.emplace_back(m, c); });
  }
  std::vector<std::string> Actions() const {
    std::vector<std::string> v;
    for (const auto& c : log.calls)
      if (c.rfind("SetCursorPos", 0) == 0 || c.rfind("Button", 0) == 0 || c.rfind("Wheel", 0) == 0)
        v.push_back(c);
    return v;
  }
};

TEST_F(PlaybackTest, EntriesPlayInOrderEachAfterThePreviousWait) {
  Load({"move,10,20,30", "Left,11,21,0", "Right,12,22,25", "Middle,-3,4,0"});
  StartPlayback();
  EXPECT_EQ(Actions(), (std::vector<std::string>{"SetCursorPos 10,20"}));
  Ticks(2);
  EXPECT_EQ(Actions().size(), 1u);  // still inside the 30 ms wait
  Tick();                           // the first tick after 30 ms
  EXPECT_EQ(Actions(), (std::vector<std::string>{"SetCursorPos 10,20", "SetCursorPos 11,21",
                                                 "Button Left down", "Button Left up"}));
  Tick();  // no wait after the click
  EXPECT_EQ(Actions().back(), "Button Right up");
  log.Clear();
  Tick();
  EXPECT_TRUE(Actions().empty());  // due 55 ms after the start, whenever Right came
  Tick();
  EXPECT_EQ(Actions(), (std::vector<std::string>{"SetCursorPos -3,4", "Button Middle down",
                                                 "Button Middle up"}));
}

TEST_F(PlaybackTest, OneLeftEntryRepeatsAfterItsWaitAndOneMoreTick) {
  Load({"Left,100,200,1500"});
  StartPlayback();
  EXPECT_EQ(Calls("Button Left down").size(), 1u);
  int ticks = 0;
  while (Calls("Button Left down").size() < 2 && ticks < 1000) {
    Tick();
    ++ticks;
  }
  // The first tick past 1.5 s (the 149th) finds the end of the list; the next one clicks.
  EXPECT_EQ(ticks, 150);
  EXPECT_EQ(recorder.mode, Mode::Playing);
  EXPECT_EQ(input.Pos(), (Point{100, 200}));
}

TEST_F(PlaybackTest, KindsAreReadTrimmedInAnyCaseAndUnknownOnesCostATick) {
  Load({"  move ,1,2,0", "", "hello,5,5,0", "LEFT, 7 , 8 ,0", "Right", "mOvE,9.5,10.5,0"});
  StartPlayback();
  Ticks(6);
  EXPECT_EQ(Actions(),
            (std::vector<std::string>{"SetCursorPos 1,2", "SetCursorPos 7,8", "Button Left down",
                                      "Button Left up",
                                      // "Right" alone: every field is the whole text, read as 0
                                      "SetCursorPos 0,0", "Button Right down", "Button Right up",
                                      // halves round to the even neighbour
                                      "SetCursorPos 10,10"}));
}

// A drag plays as its press, the path with the button down and its release, each where it was
// made; wheel steps scroll where they were made, in any case of their kind.
TEST_F(PlaybackTest, PressesReleasesWheelStepsAndSideButtonsPlayWhereTheyWereMade) {
  Load({"LeftDown,10,10,0", "move,20,10,0", "leftup,30,10,0", "Wheel,30,12,0,-240",
        "HWheel,31,12,0,60", "X2Down,31,12,0", "X2Up,31,12,0", "Wheel,1,1,0,1e20"});
  StartPlayback();
  Ticks(7);
  EXPECT_EQ(Actions(),
            (std::vector<std::string>{
                "SetCursorPos 10,10", "Button Left down", "SetCursorPos 20,10",
                "SetCursorPos 30,10", "Button Left up", "SetCursorPos 30,12", "Wheel Vertical -240",
                "SetCursorPos 31,12", "Wheel Horizontal 60", "SetCursorPos 31,12", "Button X2 down",
                "SetCursorPos 31,12", "Button X2 up"}));
  // A step too large to read is skipped like any number out of range.
  ASSERT_EQ(Boxes(), 1);
  EXPECT_NE(dialogs.boxes[0].text.find("Form1.Timer1_Timer at line 286"), std::string::npos);
}

// Recorded event by event, each pause is waited before its event; the note takes no time. It
// counts only before the first entry other than layout entries, and --info says what playback
// does.
TEST_F(PlaybackTest, EachPauseIsWaitedBeforeItsEventWhereTheNoteCountsAndInfoSaysSo) {
  const std::vector<std::string> moves = {"move,1,1,0", "move,2,2,500", "move,3,3,0"};
  const struct {
    std::vector<std::string> entries;
    bool before;
  } cases[] = {
      {{"pauses,before", moves[0], moves[1], moves[2]}, true},
      {{"screen,0,0,1280x1024,primary,A", "pauses,before", moves[0], moves[1], moves[2]}, true},
      {{moves[0], "pauses,before", moves[1], moves[2]}, false},
      {{moves[0], moves[1], moves[2], "pauses,before"}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::PrintToString(c.entries));
    const std::string info = FormatMotionFileInfo("a.mmf", AnalyzeMotionBytes(FileOf(c.entries)));
    EXPECT_EQ(info.find("Timing: each pause before its event\n") != info.npos, c.before);
    Record(c.entries);
    StartIdle();
    input.Tap(vk::kF9);
    Tick();
    const std::vector<double> onsets = Onsets(3, 100);
    ASSERT_EQ(onsets.size(), 3u);
    if (c.before) {
      EXPECT_NEAR(onsets[1] - onsets[0], 0.5, kTick);
      EXPECT_EQ(onsets[2], onsets[1]);
    } else {
      EXPECT_LT(onsets[1] - onsets[0], 0.25);
      EXPECT_NEAR(onsets[2] - onsets[1], 0.5, kTick);
    }
    TapKey(vk::kPause);
  }
}

TEST_F(PlaybackTest, NumbersOutOfRangeSkipTheirEntryWithOneReportPerPlayback) {
  Load({"move,2,2,1e400", "Left,1e300,1,0", "move,1,1,0", "move,99999999999,5,0"});
  StartPlayback();
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].text.substr(0, 10), "Overflow\r\n");
  EXPECT_NE(dialogs.boxes[0].text.find("Form1.Timer1_Timer at line 260"), std::string::npos);
  EXPECT_TRUE(Actions().empty());  // not even the move before the unreadable wait
  Ticks(30);                       // six passes of the list
  EXPECT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(Actions(), std::vector<std::string>(6, "SetCursorPos 1,1"));

  TapKey(vk::kPause);
  input.Tap(vk::kF9);
  Ticks(12);
  EXPECT_EQ(dialogs.boxes.size(), 2u);  // the next playback reports once again
}

// A cursor held back elsewhere (confined by another program) must not take the click there.
TEST_F(PlaybackTest, AClickWhoseCursorCannotBePlacedIsReportedOncePerPlaybackNotMade) {
  Load({"move,1,1,0", "Left,5,6,0"});
  input.RefusePlacement(true);
  StartPlayback();
  Ticks(10);  // five passes
  EXPECT_EQ(log.Count("Button"), 0);
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_NE(dialogs.boxes[0].text.find("could not be placed at 5,6"), std::string::npos);
  EXPECT_NE(dialogs.boxes[0].text.find("Form1.Timer1_Timer at line 266"), std::string::npos);
  input.RefusePlacement(false);
  Ticks(3);  // a pass
  EXPECT_EQ(log.Count("Button Left down"), 1);
}

// The lock screen or a secure prompt: nothing is played or reported while it has the input,
// the status line says why, and the playback goes on where it stood when it is gone.
TEST_F(PlaybackTest, AnotherDesktopWithTheInputHoldsTheTimelineWithoutAReport) {
  Load({"move,1,1,0", "Left,5,6,0", "move,7,8,0"});
  poll.SetPlaybackOptions({.stop_on_move = true});
  StartPlayback();
  input.SetInputElsewhere(true);
  Ticks(50);
  EXPECT_EQ(Actions(), std::vector<std::string>{"SetCursorPos 1,1"});
  EXPECT_TRUE(dialogs.boxes.empty());
  EXPECT_EQ(Ctl(ControlId::StatusLine).caption, "[PLAYING] " + std::string(kInputAwayNote));
  input.MoveTo({300, 300}, true);  // unlocking
  input.SetInputElsewhere(false);
  Ticks(2);
  EXPECT_EQ(Actions(),
            (std::vector<std::string>{"SetCursorPos 1,1", "SetCursorPos 5,6", "Button Left down",
                                      "Button Left up", "SetCursorPos 7,8"}));
  EXPECT_EQ(recorder.mode, Mode::Playing);
  EXPECT_EQ(Ctl(ControlId::StatusLine).caption, "[PLAYING]");
}

// Placing fails once a button is down: its release, or the click of the same button, still
// lets it go where the pointer is, at once, so the moves after it are no drag.
TEST_F(PlaybackTest, AButtonHeldIsLetGoEvenWhereThePointerCannotBePlaced) {
  for (const char* let_go : {"LeftUp,30,10,0", "Left,30,10,0"}) {
    recorder.entries.Clear();
    Load({"LeftDown,10,10,0", "move,20,10,0", let_go, "move,40,10,0", "move,50,10,1000"});
    StartPlayback();
    input.RefusePlacement(true);
    Ticks(3);
    EXPECT_EQ(Actions(), (std::vector<std::string>{"SetCursorPos 10,10", "Button Left down",
                                                   "SetCursorPos 20,10", "SetCursorPos 30,10",
                                                   "Button Left up", "SetCursorPos 40,10"}))
        << let_go;
    input.RefusePlacement(false);
    TapKey(vk::kPause);
    dialogs.boxes.clear();
  }
}

TEST_F(PlaybackTest, EmptyListShowsTheMessageAndRestoresTheButtonAndWindow) {
  StartIdle();
  Ctl(ControlId::AutoHide).value = 1;
  dialogs.app_title = "Pelmira";
  input.Tap(vk::kF9);
  Ticks(2);
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(dialogs.boxes[0].text, "No Data loaded for Playback");
  EXPECT_EQ(dialogs.boxes[0].title, "Pelmira");
  EXPECT_EQ(dialogs.boxes[0].buttons, MsgButtons::Ok);
  EXPECT_EQ(recorder.mode, Mode::Idle);
  EXPECT_EQ(Ctl(ControlId::PlayButton).caption, "Start Playing");
  EXPECT_TRUE(window.visible);
  Ticks(3);
  EXPECT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_TRUE(Ctl(ControlId::RecordButton).enabled);
  EXPECT_EQ(indicators.Open(IndicatorId::Play), nullptr);
}

TEST_F(PlaybackTest, PauseInALongWaitStopsAtTheNextTickAndTheNextRunStartsAtEntryOne) {
  Load({"move,1,1,10000", "move,2,2,0"});
  StartPlayback();
  Ticks(50);
  input.Tap(vk::kPause);
  Ticks(2);
  EXPECT_EQ(recorder.mode, Mode::Idle);
  EXPECT_EQ(poll.Playback().PlayedIndex(), 0);
  EXPECT_EQ(Ctl(ControlId::PlayButton).caption, "Start Playing");
  log.Clear();
  input.Tap(vk::kF9);
  Ticks(2);
  EXPECT_EQ(Actions(), (std::vector<std::string>{"SetCursorPos 1,1"}));
}

TEST_F(PlaybackTest, ButtonsWhilePlaying) {
  Load({"move,1,1,10000"});
  StartPlayback();
  EXPECT_EQ(Ctl(ControlId::PlayButton).caption, "Stop");
  EXPECT_FALSE(Ctl(ControlId::RecordButton).enabled);
  recorder.ToggleRecording();  // the Start Recording path does nothing while playing
  Tick();
  EXPECT_EQ(recorder.mode, Mode::Playing);
  recorder.StartPlaying();  // the same button stops it
  Tick();
  EXPECT_EQ(recorder.mode, Mode::Idle);
  EXPECT_TRUE(Ctl(ControlId::RecordButton).enabled);
}

TEST_F(PlaybackTest, RecordedDelaysReplayAsTheSameWaits) {
  StartIdle();
  TapKey(vk::kF10);
  input.MoveTo({1, 1});
  Tick();
  for (int gap : {3, 7, 1, 12}) {
    Ticks(gap - 1);
    input.MoveTo({input.Pos().x + 1, 1});
    Tick();
  }
  TapKey(vk::kPause);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"pauses,before", "move,2,1,30", "move,3,1,71",
                                                 "move,4,1,10", "move,5,1,121"}));
  // Each entry plays at the first tick after it is due, its delay after the one before it, as
  // recorded (replayed at ticks of 10.3 ms).
  input.Tap(vk::kF9);
  Tick();
  const std::vector<double> played_at = Onsets(4, 40, 0.0103);
  ASSERT_EQ(played_at.size(), 4u);
  const double due[] = {0.071, 0.081, 0.202};
  for (size_t i = 0; i < 3; ++i) {
    const double late = played_at[i + 1] - played_at[0] - due[i];
    EXPECT_GT(late, 0) << "entry " << i + 2;
    EXPECT_LE(late, 0.0103) << "entry " << i + 2;
  }
}

TEST_F(PlaybackTest, ReplayKeepsTheRecordedSpanWhenTicksJitter) {
  // Moves recorded one per tick play one per tick: ticks that come a little early must not
  // make an entry wait a whole extra tick, nor must late ones add up.
  std::vector<std::string> path;
  for (int i = 1; i <= 300; ++i) path.push_back("move," + std::to_string(i) + ",0,10");
  for (const auto& e : path) recorder.entries.Add(e);
  StartIdle();
  input.Tap(vk::kF9);
  Tick();
  const std::vector<double> onsets = Onsets(path.size(), 600, 0.010, 0.0005);
  ASSERT_EQ(onsets.size(), path.size());
  // 299 waits of 10 ms between the first entry and the last.
  EXPECT_NEAR(onsets.back() - onsets.front(), 2.990, 0.011);
}

TEST_F(PlaybackTest, AHeldUpTickRestartsTheScheduleInsteadOfRacingToCatchUp) {
  Load({"move,1,0,10", "move,2,0,10", "move,3,0,10", "move,4,0,10"});
  StartPlayback();
  clock.Advance(2.0);  // a tick held up for two seconds (a busy machine)
  Tick();
  EXPECT_EQ(log.Count("SetCursorPos"), 2);
  Tick();  // one tick later, not at once: the wait counts from the late entry
  EXPECT_EQ(log.Count("SetCursorPos"), 3);
}

// --- Options from the command line

TEST_F(PlaybackTest, RepeatCountPlaysExactlyThatManyPassesThenEndsAsPauseWould) {
  poll.SetPlaybackOptions({.repeat = 2});
  WatchStops();
  Ctl(ControlId::AutoHide).value = 1;
  Load({"Left,5,5,20", "move,6,6,0"});
  StartPlayback();
  EXPECT_FALSE(window.visible);
  Ticks(40);
  EXPECT_EQ(Calls("Button Left down").size(), 2u);
  EXPECT_EQ(recorder.mode, Mode::Idle);
  EXPECT_EQ(Ctl(ControlId::PlayButton).caption, "Start Playing");
  EXPECT_TRUE(Ctl(ControlId::RecordButton).enabled);
  EXPECT_TRUE(window.visible);  // Auto Show
  EXPECT_EQ(indicators.Open(IndicatorId::Play), nullptr);
  EXPECT_EQ(stops, (std::vector<std::pair<Mode, StopCause>>{{Mode::Playing, StopCause::Passes}}));
}

// A playback keeps the options it began with: those set meanwhile apply from the next one.
TEST_F(PlaybackTest, OptionsSetDuringAPlaybackApplyFromTheNextOne) {
  Load({"Left,5,5,20", "move,6,6,0"});
  StartPlayback();
  poll.SetPlaybackOptions({.repeat = 1});
  Ticks(40);
  EXPECT_EQ(recorder.mode, Mode::Playing);
  EXPECT_GT(poll.Playback().PassesDone(), 1);
  TapKey(vk::kPause);
  TapKey(vk::kF9);
  Ticks(40);
  EXPECT_EQ(recorder.mode, Mode::Idle);
  EXPECT_EQ(poll.Playback().PassesDone(), 1);
}

TEST_F(PlaybackTest, AtHighSpeedEveryEntryDueByATickPlaysInThatTickInOrder) {
  poll.SetPlaybackOptions({.speed = 100});
  for (int i = 1; i <= 300; ++i) {
    recorder.entries.Add("move," + std::to_string(i) + ",0,12");
    if (i == 50) recorder.entries.Add("not a motion");  // skipped, costs no time
  }
  StartPlayback();
  EXPECT_EQ(log.Count("SetCursorPos"), 1);
  Tick();  // 10.1 ms at 0.12 ms per entry
  const std::vector<std::string> played = Actions();
  ASSERT_EQ(played.size(), 85u);
  for (size_t i = 0; i < 85; ++i)
    EXPECT_EQ(played[i], "SetCursorPos " + std::to_string(i + 1) + ",0");

  // A list with nothing to play cannot hold a tick forever: one pass per tick.
  TapKey(vk::kPause);
  recorder.entries.Clear();
  Load({"", "hello"});
  poll.SetPlaybackOptions({.repeat = 3, .speed = 100});
  input.Tap(vk::kF9);
  Ticks(3);
  EXPECT_EQ(recorder.mode, Mode::Playing);
  EXPECT_EQ(poll.Playback().PassesDone(), 2);
  Tick();
  EXPECT_EQ(recorder.mode, Mode::Idle);
}

TEST_F(PlaybackTest, StopOnMoveEndsPlaybackWhenTheUserMovesThePointerOrClicks) {
  poll.SetPlaybackOptions({.stop_on_move = true});
  WatchStops();
  Load({"move,100,100,5000"});
  StartPlayback();
  input.MoveTo({104, 96});  // a pixel or two of rounding
  Ticks(3);
  EXPECT_EQ(recorder.mode, Mode::Playing);
  input.MoveTo({105, 100});
  Tick();
  EXPECT_EQ(recorder.mode, Mode::Idle);
  EXPECT_EQ(Ctl(ControlId::PlayButton).caption, "Start Playing");

  // A press or a move before the playback starts (on its own button) does not count; one
  // during it does.
  input.Tap(vk::kLButton);
  input.MoveTo({50, 50}, true);
  input.Tap(vk::kF9);
  Ticks(4);
  EXPECT_EQ(recorder.mode, Mode::Playing);
  input.Tap(vk::kLButton);
  Tick();
  EXPECT_EQ(recorder.mode, Mode::Idle);

  // The user's own motion counts, however soon the next entry put the pointer back.
  recorder.entries.Clear();
  Load({"move,100,100,3", "move,101,100,3"});
  input.Tap(vk::kF9);
  Ticks(4);
  input.MoveTo({400, 300}, true);
  input.MoveTo({101, 100});
  Tick();
  EXPECT_EQ(recorder.mode, Mode::Idle);

  // Entry 1 waits its pause first: the pointer moved from where it stood meanwhile.
  poll.SetPlaybackOptions({.stop_on_move = true, .wait_before = true});
  input.Tap(vk::kF9);
  Ticks(2);
  input.MoveTo({60, 50});
  Tick();
  EXPECT_EQ(recorder.mode, Mode::Idle);
  EXPECT_EQ(stops,
            (std::vector<std::pair<Mode, StopCause>>{{Mode::Playing, StopCause::UserMoved},
                                                     {Mode::Playing, StopCause::UserClicked},
                                                     {Mode::Playing, StopCause::UserMoved},
                                                     {Mode::Playing, StopCause::UserMoved}}));

  poll.SetPlaybackOptions({.wait_before = true});
  input.Tap(vk::kF9);
  Ticks(2);
  input.MoveTo({500, 500}, true);
  input.Tap(vk::kLButton);
  Ticks(3);
  EXPECT_EQ(recorder.mode, Mode::Playing);
}

// Entries due at once (clicks without delays, a long run of layout entries) are played over
// several ticks, each asking for the next at once, so that keys are read between them.
TEST_F(PlaybackTest, ATickDoesABoundedShareOfWhatIsDueAndPauseActsAtOnce) {
  constexpr int32_t kBound = PlaybackStep::kEntriesPerTick;
  PlaybackOptions speed2;
  speed2.speed = 2;
  const std::vector<std::string> clicks(3 * kBound, "Left,1,1,0");
  std::vector<std::string> layouts(3 * kBound, "screen,0,0,10x10,primary,A");
  layouts.push_back("Left,2,2,0");
  const struct {
    const char* name;
    PlaybackOptions options;
    const std::vector<std::string>& entries;
  } cases[] = {{"clicks without delays, paced", speed2, clicks},
               {"layout entries", {}, layouts},
               {"layout entries, paced", speed2, layouts}};
  poll.SleepWhenIdle([] { return false; });
  StartIdle();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Record(c.entries);
    poll.SetPlaybackOptions(c.options);
    input.Tap(vk::kF9);
    Tick();
    for (int tick = 1; tick <= 2; ++tick) {
      Tick();
      ASSERT_EQ(recorder.mode, Mode::Playing);
      EXPECT_LE(poll.Playback().PlayedIndex(), tick * kBound);
      EXPECT_LE(log.Count("Button Left down"), tick * kBound);
      ASSERT_TRUE(window.next_tick.has_value());
      EXPECT_LE(*window.next_tick, 0.0) << "the rest is due at once";
    }
    input.Tap(vk::kPause);
    Ticks(2);
    EXPECT_EQ(recorder.mode, Mode::Idle);
    EXPECT_LE(log.Count("Button Left down"), 3 * kBound);
    log.Clear();
  }
}

TEST_F(PlaybackTest, WaitBeforeReplaysEachEventAtItsRecordedMoment) {
  // Recorded: the first event at 0 (kept only as the origin of entry 1's delay), moves at 10
  // and 20 ms, a click after hovering for half a second, one more move.
  // Played at the poll's ticks (on time: see below).
  poll.SetPlaybackOptions({.wait_before = true, .tick_bound = true});
  Load({"move,1,0,10", "move,2,0,10", "Left,2,0,500", "move,3,0,10"});
  StartIdle();
  input.Tap(vk::kF9);
  Tick();
  Tick();  // the first tick of the playback stands for the first event
  const double start = clock.Now();
  EXPECT_EQ(log.Count("SetCursorPos"), 0);
  // Recorded at ticks of 10 ms, so each event is due at a tick of the playback; every other one
  // comes 3 ms early, which must not put its event off to the next tick.
  const std::vector<double> onsets = Onsets(8, 200, 0.010, -0.003);
  ASSERT_EQ(onsets.size(), 8u);
  // The second pass starts when the last entry was due, with entry 1's wait.
  const double recorded[] = {0.010, 0.020, 0.520, 0.530, 0.540, 0.550, 1.050, 1.060};
  for (size_t i = 0; i < 8; ++i)
    EXPECT_NEAR(onsets[i] - start, recorded[i], kTick / 2) << "event " << i;
  EXPECT_EQ(Calls("Button Left down").size(), 2u);
}

// --- On time: the poll timer set for each moment the cycle needs, as the programs' windows do

TEST_F(PlaybackTest, OnTimeEachEntryPlaysAtItsOwnMomentAndNothingTicksInBetween) {
  struct Case {
    const char* name;
    PlaybackOptions options;
    std::vector<const char*> entries;
    double run_s;
    std::vector<double> onsets_ms;  // from the first tick of the playback
    int min_ticks, max_ticks;       // the blink (every 0.3 s) counts
    int hold_after = 0;             // the tick after this many onsets comes 2 s late
  };
  PlaybackOptions before, speed2, stop_on_move;
  before.wait_before = true;
  speed2.speed = 2;
  stop_on_move.stop_on_move = true;
  const std::vector<const char*> four = {"move,1,0,10", "move,2,0,10", "move,3,0,10",
                                         "move,4,0,10"};
  // clang-format off
  const Case cases[] = {
      // Each wait after its entry; a wait of 0 plays the next entry at once; the end of the
      // list costs one period, and entry 1's wait counts from there.
      {"default", {}, {"move,1,0,30", "move,2,0,0", "Left,3,0,25", "move,4,0,1000"}, 1.2,
       {0, 30, 30, 55, 1065, 1095}, 8, 14},
      {"another kind costs a period", {}, {"move,1,0,20", "", "move,2,0,0"}, 0.1,
       {0, 30, 40, 70}, 8, 10},
      // Each pause before its event; the next pass starts when the last entry was due.
      {"pauses before events", before, {"move,1,0,10", "Left,2,0,500", "move,3,0,10"}, 1.1,
       {10, 510, 520, 530, 1030}, 8, 14},
      {"speed 2: every entry at its own moment", speed2, four, 0.03, {0, 5, 10, 15, 20, 25}, 6, 8},
      {"a held-up tick restarts the timeline", {}, four, 2.04, {0, 2010, 2020, 2030}, 4, 6, 1},
      {"a second apart", {}, {"move,1,0,1000", "move,2,0,1000"}, 3.0, {0, 1000, 2010}, 12, 15},
      {"stop on move watches the pointer every period", stop_on_move, {"move,1,0,1000"}, 1.02,
       {0, 1010}, 100, 104},
      // A flip due up to a period before an entry comes with it.
      {"the blink waits for an entry due within a period", {},
       {"move,1,0,310", "move,2,0,310", "move,3,0,310", "move,4,0,310", "move,5,0,310"}, 1.5,
       {0, 310, 620, 930, 1240}, 7, 8},
  };
  // clang-format on
  poll.SleepWhenIdle([] { return false; });
  StartIdle();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    recorder.entries.Clear();
    for (const char* e : c.entries) recorder.entries.Add(e);
    poll.SetPlaybackOptions(c.options);
    input.Tap(vk::kF9);
    Tick();
    Tick();  // sees the release: the playback's first tick
    ASSERT_EQ(recorder.mode, Mode::Playing);
    const double start = clock.Now();
    std::vector<double> onsets;
    int ticks = 0;
    bool held = false;
    if (log.Count("SetCursorPos") > 0) onsets.push_back(0);
    while (clock.Now() - start < c.run_s && ticks < 1000) {
      ASSERT_TRUE(window.next_tick.has_value());
      clock.Advance(std::max(0.0, *window.next_tick));
      if (!held && c.hold_after > 0 && static_cast<int>(onsets.size()) == c.hold_after) {
        clock.Advance(2.0);
        held = true;
      }
      const int before_tick = log.Count("SetCursorPos");
      poll.OnTimer();
      ++ticks;
      for (int n = log.Count("SetCursorPos") - before_tick; n > 0; --n)
        onsets.push_back((clock.Now() - start) * 1000);
    }
    ASSERT_GE(onsets.size(), c.onsets_ms.size());
    for (size_t i = 0; i < c.onsets_ms.size(); ++i)
      EXPECT_NEAR(onsets[i], c.onsets_ms[i], 0.01) << "onset " << i;
    EXPECT_GE(ticks, c.min_ticks);
    EXPECT_LE(ticks, c.max_ticks);
    TapKey(vk::kPause);
    ASSERT_EQ(recorder.mode, Mode::Idle);
    log.Clear();
  }

  // Between two moments Pause wakes the cycle through the latch; its release is seen a period
  // later, and the period ends with the playback.
  poll.SetPlaybackOptions({});
  recorder.entries.Clear();
  Load({"move,1,0,5000"});
  input.Tap(vk::kF9);
  Ticks(2);
  clock.Advance(*window.next_tick);  // the indicator's next blink
  poll.OnTimer();
  const double asleep_from = clock.Now();
  EXPECT_GT(*window.next_tick, 0.25);
  clock.Advance(0.1);
  input.Press(vk::kPause);
  poll.Wake();
  EXPECT_NEAR(*window.next_tick, PollCycle::kTickPeriod, 1e-9);
  input.Release(vk::kPause);
  clock.Advance(*window.next_tick);
  poll.OnTimer();
  EXPECT_EQ(recorder.mode, Mode::Idle);
  EXPECT_LT(clock.Now() - asleep_from, 0.12);
  EXPECT_FALSE(window.next_tick.has_value());

  // A window that cannot set the poll timer for a moment plays on the period.
  window.fail.failing.insert("Timer1.SetNextTick");
  input.Tap(vk::kF9);
  Ticks(2);
  EXPECT_EQ(recorder.mode, Mode::Playing);
  EXPECT_TRUE(window.timer_enabled);
}

// However a playback ends, the button a drag holds down is let go: Pause, the user taking the
// mouse, the last pass, the end of each pass (boxes and the program's end: tests/app).
TEST(PlaybackEnds, NoButtonStaysHeld) {
  const struct {
    const char* name;
    int repeat;  // passes asked for, 0 until stopped
    bool stop_on_move, pause, user_moves;
    int ticks;       // after Pause or the user's move
    size_t presses;  // each to be released
  } cases[] = {{"Pause", 0, false, true, false, 2, 1},
               {"stop on move", 0, true, false, true, 1, 1},
               {"the last pass", 1, false, false, false, 6, 1},
               {"the end of a pass", 0, false, false, false, 6, 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EngineRig r;
    r.recorder.entries.Add("LeftDown,10,10,0");
    r.recorder.entries.Add("move,20,10,30");
    r.poll.SetPlaybackOptions({.repeat = c.repeat, .stop_on_move = c.stop_on_move});
    r.Tick();
    r.input.Tap(vk::kF9);
    r.Ticks(3);
    if (c.pause) r.input.Tap(vk::kPause);
    if (c.user_moves) r.input.MoveTo({300, 300});
    r.Ticks(c.ticks);
    std::vector<std::string> buttons, want;
    for (const std::string& call : r.log.calls)
      if (call.rfind("Button", 0) == 0) buttons.push_back(call);
    for (size_t i = 0; i < c.presses; ++i)
      want.insert(want.end(), {"Button Left down", "Button Left up"});
    EXPECT_EQ(buttons, want);
  }
}

}  // namespace
}  // namespace pel::test
