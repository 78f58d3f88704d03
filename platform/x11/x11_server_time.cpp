#include "platform/x11/x11_server_time.h"

#include <algorithm>
#include <cmath>
#include <limits>

namespace pel {

namespace {
// A stamp is the server's millisecond, cut off: the event happened within the one after it.
constexpr double kStampSeconds = 0.001;
}  // namespace

double ServerTime::Seconds(uint32_t stamp) {
  // Events come in order, give or take a few from another client's requests: the difference
  // to the stamp before, read as a signed 32-bit number, carries across the wrap.
  last_ms_ = stamped_ ? last_ms_ + static_cast<int32_t>(stamp - last_stamp_) : stamp;
  last_stamp_ = stamp;
  stamped_ = true;
  return static_cast<double>(last_ms_) / 1000.0;
}

void ServerTime::Narrow(double lo, double hi) {
  // One that the earlier brackets do not agree with means a clock was stepped or has drifted
  // since: start afresh from it.
  if (!bracketed_ || std::max(lo_, lo) > std::min(hi_, hi)) {
    lo_ = lo;
    hi_ = hi;
    bracketed_ = true;
    return;
  }
  lo_ = std::max(lo_, lo);
  hi_ = std::min(hi_, hi);
}

void ServerTime::Sync(uint32_t stamp, double before, double after) {
  const double s = Seconds(stamp);
  Narrow(before - s - kStampSeconds, after - s);
}

double ServerTime::Map(uint32_t stamp, double read_at) {
  const double s = Seconds(stamp);
  Narrow(-std::numeric_limits<double>::infinity(), read_at - s);
  // Without a round trip only the latest moment is known: the event is taken to have been read
  // at once.
  const double offset = std::isfinite(lo_) ? (lo_ + hi_) / 2 : hi_ - kStampSeconds / 2;
  return std::min(read_at, s + kStampSeconds / 2 + offset);
}

}  // namespace pel
