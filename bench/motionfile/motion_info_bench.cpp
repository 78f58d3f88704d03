// The file report (--info) on recordings with many window entries, each naming a window of its
// own, against the same number of lines naming no window, measured in the same run. The report
// is linear when 100,000 windows cost about ten times 10,000, and each about what as many plain
// lines cost.

#include <benchmark/benchmark.h>

#include <string>

#include "bench/ratio_reporter.h"
#include "engine/motionfile/motion_info.h"
#include "engine/motionfile/window_entry.h"

namespace {

using namespace pel;

// `count` window entries, each followed by a move over it; with `windows` false the window
// entries are moves too.
std::string FileImage(int count, bool windows) {
  std::string s = "[MouseMotionFile]\r\n";
  for (int i = 0; i < count; ++i) {
    TopWindow w;
    w.class_name = "Editor";
    w.title = "Document " + std::to_string(i);
    w.left = i % 1000;
    w.top = i % 700;
    w.width = 800;
    w.height = 600;
    s += windows ? WindowEntry(w) : "move," + std::to_string(i % 1920) + ",5,16";
    s += "\r\nmove," + std::to_string(i % 1920) + ",9,16\r\n";
  }
  return s;
}

void Info(benchmark::State& state, int count, bool windows) {
  const std::string bytes = FileImage(count, windows);
  for (auto _ : state) {
    const MotionFileInfo info = AnalyzeMotionBytes(bytes);
    if (info.windows.size() != (windows ? static_cast<size_t>(count) : 0u))
      state.SkipWithError("windows miscounted");
    benchmark::DoNotOptimize(info.duration_ms);
  }
}

void BM_InfoWindows10k(benchmark::State& state) {
  Info(state, 10000, true);
}
void BM_InfoWindows100k(benchmark::State& state) {
  Info(state, 100000, true);
}
void BM_InfoMoves100k(benchmark::State& state) {
  Info(state, 100000, false);
}

BENCHMARK(BM_InfoWindows10k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InfoWindows100k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_InfoMoves100k)->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
  return pel::bench::RunWithRatios(
      argc, argv, "aim: 100k windows within 15x 10k (linear), and within 3x as many moves",
      {{"BM_InfoWindows100k", "BM_InfoWindows10k"}, {"BM_InfoWindows100k", "BM_InfoMoves100k"}});
}
