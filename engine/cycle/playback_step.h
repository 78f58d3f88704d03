#pragma once
// The playback step of the poll tick: which entry plays next, how it is read and played, the end
// of the list and of the passes asked for, and stop on move. When entries are due is
// PlaybackSchedule's; ending a playback is the poll cycle's. Positions go where their window
// stands now (WindowMap), else where their monitor is (ScreenMap); a window waited for holds the
// playback on its entry.

#include <cstdint>
#include <optional>
#include <string_view>

#include "engine/cycle/playback_options.h"
#include "engine/cycle/playback_schedule.h"
#include "engine/cycle/poll_tick.h"
#include "engine/error_report.h"
#include "engine/motionfile/entry_list.h"
#include "engine/motionfile/screen_layout.h"
#include "engine/recorder/held_buttons.h"
#include "engine/recorder/window_mapping.h"

namespace pel {

// The status line's note while another desktop has the input and the playback waits for it.
inline constexpr std::string_view kInputAwayNote = "waiting: the input is on another desktop";

class PlaybackStep {
 public:
  PlaybackStep(PollHost host, ScreenMap& screens, WindowMap& windows)
      : host_(host), screens_(screens), windows_(windows) {}

  // One tick while playing; `last_state` is the mode at the end of the previous tick. The
  // playback takes `options` at its first tick and keeps them to its end. Returns why the
  // playback is to end now, if it is (the list is empty, the passes are done, the user took the
  // mouse).
  std::optional<StopCause> Run(Procedure& p, Mode last_state, const TickSample& tick,
                               const PlaybackOptions& options);
  // No playback runs: the next one starts at entry 1 ...
  void Rewind() { played_index_ = 0; }
  // ... on a timeline of its own, waiting for no window.
  void ClearSchedule() {
    schedule_.Clear();
    windows_.PlaybackStarts();
  }

  // The entry played last, 1-based; 0 before the first.
  int32_t PlayedIndex() const { return played_index_; }
  // Passes of this playback over the whole list.
  int32_t PassesDone() const { return passes_done_; }
  const PlaybackSchedule& Schedule() const { return schedule_; }
  // The options of the running playback, or of the last one.
  const PlaybackOptions& Options() const { return options_; }
  // Another desktop has the input (the lock screen, a secure prompt): the timeline stands still.
  bool InputAway() const { return input_away_; }
  // Lets go of the buttons the playback holds down (drags, holds). True when none is left held.
  bool ReleaseButtons() { return held_.ReleaseAll(); }

  // Stop on move: the user's own pointer motion (Input::UserPointerMoves) ends the playback, and
  // so does a pointer found farther than this, in pixels along either axis, from where playback
  // put it (or where it stood when the playback started). The position compared is read back
  // after the placement, so the screen's clamping never counts; the margin only absorbs a pixel
  // or two of rounding (scaled desktops).
  static constexpr int32_t kMoveTolerance = 4;
  // Most entries one tick looks at (played, skipped, layout entries) ...
  static constexpr int32_t kEntriesPerTick = 1000;
  // ... and most seconds it spends playing them once the first has played: a run of entries
  // due at once (a file of clicks without delays) is played over several ticks, each coming at
  // once, so keys and signals are read between them.
  static constexpr double kWorkPerTick = PlaybackSchedule::kTickPeriod / 4;

 private:
  struct Motion;
  // A paced playback plays every entry due by a tick in that tick.
  std::optional<StopCause> PacedSteps(Procedure& p);
  // From entry `index` on, the first entry that takes playback time (Count() + 1 at the end),
  // telling the screen map about the layouts passed and the window map about the windows
  // reached at clock reading `now`; at entry 1 a new pass begins. 0 when the tick's work ran
  // out first or a window is waited for (played_index_ then holds the last entry passed).
  int32_t PassNoMotion(int32_t index, double now);
  // One more entry done in this tick; false when the tick has done its share.
  bool Worked();
  // Entry `index` as read; false when it is skipped (another kind, numbers that do not fit).
  bool ReadMotion(Procedure& p, int32_t index, Motion& m);
  void PlayEntry(Procedure& p, const Motion& m);
  // The end of the list at played_index_: why the playback ends there, if it does.
  std::optional<StopCause> EndOfList(Procedure& p);
  // Whether another desktop has the input now, which holds the timeline; when it comes back
  // the playback goes on from there, what the user did meanwhile being no taking over.
  bool HoldWhileInputAway(const TickSample& tick);
  // Stop on move: why the user has taken the mouse, if they have.
  std::optional<StopCause> UserTookMouse(const TickSample& tick);

  PollHost host_;
  PlaybackOptions options_;
  ScreenMap& screens_;
  WindowMap& windows_;
  PlaybackSchedule schedule_;  // when the entries of the running playback are due
  EntryReadings readings_;     // the list's entries, each read once
  HeldButtons held_{host_.recorder.Host().input};
  int32_t played_index_ = 0;
  int32_t passes_done_ = 0;
  bool bad_entry_reported_ = false;  // this playback has reported an entry it cannot play
  bool met_entry_ = false;           // this pass has met an entry that is no layout entry
  bool window_waited_ = false;       // the timeline stood still for a window
  bool input_away_ = false;          // ... or stands still while another desktop has the input
  bool placing_ = false;             // this tick has put the pointer somewhere
  bool placed_ = false;              // placed_at_ is known
  // Stop on move: where the window system put the pointer last, or where it stood at the start.
  Point placed_at_;
  int32_t work_left_ = 0;  // entries this tick may still look at
  double work_until_ = 0;  // clock reading at which this tick's work ends
};

}  // namespace pel
