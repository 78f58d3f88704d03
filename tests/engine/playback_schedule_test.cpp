// When the entries of a paced playback are due: what one tick plays and when the cycle wakes next.
#include "engine/cycle/playback_schedule.h"

#include <gtest/gtest.h>

#include <optional>
#include <vector>

namespace pel {
namespace {

TEST(PlaybackSchedule, ATickPlaysWhatIsDueByItAndTheNextWakeUpIsTheNextMoment) {
  struct Row {
    const char* name;
    PlaybackOptions options;
    double tick;                    // the tick's clock reading; the playback began at 10
    std::vector<double> waits;      // the entries' waits as recorded, offered in order
    bool pass_took_no_time;         // the tick ends as a pass of entries without waits does
    std::vector<double> due;        // the moments of the entries the tick plays
    std::optional<double> wake_at;  // on time: when the cycle wakes for the next entry
  };
  PlaybackOptions speed2, half, before, before_ticks;
  speed2.speed = 2;
  half.speed = 0.5;
  before.wait_before = true;
  before_ticks.wait_before = true;
  before_ticks.tick_bound = true;
  const std::vector<double> tens = {0.010, 0.010, 0.010, 0.010};
  // clang-format off
  const Row rows[] = {
      {"speed 2 halves every wait", speed2, 10.0101, tens, false,
       {10.000, 10.005, 10.010}, 10.015},
      {"speed 0.5 doubles it", half, 10.0101, {0.004, 0.004, 0.004}, false, {10.000, 10.008},
       10.016},
      {"a tick a little late keeps the timeline", speed2, 10.014, tens, false,
       {10.000, 10.005, 10.010}, 10.015},
      {"a held-up tick starts again from now rather than race to catch up", speed2, 12.0, tens,
       false, {12.000}, 12.005},
      {"waits before: each entry after its own wait, the next at its moment", before, 10.015,
       {0.010, 0.010, 0.5}, false, {10.010}, 10.020},
      {"tick-bound: what is due before the midpoint to the next tick plays now", before_ticks,
       10.016, {0.010, 0.010, 0.5}, false, {10.010, 10.020}, std::nullopt},
      {"a pass that took no time: the next entry a period later", speed2, 10.0101, {0, 0}, true,
       {10.000, 10.000}, 10.0201},
  };
  // clang-format on
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    PlaybackSchedule schedule;
    schedule.Begin(row.options, 10.0);
    ASSERT_TRUE(schedule.Paced());
    schedule.StartTick(row.tick);
    std::vector<double> due;
    for (double wait : row.waits) {
      double at = 0;
      if (schedule.NothingDue() || !schedule.Take(wait, at)) break;
      due.push_back(at);
      schedule.Took(at, wait);
    }
    if (row.pass_took_no_time) schedule.WaitATick(row.tick);
    ASSERT_EQ(due.size(), row.due.size());
    for (size_t i = 0; i < due.size(); ++i) EXPECT_NEAR(due[i], row.due[i], 1e-9) << "entry " << i;
    if (row.wake_at) {
      EXPECT_NEAR(schedule.WakeAt(), *row.wake_at, 1e-9);
    }
  }
}

}  // namespace
}  // namespace pel
