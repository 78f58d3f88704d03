// Figures of the real program on a private Xvfb, each against a baseline measured in the same
// run: start-up against a minimal Qt window, idle CPU against the same, and replay timing
// against the recorded delays. Nothing here asserts a time; the counters are for reading.
#include <benchmark/benchmark.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <numeric>
#include <sstream>
#include <thread>

#include "app/layout.h"
#include "tests/e2e/pelmira_fixture.h"

extern char** environ;

namespace pel::e2e {
namespace {

using Steady = std::chrono::steady_clock;

double Ms(Steady::duration d) {
  return std::chrono::duration<double, std::milli>(d).count();
}

// A program started with DISPLAY set to the bench's server.
pid_t Spawn(const std::string& program, const std::string& display, std::string arg = {}) {
  std::vector<std::string> env;
  for (char** e = environ; *e; ++e)
    if (std::string(*e).rfind("DISPLAY=", 0) != 0) env.emplace_back(*e);
  env.push_back("DISPLAY=" + display);
  std::vector<char*> envp;
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string arg0 = program;
  char* argv[] = {arg0.data(), arg.empty() ? nullptr : arg.data(), nullptr};
  pid_t pid = -1;
  posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, envp.data());
  return pid;
}

void Stop(pid_t pid) {
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);
}

// CPU seconds `pid` has run so far, all its threads together, from the scheduler's own
// nanosecond account: the tick-sampled user and system times of /proc/PID/stat misjudge a
// process that wakes every 10 ms for a fraction of a millisecond.
double CpuSeconds(pid_t pid) {
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  double ns = 0;
  std::error_code ec;
  for (const auto& task : std::filesystem::directory_iterator(tasks, ec)) {
    std::ifstream in(task.path() / "schedstat");
    double on_cpu = 0;
    if (in >> on_cpu) ns += on_cpu;
  }
  return ns / 1e9;
}

// Spawn to main window mapped, for pelmira and for the minimal window.
void BM_LaunchToWindow(benchmark::State& state) {
  x11test::Xvfb x;
  XLook look(x.Display());
  std::vector<double> own, base;
  for (auto _ : state) {
    Pelmira app(x);
    auto t0 = Steady::now();
    app.Start();
    look.WaitFor("Pelmira");
    own.push_back(Ms(Steady::now() - t0));
    t0 = Steady::now();
    const pid_t minimal = Spawn(MINIMAL_WINDOW, x.Display());
    look.WaitFor("Minimal");
    base.push_back(Ms(Steady::now() - t0));
    Stop(minimal);
  }
  auto mean = [](const std::vector<double>& v) {
    return std::accumulate(v.begin(), v.end(), 0.0) / static_cast<double>(v.size());
  };
  state.counters["pelmira_ms"] = mean(own);
  state.counters["minimal_ms"] = mean(base);
  state.counters["ratio"] = mean(own) / mean(base);
}
BENCHMARK(BM_LaunchToWindow)->Iterations(5)->Unit(benchmark::kMillisecond)->UseRealTime();

// CPU used while idle, for the same 30 s side by side: pelmira, the minimal window, and the
// minimal window with an empty 10 ms timer (what the poll timer alone costs).
void BM_IdleCpu(benchmark::State& state) {
  x11test::Xvfb x;
  XLook look(x.Display());
  for (auto _ : state) {
    Pelmira app(x);
    const pid_t pid = app.Start();
    const pid_t minimal = Spawn(MINIMAL_WINDOW, x.Display());
    const pid_t ticking = Spawn(MINIMAL_WINDOW, x.Display(), "--tick");
    look.WaitFor("Pelmira");
    x11test::WaitUntil([&] {
      int n = 0;
      for (const TopWindow& w : look.Windows()) n += w.viewable && w.name == "Minimal";
      return n == 2;
    });
    const double a0 = CpuSeconds(pid), b0 = CpuSeconds(minimal), c0 = CpuSeconds(ticking);
    const auto t0 = Steady::now();
    std::this_thread::sleep_for(std::chrono::seconds(30));
    const double wall = Ms(Steady::now() - t0) / 1000;
    auto percent = [&](pid_t p, double before) { return (CpuSeconds(p) - before) / wall * 100; };
    state.counters["pelmira_cpu_percent"] = percent(pid, a0);
    state.counters["minimal_cpu_percent"] = percent(minimal, b0);
    state.counters["timer_only_cpu_percent"] = percent(ticking, c0);
    Stop(minimal);
    Stop(ticking);
  }
}
BENCHMARK(BM_IdleCpu)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// Replay timing: clicks recorded 200 ms apart, played back; the mean interval between the
// clicks another window receives, over the recorded 200 ms.
void BM_ReplayFidelity(benchmark::State& state) {
  constexpr int kGapMs = 200;
  constexpr int kClicks = 10;
  x11test::Xvfb x({}, "1280x1024x24");
  XLook look(x.Display());
  for (auto _ : state) {
    x11test::ObserverWindow target(x.Display(), 100, 100, 300, 200);
    Pelmira app(x);
    const std::string path = app.Root() + "/clicks.mmf";
    {
      std::ofstream out(path, std::ios::binary);
      out << "[MouseMotionFile]\r\n";
      for (int i = 0; i < kClicks; ++i)
        out << "Left," << 150 + i * 10 << ",150," << kGapMs << "\r\n";
    }
    app.Start();
    auto main = look.WaitFor("Pelmira");
    const Box load = ControlBox(ControlId::PushButton5);
    app.ClickInMainWindow(*main, load.x, load.y, load.w, load.h);
    auto dialog = look.WaitFor("Open");
    app.TypeIntoDialog(*dialog, path);
    look.WaitGone("Open");

    std::vector<Steady::time_point> presses;
    size_t seen = 0;
    app.Xdo("key F9");
    x11test::WaitUntil(
        [&] {
          const auto& events = target.Events();
          for (; seen < events.size(); ++seen)
            if (events[seen].press) presses.push_back(Steady::now());
          return presses.size() >= 2 * kClicks + 1;
        },
        std::chrono::seconds(30));
    app.Xdo("key Pause");
    std::vector<double> gaps;
    for (size_t i = 1; i < presses.size(); ++i)
      if (i % kClicks != 0) gaps.push_back(Ms(presses[i] - presses[i - 1]));  // skip wrap-around
    const double mean =
        std::accumulate(gaps.begin(), gaps.end(), 0.0) / static_cast<double>(gaps.size());
    double worst = 0;
    for (double g : gaps) worst = std::max(worst, std::abs(g - kGapMs));
    state.counters["played_gap_ms"] = mean;
    state.counters["fidelity_ratio"] = mean / kGapMs;
    state.counters["worst_error_ms"] = worst;
  }
}
BENCHMARK(BM_ReplayFidelity)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace pel::e2e

BENCHMARK_MAIN();
