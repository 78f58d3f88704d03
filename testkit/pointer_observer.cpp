#include "testkit/pointer_observer.h"

#include <poll.h>
#include <pthread.h>
#include <sched.h>
#include <sys/mman.h>
#include <unistd.h>
#include <wayland-client.h>

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>
#include <mutex>
#include <stdexcept>
#include <thread>

#include "wlr-virtual-pointer-unstable-v1-client-protocol.h"
#include "xdg-shell-client-protocol.h"
// Its argument `namespace` is a C++ keyword.
#define namespace namespace_
#include "wlr-layer-shell-unstable-v1-client-protocol.h"
#undef namespace

namespace pel::waylandtest {

struct PointerObserver::Wayland {
  struct Window {
    int left = 0, width = 0, height = 0;
    wl_output* output = nullptr;
    wl_surface* surface = nullptr;
    zwlr_layer_surface_v1* layer = nullptr;
    xdg_surface* xdg = nullptr;
    xdg_toplevel* toplevel = nullptr;
    bool configured = false, shown = false;
  };
  std::mutex mutex;
  std::vector<PointerEvent> handled;  // not yet taken in by the owner's thread
  int64_t woke_ns = 0;                // when the events being handled were read
  wl_display* display = nullptr;
  wl_compositor* compositor = nullptr;
  wl_shm* shm = nullptr;
  zwlr_layer_shell_v1* shell = nullptr;
  xdg_wm_base* wm_base = nullptr;
  wl_seat* seat = nullptr;
  wl_pointer* pointer = nullptr;
  zwlr_virtual_pointer_manager_v1* manager = nullptr;
  zwlr_virtual_pointer_v1* own = nullptr;
  std::vector<wl_output*> outputs;
  std::vector<std::unique_ptr<Window>> windows;
  const Window* over = nullptr;  // the window the pointer is in
  int x = 0, y = 0;
  PointerEvent wheel;  // the wheel event being put together until its frame
  bool wheel_open = false;

