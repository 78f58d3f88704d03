#include "platform/wayland/wayland_screens.h"

#include "platform/wayland/wayland_display.h"

namespace pel {

std::vector<Monitor> WaylandScreens::List() {
  display_.ReadEvents();
  return display_.Monitors();
}

uint64_t WaylandScreens::Generation() {
  display_.ReadEvents();
  return display_.Generation();
}

}  // namespace pel
