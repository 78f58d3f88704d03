#include "platform/posix/posix_clock.h"

#include <time.h>

#include <cerrno>

namespace pel {

double PosixClock::Now() {
  struct timespec ts {};
  ::clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

void PosixClock::SleepMs(int ms) {
  if (ms <= 0) return;
  struct timespec left {
    ms / 1000, static_cast<long>(ms % 1000) * 1000000L
  };
  while (::nanosleep(&left, &left) != 0 && errno == EINTR) {
  }
}

}  // namespace pel
