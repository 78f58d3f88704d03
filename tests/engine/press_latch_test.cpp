// The press latch both input backends keep: what a query reads after a run of press and
// release events.

#include "platform/press_latch.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace pel {
namespace {

TEST(PressLatch, QueriesReadEachPressOnceWhateverTheEventsBetweenThem) {
  // Steps: 'p' press event, 'r' release event, 'D' query with the code down now, 'U' query
  // with it up. `reads` holds what each query returns, in order.
  const struct {
    const char* steps;
    std::vector<int16_t> reads;
    const char* what;
  } cases[] = {
      {"prUU", {0x0001, 0}, "a tap between two queries reads once"},
      {"pDpppDrU", {int16_t(0x8001), int16_t(0x8000), 0}, "auto-repeat is no new press"},
      {"prprU", {0x0001}, "two taps between queries read as one"},
      {"pDUpU", {int16_t(0x8001), 0, 0x0001}, "a release the events missed hides no press"},
      {"rUD", {0, int16_t(0x8000)}, "a key down before the first event reads down, not pressed"},
  };
  for (const auto& c : cases) {
    PressLatch latch;
    std::vector<int16_t> reads;
    for (const char* s = c.steps; *s; ++s) {
      if (*s == 'p') latch.Press(9);
      if (*s == 'r') latch.Release(9);
      if (*s == 'D' || *s == 'U') reads.push_back(latch.Query(9, *s == 'D'));
    }
    EXPECT_EQ(reads, c.reads) << c.what;
    EXPECT_EQ(latch.Query(10, false), 0) << "other codes untouched: " << c.what;
  }
  PressLatch latch;
  EXPECT_FALSE(latch.Press(PressLatch::kCodes));
  EXPECT_FALSE(latch.Press(-1));
  EXPECT_EQ(latch.Query(PressLatch::kCodes, true), int16_t(0x8000));
}

}  // namespace
}  // namespace pel
