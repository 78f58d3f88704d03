// The clock and the poll timer's tick sources: periods, one tick at a moment, restarts, ticks
// inside modal loops and the end of the helper thread.

#include <windows.h>

#include <tlhelp32.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_tick.h"
#include "tests/win32/check.h"
#include "tests/win32/selftest.h"

namespace pel::wintest {
namespace {

// Threads of this process (the tick source's helper thread among them while it runs).
int ThreadCount() {
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snap == INVALID_HANDLE_VALUE) return -1;
  THREADENTRY32 t = {};
  t.dwSize = sizeof(t);
  int n = 0;
  for (BOOL ok = Thread32First(snap, &t); ok; ok = Thread32Next(snap, &t))
    if (t.th32OwnerProcessID == GetCurrentProcessId()) ++n;
  CloseHandle(snap);
  return n;
}

// The tick source's helper thread, by the name it gives itself.
HANDLE OpenTickThread() {
  using GetDescriptionFn = HRESULT(WINAPI*)(HANDLE, PWSTR*);
  const auto get_description = reinterpret_cast<GetDescriptionFn>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "GetThreadDescription")));
  if (get_description == nullptr) return nullptr;
  HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snap == INVALID_HANDLE_VALUE) return nullptr;
  HANDLE found = nullptr;
  THREADENTRY32 t = {};
  t.dwSize = sizeof(t);
  for (BOOL ok = Thread32First(snap, &t); ok && found == nullptr; ok = Thread32Next(snap, &t)) {
    if (t.th32OwnerProcessID != GetCurrentProcessId()) continue;
    HANDLE thread =
        OpenThread(THREAD_QUERY_LIMITED_INFORMATION | THREAD_TERMINATE, FALSE, t.th32ThreadID);
    if (thread == nullptr) continue;
    PWSTR name = nullptr;
    if (SUCCEEDED(get_description(thread, &name)) && name != nullptr &&
        std::wstring(name) == kTickThreadName)
      found = thread;
    else
      CloseHandle(thread);
    LocalFree(name);
  }
  CloseHandle(snap);
  return found;
}

// Ticks until `count` came or `seconds` passed; how many came.
int PumpTicks(int& ticks, int count, double seconds) {
  const ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(seconds * 1000);
  while (ticks < count && GetTickCount64() < end) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  return ticks;
}

struct TickStats {
  int ticks = 0;
  double mean_ms = 0, min_ms = 0, max_ms = 0, p90_ms = 0;
  bool on_ui_thread = true;
  std::string described;  // The source's diagnostics line while it ran
};

TickStats MeasureTicks(TickMode wanted, TickMode* got, int count) {
  Win32Clock clock;
  std::vector<double> stamps;
  TickStats s;
  const DWORD ui = GetCurrentThreadId();
  Win32TickSource source([&] {
    stamps.push_back(clock.Now());
    if (GetCurrentThreadId() != ui) s.on_ui_thread = false;
  });
  *got = source.Start(wanted);
  s.described = source.Describe();
  const double deadline = clock.Now() + 10.0;
  while (static_cast<int>(stamps.size()) < count + 1 && clock.Now() < deadline) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  source.Stop();
  // No tick after Stop, also not one already queued.
  const size_t at_stop = stamps.size();
  const double quiet_until = clock.Now() + 0.05;
  while (clock.Now() < quiet_until) {
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    Sleep(1);
  }
  Check(stamps.size() == at_stop,
        std::string("ticks: none after Stop (") + TickModeName(*got) + ")");
  std::vector<double> d;
  for (size_t i = 1; i < stamps.size(); ++i) d.push_back((stamps[i] - stamps[i - 1]) * 1000);
  s.ticks = static_cast<int>(d.size());
  if (d.empty()) return s;
  s.mean_ms = (stamps.back() - stamps.front()) * 1000 / static_cast<double>(d.size());
  std::sort(d.begin(), d.end());
  s.min_ms = d.front();
  s.max_ms = d.back();
  s.p90_ms = d[d.size() * 9 / 10];
  return s;
}

// A modal loop run from inside the callback (a message box, say) keeps receiving ticks.
void TestTicksInsideModalLoop(TickMode wanted) {
  Win32Clock clock;
  int depth = 0, nested = 0, calls = 0;
  TickMode got = wanted;
  Win32TickSource source([&] {
    ++calls;
    if (depth > 0) {
      ++nested;
      return;
    }
    ++depth;
    const double until = clock.Now() + 0.2;
    while (clock.Now() < until) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    --depth;
  });
  got = source.Start(wanted);
  const double deadline = clock.Now() + 5.0;
  while (calls == 0 && clock.Now() < deadline) {
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  source.Stop();
  Check(nested >= 5,
        std::string("ticks: keep coming inside a modal loop (") + TickModeName(got) + ")",
        std::to_string(nested) + " nested ticks in 200 ms");
}

}  // namespace

void TestClock() {
  Win32Clock clock;
  double last = clock.Now();
  bool monotonic = last >= 0;
  for (int i = 0; i < 200000 && monotonic; ++i) {
    const double t = clock.Now();
    monotonic = t >= last;
    last = t;
  }
  Check(monotonic, "clock: monotonic over 200000 readings");
  const double before = clock.Now();
  clock.SleepMs(30);
  const double slept = clock.Now() - before;
  Info("SleepMs(30) took " + std::to_string(slept * 1000) + " ms");
  Check(slept >= 0.025 && slept < 2.0, "clock: SleepMs(30) advances the clock by about 30 ms");
  clock.SleepMs(-5);  // must not turn into a huge unsigned wait
  Check(clock.Now() - before < 2.0, "clock: negative sleep returns at once");
}

