#pragma once
// pel::Clock on the performance counter.

#include <cstdint>

#include "platform/clock.h"

namespace pel {

class Win32Clock : public Clock {
 public:
  Win32Clock();
  // Seconds since this object was made.
  double Now() override;
  void SleepMs(int ms) override;

 private:
  int64_t frequency_;
  int64_t origin_;
};

}  // namespace pel
