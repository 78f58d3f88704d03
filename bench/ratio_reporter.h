#pragma once
// Runs the registered benchmarks and prints chosen pairs as ratios, both measured in the same
// run, so the figures compare with each other rather than with another machine.

#include <benchmark/benchmark.h>

#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

namespace pel::bench {

class RatioReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    // With repetitions, the median stands for the benchmark.
    for (const Run& r : runs)
      if (!r.error_occurred && (r.run_type == Run::RT_Iteration || r.aggregate_name == "median"))
        time_[r.run_name.function_name] = r.GetAdjustedRealTime();
  }
  // Prints "a / b = ratio" for each pair that ran.
  void PrintRatios(const char* title,
                   const std::vector<std::pair<std::string, std::string>>& pairs) {
    std::printf("\nratios (%s)\n", title);
    for (const auto& [a, b] : pairs)
      if (time_.count(a) && time_.count(b) && time_[b] > 0)
        std::printf("  %-22s / %-22s = %.3f\n", a.c_str(), b.c_str(), time_[a] / time_[b]);
  }

 private:
  std::map<std::string, double> time_;
};

// main() of a benchmark program: runs everything, then prints the ratios.
inline int RunWithRatios(int argc, char** argv, const char* title,
                         const std::vector<std::pair<std::string, std::string>>& pairs) {
  benchmark::Initialize(&argc, argv);
  RatioReporter reporter;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  reporter.PrintRatios(title, pairs);
  benchmark::Shutdown();
  return 0;
}

}  // namespace pel::bench
