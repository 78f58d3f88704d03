// Cost of shaping the recording indicator (146 x 32): the baseline cuts one run at a time, as
// the platform's region calls would; the others cut all runs at once, or read a stored outline.
// Printed as absolute times and as ratios to the baseline of the same run.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>
#include <vector>

#include "bench/ratio_reporter.h"
#include "shaping/region_data.h"
#include "shaping/window_shaper.h"
#include "testkit/pictures.h"

namespace pel {
namespace {

const Image& Face() {
  static const Image face = test::ReadPnm(std::string(PEL_ASSETS_DIR) + "/rec.ppm");
  return face;
}

void BM_Baseline(benchmark::State& state) {
  ImagePixels px(Face());
  for (auto _ : state) {
    std::vector<TransparentRun> runs = ScanRuns(px, Face().w, Face().h);
    Region shape = Region::FromRect({0, 0, Face().w, Face().h});
    for (const TransparentRun& r : runs) {
      shape = shape.Difference(Region::FromRect({r.first, r.row, r.last + 1, r.row + 1}));
    }
    benchmark::DoNotOptimize(shape);
  }
}
BENCHMARK(BM_Baseline);

void BM_ScanOnly(benchmark::State& state) {
  ImagePixels px(Face());
  for (auto _ : state) {
    benchmark::DoNotOptimize(ScanRuns(px, Face().w, Face().h));
  }
}
BENCHMARK(BM_ScanOnly);

void BM_CutAllRunsAtOnce(benchmark::State& state) {
  ImagePixels px(Face());
  for (auto _ : state) {
    std::vector<TransparentRun> runs = ScanRuns(px, Face().w, Face().h);
    Region shape = Region::FromRect({0, 0, Face().w, Face().h}).Difference(RunsRegion(runs));
    benchmark::DoNotOptimize(shape);
  }
}
BENCHMARK(BM_CutAllRunsAtOnce);

void BM_ReadStoredOutline(benchmark::State& state) {
  ImagePixels px(Face());
  std::vector<TransparentRun> runs = ScanRuns(px, Face().w, Face().h);
  std::string bytes =
      EncodeRegionData(Region::FromRect({0, 0, Face().w, Face().h}).Difference(RunsRegion(runs)));
  Rect window{0, 0, Face().w, Face().h};
  for (auto _ : state) benchmark::DoNotOptimize(DecodeRegionData(bytes, &window));
}
BENCHMARK(BM_ReadStoredOutline);

}  // namespace
}  // namespace pel

int main(int argc, char** argv) {
  return pel::bench::RunWithRatios(argc, argv, "against one cut per run",
                                   {{"BM_ScanOnly", "BM_Baseline"},
                                    {"BM_CutAllRunsAtOnce", "BM_Baseline"},
                                    {"BM_ReadStoredOutline", "BM_Baseline"}});
}
