#pragma once
// The poll cycle of the main window: every 10 ms OnTimer samples the cursor, the three buttons
// and the four shortcut keys, turns releases into commands and runs the step of the current
// state (RecordingStep, PlaybackStep, or the idle step here), then StatusStep. Idle, it can
// sleep until input or a command wakes it; playing, it wakes for each entry's own moment. How
// and why: docs/design-notes.md, "Poll cycle timing".

#include <functional>
#include <optional>
#include <utility>
#include <vector>

#include "engine/cycle/playback_options.h"
#include "engine/cycle/playback_step.h"
#include "engine/cycle/poll_tick.h"
#include "engine/cycle/recording_options.h"
#include "engine/cycle/recording_step.h"
#include "engine/cycle/status_step.h"
#include "engine/error_report.h"
#include "engine/motionfile/motion_entry.h"
#include "engine/motionfile/screen_layout.h"
#include "engine/recorder/designed_captions.h"
#include "engine/recorder/indicator_windows.h"
#include "engine/recorder/window_mapping.h"

namespace pel {

// What the tick keeps from one tick to the next; each step keeps its own.
struct PollState {
  Mode last_state = Mode::None;  // mode at the end of the previous tick
  PollInputs down;               // the inputs as the previous tick read them
};

class PollCycle {
 public:
  explicit PollCycle(PollHost host) : host_(host) {}
  // The steps refer to the maps below.
  PollCycle(const PollCycle&) = delete;
  PollCycle& operator=(const PollCycle&) = delete;

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
  // Keys pressed elsewhere (a command sent to the program): at the next tick each of f12, f10,
  // f9 and pause in `keys` counts as released, as the key itself would. That tick comes from
  // the poll timer, never from inside this call; asleep, the timer starts.
  void PressKeys(const PollInputs& keys);
  // False when the tick just run left nothing for the next one to do: idle after an idle tick,
  // no input down (no release to wait for), and no tick dropped or wake-up missed meanwhile.
  bool NeedsTicks() const;
  // True from a tick that stopped the poll timer for want of work until the next tick runs.
  bool Asleep() const { return asleep_; }
  // Runs `task` once after a tick, outside it: the tick that is ending when posted from on_stop,
  // else the next one. Until then the cycle does not sleep; posted while asleep, the poll timer
  // starts.
  void Post(std::function<void()> task);

  const RecordingStep& Recording() const { return recording_; }
  const PlaybackStep& Playback() const { return playback_; }

  // How playbacks run, from the next one on: each takes a copy when it begins. The defaults play
  // as the window always has.
  void SetPlaybackOptions(const PlaybackOptions& options) { playback_options_ = options; }
  // What recordings take beyond the check boxes, from the next one on (likewise).
  void SetRecordingOptions(const RecordingOptions& options) { recording_options_ = options; }
  // From now on the main window stays hidden whatever F12 or Auto Show would do (scripted runs).
  void StayHidden() { stay_hidden_ = true; }
  // Called after (outside) each tick that ended a recording or a playback, with the state that
  // ended and why.
  void SetOnStop(std::function<void(Mode ended, StopCause cause)> on_stop) {
    on_stop_ = std::move(on_stop);
  }
  // Called when a recording starts over a take no save has kept (Recorder::HasWorkToKeep),
  // before the list is cleared; the status line names the path it returns. When it throws, the
  // recording does not start. Unset, the take goes without a word.
  void SetKeepTake(KeepTake keep_take) { keep_take_ = std::move(keep_take); }

  // The screen layout: layout entries at the start of each recording, positions mapped in
  // playback when the monitors have changed since.
  ScreenMap& Screens() { return screens_; }
  // The windows clicked in: window entries while recording, positions that follow their window
  // in playback. A playback waiting for a window wakes the cycle at NextLook(); the program
  // wakes it sooner when the window system reports a change while Waiting().
  WindowMap& Windows() { return windows_; }
  // The window system's stream of mouse events, which recordings take their events from;
  // nullptr (the default) records from the ticks' samples alone.
  void AttachInputEvents(InputEvents* events) { recording_.events = events; }
  // Tells `say` when a recording begins without the stream it was to take (RecordingStep).
  void OnRecordingFallback(std::function<void(const std::string&)> say) {
    recording_.on_fallback = std::move(say);
  }

  // What the previous tick left; a test may start the cycle from a state of its own.
  const PollState& State() const { return state_; }
  void SetState(const PollState& state) { state_ = state; }

  // Lets go of the buttons a playback holds down (a drag, a hold): before a box opens while one
  // runs, and where the program ends, unless the display is gone. Each end of a playback does it
  // itself.
  void ReleaseButtons() { playback_.ReleaseButtons(); }
  // The program ends while recording: the recording gets the releases of the buttons it holds,
  // without a call to the window system (the display may be gone).
  void EndRecordingNow() { recording_.End(host_.recorder.Host().clock.Now(), false); }

  // Period of the poll timer, in seconds.
  static constexpr double kTickPeriod = PlaybackSchedule::kTickPeriod;

 private:
  void Tick();
  void IdleStep(Procedure& p, StopCause cause = StopCause::Command);
  // Ends the running playback in this tick: the empty list's message, else as Pause would.
  void EndPlayback(Procedure& p, StopCause cause);
  // Auto Show: the main window comes back at the end of a recording or playback.
  void ShowAgain();
  // Sets the poll timer for the next tick the cycle needs: the next moment of a playback on time,
  // else the period, stopped while idle and asleep.
  void PlanTimer();
  // One of the seven inputs read down at the last tick.
  bool InputDown() const;
  // Tells on_stop about a recording or playback this tick ended and runs the posted tasks.
  void AfterTick();
  // Starts or stops the poll timer; false when the window refused.
  bool SetTimer(bool enabled);

  PollHost host_;
  PollState state_;
  PollInputs pressed_elsewhere_;  // by PressKeys, for the next tick
  PlaybackOptions playback_options_;
  RecordingOptions recording_options_;
  bool stay_hidden_ = false;
  ScreenMap screens_;
  WindowMap windows_;
  std::function<void(Mode ended, StopCause cause)> on_stop_;
  KeepTake keep_take_;
  RecordingStep recording_{host_, screens_, windows_, keep_take_};
  PlaybackStep playback_{host_, screens_, windows_};
  StatusStep status_{host_, screens_, windows_, recording_, playback_};

  bool in_tick_ = false;
  bool missed_ = false;  // since the last tick began, one was dropped or Wake() came during it
  bool asleep_ = false;
  bool in_cycle_ = false;  // inside OnTimer, also after the tick itself
  bool once_ = false;      // the poll timer is set for one moment (SetNextTick), not its period
  std::function<bool()> arrived_;  // empty: the poll timer never stops
  struct Stop {
    Mode ended;
    StopCause cause;
  };
  std::optional<Stop> stopped_;  // what this tick ended, for on_stop
  std::vector<std::function<void()>> posted_;
};

}  // namespace pel
