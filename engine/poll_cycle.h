#pragma once
// The poll cycle of the main window: every 10 ms Timer1_Timer samples the cursor, the three
// buttons and the four shortcut keys, turns releases into commands, runs the step of the
// current recorder state (recording, playback or idle) and keeps the status line and the
// indicator windows up to date.

#include <cstdint>
#include <string>

#include "engine/error_report.h"
#include "engine/recorder.h"
#include "platform/windows.h"

namespace pel {

// What the main window keeps from one tick to the next. Clock readings are seconds of the
// monotonic clock (pel::Clock).
struct PollState {
  int32_t LastX = 0;
  int32_t LastY = 0;
  double LastEventTime = 0;  // clock at the last handled recording event; 0: none yet
  std::string LastState;     // RecorderState at the end of the previous tick
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
  mVazazEzerev& engine;
  Globals& globals;
  MainWindow& form;
  IndicatorWindows& indicators;
  Dialogs& dialogs;
};

class PollCycle {
 public:
  explicit PollCycle(PollHost host) : host_(host) {}

  // One tick. A tick that arrives while another is still running (only possible from inside a
  // modal box the running tick opened) is dropped, so boxes never stack up tick after tick.
  void Timer1_Timer();

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
  void RecordingStep(Procedure& p, int32_t x, int32_t y, bool cursor_known, const Releases& r);
  void RecordEvent(Procedure& p, int first_step, int32_t x, int32_t y, std::string_view kind);
  void PlaybackStep(Procedure& p);
  void IdleStep(Procedure& p);
  void StatusStep(Procedure& p);
  bool Checked(ControlId id);

  PollHost host_;
  bool in_tick_ = false;
};

}  // namespace pel
