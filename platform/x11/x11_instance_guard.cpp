#include "platform/x11/x11_instance_guard.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <unistd.h>

#include "platform/x11/x11_error_trap.h"

namespace pel {

namespace {

// The owner window's property that names its hand-over socket (Latin-1 text).
constexpr char kChannelProperty[] = "PELMIRA_HANDOVER_CHANNEL";
// Longest channel name read from another owner, in 32-bit units.
constexpr long kChannelLongs = 64;

std::string ReadChannel(Display* d, Window owner, Atom property) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::string out;
  if (XGetWindowProperty(d, owner, property, 0, kChannelLongs, False, XA_STRING, &type, &format,
                         &count, &after, &data) == Success &&
      type == XA_STRING && format == 8 && data != nullptr)
    out.assign(reinterpret_cast<const char*>(data), count);
  if (data != nullptr) XFree(data);
  return out;
}

}  // namespace

X11InstanceGuard::~X11InstanceGuard() {
  if (display_ != nullptr) XCloseDisplay(display_);
}

std::string X11InstanceGuard::SelectionName() {
  return "PELMIRA_INSTANCE_" + std::to_string(::getuid());
}

X11InstanceGuard::State X11InstanceGuard::Claim(const std::string& display,
                                                const std::string& channel,
                                                std::string& owner_channel, std::string& detail) {
  if (display_ != nullptr) return State::Owned;
  Display* d = XOpenDisplay(display.c_str());
  if (d == nullptr) {
    detail = "XOpenDisplay(" + display + ") failed";
    return State::Failed;
  }
  const Atom selection = XInternAtom(d, SelectionName().c_str(), False);
  const Atom property = XInternAtom(d, kChannelProperty, False);
  State state = State::Failed;
  {
    XErrorTrap trap(d);
    // Between the look and the take no other client may take it.
    XGrabServer(d);
    const Window owner = XGetSelectionOwner(d, selection);
    if (owner != None) {
      // Under the grab the owner cannot go away meanwhile; the trap covers one that is gone.
      owner_channel = ReadChannel(d, owner, property);
      state = State::OtherOwner;
    } else {
      // Never mapped: no window manager, taskbar or pointer sees it.
      const Window mine = XCreateSimpleWindow(d, DefaultRootWindow(d), 0, 0, 1, 1, 0, 0, 0);
      XChangeProperty(d, mine, property, XA_STRING, 8, PropModeReplace,
                      reinterpret_cast<const unsigned char*>(channel.data()),
                      static_cast<int>(channel.size()));
      XSetSelectionOwner(d, selection, mine, CurrentTime);
      if (XGetSelectionOwner(d, selection) == mine) state = State::Owned;
    }
    XUngrabServer(d);
    XSync(d, False);
    if (trap.ErrorCode() != 0 && state == State::Owned) state = State::Failed;
  }
  if (state == State::Owned) {
    display_ = d;
    return state;
  }
  if (state == State::Failed) detail = "XSetSelectionOwner(" + SelectionName() + ") failed";
  XCloseDisplay(d);
  return state;
}

}  // namespace pel
