#pragma once
// The poll cycle of the main window: every 10 ms Timer1_Timer samples the cursor, the three
// buttons and the four shortcut keys, turns releases into commands, runs the step of the
// current recorder state (recording, playback or idle) and keeps the status line and the
// indicator windows up to date.
//
// Sleeping while idle. Recording and playback need every tick on time. Idle, a tick only has
// something to do when one of the seven inputs changes or a window command has changed the
// state; the ticks in between sample an unchanged world and cost a wake-up of the program and
// of the window system a hundred times a second. So once a tick leaves the cycle idle with
// every input up (NeedsTicks() false), Timer1 stops (MainWindow::SetTimerEnabled), provided
// the program can wake the cycle:
// - Input: the program's input backend reports each press and release of F9, F10, F12, Pause
//   and the three buttons as it arrives (on X11 the XInput2 raw events of X11Input's own
//   connection, watched by a socket notifier) and calls Wake(). Before stopping Timer1 the tick
//   also asks it (the `arrived` function) whether such input came in while the tick ran, so
//   none is left unseen. Nothing else runs while asleep: no pointer or keymap query.
// - Window commands: Form1 calls Wake() after each button's handler.
// Wake() ticks at once and starts Timer1 again, whose ticks then run while any input reads
// down, so that the release rule and the latch work exactly as with a timer that never stops:
// a press seen at one tick, its release at a later one, however short the press. The tick that
// ends a sleep takes the pointer to stand where it stood at the previous tick (nothing followed
// it meanwhile), so a recording started by a command never begins with a move it did not see.
// A program without such reports (the Windows program until its Raw Input latch reports
// arrivals) never calls SleepWhenIdle() and keeps its timer running. To plug in, it calls
// SleepWhenIdle() with a function that says whether WM_INPUT brought a watched press or
// release since it was last asked, and Wake() from the WM_INPUT handler for each such one; its
// SetTimerEnabled (KillTimer, SetTimer) already does the rest.

#include <cstdint>
#include <functional>
#include <string>

#include "engine/error_report.h"
#include "engine/indicator_windows.h"
#include "engine/recorder.h"
#include "platform/windows.h"

namespace pel {

// What the main window keeps from one tick to the next. Clock readings are seconds of the
// monotonic clock (pel::Clock).
struct PollState {
  int32_t LastX = 0;
  int32_t LastY = 0;
  double LastEventTime = 0;     // clock at the last handled recording event; 0: none yet
  Mode LastState = Mode::None;  // RecorderState at the end of the previous tick
  bool BlinkOn = false;
  double NextBlinkTime = 0;
  int32_t PlayIndex = 0;  // entry played last, 1-based; 0 before the first
  bool PrevLeft = false, PrevRight = false, PrevMiddle = false, PrevPause = false, PrevF12 = false,
       PrevF10 = false, PrevF9 = false;
  bool CurLeft = false, CurRight = false, CurMiddle = false, CurPause = false, CurF12 = false,
       CurF10 = false, CurF9 = false;
  double NextPlayTime = 0;        // clock after which the next entry plays; 0 when idle
  bool BadEntryReported = false;  // this playback has reported an entry it cannot play
};

struct PollHost {
  Recorder& engine;
  Globals& globals;
  MainWindow& form;
  IndicatorWindows& indicators;
  Dialogs& dialogs;
};

class PollCycle {
 public:
  explicit PollCycle(PollHost host) : host_(host) {}

  // One tick. A tick that arrives while another is still running (only possible from inside a
  // modal box the running tick opened) is dropped, so boxes never stack up tick after tick; the
  // cycle then needs the next tick even if idle, to read what the dropped one would have read.
  void Timer1_Timer();

  // From now on Timer1 stops after a tick for which NeedsTicks() is false and `arrived` returns
  // false. `arrived` takes in the input that has come, without waiting, and says whether a
  // watched press or release came since it was last called; the program calls Wake() for such
  // input as it arrives.
  void SleepWhenIdle(std::function<bool()> arrived);
  // Something the cycle reacts to happened: watched input or a window command. Idle or asleep,
  // it ticks now and Timer1's period counts from this tick; recording or playing, Timer1 runs
  // anyway and its next tick sees it. Does nothing unless SleepWhenIdle() was called.
  void Wake();
  // False when the tick just run left nothing for the next one to do: idle after an idle tick,
  // no input down (no release to wait for), and no tick dropped or wake-up missed meanwhile.
  bool NeedsTicks() const;
  // True while Timer1 is stopped for want of work.
  bool Asleep() const { return asleep_; }

  PollState State;

  // Seconds between blink flips of the indicator window.
  static constexpr double kBlinkPeriod = 0.3;
  // Period of Timer1, in seconds.
  static constexpr double kTickPeriod = 0.010;
  // Playback keeps to the recorded schedule unless it has fallen this far behind it (a tick
  // held up by a dialog, a busy machine): then the next wait counts from now.
  static constexpr double kResyncAfter = 1.5 * kTickPeriod;

 private:
  struct Releases {
    bool Left = false, Right = false, Middle = false, F12 = false, F10 = false, F9 = false,
         Pause = false;
  };
  void Tick();
  // Starts or stops Timer1; false when the window refused.
  bool SetTimer(bool enabled);
  void RecordingStep(Procedure& p, int32_t x, int32_t y, bool cursor_known, const Releases& r);
  void RecordEvent(Procedure& p, int first_step, int32_t x, int32_t y, MotionKind kind);
  void PlaybackStep(Procedure& p);
  void IdleStep(Procedure& p);
  void StatusStep(Procedure& p);
  bool Checked(ControlId id);

  PollHost host_;
  bool in_tick_ = false;
  bool missed_ = false;  // since the last tick began, one was dropped or Wake() came during it
  bool asleep_ = false;
  std::function<bool()> arrived_;  // empty: Timer1 never stops
};

}  // namespace pel
