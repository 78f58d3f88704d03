#pragma once
// The runtime's random numbers, as start-up draws them.

namespace pel {

class RandomSource {
 public:
  virtual ~RandomSource() = default;
  // Seeds the generator from the time of day.
  virtual void Randomize() = 0;
  // Next value, uniformly distributed in [0, 1).
  virtual double Rnd() = 0;
};

}  // namespace pel
