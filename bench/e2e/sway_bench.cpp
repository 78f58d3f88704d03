// Playback through the compositor's virtual pointer on a private headless sway with no X display,
// watched from outside by a Wayland client of the bench's own (testkit/pointer_observer.h). Each
// event is timed by the observer's CLOCK_MONOTONIC when it woke to read the event (microseconds,
// compositor and transport included); the events' own milliseconds are the program's steady
// clock as it sent them, counted beside as sent_.
//
// BM_SwayTiming: `pelmira --play` of a generated file, /0 500 moves 10 ms apart, /1 moves at
// mixed delays (1 to 300 ms) between clicks of the three buttons, drags, holds, wheel steps on
// both axes and the side buttons. Counters: the onset error of every entry seen against the
// file's own timeline, aligned at the first entry (entry i is due delay(1) + ... + delay(i-1)
// after entry 1, as --play waits each delay after its entry): median, p95, max; the same aligned
// at the median offset (mid_, as the X11 benches align), by the sent milliseconds (sent_), and
// of each entry against the one seen before it (step_); moves seen at their exact place over the
// moves in the file; entries not seen; the span over the file's; wheel steps; buttons left held.
//
// BM_SwayRate: 100,000 moves 1 ms apart at --speed 100 (100,000 a second asked): moves seen at
// their exact place, the rate sustained from the first to the last received, and the program's
// CPU time and sway's over its run.
//
// PEL_BENCH_FIFO=1 (as root) runs sway and the program first-in first-out at priority 10, ahead
// of the other work of a busy machine: what a quiet one would show. Nothing here asserts a time;
// the counters are for reading. Run by hand: bench/e2e/sway_bench.
#include <benchmark/benchmark.h>
#include <linux/input-event-codes.h>
#include <sched.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>
#include <wayland-client.h>

#include <chrono>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "bench/e2e/percentile.h"
#include "engine/motionfile/motion_entry.h"
#include "testkit/pointer_observer.h"
#include "testkit/sway_fixture.h"

