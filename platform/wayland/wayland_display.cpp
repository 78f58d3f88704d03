#include "platform/wayland/wayland_display.h"

#include <poll.h>
#include <wayland-client.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>

#include "platform/wayland/wayland_flush.h"
#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"
#include "xdg-output-unstable-v1-client-protocol.h"

namespace pel {

namespace {

// How long a flush waits for a compositor that reads nothing before the connection counts as
// lost (see FlushAll).
constexpr int kFlushLimitMs = 5000;

int64_t SteadyNs() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

}  // namespace

struct WaylandDisplay::Output {
  WaylandDisplay* owner = nullptr;
  uint32_t global = 0;
  wl_output* output = nullptr;
  uint32_t version = 0;
  zxdg_output_v1* logical = nullptr;
  std::string name;
  int32_t x = 0, y = 0, mode_width = 0, mode_height = 0, scale = 1;
  bool turned = false;  // rotated a quarter: the mode's width is the height on screen
  int32_t logical_x = 0, logical_y = 0, logical_width = 0, logical_height = 0;
  bool has_logical = false;
  bool done = false;
};

// The listeners, with access to the connection's state.
struct WaylandDisplayListeners {
  using Output = WaylandDisplay::Output;

  static void Global(void* data, wl_registry* registry, uint32_t name, const char* interface,
                     uint32_t version) {
    auto* self = static_cast<WaylandDisplay*>(data);
    auto bind = [&](const wl_interface* kind, uint32_t most) {
      return wl_registry_bind(registry, name, kind, std::min(version, most));
    };
    if (std::strcmp(interface, wl_seat_interface.name) == 0) {
      if (!self->seat_) self->seat_ = static_cast<wl_seat*>(bind(&wl_seat_interface, 1));
    } else if (std::strcmp(interface, zwlr_virtual_pointer_manager_v1_interface.name) == 0) {
      self->pointer_manager_ = static_cast<zwlr_virtual_pointer_manager_v1*>(
          bind(&zwlr_virtual_pointer_manager_v1_interface, 2));
    } else if (std::strcmp(interface, zxdg_output_manager_v1_interface.name) == 0) {
      self->xdg_output_manager_ =
          static_cast<zxdg_output_manager_v1*>(bind(&zxdg_output_manager_v1_interface, 3));
      for (const std::unique_ptr<Output>& output : self->outputs_) self->WatchLogical(*output);
    } else if (std::strcmp(interface, wl_output_interface.name) == 0) {
      self->AddOutput(name, version);
    }
  }

  static void GlobalRemove(void* data, wl_registry*, uint32_t name) {
    auto* self = static_cast<WaylandDisplay*>(data);
    auto gone = std::ranges::find_if(self->outputs_, [&](const std::unique_ptr<Output>& output) {
      return output->global == name;
    });
    if (gone == self->outputs_.end()) return;
    Output& output = **gone;
    if (output.logical) zxdg_output_v1_destroy(output.logical);
    if (output.version >= WL_OUTPUT_RELEASE_SINCE_VERSION)
      wl_output_release(output.output);
    else
      wl_output_destroy(output.output);
    self->outputs_.erase(gone);
    ++self->generation_;
  }

  static void Geometry(void* data, wl_output*, int32_t x, int32_t y, int32_t, int32_t, int32_t,
                       const char*, const char*, int32_t transform) {
    auto* output = static_cast<Output*>(data);
    output->x = x;
    output->y = y;
    output->turned = (transform % 2) == 1;  // 90 and 270 degrees, flipped or not
  }
  static void Mode(void* data, wl_output*, uint32_t flags, int32_t width, int32_t height, int32_t) {
    auto* output = static_cast<Output*>(data);
    if ((flags & WL_OUTPUT_MODE_CURRENT) == 0) return;
    output->mode_width = width;
    output->mode_height = height;
  }
  static void Done(void* data, wl_output*) { Announced(*static_cast<Output*>(data)); }
  static void Scale(void* data, wl_output*, int32_t factor) {
    static_cast<Output*>(data)->scale = std::max(factor, 1);
  }

