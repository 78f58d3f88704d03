#pragma once
// The playback step of the poll tick: which entry plays next, how it is read and played, the end
// of the list and of the passes asked for, and stop on move. When entries are due is
// PlaybackSchedule's; ending a playback is the poll cycle's.

#include <cstdint>
#include <optional>

#include "engine/error_report.h"
#include "engine/held_buttons.h"
#include "engine/playback_options.h"
#include "engine/playback_schedule.h"
#include "engine/poll_tick.h"
#include "engine/screen_layout.h"

namespace pel {

class PlaybackStep {
 public:
  PlaybackStep(PollHost host, const PlaybackOptions& options, ScreenMap& screens)
      : host_(host), options_(options), screens_(screens) {}

  // One tick while playing; `last_state` is the mode at the end of the previous tick. Returns
  // why the playback is to end now, if it is (the list is empty, the passes are done, the user
  // took the mouse).
  std::optional<StopCause> Run(Procedure& p, Mode last_state, const TickSample& tick);
  // No playback runs: the next one starts at entry 1 ...
  void Rewind() { played_index_ = 0; }
  // ... on a timeline of its own.
  void ClearSchedule() { schedule_.Clear(); }

  // The entry played last, 1-based; 0 before the first.
  int32_t PlayedIndex() const { return played_index_; }
  // Passes of this playback over the whole list.
  int32_t PassesDone() const { return passes_done_; }
  const PlaybackSchedule& Schedule() const { return schedule_; }
  // Lets go of the buttons the playback holds down (drags, holds). True when none is left held.
  bool ReleaseButtons() { return held_.ReleaseAll(); }

  // Stop on move: the pointer found farther than this, in pixels along either axis, from where
  // playback put it has been moved by the user. The position compared is read back after the
  // placement, so the screen's clamping never counts; the margin only absorbs a pixel or two of
  // rounding (scaled desktops) and the tremor of a hand resting on the mouse, while any
  // deliberate move covers more than that within a tick.
  static constexpr int32_t kMoveTolerance = 4;

 private:
  struct Motion;
  // A paced playback plays every entry due by a tick in that tick.
  std::optional<StopCause> PacedSteps(Procedure& p);
  // Reads entry `index`; false when it is skipped (another kind, numbers that do not fit).
  bool ReadMotion(Procedure& p, int32_t index, Motion& m);
  void PlayEntry(Procedure& p, const Motion& m);
  // The end of the list at played_index_: why the playback ends there, if it does.
  std::optional<StopCause> EndOfList(Procedure& p);
  // Stop on move: why the user has taken the mouse, if they have.
  std::optional<StopCause> UserTookMouse(const TickSample& tick);

  PollHost host_;
  const PlaybackOptions& options_;
  ScreenMap& screens_;
  PlaybackSchedule schedule_;  // when the entries of the running playback are due
  HeldButtons held_{host_.recorder.Host().input};
  int32_t played_index_ = 0;
  int32_t passes_done_ = 0;
  bool bad_entry_reported_ = false;  // this playback has reported an entry it cannot play
  bool placing_ = false;             // this tick has put the pointer somewhere
  bool placed_ = false;              // this playback has put the pointer somewhere
  Point placed_at_;                  // where the window system put it last (stop on move)
};

}  // namespace pel
