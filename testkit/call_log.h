#pragma once
// What the substitutes were asked to do, in order, one readable line per call.

#include <algorithm>
#include <string>
#include <vector>

namespace pel::fake {

struct CallLog {
  std::vector<std::string> calls;

  void Add(std::string line) { calls.push_back(std::move(line)); }
  void Clear() { calls.clear(); }
  // Number of recorded calls that start with `prefix`.
  int Count(const std::string& prefix) const {
    return static_cast<int>(std::count_if(
        calls.begin(), calls.end(), [&](const std::string& c) { return c.rfind(prefix, 0) == 0; }));
  }
};

}  // namespace pel::fake
