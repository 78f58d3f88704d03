// Cost of one poll tick against the substitutes: idle, recording a move, and playing an entry.
// Printed as absolute times and as ratios to an empty baseline loop of the same run.
#include <benchmark/benchmark.h>

#include "engine/poll_cycle.h"
#include "platform/fake/fake_clock.h"
#include "platform/fake/fake_dialogs.h"
#include "platform/fake/fake_input.h"
#include "platform/fake/fake_misc.h"
#include "platform/fake/fake_windows.h"

namespace pel {
namespace {

class NullFiles : public FileSystem {
 public:
  bool IsNormalFile(const std::string&) override { return false; }
  bool CanReadTimestamp(const std::string&) override { return false; }
  std::unique_ptr<ReadFile> OpenRead(const std::string&) override { return nullptr; }
  std::unique_ptr<ReplaceFile> BeginReplace(const std::string&) override { return nullptr; }
};

struct Rig {
  fake::FakeInput input;
  fake::FakeClock clock{1000};
  fake::FakeDialogs dialogs;
  fake::FakeEvents events;
  NullFiles files;
  fake::FakeEnvironment env;
  ErrorReporter reporter{dialogs};
  CommonDialog dialog{dialogs};
  mVazazEzerev engine{{input, clock, dialogs, events, files, env, reporter, dialog}};
  Globals globals{"Start Playing"};
  fake::FakeMainWindow form;
  fake::FakeIndicators indicators;
  PollCycle poll{{engine, globals, form, indicators, dialogs}};

  void Tick() {
    clock.Advance(0.0101);
    poll.Timer1_Timer();
  }
};

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
  Rig rig;
  rig.Tick();
  for (auto _ : state) rig.Tick();
}
BENCHMARK(BM_IdleTick);

void BM_RecordingTick(benchmark::State& state) {
  Rig rig;
  rig.Tick();
  rig.engine.ToggleRecording();
  int32_t x = 0;
  for (auto _ : state) {
    rig.input.MoveTo({++x & 1023, 5});
    rig.Tick();
    if (rig.engine.MotionList.Count() > 100000) {
      state.PauseTiming();
      rig.engine.MotionList.Clear();
      state.ResumeTiming();
    }
  }
}
BENCHMARK(BM_RecordingTick);

void BM_PlaybackTick(benchmark::State& state) {
  Rig rig;
  rig.Tick();
  for (int i = 0; i < 1000; ++i) rig.engine.MotionList.Add("move," + std::to_string(i) + ",5,0");
  rig.engine.StartPlaying();
  for (auto _ : state) rig.Tick();
}
BENCHMARK(BM_PlaybackTick);

}  // namespace
}  // namespace pel

// Prints each tick's cost as a multiple of the baseline measured in the same run.
class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const auto& r : runs) {
      double t = r.GetAdjustedCPUTime();
      if (r.benchmark_name() == "BM_Baseline")
        baseline_ = t;
      else if (baseline_ > 0)
        std::printf("  ratio %s / baseline (7 key queries) = %.2f\n", r.benchmark_name().c_str(),
                    t / baseline_);
    }
  }

 private:
  double baseline_ = 0;
};

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}
