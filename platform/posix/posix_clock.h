#pragma once
// The monotonic clock of a POSIX system.

#include "platform/clock.h"

namespace pel {

class PosixClock : public Clock {
 public:
  // CLOCK_MONOTONIC in seconds.
  double Now() override;
  // Sleeps the whole time even when a signal interrupts the wait.
  void SleepMs(int ms) override;
};

}  // namespace pel