namespace pel::e2e {
namespace {

using waylandtest::PointerEvent;
using Kind = PointerEvent::Kind;

// The i-th place of a path over the 1280 x 1024 output, never the same twice in a row and never
// sway's first place for its cursor (100, 100), so that every move makes a motion event.
MotionEntry MoveTo(int i, double delay_ms) {
  return {.kind = MotionKind::Move,
          .x = 150 + i * 37 % 1000,
          .y = 120 + i * 53 % 800,
          .delay_ms = delay_ms};
}

std::vector<MotionEntry> Moves(int count, double delay_ms) {
  std::vector<MotionEntry> out;
  for (int i = 0; i < count; ++i) out.push_back(MoveTo(i, delay_ms));
  return out;
}

// Twelve rounds of twelve moves, one at each delay, each round ended by one of the other kinds.
std::vector<MotionEntry> Mixed() {
  static constexpr double kDelays[] = {1, 2, 3, 5, 8, 10, 13, 20, 35, 50, 120, 300};
  std::vector<MotionEntry> out;
  int i = 0;
  auto add = [&](MotionKind kind, double delay_ms, int32_t delta = 0) {
    out.push_back(
        {.kind = kind, .x = out.back().x, .y = out.back().y, .delay_ms = delay_ms, .delta = delta});
  };
  for (int round = 0; round < 12; ++round) {
    for (const double delay : kDelays) out.push_back(MoveTo(i++, delay));
    switch (round % 6) {
      case 0:
        add(MotionKind::Left, 40);
        add(MotionKind::Right, 40);
        break;
      case 1:
        add(MotionKind::Middle, 40);
        add(MotionKind::RightDown, 300);  // a hold
        add(MotionKind::RightUp, 30);
        break;
      case 2:
        add(MotionKind::LeftDown, 30);
        for (int step = 0; step < 5; ++step) out.push_back(MoveTo(i++, 10));
        add(MotionKind::LeftUp, 30);
        break;
      case 3:
        add(MotionKind::Wheel, 30, 240);
        add(MotionKind::Wheel, 30, -120);
        break;
      case 4:
        add(MotionKind::HWheel, 30, -120);
        add(MotionKind::HWheel, 30, 360);
        break;
      default:
        add(MotionKind::X1Down, 50);
        add(MotionKind::X1Up, 30);
        add(MotionKind::X2Down, 50);
        add(MotionKind::X2Up, 30);
        break;
    }
  }
  return out;
}

// Whether `e` is the first event entry `m` makes: a move the motion to its place, a wheel entry
// its first step on its axis and way (Wayland counts down and right positive, entries up and
// right), the others their press or release.
bool Makes(const MotionEntry& m, const PointerEvent& e) {
  static constexpr uint32_t kCode[kMouseButtons] = {BTN_LEFT, BTN_MIDDLE, BTN_RIGHT, BTN_SIDE,
                                                    BTN_EXTRA};
  const KindAction action = ActionOf(m.kind);
  switch (action) {
    case KindAction::Move:
      return e.kind == Kind::Motion && e.x == m.x && e.y == m.y;
    case KindAction::Wheel: {
      const bool vertical = AxisOf(m.kind) == WheelAxis::Vertical;
      return e.kind == Kind::Wheel &&
             e.axis ==
                 (vertical ? WL_POINTER_AXIS_VERTICAL_SCROLL : WL_POINTER_AXIS_HORIZONTAL_SCROLL) &&
             (e.discrete > 0) == (vertical ? m.delta < 0 : m.delta > 0);
    }
    default:
      return e.kind == Kind::Button && e.button == kCode[static_cast<size_t>(ButtonOf(m.kind))] &&
             e.pressed == (action != KindAction::Release);
  }
}

// An entry and the event that showed it.
struct Onset {
  size_t entry;
  double received_ms;
  uint32_t sent_ms;
};

// For each entry in order, the next event within a few that it makes; entries without one are
// left out. The further steps of a wheel entry of several notches are its own, not the next's.
std::vector<Onset> Match(const std::vector<MotionEntry>& entries,
                         const std::vector<PointerEvent>& events) {
  constexpr size_t kWithin = 64;
  std::vector<Onset> out;
  size_t j = 0;
  for (size_t i = 0; i < entries.size(); ++i) {
    size_t k = j;
    while (k < events.size() && k < j + kWithin && !Makes(entries[i], events[k])) ++k;
    if (k == events.size() || k == j + kWithin) continue;
    out.push_back({i, static_cast<double>(events[k].received_ns) / 1e6, events[k].time});
    j = k + 1;
    for (int32_t notch = 120;
         notch < std::abs(entries[i].delta) && j < events.size() && events[j].kind == Kind::Wheel;
         notch += 120)
      ++j;
  }
  return out;
}

// Each entry's moment on the file's timeline at `speed`: the delays before it, each waited after
// its own entry.
std::vector<double> Due(const std::vector<MotionEntry>& entries, double speed = 1) {
  std::vector<double> out;
  double t = 0;
  for (const MotionEntry& e : entries) {
    out.push_back(t);
    t += e.delay_ms / speed;
  }
  return out;
}

// Each entry seen, how far its onset falls from its moment on the file's timeline, both counted
// from the first entry seen; `at` reads an onset in ms after the first one's.
template <class At>
std::vector<double> Offsets(const std::vector<Onset>& seen, const std::vector<double>& due, At at) {
  std::vector<double> out;
  for (const Onset& o : seen)
    out.push_back(at(o, seen.front()) - (due[o.entry] - due[seen.front().entry]));
  return out;
}

double Received(const Onset& o, const Onset& first) {
  return o.received_ms - first.received_ms;
}
double Sent(const Onset& o, const Onset& first) {
  return static_cast<double>(static_cast<int32_t>(o.sent_ms - first.sent_ms));
}

// The onset errors |offset - origin|: median, p95, max.
void CountErrors(benchmark::State& state, const std::string& name,
                 const std::vector<double>& offsets, double origin) {
  std::vector<double> errors;
  for (const double o : offsets) errors.push_back(std::abs(o - origin));
  state.counters[name + "onset_err_p50_ms"] = Percentile(errors, 0.5);
  state.counters[name + "onset_err_p95_ms"] = Percentile(errors, 0.95);
  state.counters[name + "onset_err_max_ms"] = Percentile(std::move(errors), 1.0);
}

// sway with one 1280 x 1024 output, the observer's window over it, and a folder for the files and
// the program's runtime folder, for one run of a bench.
class Session {
 public:
  Session() : observer_(sway_.Socket(), {{1280, 1024}}) {
    char folder[] = "/tmp/pel-wl-bench-XXXXXX";
    folder_ = ::mkdtemp(folder);
  }
  ~Session() { std::filesystem::remove_all(folder_); }
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  struct Run {
    std::vector<PointerEvent> events;  // those that came after the start
    int status = -1;                   // the exit status; -1 when it did not end in time
    double wall_ms = 0, cpu_ms = 0;    // start to end, and the program's user and system time
    double sway_cpu_ms = 0;            // sway's user and system time over the same
  };

