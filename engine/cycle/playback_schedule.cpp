#include "engine/cycle/playback_schedule.h"

#include <algorithm>
#include <cmath>

namespace pel {

void PlaybackSchedule::Begin(const PlaybackOptions& options, double now) {
  on_time_ = !options.tick_bound;
  not_before_ = 0;
  wait_before_ = options.wait_before;
  const double f = options.speed;
  speed_ = f > 0 && std::isfinite(f) ? f : 1.0;
  if (Paced()) next_ = now;
}

double PlaybackSchedule::Speed() const {
  return speed_;
}

void PlaybackSchedule::Played(double now, double wait) {
  if (next_ != 0 && now - next_ < kResyncAfter)
    next_ += wait;
  else
    next_ = now + wait;
}

void PlaybackSchedule::StartTick(double now) {
  now_ = now;
  first_ = true;
  pending_ = 0;
}

void PlaybackSchedule::Resume(double now) {
  if (Paced()) next_ = std::max(next_, now);
}

void PlaybackSchedule::WaitATick(double now) {
  if (!on_time_) return;  // the next tick comes a period later anyway
  if (Paced())
    not_before_ = now + kTickPeriod;
  else
    Played(now, kTickPeriod);
}

double PlaybackSchedule::WakeAt() const {
  // Plain entries are due once the clock is past their moment: a microsecond after it.
  const double at = !Paced() ? next_ + 1e-6 : wait_before_ ? pending_ : next_;
  return std::max(at, not_before_);
}

bool PlaybackSchedule::Take(double wait, double& due) {
  due = next_;
  if (wait_before_) {
    due += wait / speed_;
    const double horizon = on_time_ ? now_ : now_ + kTickPeriod / 2;
    if (!(due <= horizon)) {
      pending_ = due;
      return false;
    }
  }
  // The first entry of a tick is at most a tick late; more means a held-up tick.
  if (first_ && now_ - due >= kResyncAfter) due = now_;
  first_ = false;
  return true;
}

}  // namespace pel
