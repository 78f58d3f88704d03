#include "platform/x11/x11_input.h"

#include <X11/Xlib.h>
#include <X11/extensions/XInput2.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "platform/x11/x11_error_trap.h"

namespace pel {
namespace {

// What a virtual-key code stands for on X: a pointer button or a key (found by keysym, since
// keycodes differ between servers and keyboard layouts).
struct XInputCode {
  unsigned button = 0;
  KeySym keysym = NoSymbol;
};

XInputCode FromVirtualKey(int vk) {
  switch (vk) {
    case vk::kLButton:
      return {.button = 1};
    case vk::kRButton:
      return {.button = 3};
    case vk::kMButton:
      return {.button = 2};
    case vk::kPause:
      return {.keysym = XK_Pause};
    case vk::kF9:
      return {.keysym = XK_F9};
    case vk::kF10:
      return {.keysym = XK_F10};
    case vk::kF12:
      return {.keysym = XK_F12};
    default:
      return {};
  }
}

unsigned ButtonNumber(MouseButton button) {
  switch (button) {
    case MouseButton::Left:
      return 1;
    case MouseButton::Middle:
      return 2;
    case MouseButton::Right:
      return 3;
    case MouseButton::X1:
      return 8;
    case MouseButton::X2:
      return 9;
  }
  return 1;
}

// True when an XTest request was sent and the server processed it without error. XTest calls
// return 0 without sending anything when the extension is missing, which no X error reports.
bool Sent(XErrorTrap& trap, Status sent, const char* call) {
  const bool processed = trap.Check(call);
  if (processed && !sent) std::fprintf(stderr, "pelmira: %s failed: request not sent\n", call);
  return processed && sent;
}

int64_t SteadyNanos() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
// How long one answer of the server serves the queries of a poll tick.
constexpr int64_t kSnapshotNanos = 1'000'000;
// How often the followed key state is checked against the keymap: it can only drift if the
// server changes a key's state without a raw event (a keyboard unplugged while a key is held).
constexpr int64_t kKeymapNanos = 1'000'000'000;
// How long raw motion stays selected after the last UserPointerMoves.
constexpr int64_t kMotionWatchNanos = 1'000'000'000;

// Selects the raw events this backend reads on the root window: keys and buttons of the master
// devices (which report the presses of every attached physical device and of XTest), their
// motion when `motion`, and hierarchy changes (devices added or removed can reuse a device id:
// see IsXTestDevice). False when the server refused.
bool SelectRaw(Display* display, bool motion) {
  unsigned char bits[XIMaskLen(XI_LASTEVENT)] = {};
  XISetMask(bits, XI_RawKeyPress);
  XISetMask(bits, XI_RawKeyRelease);
  XISetMask(bits, XI_RawButtonPress);
  XISetMask(bits, XI_RawButtonRelease);
  if (motion) XISetMask(bits, XI_RawMotion);
  unsigned char hierarchy_bits[XIMaskLen(XI_LASTEVENT)] = {};
  XISetMask(hierarchy_bits, XI_HierarchyChanged);
  XIEventMask masks[2] = {{XIAllMasterDevices, sizeof bits, bits},
                          {XIAllDevices, sizeof hierarchy_bits, hierarchy_bits}};
  XErrorTrap trap(display);
  XISelectEvents(display, DefaultRootWindow(display), masks, 2);
  return trap.Check("XISelectEvents");
}

// True when raw motion moves the pointer: a value for x or y (valuators 0 and 1), not only for
// a scroll valuator.
bool MovesPointer(const XIRawEvent& raw) {
  return raw.valuators.mask_len > 0 &&
         (XIMaskIsSet(raw.valuators.mask, 0) || XIMaskIsSet(raw.valuators.mask, 1));
}

}  // namespace

std::unique_ptr<X11Input> X11Input::Open(const char* display_name, std::string& error) {
  Display* display = XOpenDisplay(display_name);
  if (!display) {
    error = std::string("XOpenDisplay failed: cannot open display \"") +
            XDisplayName(display_name) + "\"";
    return nullptr;
  }
  auto fail = [&](std::string message) -> std::unique_ptr<X11Input> {
    error = std::move(message);
    XCloseDisplay(display);
    return nullptr;
  };

  int xi_opcode = 0, first_event = 0, first_error = 0;
  if (!XQueryExtension(display, "XInputExtension", &xi_opcode, &first_event, &first_error))
    return fail("XQueryExtension failed: the X server has no XInputExtension");
  // Announce 2.2: from 2.1 on, raw events reach their clients even while another client holds
  // a grab (an open menu, a drag); a 2.0 server still delivers them outside grabs.
  int major = 2, minor = 2;
  if (XIQueryVersion(display, &major, &minor) != Success || major < 2)
    return fail("XIQueryVersion failed: the X server does not support XInput 2.0");
  int xtest_event = 0, xtest_error = 0, xtest_major = 0, xtest_minor = 0;
  if (!XTestQueryExtension(display, &xtest_event, &xtest_error, &xtest_major, &xtest_minor))
    return fail("XTestQueryExtension failed: the X server has no XTEST extension");

  // Raw events selected on the root window arrive whatever window has the focus and need no
  // grab.
  if (!SelectRaw(display, false))
    return fail("XISelectEvents failed: raw input events cannot be selected");
  return std::unique_ptr<X11Input>(new X11Input(display, xi_opcode));
}

X11Input::X11Input(Display* display, int xi_opcode) : display_(display), xi_opcode_(xi_opcode) {
  // The first Refresh reads the keymap; the raw events selected before it keep the state since.
  ReadPointerMapping();
}

void X11Input::ReadPointerMapping() {
  pointer_buttons_ =
      XGetPointerMapping(display_, pointer_map_.data(), static_cast<int>(pointer_map_.size()));
}

X11Input::~X11Input() {
  XCloseDisplay(display_);
}

void X11Input::ReadKeymap() {
  // Raw events made before the reply but drained after it leave each key as its last event
  // left it, which is what the keymap says too; so the order of the two does not matter.
  std::array<char, 32> keymap{};
  XQueryKeymap(display_, keymap.data());
  for (size_t code = 0; code < key_down_.size(); ++code)
    key_down_[code] = (keymap[code / 8] & (1 << (code % 8))) != 0;
}

void X11Input::DrainEvents() {
  // XPending reads whatever the server has sent without blocking. Refresh makes a round trip
  // first: its reply comes after every event the server generated before it, so those events
  // are all queued by then.
  while (XPending(display_) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    if (event.type == MappingNotify) {
      // Every client gets these. Keeps XKeysymToKeycode and the button map up to date.
      if (event.xmapping.request == MappingPointer)
        ReadPointerMapping();
      else
        XRefreshKeyboardMapping(&event.xmapping);
      continue;
    }
    XGenericEventCookie& cookie = event.xcookie;
    if (cookie.type != GenericEvent || cookie.extension != xi_opcode_) continue;
    if (cookie.evtype == XI_HierarchyChanged) {
      xtest_device_.clear();
      continue;
    }
    if (!XGetEventData(display_, &cookie)) continue;
    const auto* raw = static_cast<const XIRawEvent*>(cookie.data);
    if (raw->detail >= 0 && raw->detail < 256) {
      switch (cookie.evtype) {
        case XI_RawKeyPress:
          key_latch_.Press(raw->detail);
          key_down_[static_cast<size_t>(raw->detail)] = true;
          break;
        case XI_RawKeyRelease:
          key_latch_.Release(raw->detail);
          key_down_[static_cast<size_t>(raw->detail)] = false;
          break;
        case XI_RawButtonPress:
          button_latch_.Press(raw->detail);
          // Master devices report the slave that made the event as the source.
          if (raw->detail >= 1 && raw->detail <= 3 && !IsXTestDevice(raw->sourceid))
            ++user_button_presses_;
          break;
        case XI_RawButtonRelease:
          button_latch_.Release(raw->detail);
          break;
        case XI_RawMotion:
          if (MovesPointer(*raw) && !IsXTestDevice(raw->sourceid)) ++user_pointer_moves_;
          break;
        default:
          break;
      }
      const bool key = cookie.evtype == XI_RawKeyPress || cookie.evtype == XI_RawKeyRelease;
      if (key ? Watched(raw->detail) : raw->detail >= 1 && raw->detail <= 3) input_arrived_ = true;
    }
    XFreeEventData(display_, &cookie);
  }
}

bool X11Input::IsXTestDevice(int id) {
  auto it = xtest_device_.find(id);
  if (it != xtest_device_.end()) return it->second;
  bool xtest = false;
  int count = 0;
  XErrorTrap trap(display_);
  XIDeviceInfo* info = XIQueryDevice(display_, id, &count);
  if (info != nullptr && count == 1 && info->name != nullptr) {
    // The server names them after their master: "Virtual core XTEST pointer" and the like.
    xtest = std::strstr(info->name, "XTEST") != nullptr;
  }
  if (info != nullptr) XIFreeDeviceInfo(info);
  // A device gone before the question counts as injected: it cannot be checked.
  if (!trap.Check("XIQueryDevice")) xtest = true;
  xtest_device_[id] = xtest;
  return xtest;
}

uint32_t X11Input::UserButtonPresses() {
  pointer_at_ = kNever;  // a round trip, so every press made before this call is counted
  Refresh();
  const uint32_t n = user_button_presses_;
  user_button_presses_ = 0;
  return n;
}

uint32_t X11Input::UserPointerMoves() {
  moves_asked_at_ = SteadyNanos();
  if (!motion_selected_) {
    // Counting starts here: nothing watched the pointer before. A server that refuses (the
    // trap has said so) is not asked again until the watch lapses: the count stays 0.
    SelectRaw(display_, true);
    motion_selected_ = true;
    user_pointer_moves_ = 0;
    return 0;
  }
  Refresh();
  return std::exchange(user_pointer_moves_, 0);
}

bool X11Input::Watched(int code) {
  for (int vk : {vk::kF9, vk::kF10, vk::kF12, vk::kPause})
    if (XKeysymToKeycode(display_, FromVirtualKey(vk).keysym) == code) return true;
  return false;
}

int X11Input::ConnectionFd() const {
  return ConnectionNumber(display_);
}

bool X11Input::TakeInput() {
  DrainEvents();
  // Nobody has asked about the pointer's moves for a while: they need not wake the program.
  if (motion_selected_ && SteadyNanos() - moves_asked_at_ > kMotionWatchNanos &&
      SelectRaw(display_, false)) {
    motion_selected_ = false;
    user_pointer_moves_ = 0;
  }
  const bool arrived = input_arrived_;
  input_arrived_ = false;
  return arrived;
}

void X11Input::Refresh() {
  const int64_t now = SteadyNanos();
  if (now - pointer_at_ < kSnapshotNanos) return;
  if (now - keymap_at_ >= kKeymapNanos) {
    ReadKeymap();
    keymap_at_ = now;
  }
  Window root = 0, child = 0;
  int win_x = 0, win_y = 0;
  // False means the pointer is on another screen of a multi-screen display: the root
  // coordinates are then those of that screen, not of ours, and the position counts as unknown.
  pointer_on_screen_ = XQueryPointer(display_, DefaultRootWindow(display_), &root, &child,
                                     &pointer_x_, &pointer_y_, &win_x, &win_y, &pointer_mask_);
  pointer_at_ = now;
  DrainEvents();
}

int16_t X11Input::KeyState(int vk) {
  const XInputCode code = FromVirtualKey(vk);
  if (code.button != 0) {
    Refresh();
    // Raw events and XTest speak of physical buttons, the pointer's state mask of logical ones
    // (after the button mapping, e.g. 1 and 3 swapped for left-handed use). Poll the logical
    // button that the physical one stands for, so that a held click and a quick one agree.
    const unsigned logical = static_cast<int>(code.button) <= pointer_buttons_
                                 ? pointer_map_[code.button - 1]
                                 : code.button;
    const bool down =
        logical >= 1 && logical <= 5 && (pointer_mask_ & (Button1Mask << (logical - 1))) != 0;
    return button_latch_.Query(static_cast<int>(code.button), down);
  }
  if (code.keysym == NoSymbol) return 0;
  const KeyCode keycode = XKeysymToKeycode(display_, code.keysym);
  if (keycode == 0) return 0;  // no key of this layout produces the keysym
  Refresh();
  return key_latch_.Query(keycode, key_down_[keycode]);
}

bool X11Input::CursorPos(Point& pos) {
  // Asked of the server (at most once per tick): a warp, another program's or ours, moves the
  // pointer without any raw motion event, so no event stream could track it.
  Refresh();
  if (!pointer_on_screen_) return false;
  pos = {pointer_x_, pointer_y_};
  return true;
}

bool X11Input::SetCursorPos(Point pos) {
  // The request carries 16-bit coordinates, so a far target would wrap (66036 arrives as 500):
  // it is clamped to the root window first. The root's size is asked for only when the target
  // lies outside it as last known; a root that has shrunk since, the server clamps to itself.
  const bool inside = pos.x >= 0 && pos.y >= 0 && pos.x < root_width_ && pos.y < root_height_;
  if (!inside) {
    Window root = 0;
    int x = 0, y = 0;
    unsigned width = 0, height = 0, border = 0, depth = 0;
    if (!XGetGeometry(display_, DefaultRootWindow(display_), &root, &x, &y, &width, &height,
                      &border, &depth)) {
      std::fprintf(stderr, "pelmira: XGetGeometry failed: the root window's size is unknown\n");
      return false;
    }
    root_width_ = static_cast<int32_t>(width);
    root_height_ = static_cast<int32_t>(height);
  }
  pos.x = std::clamp(pos.x, 0, root_width_ - 1);
  pos.y = std::clamp(pos.y, 0, root_height_ - 1);
  // An XTest motion rather than XWarpPointer: it travels the same device path as the XTest
  // button presses that replay clicks, so other programs see one consistent stream of real
  // pointer input (hover and drag handling included), and servers that restrict warps to the
  // client's own windows still accept it.
  XErrorTrap trap(display_);
  const Status sent =
      XTestFakeMotionEvent(display_, DefaultScreen(display_), pos.x, pos.y, CurrentTime);
  pointer_at_ = kNever;  // the next read asks the server again
  return Sent(trap, sent, "XTestFakeMotionEvent");
}

bool X11Input::InjectButton(MouseButton button, bool down) {
  XErrorTrap trap(display_);
  const Status sent =
      XTestFakeButtonEvent(display_, ButtonNumber(button), down ? True : False, CurrentTime);
  pointer_at_ = kNever;
  return Sent(trap, sent, "XTestFakeButtonEvent");
}

bool X11Input::Click(MouseButton button) {
  // Both requests wait in Xlib's buffer (emptied by the trap) and leave in the one write of the
  // trap's sync: a process killed at any moment has sent both or neither, never a lone press
  // that would leave the button held in the server.
  XErrorTrap trap(display_);
  const unsigned number = ButtonNumber(button);
  const Status pressed = XTestFakeButtonEvent(display_, number, True, CurrentTime);
  const Status released = XTestFakeButtonEvent(display_, number, False, CurrentTime);
  pointer_at_ = kNever;
  return Sent(trap, pressed && released, "XTestFakeButtonEvent");
}

bool X11Input::InjectWheel(WheelAxis axis, int32_t delta) {
  // X scrolls by whole notches. Parts of one (a touchpad's, a fine wheel's) add up, either way,
  // until they make one.
  int32_t& rest = wheel_rest_[axis == WheelAxis::Vertical ? 0 : 1];
  const int64_t total = int64_t{rest} + delta;
  const int64_t notches = total / kWheelNotch;
  rest = static_cast<int32_t>(total - notches * kWheelNotch);
  const unsigned button =
      axis == WheelAxis::Vertical ? (notches > 0 ? 4 : 5) : (notches > 0 ? 7 : 6);
  const int64_t count = std::min<int64_t>(std::abs(notches), kMaxWheelNotches);
  XErrorTrap trap(display_);
  Status sent = True;
  for (int64_t i = 0; i < count && sent; ++i)
    sent = XTestFakeButtonEvent(display_, button, True, CurrentTime) &&
           XTestFakeButtonEvent(display_, button, False, CurrentTime);
  pointer_at_ = kNever;
  return Sent(trap, sent, "XTestFakeButtonEvent");
}

}  // namespace pel
