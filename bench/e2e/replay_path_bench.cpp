// Replay fidelity of the real program, watched from outside. The bench itself moves the pointer
// along a 10-second path through XTest (a motion every 10 ms on absolute deadlines, with pauses
// and left clicks on a window of its own) while pelmira records; it saves and loads the take
// through the real buttons and dialogs, plays it once with F9, and times every played entry by
// the server timestamps of the raw input events that pelmira's own XTest injections produce.
//
// Schedule: pelmira waits after each entry for that entry's delay, on one timeline. So entry i
// is due at onset(1) + delay(1) + ... + delay(i-1); its lateness is how far its onset falls
// behind that, and the step lateness how much longer than delay(i-1) it came after entry i-1
// (up to one 10 ms tick when playback waits for the poll's ticks; about 0 on time).
//
// Then the command line on the same take, on time (each entry at its own moment, the default)
// and tick-bound (PEL_TICK_BOUND_PLAYBACK: each entry at the next 10 ms poll, as playback was)
// side by side: onset error of each entry against the recording (by the server's millisecond
// timestamps, and rx_ by the watcher's receipt times) for the default and for
// --pauses-before-events, replay over recorded duration, and the positions shown at --speed 2;
// then --speed 0.5, and --stop-on-move (from a move injected away from the path to the
// indicator closing, over repeated F9 runs).
#include <benchmark/benchmark.h>
#include <signal.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "app/layout.h"
#include "bench/e2e/percentile.h"
#include "bench/e2e/raw_input.h"
#include "engine/motionfile/motion_info.h"
#include "testkit/pelmira_fixture.h"

// Xlib last: its macros (None, Font) clash with the names above.
#include <X11/keysym.h>

