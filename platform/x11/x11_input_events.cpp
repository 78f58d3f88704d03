#include "platform/x11/x11_input_events.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xproto.h>
#include <X11/extensions/record.h>
#include <poll.h>

#include <optional>

#include "platform/x11/x11_error_trap.h"

namespace pel {

namespace {

// The button of physical number `detail`, as XTest numbers them (X11Input::InjectButton); none
// for the wheel's 4 to 7 and the numbers past 9.
std::optional<MouseButton> ButtonNumbered(unsigned detail) {
  switch (detail) {
    case 1:
      return MouseButton::Left;
    case 2:
      return MouseButton::Middle;
    case 3:
      return MouseButton::Right;
    case 8:
      return MouseButton::X1;
    case 9:
      return MouseButton::X2;
    default:
      return std::nullopt;
  }
}

}  // namespace

// RECORD's callback, a friend so that it can hand the events over.
struct RecordedEvent {
  static void Intercept(XPointer closure, XRecordInterceptData* data) {
    auto* self = reinterpret_cast<X11InputEvents*>(closure);
    if (data->category == XRecordFromServer && data->data_len * 4 >= sizeof(xEvent)) {
      const auto* ev = reinterpret_cast<const xEvent*>(data->data);
      const auto& e = ev->u.keyButtonPointer;
      self->Received(ev->u.u.type & 0x7f, ev->u.u.detail, e.rootX, e.rootY, e.root, e.time);
    } else if (data->category == XRecordStartOfData) {
      self->recording_ = true;
    } else if (data->category == XRecordEndOfData) {
      self->recording_ = false;
    }
    XRecordFreeData(data);
  }
};

std::unique_ptr<X11InputEvents> X11InputEvents::Open(const char* display_name, Clock& clock,
                                                     std::string& error) {
  auto open = [&](Display*& display) {
    display = XOpenDisplay(display_name);
    if (!display)
      error = std::string("XOpenDisplay failed: cannot open display \"") +
              XDisplayName(display_name) + "\"";
    return display != nullptr;
  };
  Display* control = nullptr;
  Display* data = nullptr;
  if (!open(control)) return nullptr;
  int major = 0, minor = 0;
  if (!XRecordQueryVersion(control, &major, &minor)) {
    error = "XRecordQueryVersion failed: the X server has no RECORD extension";
    XCloseDisplay(control);
    return nullptr;
  }
  if (!open(data)) {
    XCloseDisplay(control);
    return nullptr;
  }
  return std::unique_ptr<X11InputEvents>(new X11InputEvents(control, data, clock));
}

X11InputEvents::X11InputEvents(Display* control, Display* data, Clock& clock)
    : control_(control), data_(data), clock_(clock) {
  root_ = DefaultRootWindow(control_);
  // An unmapped window of our own whose property changes bring back the server's time.
  XSetWindowAttributes attributes = {};
  attributes.event_mask = PropertyChangeMask;
  sync_window_ = XCreateWindow(control_, root_, -1, -1, 1, 1, 0, 0, InputOnly, CopyFromParent,
                               CWEventMask, &attributes);
  sync_atom_ = XInternAtom(control_, "PELMIRA_SERVER_TIME", False);
}

X11InputEvents::~X11InputEvents() {
  Stop();
  XCloseDisplay(data_);
  XCloseDisplay(control_);
}

int X11InputEvents::ConnectionFd() const {
  return ConnectionNumber(data_);
}

void X11InputEvents::SyncTime() {
  const double before = clock_.Now();
  XChangeProperty(control_, sync_window_, sync_atom_, XA_INTEGER, 32, PropModeAppend, nullptr, 0);
  // Flushes the request and waits for the notification, which carries the server's time.
  XEvent event;
  XWindowEvent(control_, sync_window_, PropertyChangeMask, &event);
  time_.Sync(static_cast<uint32_t>(event.xproperty.time), before, clock_.Now());
}

bool X11InputEvents::Start(bool moves, std::string& error) {
  Stop();
  XRecordRange* range = XRecordAllocRange();
  if (!range) {
    error = "XRecordAllocRange failed: out of memory";
    return false;
  }
  // Pointer events only: the keys are none of the recording's business. Moves come whether
  // asked for or not: they say which screen the pointer is on.
  range->device_events.first = ButtonPress;
  range->device_events.last = MotionNotify;
  XRecordClientSpec clients = XRecordAllClients;
  XRecordContext context = 0;
  {
    XErrorTrap trap(control_);
    context = XRecordCreateContext(control_, 0, &clients, 1, &range, 1);
    XFree(range);
    if (!context || !trap.Check("XRecordCreateContext")) {
      error = "XRecordCreateContext failed: the server refused to record pointer events";
      return false;
    }
  }
  SyncTime();
  received_.clear();
  Window root = 0, child = 0;
  int x = 0, y = 0, win_x = 0, win_y = 0;
  unsigned mask = 0;
  on_screen_ = XQueryPointer(control_, root_, &root, &child, &x, &y, &win_x, &win_y, &mask);
  context_ = context;
  moves_ = moves;
  // Started once the server says so: input made after Start returns is recorded.
  if (!XRecordEnableContextAsync(data_, context, &RecordedEvent::Intercept,
                                 reinterpret_cast<XPointer>(this)) ||
      !Await(true)) {
    error = "XRecordEnableContextAsync failed: the server did not start recording";
    Stop();
    return false;
  }
  return true;
}

bool X11InputEvents::Await(bool recording) {
  XFlush(data_);
  for (int waited = 0; recording_ != recording && waited < kAwaitMs; waited += 10) {
    XRecordProcessReplies(data_);
    if (recording_ == recording) break;
    pollfd fd = {ConnectionNumber(data_), POLLIN, 0};
    poll(&fd, 1, 10);
  }
  return recording_ == recording;
}

void X11InputEvents::Stop() {
  if (context_ == 0) return;
  XRecordDisableContext(control_, context_);
  XRecordFreeContext(control_, context_);
  XSync(control_, False);
  // The data connection serves another context only after the end of this one's data, which
  // the server sends at once.
  Await(false);
  context_ = 0;
  received_.clear();
}

void X11InputEvents::Received(int type, unsigned detail, int root_x, int root_y, unsigned long root,
                              uint32_t stamp) {
  // Button events come without their root window; the pointer's moves say which screen it is
  // on.
  if (type == MotionNotify) on_screen_ = root == root_;
  if (root != 0 ? root != root_ : !on_screen_) return;
  InputEvent e;
  e.pos = {root_x, root_y};
  switch (type) {
    case MotionNotify:
      if (!moves_) return;
      e.kind = InputEvent::Kind::Move;
      break;
    case ButtonPress:
      if (detail >= 4 && detail <= 7) {
        // One notch a click; its release says nothing more.
        e.kind = InputEvent::Kind::Wheel;
        e.axis = detail <= 5 ? WheelAxis::Vertical : WheelAxis::Horizontal;
        e.delta = detail == 4 || detail == 7 ? kWheelNotch : -kWheelNotch;
        break;
      }
      [[fallthrough]];
    case ButtonRelease: {
      const std::optional<MouseButton> button = ButtonNumbered(detail);
      if (!button) return;
      e.kind = type == ButtonPress ? InputEvent::Kind::Press : InputEvent::Kind::Release;
      e.button = *button;
      break;
    }
    default:
      return;
  }
  received_.push_back({e, stamp});
}

void X11InputEvents::Take(std::vector<InputEvent>& out) {
  if (context_ == 0) return;
  // The round trip brings the server's time too: each one narrows the clock mapping.
  SyncTime();
  XRecordProcessReplies(data_);
  const double read_at = clock_.Now();
  for (Stamped& s : received_) {
    s.event.time = time_.Map(s.stamp, read_at);
    out.push_back(s.event);
  }
  received_.clear();
}

}  // namespace pel