  // Writes `entries` and plays them with `pelmira --play` and `options`; what the observer saw
  // from the start until a little after the end.
  Run Play(const std::vector<MotionEntry>& entries, const std::vector<std::string>& options) {
    const std::string path = folder_ + "/play.mmf";
    {
      std::ofstream out(path, std::ios::binary);
      out << "[MouseMotionFile]\r\n";
      for (const MotionEntry& e : entries) out << FormatEntry(e) << "\r\n";
    }
    std::vector<std::string> args = {"--play", path};
    args.insert(args.end(), options.begin(), options.end());
    observer_.Pump(0);
    const size_t from = observer_.Events().size();
    Run run;
    const double sway_cpu0 = SwayCpuMs();
    const auto t0 = std::chrono::steady_clock::now();
    const pid_t pid = sway_.Start(PEL_PROGRAM, args, folder_);
    int status = 0;
    rusage usage{};
    const auto deadline = t0 + std::chrono::minutes(2);
    while (::wait4(pid, &status, WNOHANG, &usage) != pid) {
      if (std::chrono::steady_clock::now() > deadline) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
        return run;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    run.wall_ms =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - t0).count();
    auto ms = [](const timeval& t) {
      return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_usec) / 1e3;
    };
    run.cpu_ms = ms(usage.ru_utime) + ms(usage.ru_stime);
    run.sway_cpu_ms = SwayCpuMs() - sway_cpu0;
    run.status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    // The last events may still be on their way.
    observer_.Pump(150);
    const std::vector<PointerEvent>& all = observer_.Events();
    run.events.assign(all.begin() + static_cast<std::ptrdiff_t>(from), all.end());
    held_ = observer_.Held().size();
    return run;
  }

  bool Fifo() const { return fifo_; }
  // Buttons pressed and not released after the last run.
  size_t Held() const { return held_; }
  // Why a run did not end well: its exit status and what the program said.
  std::string Failure(const Run& run) const {
    std::ifstream in(folder_ + "/stderr");
    std::stringstream said;
    said << in.rdbuf();
    return "playback ended with " + std::to_string(run.status) + ": " + said.str();
  }

 private:
  // With PEL_BENCH_FIFO=1, the thread that starts sway and the program first-in first-out: they
  // inherit it. True when it was asked for and given.
  static bool TakeFifo() {
    const char* fifo = std::getenv("PEL_BENCH_FIFO");
    const sched_param first{.sched_priority = 10};
    return fifo && std::string(fifo) == "1" && ::sched_setscheduler(0, SCHED_FIFO, &first) == 0;
  }

  // sway's user and system time so far, from /proc (in ticks of the clock).
  double SwayCpuMs() const {
    std::ifstream in("/proc/" + std::to_string(sway_.Pid()) + "/stat");
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // The fields after the command's name (which may hold blanks) in its parentheses: the 12th
    // and 13th of them are the user and system time.
    std::istringstream fields(text.substr(text.rfind(')') + 2));
    std::string skip;
    for (int i = 0; i < 11; ++i) fields >> skip;
    double user = 0, system = 0;
    fields >> user >> system;
    return (user + system) * 1000 / static_cast<double>(::sysconf(_SC_CLK_TCK));
  }

