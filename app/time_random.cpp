#include "app/time_random.h"

#include <chrono>

namespace pel {

void TimeSeededRandom::Randomize() {
  using namespace std::chrono;
  const auto now = system_clock::now().time_since_epoch();
  // Microseconds since midnight (UTC is as good as local time for a seed).
  const auto since_midnight = duration_cast<microseconds>(now % days(1)).count();
  gen_.seed(static_cast<uint64_t>(since_midnight));
}

double TimeSeededRandom::Rnd() {
  // 53 random bits scaled into [0, 1): never 1, unlike some uniform_real_distribution versions.
  return static_cast<double>(gen_() >> 11) * 0x1.0p-53;
}

}  // namespace pel
