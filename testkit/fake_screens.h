#pragma once
// The monitors of the desktop as a test sets them; a test that changes them counts up
// `generation`, as the window system's report of a layout change would.

#include <cstdint>
#include <vector>

#include "platform/screens.h"

namespace pel::fake {

class FakeScreens : public Screens {
 public:
  std::vector<Monitor> monitors;
  uint64_t generation = 0;
  std::vector<Monitor> List() override { return monitors; }
  uint64_t Generation() override { return generation; }
};

}  // namespace pel::fake