  bool fifo_ = TakeFifo();
  waylandtest::Sway sway_;
  waylandtest::PointerObserver observer_;
  std::string folder_;
  size_t held_ = 0;
};

void BM_SwayTiming(benchmark::State& state) {
  const bool mixed = state.range(0) != 0;
  const std::vector<MotionEntry> entries = mixed ? Mixed() : Moves(500, 10);
  const std::vector<double> due = Due(entries);
  for (auto _ : state) {
    Session session;
    state.SetLabel(std::string(mixed ? "mixed delays, buttons, wheel" : "moves 10 ms apart") +
                   (session.Fifo() ? ", fifo" : ""));
    const Session::Run run = session.Play(entries, {});
    if (run.status != 0) {
      state.SkipWithError(session.Failure(run).c_str());
      return;
    }
    const std::vector<Onset> seen = Match(entries, run.events);
    if (seen.size() < 2) {
      state.SkipWithError("nothing seen");
      return;
    }
    // Aligned at the first entry; by the receipt times also at the median offset, as the X11
    // benches align, so that a first event later or earlier than the rest on its way is counted
    // as that event's error and not as every other one's.
    const std::vector<double> received = Offsets(seen, due, Received);
    CountErrors(state, "", received, 0);
    CountErrors(state, "mid_", received, Percentile(received, 0.5));
    CountErrors(state, "sent_", Offsets(seen, due, Sent), 0);
    // Each entry against the one seen before it: a playback held up by more than 15 ms goes on
    // from where it is, which moves every later entry on the timeline but only one step.
    std::vector<double> gaps;
    for (size_t i = 1; i < received.size(); ++i) gaps.push_back(received[i] - received[i - 1]);
    CountErrors(state, "step_", gaps, 0);
    size_t moves = 0, exact = 0, steps = 0;
    for (const MotionEntry& e : entries) moves += e.kind == MotionKind::Move;
    for (const Onset& o : seen) exact += entries[o.entry].kind == MotionKind::Move;
    for (const PointerEvent& e : run.events) steps += e.kind == Kind::Wheel;
    state.counters["positions_exact"] = static_cast<double>(exact);
    state.counters["positions_total"] = static_cast<double>(moves);
    state.counters["entries_unseen"] = static_cast<double>(entries.size() - seen.size());
    state.counters["duration_ratio"] = (seen.back().received_ms - seen.front().received_ms) /
                                       (due[seen.back().entry] - due[seen.front().entry]);
    state.counters["wheel_steps"] = static_cast<double>(steps);
    state.counters["held_at_end"] = static_cast<double>(session.Held());
  }
}
BENCHMARK(BM_SwayTiming)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

void BM_SwayRate(benchmark::State& state) {
  constexpr int kMoves = 100000;
  constexpr double kSpeed = 100;
  const std::vector<MotionEntry> entries = Moves(kMoves, 1);
  for (auto _ : state) {
    Session session;
    if (session.Fifo()) state.SetLabel("fifo");
    const Session::Run run = session.Play(entries, {"--speed", "100"});
    if (run.status != 0) {
      state.SkipWithError(session.Failure(run).c_str());
      return;
    }
    const std::vector<Onset> seen = Match(entries, run.events);
    const double span_ms =
        seen.size() < 2 ? NAN : seen.back().received_ms - seen.front().received_ms;
    state.counters["positions_exact"] = static_cast<double>(seen.size());
    state.counters["positions_total"] = kMoves;
    state.counters["asked_per_s"] = kMoves / (Due(entries, kSpeed).back() / 1000);
    state.counters["moves_per_s"] = static_cast<double>(seen.size() - 1) / (span_ms / 1000);
    state.counters["span_s"] = span_ms / 1000;
    state.counters["program_wall_s"] = run.wall_ms / 1000;
    state.counters["program_cpu_s"] = run.cpu_ms / 1000;
    state.counters["sway_cpu_s"] = run.sway_cpu_ms / 1000;
  }
}
BENCHMARK(BM_SwayRate)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace pel::e2e

BENCHMARK_MAIN();
