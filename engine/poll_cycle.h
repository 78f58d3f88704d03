#pragma once
// The poll cycle of the main window: every 10 ms OnTimer samples the cursor, the three
// buttons and the four shortcut keys, turns releases into commands, runs the step of the
// current recorder state (recording, playback or idle) and keeps the status line and the
// indicator windows up to date.
//
// Sleeping while idle. Recording and playback need every tick on time. Idle, a tick only has
// something to do when one of the seven inputs changes or a window command has changed the
// state; the ticks in between sample an unchanged world and cost a wake-up of the program and
// of the window system a hundred times a second. So once a tick leaves the cycle idle with
// every input up (NeedsTicks() false), the poll timer stops (MainWindow::SetTimerEnabled), provided
// The program can wake the cycle:
// - Input: the program's input backend reports each press and release of F9, F10, F12, Pause
//   and the three buttons as it arrives and the program calls Wake(); pointer moves and other
//   keys do not. Before stopping the poll timer the tick also asks the backend (the `arrived`
//   function) whether such input came in while the tick ran, so none is left unseen. Nothing else
//   runs while asleep: no pointer or keymap query.
// - Window commands: MainForm calls Wake() after each button's handler.
// Wake() ticks at once and starts the poll timer again, whose ticks then run while any input reads
// down, so that the release rule and the latch work exactly as with a timer that never stops:
// a press seen at one tick, its release at a later one, however short the press. The tick that
// ends a sleep takes the pointer to stand where it stood at the previous tick (nothing followed
// it meanwhile), so a recording started by a command never begins with a move it did not see.
// A program without such reports never calls SleepWhenIdle() and keeps its timer running.
//
// Playing on time. A playback does not wait for the poll's ticks: after each tick the poll timer is
// set for the moment the cycle next needs one (MainWindow::SetNextTick): the next entry's due
// moment on the playback's timeline (PlaybackSchedule), the next blink of the indicator, or one
// period away while an input reads down, a wake-up was missed, a task waits, the pointer is
// watched (stop on move) or the program cannot wake the cycle for input. So a playback whose
// entries are seconds apart wakes the program for its entries, its blinks and the keys, not a
// hundred times a second, and each entry plays at its own moment rather than at the next tick.
//
// Playback options (Options, from the command line; all off by default). A repeat count ends
// The playback after that many passes, as Pause would. A speed other than 1, or waits before
// entries, make the playback paced (PlaybackSchedule). Stop on move ends a playback when the
// user moves the pointer or presses a real mouse button.
//
// The cycle's files: poll_cycle.cpp the tick itself (sampling, shortcuts, the idle step, sleep,
// wake and posted tasks), recording_step.cpp, playback_step.cpp (its timeline in
// playback_schedule.h), status_step.cpp (status line and blinking indicator).

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/designed_captions.h"
#include "engine/error_report.h"
#include "engine/indicator_windows.h"
#include "engine/motion_entry.h"
#include "engine/playback_options.h"
#include "engine/playback_schedule.h"
#include "engine/recorder.h"
#include "engine/screen_layout.h"
#include "platform/main_window.h"

namespace pel {

// What the main window keeps from one tick to the next. Clock readings are seconds of the
// monotonic clock (pel::Clock).
struct PollState {
  int32_t LastX = 0;
  int32_t LastY = 0;
  double LastEventTime = 0;     // clock at the last handled recording event; 0: none yet
  Mode LastState = Mode::None;  // mode at the end of the previous tick
  bool BlinkOn = false;
  double NextBlinkTime = 0;
  int32_t PlayIndex = 0;  // entry played last, 1-based; 0 before the first
  bool PrevLeft = false, PrevRight = false, PrevMiddle = false, PrevPause = false, PrevF12 = false,
       PrevF10 = false, PrevF9 = false;
  bool CurLeft = false, CurRight = false, CurMiddle = false, CurPause = false, CurF12 = false,
       CurF10 = false, CurF9 = false;
  // When the entries of the running playback are due (NextPlayTime); cleared when idle.
  PlaybackSchedule Schedule;
  bool BadEntryReported = false;  // this playback has reported an entry it cannot play
  int32_t PassesDone = 0;         // passes of this playback over the whole list
  bool Placed = false;            // this playback has put the pointer somewhere
  Point PlacedAt;                 // where the window system put it last (stop on move)
};

// Why a recording or playback ended.
enum class StopCause {
  Command,      // Pause, the Stop button, a load
  Passes,       // The passes asked for are done
  UserMoved,    // The user moved the pointer away from where playback put it (stop on move)
  UserClicked,  // The user pressed a mouse button (stop on move)
  NoData,       // The list was empty
};

struct PollHost {
  Recorder& recorder;
  DesignedCaptions& captions;
  MainWindow& window;
  IndicatorWindows& indicators;
  Dialogs& dialogs;
};

class PollCycle {
 public:
  explicit PollCycle(PollHost host) : host_(host) {}

  // One tick. A tick that arrives while another is still running (only possible from inside a
  // modal box the running tick opened) is dropped, so boxes never stack up tick after tick; the
  // cycle then needs the next tick even if idle, to read what the dropped one would have read.
  void OnTimer();

