#pragma once
// The p-quantile of a sample by the nearest-rank method (p in (0, 1]); NaN when it is empty.

#include <algorithm>
#include <cmath>
#include <vector>

namespace pel::e2e {

inline double Percentile(std::vector<double> v, double p) {
  if (v.empty()) return NAN;
  std::sort(v.begin(), v.end());
  const size_t i = static_cast<size_t>(std::ceil(p * static_cast<double>(v.size()))) - 1;
  return v[std::min(i, v.size() - 1)];
}

}  // namespace pel::e2e
