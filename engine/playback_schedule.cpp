#include "engine/playback_schedule.h"

#include <cmath>

namespace pel {

void PlaybackSchedule::Begin(const PlaybackOptions& options, double now) {
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
}

bool PlaybackSchedule::Take(double wait, double& due) {
  due = next_;
  if (wait_before_) {
    due += wait / speed_;
    const double horizon = now_ + kTickPeriod / 2;
    if (!(due <= horizon)) return false;
  }
  // The first entry of a tick is at most a tick late; more means a held-up tick.
  if (first_ && now_ - due >= kResyncAfter) due = now_;
  first_ = false;
  return true;
}

}  // namespace pel
