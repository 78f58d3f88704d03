#pragma once
// The runtime's random numbers for the real programs: a generator seeded from the time of day.

#include <cstdint>
#include <random>

#include "platform/random.h"

namespace pel {

class TimeSeededRandom : public RandomSource {
 public:
  void Randomize() override;
  double Rnd() override;

 private:
  std::mt19937_64 gen_{0x9E3779B97F4A7C15ull};
};

}  // namespace pel
