// Figures of the real program on a private Xvfb, each against a baseline measured in the same
// run: start-up against a minimal Qt window, idle wake-ups and CPU against the same, key release
// to reaction, replay timing against the recorded delays, and wake-ups while playing sparse
// entries on time against tick-bound playback. Nothing here asserts a time; the counters are
// for reading.
#include <benchmark/benchmark.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <numeric>
#include <optional>
#include <regex>
#include <sstream>
#include <stdexcept>
#include <thread>
#include <vector>

#include "app/layout.h"
#include "bench/e2e/percentile.h"
#include "testkit/pelmira_fixture.h"

// Xlib last: its macros (None, Font) clash with the names above.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

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

// A count per thread of a process, by thread id.
using PerThread = std::map<std::string, double>;

// What `read` finds in the /proc task folder of each thread of `pid`.
template <class Read>
PerThread ReadThreads(pid_t pid, Read read) {
  PerThread out;
  std::error_code ec;
  const std::string tasks = "/proc/" + std::to_string(pid) + "/task";
  for (const auto& task : std::filesystem::directory_iterator(tasks, ec))
    out[task.path().filename()] = read(task.path());
  return out;
}

// What the threads alive at `now` added since `then`. A thread that ended in between takes its
// share with it, and a process-wide difference would go negative.
double Added(const PerThread& then, const PerThread& now) {
  double sum = 0;
  for (const auto& [tid, value] : now) {
    const auto before = then.find(tid);
    sum += value - (before == then.end() ? 0 : before->second);
  }
  return sum;
}

