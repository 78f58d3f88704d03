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
//   connection, watched by a socket notifier; on Windows the WM_INPUT of Win32Input's raw
//   input latch) and calls Wake(); pointer moves and other keys do not. Before stopping Timer1
//   the tick also asks it (the `arrived` function) whether such input came in while the tick
//   ran, so none is left unseen. Nothing else runs while asleep: no pointer or keymap query.
// - Window commands: Form1 calls Wake() after each button's handler.
// Wake() ticks at once and starts Timer1 again, whose ticks then run while any input reads
// down, so that the release rule and the latch work exactly as with a timer that never stops:
// a press seen at one tick, its release at a later one, however short the press. The tick that
// ends a sleep takes the pointer to stand where it stood at the previous tick (nothing followed
// it meanwhile), so a recording started by a command never begins with a move it did not see.
// A program without such reports (the Windows program when raw input cannot be registered and
// presses are only seen by polling) never calls SleepWhenIdle() and keeps its timer running.
// Stopping Timer1 must leave nothing that waits on a clock: on Windows the tick source's thread
// waits for the next start with its timer cancelled, and a raised timer resolution is given
// back (Win32TickSource::Stop).
//
// Playback options (Options, from the command line; all off by default). A repeat count ends
// the playback after that many passes, as Pause would. A speed other than 1, or waits before
// entries, make the playback paced: every entry's due time follows from the entries before it
// (each wait divided by the speed), and a tick plays all entries due by then, in order, so
// that a speed of 100 really plays a hundred 10 ms entries in one tick. With waits before
// entries, entry 1 waits its delay from the first tick of the playback (which stands for the
// recording's first event, the one the recording only kept as the origin of that delay), each
// entry plays at the tick nearest its due moment (the recorded moments are ticks, so a tick a
// little early must not put an entry off to the next one), and a new pass starts when its last
// entry was due, without a tick of its own: each pass then replays every event at its recorded
// moment. Stop on move ends a playback when the user moves the pointer or presses a real mouse
// button.

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/error_report.h"
#include "engine/indicator_windows.h"
#include "engine/playback_options.h"
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
  Mode LastState = Mode::None;  // RecorderState at the end of the previous tick
  bool BlinkOn = false;
  double NextBlinkTime = 0;
  int32_t PlayIndex = 0;  // entry played last, 1-based; 0 before the first
  bool PrevLeft = false, PrevRight = false, PrevMiddle = false, PrevPause = false, PrevF12 = false,
       PrevF10 = false, PrevF9 = false;
  bool CurLeft = false, CurRight = false, CurMiddle = false, CurPause = false, CurF12 = false,
       CurF10 = false, CurF9 = false;
  // Clock after which the next entry plays; 0 when idle. With a paced playback (see
  // PollCycle::Paced), the moment the next entry's own wait, if waited before it, counts from.
  double NextPlayTime = 0;
  bool BadEntryReported = false;  // this playback has reported an entry it cannot play
  int32_t PassesDone = 0;         // passes of this playback over the whole list
  bool Placed = false;            // this playback has put the pointer somewhere
  Point PlacedAt;                 // where the window system put it last (stop on move)
};

// Why a recording or playback ended.
enum class StopCause {
  Command,      // Pause, the Stop button, a load
  Passes,       // the passes asked for are done
  UserMoved,    // the user moved the pointer away from where playback put it (stop on move)
  UserClicked,  // the user pressed a mouse button (stop on move)
  NoData,       // the list was empty
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
  // True from a tick that stopped Timer1 for want of work until the next tick runs.
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
  // else the next one. Until then the cycle does not sleep; posted while asleep, Timer1 starts.
  void Post(std::function<void()> task);

  // Seconds between blink flips of the indicator window.
  static constexpr double kBlinkPeriod = 0.3;
  // Period of Timer1, in seconds.
  static constexpr double kTickPeriod = 0.010;
  // Playback keeps to the recorded schedule unless it has fallen this far behind it (a tick
  // held up by a dialog, a busy machine): then the next wait counts from now.
  static constexpr double kResyncAfter = 1.5 * kTickPeriod;
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
  // Tells OnStop about a recording or playback this tick ended and runs the posted tasks.
  void AfterTick();
  // The speed asked for, or 1 when it is not a usable one.
  double Speed() const;
  // Starts or stops Timer1; false when the window refused.
  bool SetTimer(bool enabled);
  void RecordingStep(Procedure& p, int32_t x, int32_t y, bool cursor_known, const Releases& r);
  void RecordEvent(Procedure& p, int first_step, int32_t x, int32_t y, MotionKind kind);
  struct Motion;
  void PlaybackStep(Procedure& p, int32_t x, int32_t y, bool cursor_known);
  // True when the options ask for more than the window's own playback: a speed other than 1 or
  // waits before entries. Such a playback plays every entry due by a tick in that tick.
  bool Paced() const;
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
  bool Checked(ControlId id);

  PollHost host_;
  bool in_tick_ = false;
  bool missed_ = false;  // since the last tick began, one was dropped or Wake() came during it
  bool asleep_ = false;
  std::function<bool()> arrived_;         // empty: Timer1 never stops
  bool placed_now_ = false;               // this tick's playback has put the pointer somewhere
  StopCause cause_ = StopCause::Command;  // why the cycle itself ends the running playback
  bool stopped_ = false;                  // this tick ended a recording or playback
  Mode stopped_mode_ = Mode::None;
  StopCause stopped_cause_ = StopCause::Command;
  std::vector<std::function<void()>> posted_;
};

}  // namespace pel
