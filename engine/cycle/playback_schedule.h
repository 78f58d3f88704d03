#pragma once
// When the entries of a playback are due: one timeline of clock readings (seconds of
// pel::Clock) on which each entry's moment follows from the entries before it, so that the
// lateness of one tick is never added to the entries after it. Plain (waits after entries, speed
// 1) or paced (a speed, or waits before entries); on time or tick-bound. How and why:
// docs/design-notes.md, "Poll cycle timing".

#include "engine/cycle/playback_options.h"

namespace pel {

class PlaybackSchedule {
 public:
  // Period of the poll tick, in seconds.
  static constexpr double kTickPeriod = 0.010;
  // How far behind the timeline a playback may fall before it starts again from now.
  static constexpr double kResyncAfter = 1.5 * kTickPeriod;

  // A playback starts at `now` with `options`: on time unless they ask for tick-bound.
  void Begin(const PlaybackOptions& options, double now);
  bool OnTime() const { return on_time_; }
  // No playback runs: the timeline is cleared (the idle step).
  void Clear() { next_ = 0; }
  // The speed asked for, or 1 when it is not a usable one.
  double Speed() const;
  // True when the options ask for more than the window's own playback.
  bool Paced() const { return wait_before_ || Speed() != 1.0; }

  // Plain: the next entry is due at `now`.
  bool Due(double now) const { return now > next_; }
  // Plain: an entry has been played at `now`; `wait` seconds as recorded follow it.
  void Played(double now, double wait);

  // Paced, at the start of a tick at `now`.
  void StartTick(double now);
  // Paced: nothing can be due yet, so the next entry need not be read.
  bool NothingDue() const {
    return (!wait_before_ && !(next_ <= now_)) || (on_time_ && now_ < not_before_);
  }
  // Paced: whether the next entry, whose wait as recorded is `wait`, plays in this tick; if so
  // `due` is its moment on the timeline.
  bool Take(double wait, double& due);
  // Paced: the entry taken at `due` has been played, or skipped, or the list ended there.
  void Took(double due, double wait) { next_ = wait_before_ ? due : due + wait / speed_; }

  // The playback stood still (waiting for a window) and goes on at `now`: a paced timeline goes
  // on from there. A plain one needs nothing: its next entry is overdue, plays at once, and its
  // wait counts from then (kResyncAfter).
  void Resume(double now);

  // The tick at `now` played nothing where the rules make that cost a tick. On time, a plain
  // playback puts that tick on its timeline as if a wait of one period had been played.
  void WaitATick(double now);
  // On time: the clock reading at which the next entry is due (in the past: at once).
  double WakeAt() const;

 private:
  bool wait_before_ = false;
  double speed_ = 1.0;
  double next_ = 0;  // plain: the moment the next entry is due after; paced: see Took
  double now_ = 0;
  bool first_ = true;  // the first entry this tick looks at
  bool on_time_ = false;
  double not_before_ = 0;  // on time, paced: no entry plays before this (WaitATick)
  double pending_ = 0;     // paced with waits before: the due moment Take found too late
};

}  // namespace pel
