#include "bench/e2e/raw_input.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <poll.h>
#include <time.h>

#include <cerrno>
#include <cmath>
#include <stdexcept>

namespace pel::e2e {

int64_t MonoNs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return int64_t{ts.tv_sec} * 1'000'000'000 + ts.tv_nsec;
}

void SleepUntil(int64_t deadline_ns) {
  const timespec ts{static_cast<time_t>(deadline_ns / 1'000'000'000),
                    static_cast<long>(deadline_ns % 1'000'000'000)};
  while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
  }
}

RawWatcher::RawWatcher(const std::string& display) : display_(XOpenDisplay(display.c_str())) {
  if (!display_) throw std::runtime_error("cannot open " + display);
  int event = 0, error = 0, major = 2, minor = 2;
  if (!XQueryExtension(display_, "XInputExtension", &opcode_, &event, &error) ||
      XIQueryVersion(display_, &major, &minor) != Success)
    throw std::runtime_error("no XInput 2");
  unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
  XISetMask(bits, XI_RawMotion);
  XISetMask(bits, XI_RawButtonPress);
  XISetMask(bits, XI_RawButtonRelease);
  XIEventMask mask{XIAllMasterDevices, sizeof bits, bits};
  XISelectEvents(display_, DefaultRootWindow(display_), &mask, 1);
  XSync(display_, False);
  thread_ = std::thread([this] { Run(); });
}

RawWatcher::~RawWatcher() {
  stop_ = true;
  thread_.join();
  XCloseDisplay(display_);
}

std::vector<Seen> RawWatcher::Events() {
  std::lock_guard lock(mutex_);
  return events_;
}

size_t RawWatcher::Count() {
  std::lock_guard lock(mutex_);
  return events_.size();
}

void RawWatcher::Run() {
  pollfd fd{ConnectionNumber(display_), POLLIN, 0};
  while (!stop_) {
    poll(&fd, 1, 20);
    while (XPending(display_) > 0) {
      XEvent event;
      XNextEvent(display_, &event);
      const int64_t now = MonoNs();
      XGenericEventCookie& cookie = event.xcookie;
      if (cookie.type != GenericEvent || cookie.extension != opcode_) continue;
      if (!XGetEventData(display_, &cookie)) continue;
      const auto* raw = static_cast<const XIRawEvent*>(cookie.data);
      Seen s;
      s.server_ms = raw->time;
      s.local_ns = now;
      s.button = raw->detail;
      // XTest's absolute motions carry screen pixels in valuators 0 and 1.
      const double* value = raw->raw_values;
      for (int axis = 0; axis < raw->valuators.mask_len * 8; ++axis) {
        if (!XIMaskIsSet(raw->valuators.mask, axis)) continue;
        if (axis == 0) x_ = static_cast<int>(std::lround(*value));
        if (axis == 1) y_ = static_cast<int>(std::lround(*value));
        ++value;
      }
      s.x = x_;
      s.y = y_;
      s.kind = cookie.evtype == XI_RawMotion        ? Seen::Motion
               : cookie.evtype == XI_RawButtonPress ? Seen::Press
                                                    : Seen::Release;
      XFreeEventData(display_, &cookie);
      std::lock_guard lock(mutex_);
      events_.push_back(s);
    }
  }
}

Injector::Injector(const std::string& display) : display_(XOpenDisplay(display.c_str())) {
  if (!display_) throw std::runtime_error("cannot open " + display);
}

Injector::~Injector() {
  XCloseDisplay(display_);
}

void Injector::Move(int x, int y) {
  XTestFakeMotionEvent(display_, DefaultScreen(display_), x, y, CurrentTime);
  XFlush(display_);
}

void Injector::Button(int button, bool down) {
  XTestFakeButtonEvent(display_, static_cast<unsigned>(button), down ? True : False, CurrentTime);
  XFlush(display_);
}

void Injector::Key(unsigned long keysym) {
  const KeyCode code = XKeysymToKeycode(display_, keysym);
  XTestFakeKeyEvent(display_, code, True, CurrentTime);
  XTestFakeKeyEvent(display_, code, False, CurrentTime);
  XSync(display_, False);
}

}  // namespace pel::e2e
