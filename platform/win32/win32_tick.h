#pragma once
// The 10 ms poll tick of the Windows program. The callback runs on the thread that made the
// object, from its message loop (modal loops too, so it may be re-entered); at most one tick
// waits in the queue. It prefers a high-resolution waitable timer, else SetTimer at 1 ms timer
// resolution (docs/design-notes.md, "The Windows poll tick").

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace pel {

enum class TickMode {
  SystemTimer,             // SetTimer at the system's resolution (15.6 ms by default)
  RaisedResolutionTimer,   // SetTimer with timeBeginPeriod(1) while running
  HighResolutionWaitable,  // CREATE_WAITABLE_TIMER_HIGH_RESOLUTION on a helper thread
};

const char* TickModeName(TickMode mode);

// The name of the waitable mode's helper thread, as debuggers show it.
inline constexpr wchar_t kTickThreadName[] = L"Pelmira tick";

// What became of one power-throttling opt-out the process asked for.
enum class OptOut { NotAsked, Granted, Refused };

struct ThrottlingOptOuts {
  OptOut execution_speed = OptOut::NotAsked;   // efficiency mode, low clock for background work
  OptOut timer_resolution = OptOut::NotAsked;  // raised resolution kept while windows are hidden
  DWORD refusal = 0;                           // GetLastError of the last refusal
};

class Win32TickSource {
 public:
  // `on_tick` must not throw: it runs inside a window procedure.
  explicit Win32TickSource(std::function<void()> on_tick, unsigned period_ms = 10);
  ~Win32TickSource();
  Win32TickSource(const Win32TickSource&) = delete;
  Win32TickSource& operator=(const Win32TickSource&) = delete;

  // Starts ticking, in `preferred` mode or the next one down that this system offers; returns
  // the mode in use. Restarts when already running. The diagnostics get Describe() when it
  // differs from the line of the previous Start.
  TickMode Start(TickMode preferred = TickMode::HighResolutionWaitable);
  // Ticks once, `seconds` from now, instead of the period, on the high-resolution waitable timer
  // where there is one (to the tenth of a microsecond it counts in), else on SetTimer (whole
  // milliseconds, 10 at the least) with the resolution raised; Running() turns false as that
  // tick comes. Replaces the period or an earlier moment.
  void Once(double seconds);
  // Stops ticking; no callback runs after it returns (a tick already posted is dropped). Then
  // nothing of the source waits on a clock: the helper thread waits for the next Start with its
  // timer cancelled, a raised timer resolution is given back, so an idle process sleeps (the
  // poll cycle stops the poll timer while idle and relies on this).
  void Stop();
  bool Running() const { return running_; }
  // Ticking every period (Start), not for one moment (Once).
  bool Periodic() const { return running_ && !once_; }
  TickMode Mode() const { return mode_; }
  // One line for the diagnostics: the running source, its period and the opt-outs, e.g.
  // "tick: high-resolution waitable timer, 10 ms; throttling opt-outs: execution speed
  // granted, timer resolution refused (error 87)"; "tick: stopped" when not running.
  std::string Describe() const;

 private:
  static LRESULT CALLBACK WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  static DWORD WINAPI ThreadMain(void* self);
  void RunWaitableLoop();
  // The helper thread's last act when a call fails: notes which, for HelperEnded to report.
  void GiveUp(const char* call);
  // The helper thread has ended (a failed call, or killed): its handles go, and a periodic or
  // once tick under way goes on with SetTimer, as does every later Start.
  void HelperEnded();
  // Starts the helper thread's timer, or with `once` sets it for once_due_.
  bool StartWaitable();
  void StartTimer(bool raise_resolution);
  // One SetTimer tick `seconds` from now, with the resolution raised.
  void TimerOnce(double seconds);

  std::function<void()> on_tick_;
  unsigned period_ms_;
  HWND sink_ = nullptr;  // message-only window that receives the ticks
  TickMode mode_ = TickMode::SystemTimer;
  bool running_ = false;
  bool raised_ = false;
  ThrottlingOptOuts throttling_;
  std::string described_;  // the line the last Start wrote to the diagnostics
  // The waitable mode's helper thread, made at its first Start and ended with the object.
  HANDLE timer_ = nullptr;
  HANDLE wake_ = nullptr;  // Start or Stop: the thread reads waitable_ and generation_ anew
  HANDLE quit_ = nullptr;
  HANDLE thread_ = nullptr;
  HANDLE thread_wait_ = nullptr;     // the thread pool's wait for the helper thread's end
  bool helper_ended_ = false;        // the helper thread ended: SetTimer for the rest of the run
  const char* thread_failure_ = "";  // the call the helper thread gave up on, and its error
  DWORD thread_error_ = 0;
  std::atomic<bool> waitable_{false};  // the helper thread ticks
  std::atomic<bool> once_{false};      // one tick at once_due_, then none until the next start
  std::atomic<int64_t> once_due_{0};   // performance counter
  std::atomic<bool> posted_{false};
  std::atomic<unsigned> generation_{0};  // ticks of an earlier run are ignored
};

}  // namespace pel
