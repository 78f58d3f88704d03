#pragma once
// The monitors of the desktop, as the window system lays them out: where each one stands in the
// coordinates of cursor positions, its name and which one is primary.

#include <cstdint>
#include <string>
#include <vector>

namespace pel {

struct Monitor {
  // The window system's name for it, stable across layout changes where there is one (an
  // output name such as "HDMI-1" on X11, a device name such as "\\.\DISPLAY2" on Windows);
  // empty when there is none.
  std::string name;
  // Top-left corner and size in pixels of the cursor's coordinate space.
  int32_t left = 0, top = 0, width = 0, height = 0;
  bool primary = false;
  friend bool operator==(const Monitor&, const Monitor&) = default;
};

class Screens {
 public:
  virtual ~Screens() = default;
  // The monitors now, primary or not, in the window system's order; empty when unknown.
  virtual std::vector<Monitor> List() = 0;
  // A number that changes whenever the window system has reported a layout change since the
  // previous call; it does not wait for anything.
  virtual uint64_t Generation() = 0;
};

}  // namespace pel
