#pragma once
// The monitors of a Wayland desktop: the compositor's outputs (wl_output, xdg-output) with their
// names ("HEADLESS-1", "DP-1") and their place in the layout, in logical pixels: on an output
// scaled by 2, a pointer position counts half its physical pixels, as the compositor lays the
// outputs out and as the virtual pointer takes positions.

#include <vector>

#include "platform/screens.h"

namespace pel {

class WaylandDisplay;

class WaylandScreens : public Screens {
 public:
  explicit WaylandScreens(WaylandDisplay& display) : display_(display) {}
  // The outputs that have announced themselves, after reading the events that have come; the
  // first counts as primary.
  std::vector<Monitor> List() override;
  // Changes whenever an output has come, gone or announced a change (reads the events too).
  uint64_t Generation() override;

 private:
  WaylandDisplay& display_;
};

}  // namespace pel
