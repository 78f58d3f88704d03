// The poll tick: sampling, release detection, shortcuts per state, the idle step, the status
// line and the blinking indicators.
#include <utility>

#include "testkit/engine_test.h"

namespace pel::test {
namespace {

class PollCycleTest : public EngineTest {};

TEST_F(PollCycleTest, FirstTickIgnoresShortcutsAndAppliesTheEndOfNothing) {
  window.visible = false;
  Ctl(ControlId::PlayButton).caption = "Something else";
  input.Press(vk::kF10);
  input.Press(vk::kF9);
  poll.SetState({.down = {.f10 = true, .f9 = true}});  // down at a tick before
  input.Release(vk::kF10);
  input.Release(vk::kF9);
  // Both read down once more (pressed since the last query), so nothing is released yet.
  Tick();
  EXPECT_EQ(recorder.mode, Mode::Idle);
  EXPECT_EQ(Ctl(ControlId::PlayButton).caption, "Start Playing");
  EXPECT_TRUE(window.visible);
  EXPECT_EQ(poll.State().last_state, Mode::Idle);
}

TEST_F(PollCycleTest, KeysReleasedInTheFirstTickAreNotCommands) {
  poll.SetState({.down = {.f10 = true}});  // F10 was down, is up now: released at the first tick
  Tick();
  EXPECT_EQ(recorder.mode, Mode::Idle);
  Tick();
  EXPECT_EQ(recorder.mode, Mode::Idle);
}

TEST_F(PollCycleTest, ShortcutsActOnReleaseAndOnlyInTheirStates) {
  StartIdle();
  input.Press(vk::kF10);
  Ticks(5);  // holding does nothing
  EXPECT_EQ(recorder.mode, Mode::Idle);
  input.Release(vk::kF10);
  Tick();
  EXPECT_EQ(recorder.mode, Mode::Recording);

  TapKey(vk::kF9);  // ignored while recording
  TapKey(vk::kF10);
  EXPECT_EQ(recorder.mode, Mode::Recording);
  TapKey(vk::kPause);
  EXPECT_EQ(recorder.mode, Mode::Idle);

  TapKey(vk::kPause);  // ignored in Idle
  EXPECT_EQ(recorder.mode, Mode::Idle);
  recorder.entries.Add("move,1,1,10000");
  TapKey(vk::kF9);
  EXPECT_EQ(recorder.mode, Mode::Playing);
  TapKey(vk::kF10);
  TapKey(vk::kF9);
  EXPECT_EQ(recorder.mode, Mode::Playing);
  EXPECT_FALSE(Ctl(ControlId::RecordButton).enabled);
  TapKey(vk::kPause);
  EXPECT_EQ(recorder.mode, Mode::Idle);
}

TEST_F(PollCycleTest, PressAndReleaseInsideOneTickGivesOneReleaseATickLater) {
  StartIdle();
  input.Tap(vk::kF10);
  Tick();  // reads "pressed since the last query"
  EXPECT_EQ(recorder.mode, Mode::Idle);
  Tick();  // the release
  EXPECT_EQ(recorder.mode, Mode::Recording);
  Ticks(3);
  EXPECT_EQ(recorder.mode, Mode::Recording);  // exactly one release
}

TEST_F(PollCycleTest, F10AndF9InOneIdleTickStartRecording) {
  StartIdle();
  input.Tap(vk::kF10);
  input.Tap(vk::kF9);
  Ticks(2);
  EXPECT_EQ(recorder.mode, Mode::Recording);
  EXPECT_TRUE(dialogs.boxes.empty());
}

TEST_F(PollCycleTest, F12TogglesTheWindowInEveryState) {
  StartIdle();
  TapKey(vk::kF12);
  EXPECT_FALSE(window.visible);
  TapKey(vk::kF12);
  EXPECT_TRUE(window.visible);
  TapKey(vk::kF10);
  TapKey(vk::kF12);
  EXPECT_FALSE(window.visible);
  TapKey(vk::kPause);  // Auto Show brings it back at the end
  EXPECT_TRUE(window.visible);
  recorder.entries.Add("move,1,1,10000");
  TapKey(vk::kF9);
  TapKey(vk::kF12);
  EXPECT_FALSE(window.visible);
  TapKey(vk::kF12);
  EXPECT_TRUE(window.visible);
}

TEST_F(PollCycleTest, RecordingStartAndEndAsTheUserSeesThem) {
  StartIdle();
  Ctl(ControlId::AutoHide).value = 1;
  TapKey(vk::kF10);
  EXPECT_EQ(Ctl(ControlId::RecordButton).caption, "Stop");
  EXPECT_FALSE(Ctl(ControlId::PlayButton).enabled);
  EXPECT_FALSE(window.visible);
  EXPECT_EQ(Ctl(ControlId::StatusLine).caption, "[RECORDING]");
  EXPECT_EQ(Ctl(ControlId::StatusLine).fore, color::kRed);
  ASSERT_NE(indicators.Open(IndicatorId::Rec), nullptr);
  EXPECT_TRUE(indicators.Open(IndicatorId::Rec)->visible);
  EXPECT_EQ(indicators.Open(IndicatorId::Rec)->top, 0);

  TapKey(vk::kPause);
  EXPECT_EQ(Ctl(ControlId::RecordButton).caption, "Record");
  EXPECT_TRUE(Ctl(ControlId::RecordButton).enabled);
  EXPECT_TRUE(Ctl(ControlId::PlayButton).enabled);
  EXPECT_TRUE(window.visible);
  EXPECT_EQ(indicators.Open(IndicatorId::Rec), nullptr);
  EXPECT_EQ(indicators.Open(IndicatorId::Play), nullptr);
  // The status line keeps its last text and colour.
  EXPECT_EQ(Ctl(ControlId::StatusLine).caption, "[RECORDING]");
  EXPECT_EQ(Ctl(ControlId::StatusLine).fore, color::kRed);
}

TEST_F(PollCycleTest, PauseClosesTheIndicatorsInTheSameTick) {
  StartIdle();
  TapKey(vk::kF10);
  input.Tap(vk::kPause);
  Tick();
  ASSERT_NE(indicators.Open(IndicatorId::Rec), nullptr);
  log.Clear();
  Tick();
  EXPECT_EQ(recorder.mode, Mode::Idle);
  EXPECT_EQ(Ctl(ControlId::RecordButton).caption, "Record");
  EXPECT_EQ(Calls("frmRec.Close").size(), 1u);
}

TEST_F(PollCycleTest, IndicatorBlinksEveryThreeTenthsOfASecond) {
  StartIdle();
  recorder.entries.Add("move,1,1,100000");
  TapKey(vk::kF9);
  auto* w = indicators.Open(IndicatorId::Play);
  ASSERT_NE(w, nullptr);
  EXPECT_EQ(Ctl(ControlId::StatusLine).caption, "[PLAYING]");
  EXPECT_EQ(Ctl(ControlId::StatusLine).fore, color::kGreen);
  EXPECT_EQ(w->top, 0);
  EXPECT_TRUE(w->visible);
  // Flips come at the first tick past each 0.3 s mark. The off phase hides the window in place:
  // moved up, it would show on a monitor above the primary one.
  std::vector<bool> shown;
  for (int i = 0; i < 100; ++i) {
    Tick();
    shown.push_back(w->visible);
    ASSERT_EQ(w->top, 0);
  }
  int flips = 0;
  for (size_t i = 1; i < shown.size(); ++i) flips += shown[i] != shown[i - 1];
  EXPECT_EQ(flips, 3);  // one second of ticks
  EXPECT_TRUE(std::count(shown.begin(), shown.end(), false) > 0);
  EXPECT_EQ(indicators.loads, 1);  // the window is made once per playback
}

TEST_F(PollCycleTest, ATickInsideAModalBoxOfATickIsDropped) {
  StartIdle();
  int nested = 0;
  dialogs.while_open = [&] {
    ++nested;
    Tick();  // the timer keeps firing while the box's loop runs
    Tick();
  };
  // Every tick fails at the same statement: without the guard the boxes would nest.
  window.fail.failing.insert("lState.SetCaption");
  recorder.entries.Add("move,1,1,100000");
  TapKey(vk::kF9);
  EXPECT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_EQ(nested, 1);
  EXPECT_NE(dialogs.boxes[0].text.find("Form1.Timer1_Timer at line 318"), std::string::npos);
  EXPECT_EQ(recorder.mode, Mode::Playing);  // the tick went on after the report
}

TEST_F(PollCycleTest, FailuresNameTheirStepAndTheTickGoesOn) {
  StartIdle();
  window.fail.failing.insert("PushButton1.SetCaption");
  TapKey(vk::kF10);
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_NE(dialogs.boxes[0].text.find("in Torvane2021/08/31.Form1.Timer1_Timer at line 168\r\r"),
            std::string::npos);
  EXPECT_EQ(recorder.mode, Mode::Recording);
  EXPECT_FALSE(Ctl(ControlId::PlayButton).enabled);
  EXPECT_EQ(Ctl(ControlId::StatusLine).caption, "[RECORDING]");

  window.fail.failing.clear();
  indicators.fail.failing = {"frmRec.Load"};
  TapKey(vk::kPause);
  clock.Advance(1);  // past the last blink flip
  TapKey(vk::kF10);
  // The indicator cannot be made: reported at 328, and the recording goes on.
  EXPECT_TRUE(std::any_of(dialogs.boxes.begin(), dialogs.boxes.end(), [](const auto& b) {
    return b.text.find("Form1.Timer1_Timer at line 328") != std::string::npos;
  }));
  EXPECT_EQ(recorder.mode, Mode::Recording);
}

// The program's side of sleeping: the poll timer ticks only while enabled, and the input backend
// says what arrived while a tick ran.
class SleepingPollTest : public PollCycleTest {
 protected:
  SleepingPollTest() {
    poll.SleepWhenIdle([this] { return std::exchange(arrived, false); });
    window.timer_enabled = true;  // as start-up leaves it
  }
  // One timer period passes; the tick runs if the timer is on.
  void Period() {
    clock.Advance(kTick);
    if (window.timer_enabled) poll.OnTimer();
  }
  bool arrived = false;
};

TEST_F(SleepingPollTest, IdleTheTimerStopsAndAShortTapWakesItUntilTheReleaseIsSeen) {
  Period();  // the first tick makes the state Idle
  EXPECT_FALSE(window.timer_enabled);
  input.Tap(vk::kF10);  // pressed and released before the wake-up is handled
  poll.Wake();
  EXPECT_TRUE(window.timer_enabled) << "the press is seen now, its release needs a tick more";
  EXPECT_EQ(recorder.mode, Mode::Idle);
  Period();
  EXPECT_EQ(recorder.mode, Mode::Recording);
  Period();
  EXPECT_TRUE(window.timer_enabled) << "recording ticks on";
  input.Tap(vk::kPause);
  Period();
  arrived = true;  // a press came in while the next tick ran: one tick more reads it
  Period();
  EXPECT_EQ(recorder.mode, Mode::Idle);
  EXPECT_TRUE(window.timer_enabled);
  Period();
  EXPECT_FALSE(window.timer_enabled);
  EXPECT_TRUE(poll.Asleep());
}

TEST_F(SleepingPollTest, ACommandWhileAsleepActsAtOnceAndSeesNoMoveFromBeforeIt) {
  Period();
  ASSERT_TRUE(poll.Asleep());
  input.MoveTo({300, 200});    // moved while nothing followed it
  recorder.ToggleRecording();  // the Start Recording button
  poll.Wake();
  EXPECT_EQ(Ctl(ControlId::RecordButton).caption, "Stop");
  input.MoveTo({301, 200});
  Period();  // the recording's first move: it only starts the clock
  input.MoveTo({302, 200});
  Period();
  // The note, then the move.
  EXPECT_EQ(recorder.entries.Count(), 2) << "a move seen at the first tick would be stored too";
}

TEST_F(SleepingPollTest, ATaskPostedWhileAsleepRunsAfterTheNextTick) {
  Period();
  ASSERT_TRUE(poll.Asleep());
  bool ran = false;
  poll.Post([&] { ran = true; });
  EXPECT_TRUE(window.timer_enabled);
  Period();
  EXPECT_TRUE(ran);
  Period();
  EXPECT_TRUE(poll.Asleep());
}

TEST_F(SleepingPollTest, ATickDroppedInsideAModalBoxKeepsTheTimerForWhatItMissed) {
  window.fail.failing.insert("PushButton1.SetCaption");
  dialogs.while_open = [&] {
    window.fail.failing.clear();
    input.Tap(vk::kF12);  // pressed while the box is open
    poll.Wake();          // dropped: a tick is running
  };
  // A recording has just ended: the idle step re-enables the buttons and sets their captions.
  poll.SetState({.last_state = Mode::Recording, .down = {}});
  Period();
  ASSERT_EQ(dialogs.boxes.size(), 1u);
  EXPECT_TRUE(window.timer_enabled);
  Period();
  Period();
  EXPECT_FALSE(window.visible) << "F12 acted after the box";
}

}  // namespace
}  // namespace pel::test
