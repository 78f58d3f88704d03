// Cost of one poll tick against the substitutes: idle, recording a move, and playing an entry.
// Printed as absolute times and as ratios to an empty baseline loop of the same run.
#include <benchmark/benchmark.h>

#include "bench/ratio_reporter.h"
#include "testkit/engine_rig.h"

namespace pel {
namespace {

void BM_Baseline(benchmark::State& state) {
  fake::FakeInput input;
  for (auto _ : state) {
    for (int vk :
         {vk::kLButton, vk::kRButton, vk::kMButton, vk::kF12, vk::kF10, vk::kF9, vk::kPause})
      benchmark::DoNotOptimize(input.KeyState(vk));
  }
}
BENCHMARK(BM_Baseline);

void BM_IdleTick(benchmark::State& state) {
  test::EngineRig rig;
  rig.Tick();
  for (auto _ : state) rig.Tick();
}
BENCHMARK(BM_IdleTick);

void BM_RecordingTick(benchmark::State& state) {
  test::EngineRig rig;
  rig.Tick();
  rig.recorder.ToggleRecording();
  int32_t x = 0;
  for (auto _ : state) {
    rig.input.MoveTo({++x & 1023, 5});
    rig.Tick();
    if (rig.recorder.entries.Count() > 100000) {
      state.PauseTiming();
      rig.recorder.entries.Clear();
      state.ResumeTiming();
    }
  }
}
BENCHMARK(BM_RecordingTick);

void BM_PlaybackTick(benchmark::State& state) {
  test::EngineRig rig;
  rig.Tick();
  for (int i = 0; i < 1000; ++i) rig.recorder.entries.Add("move," + std::to_string(i) + ",5,0");
  rig.recorder.StartPlaying();
  for (auto _ : state) rig.Tick();
}
BENCHMARK(BM_PlaybackTick);

}  // namespace
}  // namespace pel

int main(int argc, char** argv) {
  return pel::bench::RunWithRatios(argc, argv, "tick cost against 7 key queries",
                                   {{"BM_IdleTick", "BM_Baseline"},
                                    {"BM_RecordingTick", "BM_Baseline"},
                                    {"BM_PlaybackTick", "BM_Baseline"}});
}
