#include "platform/wayland/wayland_flush.h"

#include <poll.h>
#include <wayland-client-core.h>

#include <algorithm>
#include <cerrno>
#include <chrono>

namespace pel {

bool FlushAll(wl_display* display, int limit_ms) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(limit_ms);
  for (;;) {
    // A flush that returns at all has written everything; one that stops on a full socket has
    // kept the rest and says EAGAIN.
    if (wl_display_flush(display) >= 0) return true;
    if (errno != EAGAIN) return false;
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    if (left.count() <= 0) return false;
    pollfd room{wl_display_get_fd(display), POLLOUT, 0};
    const int ready = ::poll(&room, 1, static_cast<int>(std::min<int64_t>(left.count(), 1000)));
    if (ready < 0 && errno != EINTR) return false;
    if (ready > 0 && (room.revents & (POLLERR | POLLHUP | POLLNVAL)) != 0) return false;
  }
}

}  // namespace pel
