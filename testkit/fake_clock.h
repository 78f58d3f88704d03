#pragma once

#include <functional>

#include "platform/clock.h"

namespace pel::fake {

// A clock that moves only when the test says so.
class FakeClock : public Clock {
 public:
  explicit FakeClock(double start = 1000.0) : now_(start) {}
  void Set(double t) { now_ = t; }
  void Advance(double seconds) { now_ += seconds; }
  double Now() override { return now_; }
  // Sleeping advances the fake time, so waits finish without real delay.
  void SleepMs(int ms) override {
    now_ += ms / 1000.0;
    ++sleeps;
    if (on_sleep) on_sleep();
  }
  int sleeps = 0;
  // Called after every SleepMs (a test may release a key there).
  std::function<void()> on_sleep;

 private:
  double now_;
};

}  // namespace pel::fake
