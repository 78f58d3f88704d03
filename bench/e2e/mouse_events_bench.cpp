// Everything the mouse does, recorded by the real program and played back, against the input the
// bench made: 400 motions 10 ms apart, a pause of 500 ms, two clicks held 50 ms, a drag of 20
// steps, a notch each way on both wheels and a click of each side button, injected through XTest
// on absolute deadlines while --record runs, once sampling every tick (the default) and once with
// --every-event; each take is then played once with --play. The input and its replay are both
// seen as the server's raw events, so they are compared on the server's milliseconds.
//
// Counters, one run per mode: the onset error of every injected event the replay reproduced
// (median, p95, max; the replay's origin is the median offset), and that of the press after the
// pause; positions injected and reproduced; hold lengths as injected and as replayed (the clicks,
// the drag, the side buttons); the drag's moves replayed with its button down; wheel notches and
// side-button presses replayed; entries in the take; the replay's span over the input's.
#include <benchmark/benchmark.h>

#include <cmath>
#include <string>
#include <thread>
#include <vector>

#include "bench/e2e/percentile.h"
#include "bench/e2e/raw_input.h"
#include "testkit/pelmira_fixture.h"

// Xlib last: its macros (None, Font) clash with the names above.
#include <X11/keysym.h>

namespace pel::e2e {
namespace {

struct Step {
  Seen::Kind kind;
  int at_ms;
  int x = 0, y = 0;  // Motion
  int button = 0;    // Press, Release
};

std::vector<Step> Input() {
  std::vector<Step> out;
  int t = 0, x = 0, y = 0;
  auto move = [&](int to_x, int to_y) {
    out.push_back({Seen::Motion, t, x = to_x, y = to_y});
    t += 10;
  };
  auto hold = [&](int button, int ms) {
    out.push_back({Seen::Press, t, 0, 0, button});
    t += ms;
    out.push_back({Seen::Release, t, 0, 0, button});
  };
  for (int i = 0; i < 400; ++i)
    move(500 + static_cast<int>(300 * std::sin(2 * M_PI * i / 200)),
         400 + static_cast<int>(200 * std::sin(2 * M_PI * i / 130 + 0.5)));
  t += 500;
  hold(1, 50);
  t += 200;
  move(x + 40, y);
  t += 200;
  hold(1, 50);
  t += 200;
  out.push_back({Seen::Press, t, 0, 0, 1});
  t += 10;
  for (int i = 0; i < 20; ++i) move(x + 5, y + 3);
  out.push_back({Seen::Release, t, 0, 0, 1});
  t += 200;
  for (int button : {4, 5, 6, 7}) {
    hold(button, 0);
    t += 100;
  }
  for (int button : {8, 9}) {
    hold(button, 50);
    t += 100;
  }
  return out;
}

// The pointer's events seen from `from` on.
std::vector<Seen> Since(RawWatcher& watcher, size_t from) {
  const std::vector<Seen> all = watcher.Events();
  return {all.begin() + static_cast<std::ptrdiff_t>(from), all.end()};
}

bool Same(const Seen& a, const Seen& b) {
  return a.kind == b.kind &&
         (a.kind == Seen::Motion ? a.x == b.x && a.y == b.y : a.button == b.button);
}

// For each injected event, the replayed one that reproduces it (the next alike within a few
// events), or -1.
std::vector<int> Match(const std::vector<Seen>& injected, const std::vector<Seen>& replayed) {
  std::vector<int> out;
  size_t j = 0;
  for (const Seen& e : injected) {
    size_t k = j;
    while (k < replayed.size() && k < j + 64 && !Same(e, replayed[k])) ++k;
    const bool found = k < replayed.size() && k < j + 64;
    out.push_back(found ? static_cast<int>(k) : -1);
    if (found) j = k + 1;
  }
  return out;
}

// How long each press of `button` in `events` was held, in order.
std::vector<double> Holds(const std::vector<Seen>& events, int button) {
  std::vector<double> out;
  for (size_t i = 0; i < events.size(); ++i) {
    if (events[i].kind != Seen::Press || events[i].button != button) continue;
    for (size_t k = i + 1; k < events.size(); ++k)
      if (events[k].kind == Seen::Release && events[k].button == button) {
        out.push_back(static_cast<double>(events[k].server_ms - events[i].server_ms));
        break;
      }
  }
  return out;
}

void Count(benchmark::State& state, const std::vector<Seen>& injected,
           const std::vector<Seen>& replayed) {
  const std::vector<int> match = Match(injected, replayed);
  std::vector<double> offsets;
  size_t motions = 0, reproduced = 0, wheel = 0, side = 0, press_after_pause = 0;
  for (size_t i = 0; i < injected.size(); ++i) {
    const bool motion = injected[i].kind == Seen::Motion;
    motions += motion;
    if (!press_after_pause && !motion) press_after_pause = i;
    if (match[i] < 0) continue;
    reproduced += motion;
    const Seen& r = replayed[static_cast<size_t>(match[i])];
    wheel += r.kind == Seen::Press && r.button >= 4 && r.button <= 7;
    side += r.kind == Seen::Press && r.button >= 8;
    offsets.push_back(static_cast<double>(r.server_ms) -
                      static_cast<double>(injected[i].server_ms));
  }
  // The replay's span over the input's, from the first event reproduced to the last.
  int first = -1, last = -1;
  for (size_t i = 0; i < injected.size(); ++i)
    if (match[i] >= 0) (first < 0 ? first : last) = static_cast<int>(i);
  if (first >= 0 && last > first) {
    const auto at = [](const Seen& e) { return static_cast<double>(e.server_ms); };
    const auto i0 = static_cast<size_t>(first), i1 = static_cast<size_t>(last);
    state.counters["duration_ratio"] = (at(replayed[static_cast<size_t>(match[i1])]) -
                                        at(replayed[static_cast<size_t>(match[i0])])) /
                                       (at(injected[i1]) - at(injected[i0]));
  }
  const double origin = Percentile(offsets, 0.5);
  std::vector<double> errors;
  for (double o : offsets) errors.push_back(std::abs(o - origin));
  state.counters["onset_err_p50_ms"] = Percentile(errors, 0.5);
  state.counters["onset_err_p95_ms"] = Percentile(errors, 0.95);
  state.counters["onset_err_max_ms"] = Percentile(errors, 1.0);
  const int after_pause = match[press_after_pause];
  state.counters["after_pause_err_ms"] =
      after_pause < 0
          ? NAN
          : std::abs(static_cast<double>(replayed[static_cast<size_t>(after_pause)].server_ms) -
                     static_cast<double>(injected[press_after_pause].server_ms) - origin);
  state.counters["positions_injected"] = static_cast<double>(motions);
  state.counters["positions_reproduced"] = static_cast<double>(reproduced);
  state.counters["wheel_notches"] = static_cast<double>(wheel);
  state.counters["side_presses"] = static_cast<double>(side);

  // Holds: the two clicks, the drag, the side buttons; injected (in_) and replayed.
  for (const auto& [name, events] : {std::pair{"in_", &injected}, std::pair{"", &replayed}}) {
    const std::vector<double> left = Holds(*events, 1), x1 = Holds(*events, 8),
                              x2 = Holds(*events, 9);
    const auto at = [](const std::vector<double>& v, size_t i) {
      return i < v.size() ? v[i] : NAN;
    };
    state.counters[std::string(name) + "click_hold_ms"] = (at(left, 0) + at(left, 1)) / 2;
    state.counters[std::string(name) + "drag_hold_ms"] = at(left, 2);
    state.counters[std::string(name) + "side_hold_ms"] = (at(x1, 0) + at(x2, 0)) / 2;
  }
  // The drag's moves with its button down: those between the last press of button 1 and its
  // release.
  size_t held = 0, press = 0;
  for (size_t i = 0; i < replayed.size(); ++i)
    if (replayed[i].kind == Seen::Press && replayed[i].button == 1) press = i;
  for (size_t i = press + 1; i < replayed.size() && replayed[i].kind != Seen::Release; ++i)
    held += replayed[i].kind == Seen::Motion;
  state.counters["drag_moves_held"] = static_cast<double>(held);
}

void BM_MouseEvents(benchmark::State& state) {
  const bool every_event = state.range(0) != 0;
  state.SetLabel(every_event ? "--every-event" : "sampled");
  x11test::Xvfb x({}, "1280x1024x24");
  XLook look(x.Display());
  const std::vector<Step> input = Input();
  for (auto _ : state) {
    Pelmira app(x);
    RawWatcher watcher(x.Display());
    Injector inject(x.Display());
    inject.Move(input[0].x, input[0].y);
    const std::string file = app.Root() + "/mouse.mmf";
    std::vector<std::string> args = {"--record", file};
    if (every_event) args.push_back("--every-event");
    const pid_t recording = app.Start(args);
    if (!look.WaitFor("frmRec", 10s, recording)) {
      state.SkipWithError("recording did not start");
      return;
    }
    const size_t from = watcher.Count();
    const int64_t t0 = MonoNs() + 50'000'000;
    for (const Step& s : input) {
      SleepUntil(t0 + int64_t{s.at_ms} * 1'000'000);
      if (s.kind == Seen::Motion)
        inject.Move(s.x, s.y);
      else
        inject.Button(s.button, s.kind == Seen::Press);
    }
    SleepUntil(t0 + (int64_t{input.back().at_ms} + 100) * 1'000'000);
    inject.Key(XK_Pause);
    if (app.WaitExit(recording, 10s) != 0) {
      state.SkipWithError("recording did not end well");
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const std::vector<Seen> injected = Since(watcher, from);

    inject.Move(5, 5);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const size_t replay_from = watcher.Count();
    if (app.WaitExit(app.Start({"--play", file}), 30s) != 0) {
      state.SkipWithError("playback did not end well");
      return;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    Count(state, injected, Since(watcher, replay_from));
    size_t entries = 0;
    for (char c : ReadWholeFile(file)) entries += c == '\n';
    state.counters["entries"] = static_cast<double>(entries - 1);
  }
}
BENCHMARK(BM_MouseEvents)->Arg(0)->Arg(1)->Iterations(1)->Unit(benchmark::kSecond)->UseRealTime();

}  // namespace
}  // namespace pel::e2e