  // From now on the poll timer stops after a tick for which NeedsTicks() is false and `arrived`
  // returns false. `arrived` takes in the input that has come, without waiting, and says whether a
  // watched press or release came since it was last called; the program calls Wake() for such
  // input as it arrives.
  void SleepWhenIdle(std::function<bool()> arrived);
  // Something the cycle reacts to happened: watched input or a window command. Idle or asleep,
  // it ticks now and the poll timer's period counts from this tick; so it does between the moments
  // of a playback on time; recording, the poll timer runs anyway and its next tick sees it. Does
  // nothing unless SleepWhenIdle() was called.
  void Wake();
  // False when the tick just run left nothing for the next one to do: idle after an idle tick,
  // no input down (no release to wait for), and no tick dropped or wake-up missed meanwhile.
  bool NeedsTicks() const;
  // True from a tick that stopped the poll timer for want of work until the next tick runs.
  bool Asleep() const { return asleep_; }

  PollState State;

  // How playbacks run; set while none runs (the program sets them at start-up). The defaults
  // play as described above.
  PlaybackOptions Options;
  // The main window stays hidden whatever F12 or Auto Show would do (scripted runs).
  bool StayHidden = false;
  // The screen layout: layout entries at the start of each recording, positions mapped in
  // playback when the monitors have changed since.
  ScreenMap Screens;
  // Called after (outside) each tick that ended a recording or a playback, with the state that
  // ended and why.
  std::function<void(Mode ended, StopCause cause)> OnStop;
  // Runs `task` once after a tick, outside it: the tick that is ending when posted from OnStop,
  // else the next one. Until then the cycle does not sleep; posted while asleep, the poll timer
  // starts.
  void Post(std::function<void()> task);

  // Seconds between blink flips of the indicator window.
  static constexpr double kBlinkPeriod = 0.3;
  // Period of the poll timer, in seconds.
  static constexpr double kTickPeriod = PlaybackSchedule::kTickPeriod;
  // Stop on move: the pointer found farther than this, in pixels along either axis, from where
  // playback put it has been moved by the user. The position compared is read back after the
  // placement, so the screen's clamping never counts; the margin only absorbs a pixel or two of
  // rounding (scaled desktops) and the tremor of a hand resting on the mouse, while any
  // deliberate move covers more than that within a tick.
  static constexpr int32_t kMoveTolerance = 4;

 private:
  struct Releases {
    bool Left = false, Right = false, Middle = false, F12 = false, F10 = false, F9 = false,
         Pause = false;
  };
  void Tick();
  // Sets the poll timer for the next tick the cycle needs: the next moment of a playback on time,
  // else The period, stopped while idle and asleep.
  void PlanTimer();
  // The playback is to keep to the poll's ticks (a baseline for measurements).
  bool TickBound();
  // One of the seven inputs read down at the last tick.
  bool InputDown() const;
  // Tells OnStop about a recording or playback this tick ended and runs the posted tasks.
  void AfterTick();
  // Starts or stops the poll timer; false when the window refused.
  bool SetTimer(bool enabled);
  void RecordingStep(Procedure& p, int32_t x, int32_t y, bool cursor_known, const Releases& r);
  // The step numbers of one recorded event: its test, the delay, its clamp, the entry, the clock.
  struct EventSteps {
    int test, delay, clamp, add, clock;
  };
  void RecordEvent(Procedure& p, const EventSteps& n, int32_t x, int32_t y, MotionKind kind);
  struct Motion;
  void PlaybackStep(Procedure& p, int32_t x, int32_t y, bool cursor_known);
  // A paced playback plays every entry due by a tick in that tick.
  void PacedSteps(Procedure& p);
  // Reads entry `index`; false when it is skipped (another kind, numbers that do not fit).
  bool ReadMotion(Procedure& p, int32_t index, Motion& m);
  void PlayEntry(Procedure& p, const Motion& m);
  // The end of the list at PlayIndex; false when the playback ended there.
  bool EndOfList(Procedure& p);
  // Ends the playback now, as Pause would.
  void EndPlayback(Procedure& p, StopCause cause);
  // Stop on move: why the user has taken the mouse, if they have.
  bool UserTookMouse(int32_t x, int32_t y, bool cursor_known, StopCause& cause);
  void IdleStep(Procedure& p);
  void StatusStep(Procedure& p);
  // "[RECORDING]" or "[PLAYING]" on the status line, the latter with the layout note while the
  // playback maps positions.
  void SetStateCaption(Control& status);
  bool Checked(ControlId id);

  PollHost host_;
  bool in_tick_ = false;
  bool missed_ = false;  // since the last tick began, one was dropped or Wake() came during it
  bool asleep_ = false;
  bool in_cycle_ = false;  // inside OnTimer, also after the tick itself
  bool once_ = false;      // the poll timer is set for one moment (SetNextTick), not its period
  std::function<bool()> arrived_;         // empty: the poll timer never stops
  bool placed_now_ = false;               // this tick's playback has put the pointer somewhere
  StopCause cause_ = StopCause::Command;  // why the cycle itself ends the running playback
  bool stopped_ = false;                  // this tick ended a recording or playback
  Mode stopped_mode_ = Mode::None;
  StopCause stopped_cause_ = StopCause::Command;
  std::vector<std::function<void()>> posted_;
  std::string caption_;  // The status line as SetStateCaption left it
};

}  // namespace pel
