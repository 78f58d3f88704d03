#pragma once
// Random numbers from a script.

#include <deque>

#include "platform/random.h"

namespace pel::fake {

// Returns scripted values, then `fallback`.
class FakeRandom : public RandomSource {
 public:
  void Randomize() override { ++seeds; }
  double Rnd() override {
    ++draws;
    if (values.empty()) return fallback;
    double v = values.front();
    values.pop_front();
    return v;
  }
  std::deque<double> values;
  double fallback = 0.5;
  int seeds = 0;
  int draws = 0;
};

}  // namespace pel::fake