namespace pel::e2e {
namespace {

// One scripted action at a millisecond offset from the start of the path.
struct Action {
  enum Kind { Move, Press, Release } kind;
  int at_ms;
  int x = 0, y = 0;
};

// About 10 s: stretches of motion every 10 ms along a smooth curve, pauses of 300 ms, 700 ms
// and 1.2 s, and four left clicks (held 60 ms) at rest.
std::vector<Action> Path(int left, int top, int width, int height) {
  std::vector<Action> out;
  int t = 0;
  double phase = 0;  // seconds of curve travelled
  auto move = [&](int ms) {
    for (int end = t + ms; t < end; t += 10, phase += 0.01) {
      const double x = left + width * (0.5 + 0.42 * std::sin(2 * M_PI * phase / 3.1));
      const double y = top + height * (0.5 + 0.42 * std::sin(2 * M_PI * phase / 2.3 + 0.5));
      out.push_back({Action::Move, t, static_cast<int>(x), static_cast<int>(y)});
    }
  };
  auto pause = [&](int ms) { t += ms; };
  auto click = [&] {
    out.push_back({Action::Press, t});
    t += 60;
    out.push_back({Action::Release, t});
  };
  move(1200);
  pause(300);
  move(1000);
  click();
  pause(700);
  move(1500);
  pause(1200);
  move(800);
  click();
  pause(300);
  click();
  move(1500);
  click();
  pause(300);
  move(1000);
  return out;
}

// ---------------------------------------------------------------------------------------------

// The take's entries, read as pelmira reads them.
std::vector<MotionEntry> ReadEntries(const std::string& take) {
  std::vector<MotionEntry> out;
  AnalyzeMotionBytes(take, [&](const MotionEntry& e) { out.push_back(e); });
  return out;
}

// The observed onset of each entry, in order (ms; NaN once an entry was not found): a "move"
// is the next motion to its place, a "Left" the next press of button 1.
struct Onsets {
  std::vector<double> server_ms, local_ms;
  size_t matched = 0;
};

Onsets Match(const std::vector<MotionEntry>& entries, const std::vector<Seen>& seen, size_t from) {
  Onsets o;
  size_t j = from;
  for (const MotionEntry& e : entries) {
    const bool click = e.kind == MotionKind::Left;
    while (j < seen.size() &&
           !(click ? seen[j].kind == Seen::Press && seen[j].button == 1
                   : seen[j].kind == Seen::Motion && seen[j].x == e.x && seen[j].y == e.y))
      ++j;
    if (j == seen.size()) break;
    o.server_ms.push_back(static_cast<double>(seen[j].server_ms));
    o.local_ms.push_back(static_cast<double>(seen[j].local_ns) / 1e6);
    ++j;
  }
  o.matched = o.server_ms.size();
  return o;
}

struct Lateness {
  double p50 = NAN, p95 = NAN, max = NAN, step_p50 = NAN, step_p95 = NAN, step_mean = NAN;
  double span = 0;
};

Lateness Measure(const std::vector<MotionEntry>& entries, const std::vector<double>& onset) {
  Lateness l;
  std::vector<double> late, step;
  double due = onset.empty() ? 0 : onset[0];
  for (size_t i = 1; i < onset.size(); ++i) {
    due += entries[i - 1].delay_ms;
    late.push_back(onset[i] - due);
    step.push_back(onset[i] - onset[i - 1] - entries[i - 1].delay_ms);
  }
  l.p50 = Percentile(late, 0.5);
  l.p95 = Percentile(late, 0.95);
  l.max = late.empty() ? NAN : *std::max_element(late.begin(), late.end());
  l.step_p50 = Percentile(step, 0.5);
  l.step_p95 = Percentile(step, 0.95);
  if (!step.empty()) l.step_mean = (onset.back() - due) / static_cast<double>(step.size());
  l.span = onset.empty() ? 0 : onset.back() - onset.front();
  return l;
}

// Onset error of each entry against the recording: entry i came delay(2) + ... + delay(i) after
// entry 1 when it was recorded (each delay is the wait before its entry). |error| per entry.
// The default plays each delay after its event instead, which moves every pause by one entry
// (a pause of 300 ms puts the entry that ended it 290 ms early): with `waits_after` the moments
// are the recording's with that move, delay(1) + ... + delay(i-1) after entry 1. The replay's
// origin is where most entries put it (the median offset), so a late first entry (the first
// tick also opens the indicator) counts as that entry's error, not as every other one's.
std::vector<double> ErrorsAgainstRecording(const std::vector<MotionEntry>& entries,
                                           const std::vector<double>& onset, bool waits_after) {
  std::vector<double> offset;
  double recorded = 0;
  for (size_t i = 0; i < onset.size(); ++i) {
    if (i > 0) recorded += entries[waits_after ? i - 1 : i].delay_ms;
    offset.push_back(onset[i] - recorded);
  }
  const double origin = Percentile(offset, 0.5);
  std::vector<double> out;
  for (double o : offset) out.push_back(std::abs(o - origin));
  return out;
}

// How many of the placements at `onset` stood for a millisecond or more (the last one does); by
// the server's timestamps, which the watcher's receipt times would blur when it reads late.
size_t Shown(const std::vector<double>& onset) {
  size_t n = onset.empty() ? 0 : 1;
  for (size_t i = 1; i < onset.size(); ++i) n += onset[i] - onset[i - 1] >= 1.0;
  return n;
}

// The replay's span from entry 1 to the last over the recording's: delay(2) + ... + delay(n), or
// with `waits_after` (the default, which plays each delay after its event) delay(1) + ... +
// delay(n-1).
double DurationRatio(const std::vector<MotionEntry>& entries, const std::vector<double>& onset,
                     bool waits_after) {
  if (onset.size() != entries.size() || onset.size() < 2) return NAN;
  double recorded = 0;
  for (size_t i = 1; i < entries.size(); ++i) recorded += entries[waits_after ? i - 1 : i].delay_ms;
  return (onset.back() - onset.front()) / recorded;
}

void CountErrors(benchmark::State& state, const std::string& name, std::vector<double> errors) {
  state.counters[name + "_onset_err_p95_ms"] = Percentile(errors, 0.95);
  state.counters[name + "_onset_err_max_ms"] =
      errors.empty() ? NAN : *std::max_element(errors.begin(), errors.end());
}

// One playback's timing against the recording: onset errors by the server's timestamps and by
// the watcher's receipt times (rx_), the entry with the worst (1-based) and the delay before it,
// the duration ratio and the entries never seen.
void CountTiming(benchmark::State& state, const std::string& name,
                 const std::vector<MotionEntry>& entries, const Onsets& o, bool waits_after) {
  CountErrors(state, name, ErrorsAgainstRecording(entries, o.server_ms, waits_after));
  const std::vector<double> rx = ErrorsAgainstRecording(entries, o.local_ms, waits_after);
  state.counters[name + "_rx_onset_err_p95_ms"] = Percentile(rx, 0.95);
  if (!rx.empty()) {
    const auto worst = std::max_element(rx.begin(), rx.end());
    const size_t at = static_cast<size_t>(worst - rx.begin());
    state.counters[name + "_rx_onset_err_max_ms"] = *worst;
    state.counters[name + "_worst_entry"] = static_cast<double>(at) + 1.0;
    state.counters[name + "_worst_delay_ms"] = entries[at].delay_ms;
  }
  state.counters[name + "_duration_ratio"] = DurationRatio(entries, o.server_ms, waits_after);
  state.counters[name + "_unmatched"] = static_cast<double>(entries.size() - o.matched);
}

// Plays `file` once with --play and `options`, watched until the program ends; the onsets.
Onsets PlayOnce(Pelmira& app, RawWatcher& watcher, const std::vector<MotionEntry>& entries,
                const std::string& file, std::vector<std::string> options, double timeout_ms,
                int& status) {
  const size_t from = watcher.Count();
  std::vector<std::string> args = {"--play", file, "--repeat", "1"};
  args.insert(args.end(), options.begin(), options.end());
  const pid_t pid = app.Start(args);
  status =
      app.WaitExit(pid, std::chrono::milliseconds(static_cast<int64_t>(timeout_ms))).value_or(-1);
  // The last events may still be on their way to the watcher.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  return Match(entries, watcher.Events(), from);
}

void UseFileDialog(Pelmira& app, XLook& look, const TopWindow& main, ControlId button,
                   const std::string& title, const std::string& path) {
  const Box b = ControlBox(button);
  if (!app.ClickInMainWindow(main, b.x, b.y, b.w, b.h) || !look.WaitFor(title))
    throw std::runtime_error("no \"" + title + "\" dialog");
  auto dialog = look.Find(title);
  if (!dialog || !app.TypeIntoDialog(*dialog, path) || !look.WaitGone(title))
    throw std::runtime_error("\"" + title + "\" dialog not answered");
}

void BM_ReplayPath(benchmark::State& state) {
  // A wide screen keeps the path and its window clear of the centred main window.
  x11test::Xvfb x({}, "1920x1080x24");
  XLook look(x.Display());
  for (auto _ : state) {
    Pelmira app(x);
    const pid_t window_pid = app.Start();
    auto main = look.WaitFor("Pelmira");
    if (!main) {
      state.SkipWithError("no main window");
      return;
    }
    // Clicks of the path land here, left of the main window.
    const int right = std::min(main->x - 20, 720);
    x11test::ObserverWindow target(x.Display(), 20, 20, static_cast<unsigned>(right - 20), 560);
    RawWatcher watcher(x.Display());
    Injector inject(x.Display());
    const std::vector<Action> path = Path(40, 40, right - 60, 520);

    // Record: F10, then the path on exact deadlines, then Pause.
    inject.Move(path[0].x, path[0].y);
    inject.Key(XK_F10);
    if (!look.WaitFor("frmRec")) {
      state.SkipWithError("recording did not start");
      return;
    }
    const int64_t t0 = MonoNs() + 50'000'000;
    double worst_inject_ms = 0;
    for (const Action& a : path) {
      const int64_t due = t0 + int64_t{a.at_ms} * 1'000'000;
      SleepUntil(due);
      worst_inject_ms = std::max(worst_inject_ms, static_cast<double>(MonoNs() - due) / 1e6);
      if (a.kind == Action::Move)
        inject.Move(a.x, a.y);
      else
        inject.Button(1, a.kind == Action::Press);
    }
    SleepUntil(t0 + (int64_t{path.back().at_ms} + 100) * 1'000'000);
    inject.Key(XK_Pause);
    if (!look.WaitGone("frmRec")) {
      state.SkipWithError("recording did not stop");
      return;
    }

    // Save and load through the program's own buttons and dialogs.
    const std::string file = app.Root() + "/path.mmf";
    UseFileDialog(app, look, *main, ControlId::SaveButton, "Save As", file);
    x11test::WaitUntil([&] { return !ReadWholeFile(file).empty(); });
    const std::string take = ReadWholeFile(file);
    // PEL_BENCH_KEEP=path keeps a copy of the take for a closer look.
    if (const char* keep = std::getenv("PEL_BENCH_KEEP")) std::ofstream(keep) << take;
    const std::vector<MotionEntry> entries = ReadEntries(take);
    if (entries.size() < 2) {
      state.SkipWithError("nothing recorded");
      return;
    }
    UseFileDialog(app, look, *main, ControlId::LoadButton, "Open", file);

    // One pass: F9, watch until the last entry has been seen, Pause.
    double recorded_ms = 0;
    for (size_t i = 0; i + 1 < entries.size(); ++i) recorded_ms += entries[i].delay_ms;
    const size_t from = watcher.Count();
    inject.Key(XK_F9);
    Onsets onsets;
    x11test::WaitUntil(
        [&] {
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
          onsets = Match(entries, watcher.Events(), from);
          return onsets.matched == entries.size();
        },
        std::chrono::milliseconds(static_cast<int64_t>(recorded_ms * 3) + 5000));
    inject.Key(XK_Pause);
    look.WaitGone("frmPlay");

    const Lateness server = Measure(entries, onsets.server_ms);
    const Lateness local = Measure(entries, onsets.local_ms);
    size_t clicks = 0;
    for (const MotionEntry& e : entries) clicks += e.kind == MotionKind::Left;
    const double injected_ms = path.back().at_ms - path.front().at_ms;

    state.counters["entries"] = static_cast<double>(entries.size());
    state.counters["clicks"] = static_cast<double>(clicks);
    state.counters["unmatched"] = static_cast<double>(entries.size() - onsets.matched);
    state.counters["inject_late_max_ms"] = worst_inject_ms;
    state.counters["recorded_s"] = recorded_ms / 1000;
    state.counters["record_ratio"] = recorded_ms / injected_ms;
    state.counters["replay_s"] = server.span / 1000;
    state.counters["replay_ratio"] = server.span / recorded_ms;
    // Played back against the path as the bench made it: both stages together.
    state.counters["end_to_end_ratio"] = server.span / injected_ms;
    state.counters["late_p50_ms"] = server.p50;
    state.counters["late_p95_ms"] = server.p95;
    state.counters["late_max_ms"] = server.max;
    state.counters["step_late_p50_ms"] = server.step_p50;
    state.counters["step_late_p95_ms"] = server.step_p95;
    state.counters["step_late_mean_ms"] = server.step_mean;
    // The same from the watcher's receipt times (microseconds, not the server's milliseconds).
    state.counters["rx_replay_ratio"] = local.span / recorded_ms;
    state.counters["rx_step_late_p95_ms"] = local.step_p95;
    CountErrors(state, "window_f9", ErrorsAgainstRecording(entries, onsets.server_ms, true));

    // The command line, on time and tick-bound (PEL_TICK_BOUND_PLAYBACK: each entry waits for
    // the next 10 ms poll, as playback did before) side by side. --play refuses to run beside a
    // window instance: end it first.
    kill(window_pid, SIGTERM);
    app.WaitExit(window_pid);
    int status = 0;
    for (const bool ticks : {false, true}) {
      const std::string mode = ticks ? "ticks_" : "on_time_";
      auto play = [&](std::vector<std::string> options) {
        if (ticks) setenv("PEL_TICK_BOUND_PLAYBACK", "1", 1);
        const Onsets o = PlayOnce(app, watcher, entries, file, std::move(options),
                                  recorded_ms * 3 + 5000, status);
        unsetenv("PEL_TICK_BOUND_PLAYBACK");
        return o;
      };
      const Onsets plain = play({});
      CountTiming(state, mode + "default", entries, plain, true);
      const Onsets before = play({"--pauses-before-events"});
      CountTiming(state, mode + "wait_before", entries, before, false);
      // Every recorded position shown at its own moment: placed, and left in place for at least
      // a millisecond before the next one (two placements within one tick show only the second).
      const Onsets fast = play({"--speed", "2"});
      state.counters[mode + "speed2_positions_placed"] = static_cast<double>(fast.matched);
      state.counters[mode + "speed2_positions_shown"] = static_cast<double>(Shown(fast.server_ms));
      state.counters[mode + "speed2_ratio"] = Measure(entries, fast.server_ms).span / recorded_ms;
      state.counters[mode + "speed2_exit"] = status;
    }
    state.counters["positions_recorded"] = static_cast<double>(entries.size());
    // Those that stand for 2 ms or more before the next entry: a millisecond at --speed 2 (the
    // others came in one tick of the recording, with a delay of 0, and are shown together).
    size_t distinct = 1;
    for (size_t i = 1; i < entries.size(); ++i) distinct += entries[i].delay_ms >= 2;
    state.counters["positions_distinct"] = static_cast<double>(distinct);
    const Onsets slow =
        PlayOnce(app, watcher, entries, file, {"--speed", "0.5"}, recorded_ms * 3 + 5000, status);
    state.counters["speed0_5_ratio"] = Measure(entries, slow.server_ms).span / recorded_ms;
    state.counters["speed0_5_unmatched"] = static_cast<double>(entries.size() - slow.matched);

    // --stop-on-move: F9 in a window started with it, a move far from the path once playback
    // has played a few entries, and the time until the indicator closes.
    const pid_t stopper = app.Start({"--stop-on-move", file});
    if (!look.WaitFor("Pelmira", 10s, stopper)) {
      state.SkipWithError("no window with --stop-on-move");
      return;
    }
    std::vector<double> stop_ms;
    for (int run = 0; run < 20; ++run) {
      inject.Key(XK_F9);
      if (!look.WaitFor("frmPlay")) break;
      const size_t seen = watcher.Count();
      x11test::WaitUntil([&] { return watcher.Count() >= seen + 5; });
      // At a random phase of the tick.
      std::this_thread::sleep_for(std::chrono::microseconds(1000 * (run * 7 % 10) + 137));
      const int64_t moved = MonoNs();
      inject.Move(1900, 1060);
      while (look.Find("frmPlay") && MonoNs() - moved < 2'000'000'000) {
      }
      stop_ms.push_back(static_cast<double>(MonoNs() - moved) / 1e6);
    }
    state.counters["stop_runs"] = static_cast<double>(stop_ms.size());
    state.counters["stop_p50_ms"] = Percentile(stop_ms, 0.5);
    state.counters["stop_p95_ms"] = Percentile(stop_ms, 0.95);
  }
}
BENCHMARK(BM_ReplayPath)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace pel::e2e