// An idle program starts and stops its tick at every watched key: the waitable timer's thread
// is made once and waits, without a timer, while stopped; ticks come again after each start.
void TestTickRestarts() {
  int ticks = 0;
  Win32TickSource source([&ticks] { ++ticks; });
  const int before = ThreadCount();
  int threads = 0, rounds = 0;
  for (; rounds < 3; ++rounds) {
    source.Start(TickMode::HighResolutionWaitable);
    ticks = 0;
    PumpTicks(ticks, 3, 2);
    source.Stop();
    threads = ThreadCount();
    if (ticks < 3 || threads != before + 1) break;
  }
  Check(source.Mode() != TickMode::HighResolutionWaitable || rounds == 3,
        "ticks: restarted three times, one helper thread, ticking after each start",
        std::to_string(before) + " threads before, " + std::to_string(threads) + " after round " +
            std::to_string(rounds + 1) + ", " + std::to_string(ticks) + " ticks");
}

// One tick at a moment (a playback's next entry): it comes once, not before the moment, and the
// period can be started again after it.
void TestTickOnce() {
  Win32Clock clock;
  std::vector<double> stamps;
  Win32TickSource source([&] { stamps.push_back(clock.Now()); });
  auto pump = [&](double seconds) {
    const double until = clock.Now() + seconds;
    while (clock.Now() < until) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
  };
  std::vector<double> late_ms;
  for (int round = 0; round < 5; ++round) {
    stamps.clear();
    const double asked = clock.Now();
    source.Once(0.037);
    pump(0.15);
    if (stamps.size() != 1) break;
    late_ms.push_back((stamps[0] - asked - 0.037) * 1000);
  }
  const bool once = late_ms.size() == 5 && !source.Running();
  double worst = -1e9, earliest = 1e9;
  for (double l : late_ms) worst = std::max(worst, l), earliest = std::min(earliest, l);
  char line[160];
  std::snprintf(line, sizeof line, "tick once at 37 ms: %zu of 5 rounds, late %.2f to %.2f ms",
                late_ms.size(), once ? earliest : 0.0, once ? worst : 0.0);
  Info(line);
  Check(once && earliest >= -0.5 && worst < 30, "ticks: once at its moment, then none", line);
  stamps.clear();
  source.Start();
  pump(0.1);
  source.Stop();
  Check(stamps.size() >= 3, "ticks: the period starts again after a tick once",
        std::to_string(stamps.size()) + " ticks in 100 ms");
}

void TestTicks() {
  TestTicksInsideModalLoop(TickMode::RaisedResolutionTimer);
  TestTicksInsideModalLoop(TickMode::HighResolutionWaitable);
  const TickMode modes[] = {TickMode::SystemTimer, TickMode::RaisedResolutionTimer,
                            TickMode::HighResolutionWaitable};
  for (TickMode m : modes) {
    TickMode got;
    const TickStats s = MeasureTicks(m, &got, 100);
    char line[200];
    std::snprintf(line, sizeof line,
                  "tick period 10 ms, %s: %d ticks, mean %.2f ms, min %.2f, p90 %.2f, max %.2f",
                  TickModeName(got), s.ticks, s.mean_ms, s.min_ms, s.p90_ms, s.max_ms);
    Info(line);
    Check(s.ticks == 100, std::string("ticks: delivered (") + TickModeName(got) + ")",
          std::to_string(s.ticks) + " ticks");
    Check(s.on_ui_thread,
          std::string("ticks: callback on the UI thread (") + TickModeName(got) + ")");
    // Every source asks not to be throttled (Wine refuses: it has no power throttling).
    Info(s.described);
    Check(s.described.find(std::string("tick: ") + TickModeName(got) + ", 10 ms;") == 0 &&
              s.described.find("not asked") == std::string::npos,
          std::string("ticks: throttling opt-outs asked for and described (") + TickModeName(got) +
              ")",
          s.described);
    // Loose bounds: a loaded machine stretches periods, but a wrong unit or a flood shows.
    Check(s.mean_ms >= 8.0 && s.mean_ms <= 40.0,
          std::string("ticks: mean period plausible (") + TickModeName(got) + ")", line);
  }
}

// A recording never starts the tick again: when its helper thread ends, ticks go on from
// SetTimer.
void TestTickThreadEnding() {
  int ticks = 0;
  Win32TickSource source([&ticks] { ++ticks; });
  if (source.Start() != TickMode::HighResolutionWaitable) {
    Info("no high-resolution waitable timer here: no helper thread to end");
    return;
  }
  PumpTicks(ticks, 3, 2);
  HANDLE thread = OpenTickThread();
  if (thread == nullptr) {
    Info("the tick thread cannot be found by its name here");
    return;
  }
  TerminateThread(thread, 1);
  WaitForSingleObject(thread, 2000);
  CloseHandle(thread);
  ticks = 0;
  const bool ticking = PumpTicks(ticks, 10, 3) >= 10;
  Check(ticking && source.Mode() == TickMode::RaisedResolutionTimer,
        "ticks: go on from SetTimer when the helper thread ends", source.Describe());
}

}  // namespace pel::wintest
