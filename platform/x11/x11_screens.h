#pragma once
// The monitors of an X display through RandR 1.5 (XRRGetMonitors): each monitor's place on the
// root window (the coordinates of the pointer), its output name ("DP-1", "HDMI-1") and the
// primary flag. Layout changes arrive as RandR events on a display connection of its own.
// Xlib stays out of this header so that Qt code can include it.

#include <memory>
#include <string>

#include "platform/screens.h"

struct _XDisplay;

namespace pel {

class X11Screens : public Screens {
 public:
  // nullptr, with the failing call named in `error`, when the display cannot be opened or its
  // RandR is older than 1.5.
  static std::unique_ptr<X11Screens> Open(const char* display_name, std::string& error);
  ~X11Screens() override;
  X11Screens(const X11Screens&) = delete;
  X11Screens& operator=(const X11Screens&) = delete;

  // The active monitors, each under its RandR monitor name (an output's name unless the user
  // defined the monitor); empty when the request fails. With no primary output set, the first
  // monitor counts as primary.
  std::vector<Monitor> List() override;
  // Counts the RandR change events read so far (screen, CRTC and output changes).
  uint64_t Generation() override;

 private:
  X11Screens(_XDisplay* display, int event_base);
  _XDisplay* display_;
  int event_base_;
  uint64_t generation_ = 0;
};

}  // namespace pel
