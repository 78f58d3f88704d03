#pragma once
// Time as the engine sees it.

namespace pel {

class Clock {
 public:
  virtual ~Clock() = default;
  // Monotonic reading in seconds from an arbitrary origin; never goes back, never wraps.
  virtual double Now() = 0;
  // Blocks the calling thread for about `ms` milliseconds without servicing window events.
  virtual void SleepMs(int ms) = 0;
};

}  // namespace pel
