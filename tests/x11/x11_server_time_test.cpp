// X server stamps on the engine's clock: across the 32-bit wrap, narrowed by round trips,
// never after the event was read, and started afresh when the clocks stop agreeing.

#include "platform/x11/x11_server_time.h"

#include <gtest/gtest.h>

namespace pel {
namespace {

// The server's clock runs 500.25 s behind ours.
constexpr double kOffset = 500.25;

TEST(ServerTime, RoundTripsAtDifferentPointsOfTheMillisecondNarrowTheOffset) {
  ServerTime time;
  // Round trips of 0.2 ms, answered 0.1, 0.5 and 0.9 ms into the server's millisecond 1000.
  for (double into : {0.0001, 0.0005, 0.0009}) {
    const double server = 1.0 + into;
    time.Sync(1000, server + kOffset - 0.0001, server + kOffset + 0.0001);
  }
  // An event stamped 2000 happened within the server's millisecond 2000, read 3 ms later.
  const double mapped = time.Map(2000, 2.004 + kOffset);
  EXPECT_NEAR(mapped, 2.0005 + kOffset, 0.0002);
  // Differences between events are the server's own.
  EXPECT_NEAR(time.Map(2016, 2.020 + kOffset) - mapped, 0.016, 1e-9);
}

TEST(ServerTime, StampsCarryAcrossTheWrapAndEventsAreNeverMappedAfterTheyWereRead) {
  ServerTime time;
  const uint32_t before_wrap = 0xFFFFFFF0u;  // 16 ms before the wrap
  time.Sync(before_wrap, 10.0, 10.001);
  const double a = time.Map(before_wrap + 8, 10.020);
  const double b = time.Map(8u, 10.030);  // 24 ms after the first, past the wrap
  EXPECT_NEAR(b - a, 0.016, 1e-6);
  const double c = time.Map(4u, 10.031);  // a little out of order, from another client
  EXPECT_NEAR(b - c, 0.004, 1e-6);
  // Read sooner than the round trips put it: the event moves to where it was read, and the
  // offset with it.
  ServerTime late;
  late.Sync(0, 5.0, 5.0);
  EXPECT_DOUBLE_EQ(late.Map(10, 5.0095), 5.0095);
  EXPECT_NEAR(late.Map(20, 5.100), 5.01975, 1e-6);
  // Without any round trip, the first event is taken as read when it happened.
  ServerTime events_only;
  EXPECT_DOUBLE_EQ(events_only.Map(7000, 42.0), 42.0);
  EXPECT_NEAR(events_only.Map(7010, 42.5), 42.01, 1e-9);
}

TEST(ServerTime, AClockSteppedSinceStartsAfresh) {
  ServerTime time;
  time.Sync(1000, 1.0 + kOffset, 1.0002 + kOffset);
  // The server's clock has jumped 5 s ahead: the old bracket and the new disagree.
  time.Sync(3000, 3.0 + kOffset - 5, 3.0002 + kOffset - 5);
  EXPECT_NEAR(time.Map(4000, 4.01 + kOffset - 5), 4.0005 + kOffset - 5, 0.0006);
}

}  // namespace
}  // namespace pel