  static void Name(void* data, wl_output*, const char* name) {
    static_cast<Output*>(data)->name = name;
  }
  static void Description(void*, wl_output*, const char*) {}

  static void LogicalPosition(void* data, zxdg_output_v1*, int32_t x, int32_t y) {
    auto* output = static_cast<Output*>(data);
    output->logical_x = x;
    output->logical_y = y;
    output->has_logical = true;
  }
  static void LogicalSize(void* data, zxdg_output_v1*, int32_t width, int32_t height) {
    auto* output = static_cast<Output*>(data);
    output->logical_width = width;
    output->logical_height = height;
    output->has_logical = true;
  }
  // Since xdg-output version 3 the output's own done ends its changes; before, this one did.
  static void LogicalDone(void* data, zxdg_output_v1*) { Announced(*static_cast<Output*>(data)); }
  static void LogicalName(void* data, zxdg_output_v1*, const char* name) {
    static_cast<Output*>(data)->name = name;
  }
  static void LogicalDescription(void*, zxdg_output_v1*, const char*) {}

  static void Announced(Output& output) {
    output.done = true;
    ++output.owner->generation_;
  }
};

namespace {

const wl_registry_listener kRegistryListener = {&WaylandDisplayListeners::Global,
                                                &WaylandDisplayListeners::GlobalRemove};
const wl_output_listener kOutputListener = {
    &WaylandDisplayListeners::Geometry, &WaylandDisplayListeners::Mode,
    &WaylandDisplayListeners::Done,     &WaylandDisplayListeners::Scale,
    &WaylandDisplayListeners::Name,     &WaylandDisplayListeners::Description};
const zxdg_output_v1_listener kLogicalListener = {
    &WaylandDisplayListeners::LogicalPosition, &WaylandDisplayListeners::LogicalSize,
    &WaylandDisplayListeners::LogicalDone, &WaylandDisplayListeners::LogicalName,
    &WaylandDisplayListeners::LogicalDescription};

}  // namespace

std::unique_ptr<WaylandDisplay> WaylandDisplay::Open(const char* name, std::string& error) {
  wl_display* display = wl_display_connect(name);
  if (!display) {
    const char* env = name ? name : std::getenv("WAYLAND_DISPLAY");
    error = std::string("wl_display_connect failed: no Wayland compositor at \"") +
            (env && *env ? env : "wayland-0") + "\"";
    return nullptr;
  }
  std::unique_ptr<WaylandDisplay> self(new WaylandDisplay(display));
  self->registry_ = wl_display_get_registry(display);
  wl_registry_add_listener(self->registry_, &kRegistryListener, self.get());
  // The globals, then what the outputs bound among them say about themselves.
  if (wl_display_roundtrip(display) < 0 || wl_display_roundtrip(display) < 0) {
    error = "wl_display_roundtrip failed: the compositor ended the connection";
    return nullptr;
  }
  return self;
}

WaylandDisplay::WaylandDisplay(wl_display* display) : display_(display) {}

WaylandDisplay::~WaylandDisplay() {
  for (const std::unique_ptr<Output>& output : outputs_) {
    if (output->logical) zxdg_output_v1_destroy(output->logical);
    wl_output_destroy(output->output);
  }
  if (xdg_output_manager_) zxdg_output_manager_v1_destroy(xdg_output_manager_);
  if (pointer_manager_) zwlr_virtual_pointer_manager_v1_destroy(pointer_manager_);
  if (seat_) wl_seat_destroy(seat_);
  if (registry_) wl_registry_destroy(registry_);
  if (!broken_) Flush();
  wl_display_disconnect(display_);
}

void WaylandDisplay::AddOutput(uint32_t name, uint32_t version) {
  auto output = std::make_unique<Output>();
  output->owner = this;
  output->global = name;
  output->version = std::min<uint32_t>(version, 4);
  output->output = static_cast<wl_output*>(
      wl_registry_bind(registry_, name, &wl_output_interface, output->version));
  wl_output_add_listener(output->output, &kOutputListener, output.get());
  WatchLogical(*output);
  outputs_.push_back(std::move(output));
  ++generation_;
}

void WaylandDisplay::WatchLogical(Output& output) {
  if (!xdg_output_manager_ || output.logical) return;
  output.logical = zxdg_output_manager_v1_get_xdg_output(xdg_output_manager_, output.output);
  zxdg_output_v1_add_listener(output.logical, &kLogicalListener, &output);
}

void WaylandDisplay::ReadEvents() {
  const int64_t now = SteadyNs();
  if (broken_ || now - read_at_ < 1'000'000) return;
  read_at_ = now;
  ReadFor(0);
  // What the listeners asked (an output's logical place) goes out now.
  Flush();
}

void WaylandDisplay::ReadFor(int ms) {
  while (wl_display_prepare_read(display_) != 0) {
    if (wl_display_dispatch_pending(display_) < 0) {
      broken_ = true;
      return;
    }
  }
  pollfd in{wl_display_get_fd(display_), POLLIN, 0};
  if (::poll(&in, 1, ms) > 0) {
    if (wl_display_read_events(display_) < 0) broken_ = true;
  } else {
    wl_display_cancel_read(display_);
  }
  if (!broken_ && wl_display_dispatch_pending(display_) < 0) broken_ = true;
}

bool WaylandDisplay::Sync() {
  bool done = false;
  static const wl_callback_listener kDone = {
      [](void* data, wl_callback*, uint32_t) { *static_cast<bool*>(data) = true; }};
  wl_callback* callback = wl_display_sync(display_);
  wl_callback_add_listener(callback, &kDone, &done);
  const int64_t deadline = SteadyNs() + int64_t{kFlushLimitMs} * 1'000'000;
  while (!done && Flush()) {
    const int64_t left_ms = (deadline - SteadyNs()) / 1'000'000;
    if (left_ms <= 0) break;
    ReadFor(static_cast<int>(std::min<int64_t>(left_ms, 100)));
  }
  wl_callback_destroy(callback);
  return done;
}

bool WaylandDisplay::Flush() {
  if (!broken_ && !FlushAll(display_, kFlushLimitMs)) broken_ = true;
  return !broken_;
}

std::vector<Monitor> WaylandDisplay::Monitors() const {
  std::vector<Monitor> monitors;
  for (const std::unique_ptr<Output>& o : outputs_) {
    if (!o->done) continue;
    Monitor m;
    m.name = o->name;
    if (o->has_logical) {
      m.left = o->logical_x;
      m.top = o->logical_y;
      m.width = o->logical_width;
      m.height = o->logical_height;
    } else {
      m.left = o->x;
      m.top = o->y;
      m.width = (o->turned ? o->mode_height : o->mode_width) / o->scale;
      m.height = (o->turned ? o->mode_width : o->mode_height) / o->scale;
    }
    m.primary = monitors.empty();
    monitors.push_back(std::move(m));
  }
  return monitors;
}

Monitor WaylandDisplay::LayoutBox() const {
  const std::vector<Monitor> monitors = Monitors();
  if (monitors.empty()) return {};
  int64_t left = monitors[0].left, top = monitors[0].top;
  int64_t right = left + monitors[0].width, bottom = top + monitors[0].height;
  for (const Monitor& m : monitors) {
    left = std::min<int64_t>(left, m.left);
    top = std::min<int64_t>(top, m.top);
    right = std::max<int64_t>(right, int64_t{m.left} + m.width);
    bottom = std::max<int64_t>(bottom, int64_t{m.top} + m.height);
  }
  Monitor box;
  box.left = static_cast<int32_t>(left);
  box.top = static_cast<int32_t>(top);
  box.width = static_cast<int32_t>(right - left);
  box.height = static_cast<int32_t>(bottom - top);
  return box;
}

}  // namespace pel
