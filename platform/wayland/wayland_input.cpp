#include "platform/wayland/wayland_input.h"

#include <wayland-client.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "platform/wayland/evdev_buttons.h"
#include "platform/wayland/wayland_display.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"

namespace pel {

namespace {

// The event time: milliseconds of the steady clock, wrapping as the protocol's do.
uint32_t NowMs() {
  return static_cast<uint32_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now().time_since_epoch())
                                   .count());
}

// A wheel's notch as libinput reports it: 15 degrees.
constexpr double kNotchValue = 15.0;

}  // namespace

std::unique_ptr<WaylandInput> WaylandInput::Open(WaylandDisplay& display, std::string& error) {
  if (!display.VirtualPointerManager()) {
    error = "the compositor offers no virtual pointer (zwlr_virtual_pointer_manager_v1)";
    return nullptr;
  }
  zwlr_virtual_pointer_v1* pointer = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(
      display.VirtualPointerManager(), display.Seat());
  if (!display.Flush()) {
    error = "the compositor did not take the virtual pointer";
    zwlr_virtual_pointer_v1_destroy(pointer);
    return nullptr;
  }
  return std::unique_ptr<WaylandInput>(new WaylandInput(display, pointer));
}

WaylandInput::WaylandInput(WaylandDisplay& display, zwlr_virtual_pointer_v1* pointer)
    : display_(display), pointer_(pointer) {}

WaylandInput::~WaylandInput() {
  // sway drops a move that it has not handled when the device goes: the device stays until the
  // compositor has answered everything sent so far.
  display_.Sync();
  zwlr_virtual_pointer_v1_destroy(pointer_);
  display_.Flush();
}

int16_t WaylandInput::KeyState(int) {
  return 0;
}

bool WaylandInput::CursorPos(Point&) {
  return false;
}

bool WaylandInput::SetCursorPos(Point pos) {
  display_.ReadEvents();  // an output may have come or gone
  const Monitor box = display_.LayoutBox();
  if (box.width <= 0 || box.height <= 0 || display_.Broken()) return false;
  // The compositor scales x / extent onto the layout box: with the box's own size as extent,
  // every pixel maps onto itself.
  const int64_t x = std::clamp<int64_t>(int64_t{pos.x} - box.left, 0, box.width - 1);
  const int64_t y = std::clamp<int64_t>(int64_t{pos.y} - box.top, 0, box.height - 1);
  zwlr_virtual_pointer_v1_motion_absolute(
      pointer_, NowMs(), static_cast<uint32_t>(x), static_cast<uint32_t>(y),
      static_cast<uint32_t>(box.width), static_cast<uint32_t>(box.height));
  zwlr_virtual_pointer_v1_frame(pointer_);
  return display_.Flush();
}

void WaylandInput::Button(MouseButton button, bool down) {
  zwlr_virtual_pointer_v1_button(
      pointer_, NowMs(), EvdevButton(button),
      down ? WL_POINTER_BUTTON_STATE_PRESSED : WL_POINTER_BUTTON_STATE_RELEASED);
  zwlr_virtual_pointer_v1_frame(pointer_);
}

bool WaylandInput::InjectButton(MouseButton button, bool down) {
  if (display_.Broken()) return false;
  Button(button, down);
  return display_.Flush();
}

bool WaylandInput::Click(MouseButton button) {
  if (display_.Broken()) return false;
  Button(button, true);
  Button(button, false);
  return display_.Flush();
}

bool WaylandInput::InjectWheel(WheelAxis axis, int32_t delta) {
  if (display_.Broken()) return false;
  int32_t& rest = wheel_rest_[axis == WheelAxis::Vertical ? 0 : 1];
  const int64_t total = int64_t{rest} + delta;
  const int64_t notches =
      std::clamp<int64_t>(total / kWheelNotch, -kMaxWheelNotches, kMaxWheelNotches);
  rest = static_cast<int32_t>(total % kWheelNotch);
  // Wayland's vertical axis grows downwards (towards the user); the seam's grows away from him.
  const int32_t step = (notches > 0 ? 1 : -1) * (axis == WheelAxis::Vertical ? -1 : 1);
  const uint32_t wl_axis = axis == WheelAxis::Vertical ? WL_POINTER_AXIS_VERTICAL_SCROLL
                                                       : WL_POINTER_AXIS_HORIZONTAL_SCROLL;
  // Each notch is its own batch, written whole before the next one is queued.
  for (int64_t i = 0; i < std::abs(notches); ++i) {
    zwlr_virtual_pointer_v1_axis_source(pointer_, WL_POINTER_AXIS_SOURCE_WHEEL);
    zwlr_virtual_pointer_v1_axis_discrete(pointer_, NowMs(), wl_axis,
                                          wl_fixed_from_double(step * kNotchValue), step);
    zwlr_virtual_pointer_v1_frame(pointer_);
    if (!display_.Flush()) return false;
  }
  return true;
}

}  // namespace pel
