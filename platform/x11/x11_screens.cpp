#include "platform/x11/x11_screens.h"

#include <X11/Xlib.h>
#include <X11/extensions/Xrandr.h>

#include <algorithm>
#include <vector>

#include "platform/x11/x11_error_trap.h"

namespace pel {

std::unique_ptr<X11Screens> X11Screens::Open(const char* display_name, std::string& error) {
  Display* display = XOpenDisplay(display_name);
  if (!display) {
    error = "XOpenDisplay failed";
    return nullptr;
  }
  int event_base = 0, error_base = 0, major = 0, minor = 0;
  if (!XRRQueryExtension(display, &event_base, &error_base) ||
      !XRRQueryVersion(display, &major, &minor) || major < 1 || (major == 1 && minor < 5)) {
    error = "XRRQueryVersion: RandR 1.5 is missing";
    XCloseDisplay(display);
    return nullptr;
  }
  XRRSelectInput(display, DefaultRootWindow(display),
                 RRScreenChangeNotifyMask | RRCrtcChangeNotifyMask | RROutputChangeNotifyMask);
  XFlush(display);
  return std::unique_ptr<X11Screens>(new X11Screens(display, event_base));
}

X11Screens::X11Screens(Display* display, int event_base)
    : display_(display), event_base_(event_base) {}

X11Screens::~X11Screens() {
  XCloseDisplay(display_);
}

std::vector<Monitor> X11Screens::List() {
  std::vector<Monitor> out;
  XErrorTrap trap(display_);
  int count = 0;
  XRRMonitorInfo* monitors = XRRGetMonitors(display_, DefaultRootWindow(display_), True, &count);
  if (!trap.Check("XRRGetMonitors") || !monitors) {
    if (monitors) XRRFreeMonitors(monitors);
    return out;
  }
  // The outputs' names in one round trip.
  std::vector<Atom> atoms;
  for (int i = 0; i < count; ++i)
    if (monitors[i].name != None) atoms.push_back(monitors[i].name);
  std::vector<char*> names(atoms.size(), nullptr);
  if (!atoms.empty() &&
      !XGetAtomNames(display_, atoms.data(), static_cast<int>(atoms.size()), names.data()))
    std::fill(names.begin(), names.end(), nullptr);
  for (int i = 0, named = 0; i < count; ++i) {
    const XRRMonitorInfo& m = monitors[i];
    Monitor monitor;
    if (m.name != None) {
      if (char* name = names[static_cast<size_t>(named++)]) {
        monitor.name = name;
        XFree(name);
      }
    }
    monitor.left = m.x;
    monitor.top = m.y;
    monitor.width = m.width;
    monitor.height = m.height;
    monitor.primary = m.primary != 0;
    if (monitor.width > 0 && monitor.height > 0) out.push_back(std::move(monitor));
  }
  XRRFreeMonitors(monitors);
  // With no primary output set, the first monitor serves as primary (as toolkits take it).
  if (!out.empty() && std::none_of(out.begin(), out.end(), [](auto& m) { return m.primary; }))
    out.front().primary = true;
  return out;
}

uint64_t X11Screens::Generation() {
  // Reads what has arrived without waiting; every RandR event may have changed the layout.
  while (XEventsQueued(display_, QueuedAfterReading) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    XRRUpdateConfiguration(&event);
    if (event.type == event_base_ + RRScreenChangeNotify || event.type == event_base_ + RRNotify)
      ++generation_;
  }
  return generation_;
}

}  // namespace pel
