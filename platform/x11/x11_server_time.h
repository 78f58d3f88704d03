#pragma once
// The moments of X events on the engine's clock. The server stamps each event with its own time:
// milliseconds from an origin of its own, in 32 bits that wrap every 49.7 days. Stamps are
// extended past the wrap, and the offset between the two clocks is bracketed: a round trip that
// brings a stamp back puts the server's time between the moments it was sent and answered, and
// an event cannot have happened after it was read. The brackets of successive round trips, made
// at different points of the server's millisecond, narrow the offset below a millisecond.

#include <cstdint>

namespace pel {

class ServerTime {
 public:
  // The server's time was `stamp` at some moment between `before` and `after` (pel::Clock
  // seconds).
  void Sync(uint32_t stamp, double before, double after);
  // When an event stamped `stamp`, read from the server at `read_at`, happened, in pel::Clock
  // seconds; never later than `read_at`.
  double Map(uint32_t stamp, double read_at);

 private:
  // The stamp in seconds from the first stamp's origin, past any wrap.
  double Seconds(uint32_t stamp);
  // The offset (clock minus server seconds) lies in [lo, hi].
  void Narrow(double lo, double hi);

  bool stamped_ = false;
  uint32_t last_stamp_ = 0;
  int64_t last_ms_ = 0;
  bool bracketed_ = false;
  double lo_ = 0, hi_ = 0;
};

}  // namespace pel