  void Add(PointerEvent e) {
    e.x = x;
    e.y = y;
    e.received_ns = woke_ns;
    const std::lock_guard lock(mutex);
    handled.push_back(e);
  }
  void At(wl_fixed_t sx, wl_fixed_t sy) {
    x = (over ? over->left : 0) + wl_fixed_to_int(sx);
    y = wl_fixed_to_int(sy);
  }
};

namespace {

using W = PointerObserver::Wayland;
using Kind = PointerEvent::Kind;

int64_t MonoNs() {
  timespec now{};
  ::clock_gettime(CLOCK_MONOTONIC, &now);
  return int64_t{now.tv_sec} * 1'000'000'000 + now.tv_nsec;
}

const wl_pointer_listener kPointer = {
    [](void* d, wl_pointer*, uint32_t, wl_surface* s, wl_fixed_t sx, wl_fixed_t sy) {
      auto* w = static_cast<W*>(d);
      for (const auto& window : w->windows)
        if (window->surface == s) w->over = window.get();
      w->At(sx, sy);
      w->Add({.kind = Kind::Enter});
    },
    [](void* d, wl_pointer*, uint32_t, wl_surface*) { static_cast<W*>(d)->over = nullptr; },
    [](void* d, wl_pointer*, uint32_t time, wl_fixed_t sx, wl_fixed_t sy) {
      auto* w = static_cast<W*>(d);
      w->At(sx, sy);
      w->Add({.kind = Kind::Motion, .time = time});
    },
    [](void* d, wl_pointer*, uint32_t, uint32_t time, uint32_t button, uint32_t state) {
      static_cast<W*>(d)->Add({.kind = Kind::Button,
                               .button = button,
                               .pressed = state == WL_POINTER_BUTTON_STATE_PRESSED,
                               .time = time});
    },
    [](void* d, wl_pointer*, uint32_t time, uint32_t axis, wl_fixed_t value) {
      auto* w = static_cast<W*>(d);
      w->wheel.time = time;
      w->wheel.axis = axis;
      w->wheel.value = wl_fixed_to_double(value);
      w->wheel_open = true;
    },
    [](void* d, wl_pointer*) {
      auto* w = static_cast<W*>(d);
      if (w->wheel_open) w->Add(w->wheel);
      w->wheel = {.kind = Kind::Wheel};
      w->wheel_open = false;
    },
    [](void* d, wl_pointer*, uint32_t source) {
      static_cast<W*>(d)->wheel.from_wheel = source == WL_POINTER_AXIS_SOURCE_WHEEL;
    },
    [](void*, wl_pointer*, uint32_t, uint32_t) {},
    [](void* d, wl_pointer*, uint32_t, int32_t discrete) {
      static_cast<W*>(d)->wheel.discrete = discrete;
    },
    [](void*, wl_pointer*, uint32_t, int32_t) {},
};

const wl_seat_listener kSeat = {
    [](void* d, wl_seat* seat, uint32_t caps) {
      auto* w = static_cast<W*>(d);
      if ((caps & WL_SEAT_CAPABILITY_POINTER) && !w->pointer) {
        w->pointer = wl_seat_get_pointer(seat);
        wl_pointer_add_listener(w->pointer, &kPointer, w);
      }
    },
    [](void*, wl_seat*, const char*) {},
};

const zwlr_layer_surface_v1_listener kLayer = {
    [](void* d, zwlr_layer_surface_v1* layer, uint32_t serial, uint32_t, uint32_t) {
      zwlr_layer_surface_v1_ack_configure(layer, serial);
      static_cast<W::Window*>(d)->configured = true;
    },
    [](void*, zwlr_layer_surface_v1*) {}};

const xdg_wm_base_listener kWmBase = {
    [](void*, xdg_wm_base* base, uint32_t serial) { xdg_wm_base_pong(base, serial); }};

const xdg_surface_listener kXdgSurface = {[](void* d, xdg_surface* surface, uint32_t serial) {
  xdg_surface_ack_configure(surface, serial);
  static_cast<W::Window*>(d)->configured = true;
}};

const xdg_toplevel_listener kToplevel = {
    [](void*, xdg_toplevel*, int32_t, int32_t, wl_array*) {}, [](void*, xdg_toplevel*) {},
    [](void*, xdg_toplevel*, int32_t, int32_t) {}, [](void*, xdg_toplevel*, wl_array*) {}};

const wl_registry_listener kRegistry = {
    [](void* d, wl_registry* r, uint32_t name, const char* iface, uint32_t version) {
      auto* w = static_cast<W*>(d);
      auto is = [&](const wl_interface& i) { return std::strcmp(iface, i.name) == 0; };
      if (is(wl_compositor_interface)) {
        w->compositor =
            static_cast<wl_compositor*>(wl_registry_bind(r, name, &wl_compositor_interface, 4));
      } else if (is(wl_shm_interface)) {
        w->shm = static_cast<wl_shm*>(wl_registry_bind(r, name, &wl_shm_interface, 1));
      } else if (is(zwlr_layer_shell_v1_interface)) {
        w->shell = static_cast<zwlr_layer_shell_v1*>(
            wl_registry_bind(r, name, &zwlr_layer_shell_v1_interface, 1));
      } else if (is(xdg_wm_base_interface)) {
        w->wm_base =
            static_cast<xdg_wm_base*>(wl_registry_bind(r, name, &xdg_wm_base_interface, 1));
        xdg_wm_base_add_listener(w->wm_base, &kWmBase, w);
      } else if (is(wl_seat_interface) && !w->seat) {
        w->seat = static_cast<wl_seat*>(
            wl_registry_bind(r, name, &wl_seat_interface, std::min(version, 7u)));
        wl_seat_add_listener(w->seat, &kSeat, w);
      } else if (is(wl_output_interface)) {
        w->outputs.push_back(
            static_cast<wl_output*>(wl_registry_bind(r, name, &wl_output_interface, 1)));
      } else if (is(zwlr_virtual_pointer_manager_v1_interface)) {
        w->manager = static_cast<zwlr_virtual_pointer_manager_v1*>(
            wl_registry_bind(r, name, &zwlr_virtual_pointer_manager_v1_interface, 1));
      }
    },
    [](void*, wl_registry*, uint32_t) {}};

wl_buffer* BlackBuffer(wl_shm* shm, int width, int height) {
  const int stride = width * 4;
  const int size = stride * height;
  const int fd = ::memfd_create("observer", MFD_CLOEXEC);
  if (fd < 0 || ::ftruncate(fd, size) != 0) throw std::runtime_error("observer: memfd failed");
  wl_shm_pool* pool = wl_shm_create_pool(shm, fd, size);
  wl_buffer* buffer =
      wl_shm_pool_create_buffer(pool, 0, width, height, stride, WL_SHM_FORMAT_XRGB8888);
  wl_shm_pool_destroy(pool);
  ::close(fd);
  return buffer;
}

}  // namespace

PointerObserver::PointerObserver(const std::string& socket,
                                 const std::vector<std::pair<int, int>>& sizes)
    : w_(std::make_unique<Wayland>()) {
  w_->display = wl_display_connect(socket.c_str());
  if (!w_->display) throw std::runtime_error("observer: cannot connect to " + socket);
  wl_registry* registry = wl_display_get_registry(w_->display);
  wl_registry_add_listener(registry, &kRegistry, w_.get());
  wl_display_roundtrip(w_->display);
  if (!w_->compositor || !w_->shm || !(w_->shell || w_->wm_base) || !w_->seat ||
      w_->outputs.size() != sizes.size())
    throw std::runtime_error("observer: the compositor lacks a global or an output");
  if (w_->manager)
    w_->own = zwlr_virtual_pointer_manager_v1_create_virtual_pointer(w_->manager, w_->seat);
  int left = 0;
  for (size_t i = 0; i < sizes.size(); ++i) {
    auto window = std::make_unique<Wayland::Window>();
    window->left = left;
    window->width = sizes[i].first;
    window->height = sizes[i].second;
    left += sizes[i].first;
    window->surface = wl_compositor_create_surface(w_->compositor);
    if (!w_->shell) {
      // Without layer-shell (mutter): a toplevel window full screen on its output.
      window->xdg = xdg_wm_base_get_xdg_surface(w_->wm_base, window->surface);
      xdg_surface_add_listener(window->xdg, &kXdgSurface, window.get());
      window->toplevel = xdg_surface_get_toplevel(window->xdg);
      xdg_toplevel_add_listener(window->toplevel, &kToplevel, window.get());
      xdg_toplevel_set_fullscreen(window->toplevel, w_->outputs[i]);
      wl_surface_commit(window->surface);
      w_->windows.push_back(std::move(window));
      continue;
    }
    // On top of everything on its output, and all of it.
    window->layer = zwlr_layer_shell_v1_get_layer_surface(
        w_->shell, window->surface, w_->outputs[i], ZWLR_LAYER_SHELL_V1_LAYER_OVERLAY, "observer");
    zwlr_layer_surface_v1_add_listener(window->layer, &kLayer, window.get());
    zwlr_layer_surface_v1_set_anchor(
        window->layer, ZWLR_LAYER_SURFACE_V1_ANCHOR_TOP | ZWLR_LAYER_SURFACE_V1_ANCHOR_BOTTOM |
                           ZWLR_LAYER_SURFACE_V1_ANCHOR_LEFT | ZWLR_LAYER_SURFACE_V1_ANCHOR_RIGHT);
    zwlr_layer_surface_v1_set_exclusive_zone(window->layer, -1);
    wl_surface_commit(window->surface);
    w_->windows.push_back(std::move(window));
  }
  // The first configure answered with a buffer the size of the output: the window shows.
  const bool up = PumpUntil(
      [&] {
        for (const auto& window : w_->windows) {
          if (!window->configured || window->shown) continue;
          wl_surface_attach(window->surface, BlackBuffer(w_->shm, window->width, window->height), 0,
                            0);
          wl_surface_commit(window->surface);
          window->shown = true;
        }
        return (w_->pointer || !w_->manager) &&
               std::ranges::all_of(w_->windows, [](const auto& window) { return window->shown; });
      },
      5000);
  if (!up) throw std::runtime_error("observer: the windows did not show, or no pointer came");
  wl_display_roundtrip(w_->display);
  // From now on a thread of its own reads and handles what comes as soon as it comes: 100,000
  // moves in a second or two fill the compositor's buffer for this client faster than a test
  // thread that also waits may read, and a full buffer costs the client its connection. The
  // time it woke is each event's time of receipt.
  reader_ = std::thread([this] {
    // Ahead of the other work on a busy machine, where it may (as root).
    const sched_param first{.sched_priority = 10};
    ::pthread_setschedparam(::pthread_self(), SCHED_FIFO, &first);
    wl_display* d = w_->display;
    while (!stop_) {
      while (wl_display_prepare_read(d) != 0)
        if (wl_display_dispatch_pending(d) < 0) return;
      wl_display_flush(d);
      pollfd in{wl_display_get_fd(d), POLLIN, 0};
      if (::poll(&in, 1, 10) <= 0) {
        wl_display_cancel_read(d);
        continue;
      }
      w_->woke_ns = MonoNs();
      if (wl_display_read_events(d) < 0 || wl_display_dispatch_pending(d) < 0) return;
    }
  });
}

PointerObserver::~PointerObserver() {
  if (reader_.joinable()) {
    stop_ = true;
    reader_.join();
  }
  wl_display_disconnect(w_->display);
}

void PointerObserver::Pump(int ms) {
  PumpUntil([] { return false; }, ms);
}

bool PointerObserver::PumpUntil(const std::function<bool()>& done, int ms) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(ms);
  wl_display* d = w_->display;
  for (;;) {
    TakeIn();
    if (done()) return true;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    if (reader_.joinable()) {
      if (wl_display_get_error(d) != 0) throw std::runtime_error("observer: connection lost");
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
      continue;
    }
    while (wl_display_prepare_read(d) != 0) wl_display_dispatch_pending(d);
    wl_display_flush(d);
    pollfd in{wl_display_get_fd(d), POLLIN, 0};
    if (::poll(&in, 1, static_cast<int>(std::min<int64_t>(left, 10))) > 0) {
      w_->woke_ns = MonoNs();
      wl_display_read_events(d);
    } else {
      wl_display_cancel_read(d);
    }
    if (wl_display_dispatch_pending(d) < 0) throw std::runtime_error("observer: connection lost");
  }
}

void PointerObserver::TakeIn() {
  const std::lock_guard lock(w_->mutex);
  events_.insert(events_.end(), w_->handled.begin(), w_->handled.end());
  w_->handled.clear();
}

std::vector<uint32_t> PointerObserver::Held() const {
  std::vector<uint32_t> held;
  for (const PointerEvent& e : events_) {
    if (e.kind != Kind::Button) continue;
    if (e.pressed)
      held.push_back(e.button);
    else
      std::erase(held, e.button);
  }
  return held;
}

}  // namespace pel::waylandtest