// CPU nanoseconds of each thread of `pid`, from the scheduler's own account: the tick-sampled
// user and system times of /proc/PID/stat misjudge a process that wakes every 10 ms for a
// fraction of a millisecond.
PerThread CpuNanos(pid_t pid) {
  return ReadThreads(pid, [](const std::filesystem::path& task) {
    std::ifstream in(task / "schedstat");
    double on_cpu_ns = 0;
    in >> on_cpu_ns;
    return on_cpu_ns;
  });
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

// Times each thread of `pid` has left the processor, willingly or not: each ends one wake-up.
PerThread ContextSwitches(pid_t pid) {
  return ReadThreads(pid, [](const std::filesystem::path& task) {
    std::ifstream in(task / "status");
    double n = 0;
    std::string line;
    while (std::getline(in, line)) {
      const size_t colon = line.find(':');
      const std::string key = line.substr(0, colon);
      if (key == "voluntary_ctxt_switches" || key == "nonvoluntary_ctxt_switches")
        n += std::stod(line.substr(colon + 1));
    }
    return n;
  });
}

// Wake-ups per second of `pid` and of the X server over the same 10 s, after a second to settle.
std::pair<double, double> WakeupsPerSecond(pid_t pid, pid_t server) {
  std::this_thread::sleep_for(std::chrono::seconds(1));
  const PerThread a0 = ContextSwitches(pid), s0 = ContextSwitches(server);
  const auto t0 = Steady::now();
  std::this_thread::sleep_for(std::chrono::seconds(10));
  const double wall = Ms(Steady::now() - t0) / 1000;
  return {Added(a0, ContextSwitches(pid)) / wall, Added(s0, ContextSwitches(server)) / wall};
}

// What idling costs. Wake-ups of the program and of the X server, 10 s each: the minimal window
// alone (an empty Qt event loop), then pelmira with its window shown and hidden. Then CPU for
// the same 30 s side by side: pelmira, the minimal window, and the minimal window with an empty
// 10 ms timer (what a 10 ms poll costs at the least).
void BM_IdleCost(benchmark::State& state) {
  x11test::Xvfb x;
  XLook look(x.Display());
  auto both_minimal_shown = [&] {
    int n = 0;
    for (const TopWindow& w : look.Windows()) n += w.viewable && w.name == "Minimal";
    return n;
  };
  for (auto _ : state) {
    {
      const pid_t minimal = Spawn(MINIMAL_WINDOW, x.Display());
      look.WaitFor("Minimal");
      const auto [own, server] = WakeupsPerSecond(minimal, x.Pid());
      state.counters["minimal_wakeups_per_s"] = own;
      state.counters["minimal_xserver_wakeups_per_s"] = server;
      Stop(minimal);
    }
    Pelmira app(x);
    const pid_t pid = app.Start();
    const auto main = look.WaitFor("Pelmira");
    // Focused, as a desktop leaves a window it has just shown: the focus rests in a text box.
    if (main) app.Xdo("windowfocus --sync " + std::to_string(main->id));
    const auto [shown, server_shown] = WakeupsPerSecond(pid, x.Pid());
    state.counters["pelmira_shown_wakeups_per_s"] = shown;
    state.counters["pelmira_shown_xserver_wakeups_per_s"] = server_shown;
    app.Xdo("key F12");
    look.WaitGone("Pelmira");
    const auto [hidden, server_hidden] = WakeupsPerSecond(pid, x.Pid());
    state.counters["pelmira_hidden_wakeups_per_s"] = hidden;
    state.counters["pelmira_hidden_xserver_wakeups_per_s"] = server_hidden;
    app.Xdo("key F12");
    look.WaitFor("Pelmira");

    const pid_t minimal = Spawn(MINIMAL_WINDOW, x.Display());
    const pid_t ticking = Spawn(MINIMAL_WINDOW, x.Display(), "--tick");
    x11test::WaitUntil([&] { return both_minimal_shown() == 2; });
    const PerThread a0 = CpuNanos(pid), b0 = CpuNanos(minimal), c0 = CpuNanos(ticking);
    const auto t0 = Steady::now();
    std::this_thread::sleep_for(std::chrono::seconds(30));
    const double wall = Ms(Steady::now() - t0) / 1000;
    auto percent = [&](pid_t p, const PerThread& before) {
      return Added(before, CpuNanos(p)) / 1e9 / wall * 100;
    };
    state.counters["pelmira_cpu_percent"] = percent(pid, a0);
    state.counters["minimal_cpu_percent"] = percent(minimal, b0);
    state.counters["timer_only_cpu_percent"] = percent(ticking, c0);
    Stop(minimal);
    Stop(ticking);
  }
}
BENCHMARK(BM_IdleCost)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// Key release to reaction, from outside and while idle: the bench holds a key for 50 ms through
// XTest, as a quick finger does, and times from the release to the window change it causes, as
// the server reports it (F10: the recording indicator mapped; F12: the main window unmapped).
class KeyReaction {
 public:
  explicit KeyReaction(const std::string& display) : display_(XOpenDisplay(display.c_str())) {
    if (!display_) throw std::runtime_error("cannot open display " + display);
    XSelectInput(display_, DefaultRootWindow(display_), SubstructureNotifyMask);
    XSync(display_, False);
  }
  ~KeyReaction() { XCloseDisplay(display_); }
  KeyReaction(const KeyReaction&) = delete;
  KeyReaction& operator=(const KeyReaction&) = delete;

  // Milliseconds from the release of `key` to window `name` being mapped (`map`) or unmapped;
  // NaN when that does not happen within a second.
  double Tap(KeySym key, const std::string& name, bool map) {
    const KeyCode code = XKeysymToKeycode(display_, key);
    XTestFakeKeyEvent(display_, code, True, CurrentTime);
    XSync(display_, False);
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    while (XPending(display_) > 0) {
      XEvent drop;
      XNextEvent(display_, &drop);
    }
    const auto released = Steady::now();
    XTestFakeKeyEvent(display_, code, False, CurrentTime);
    XFlush(display_);
    const auto deadline = released + std::chrono::seconds(1);
    while (Steady::now() < deadline) {
      if (XPending(display_) == 0) {
        pollfd fd{ConnectionNumber(display_), POLLIN, 0};
        poll(&fd, 1, 5);
        continue;
      }
      XEvent e;
      XNextEvent(display_, &e);
      if (e.type != (map ? MapNotify : UnmapNotify)) continue;
      if (Name(map ? e.xmap.window : e.xunmap.window) == name) return Ms(Steady::now() - released);
    }
    return NAN;
  }

 private:
  std::string Name(Window w) {
    // The window may be gone by now; its error must not end the bench.
    auto* old = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
    std::string out;
    char* name = nullptr;
    if (XFetchName(display_, w, &name) && name) {
      out = name;
      XFree(name);
    }
    XSetErrorHandler(old);
    return out;
  }

  Display* display_;
};

void BM_KeyReaction(benchmark::State& state) {
  constexpr int kTaps = 20;
  x11test::Xvfb x;
  XLook look(x.Display());
  for (auto _ : state) {
    Pelmira app(x);
    app.Start();
    look.WaitFor("Pelmira");
    KeyReaction keys(x.Display());
    std::vector<double> f10, f12;
    // Pauses of varying length put the presses at every phase of a 10 ms timer.
    auto pause = [](int i) { std::this_thread::sleep_for(std::chrono::milliseconds(200 + 7 * i)); };
    for (int i = 0; i < kTaps; ++i) {
      pause(i);
      f10.push_back(keys.Tap(XK_F10, "frmRec", true));
      pause(i);
      keys.Tap(XK_Pause, "frmRec", false);
      pause(i);
      f12.push_back(keys.Tap(XK_F12, "Pelmira", false));
      pause(i);
      keys.Tap(XK_F12, "Pelmira", true);
    }
    state.counters["f10_to_indicator_p50_ms"] = Percentile(f10, 0.5);
    state.counters["f10_to_indicator_p95_ms"] = Percentile(f10, 0.95);
    state.counters["f12_to_hidden_p50_ms"] = Percentile(f12, 0.5);
    state.counters["f12_to_hidden_p95_ms"] = Percentile(f12, 0.95);
  }
}
BENCHMARK(BM_KeyReaction)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

// The file descriptors of `pid` that are timerfds.
std::vector<std::string> TimerFds(pid_t pid) {
  std::vector<std::string> out;
  std::error_code ec;
  const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
  for (const auto& fd : std::filesystem::directory_iterator(fds, ec))
    if (std::filesystem::read_symlink(fd.path(), ec).string() == "anon_inode:[timerfd]")
      out.push_back(fd.path().filename());
  return out;
}

// What wakes the main thread of `pid` within `span`, as strace sees it.
struct MainThreadWakeups {
  int loop = 0;   // returns from the event loop's wait (a poll over several descriptors that
                  // may block): a timer, input, an event from the X server
  int timer = 0;  // expiries read from the program's own timerfd, one of those
};

// Empty when strace is missing or may not trace the program.
std::optional<MainThreadWakeups> TraceWakeups(pid_t pid, std::chrono::seconds span) {
  const std::vector<std::string> timers = TimerFds(pid);
  const std::string log = "/tmp/pelmira-bench-strace-" + std::to_string(pid);
  const std::string target = std::to_string(pid);
  std::vector<std::string> args = {"strace", "-qq", "-e", "trace=read,poll",
                                   "-o",     log,   "-p", target};
  std::vector<char*> argv;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  pid_t tracer = -1;
  if (posix_spawnp(&tracer, "strace", nullptr, nullptr, argv.data(), environ)) return std::nullopt;
  std::this_thread::sleep_for(span);
  kill(tracer, SIGINT);
  int status = 0;
  waitpid(tracer, &status, 0);
  std::ifstream in(log);
  std::string line;
  MainThreadWakeups out;
  int lines = 0;
  static const std::regex loop_wait(R"(^poll\(\[.*\], ([0-9]+), (-?[0-9]+)\))");
  while (std::getline(in, line)) {
    ++lines;
    std::smatch m;
    if (std::regex_search(line, m, loop_wait) && std::stoi(m[1]) > 1 && m[2] != "0") ++out.loop;
    for (const std::string& fd : timers)
      if (line.rfind("read(" + fd + ", ", 0) == 0 && line.ends_with("= 8")) ++out.timer;
  }
  std::filesystem::remove(log);
  if (lines == 0) return std::nullopt;  // not allowed to trace, or strace failed
  return out;
}

// What a playback whose entries are a second apart costs, on time against tick-bound (the 10 ms
// poll, PEL_TICK_BOUND_PLAYBACK): the context switches of all the program's threads and of its
// main thread alone over 5 s of --play, then over 5 s more the main thread's returns from its
// event loop and, on time, its timer's expiries (strace). The indicator's blink flips every
// 0.3 s, 3.3 times a second, on top of the one entry a second.
void BM_PlayingWakeups(benchmark::State& state) {
  x11test::Xvfb x({}, "1280x1024x24");
  for (auto _ : state) {
    Pelmira app(x);
    const std::string path = app.Root() + "/sparse.mmf";
    {
      std::ofstream out(path, std::ios::binary);
      out << "[MouseMotionFile]\r\n";
      for (int i = 0; i < 20; ++i) out << "move," << 200 + i * 40 << ",300,1000\r\n";
    }
    for (const bool ticks : {false, true}) {
      if (ticks) setenv("PEL_TICK_BOUND_PLAYBACK", "1", 1);
      const pid_t pid = app.Start({"--play", path, "--repeat", "1"});
      unsetenv("PEL_TICK_BOUND_PLAYBACK");
      std::this_thread::sleep_for(std::chrono::milliseconds(1500));
      const std::string name = ticks ? "ticks" : "on_time";
      const PerThread a0 = ContextSwitches(pid);
      const auto t0 = Steady::now();
      std::this_thread::sleep_for(std::chrono::seconds(5));
      const PerThread a1 = ContextSwitches(pid);
      const double wall = Ms(Steady::now() - t0) / 1000;
      const std::string main = std::to_string(pid);
      state.counters[name + "_wakeups_per_s"] = Added(a0, a1) / wall;
      state.counters[name + "_main_thread_wakeups_per_s"] =
          (a1.count(main) && a0.count(main) ? a1.at(main) - a0.at(main) : NAN) / wall;
      const auto traced = TraceWakeups(pid, std::chrono::seconds(5));
      state.counters[name + "_loop_wakeups_per_s"] = traced ? traced->loop / 5.0 : NAN;
      if (!ticks)
        state.counters[name + "_timer_wakeups_per_s"] = traced ? traced->timer / 5.0 : NAN;
      kill(pid, SIGTERM);
      app.WaitExit(pid);
    }
  }
}
BENCHMARK(BM_PlayingWakeups)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

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
    const Box load = ControlBox(ControlId::LoadButton);
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
