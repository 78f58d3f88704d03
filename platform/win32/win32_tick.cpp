#include "platform/win32/win32_tick.h"

#include <mmsystem.h>

#include <algorithm>
#include <cmath>
#include <exception>

#include "platform/win32/win32_diagnostics.h"

#ifndef CREATE_WAITABLE_TIMER_HIGH_RESOLUTION
#define CREATE_WAITABLE_TIMER_HIGH_RESOLUTION 0x00000002
#endif

namespace pel {

namespace {

constexpr UINT kTickMessage = WM_APP + 0x10;
// The helper thread has ended (posted from the thread pool's wait on its handle).
constexpr UINT kHelperEnded = WM_APP + 0x11;
constexpr UINT_PTR kTimerId = 1;
constexpr wchar_t kSinkClass[] = L"PelmiraTickSink";

ATOM RegisterSinkClass(WNDPROC proc) {
  static ATOM atom = [proc] {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = proc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kSinkClass;
    return RegisterClassExW(&wc);
  }();
  return atom;
}

// Constants of newer SDKs, defined here for headers that lack them (values from winnt.h).
#ifndef PROCESS_POWER_THROTTLING_CURRENT_VERSION
#define PROCESS_POWER_THROTTLING_CURRENT_VERSION 1
#endif
#ifndef PROCESS_POWER_THROTTLING_EXECUTION_SPEED
#define PROCESS_POWER_THROTTLING_EXECUTION_SPEED 0x1
#endif
#ifndef PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION
#define PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION 0x4
#endif

bool SetThrottling(ULONG control_mask) {
  using SetInfoFn = BOOL(WINAPI*)(HANDLE, PROCESS_INFORMATION_CLASS, LPVOID, DWORD);
  HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
  if (kernel == nullptr) return false;
  // Resolved at run time: older Windows 10 builds lack it.
  auto set_info = reinterpret_cast<SetInfoFn>(
      reinterpret_cast<void*>(GetProcAddress(kernel, "SetProcessInformation")));
  if (set_info == nullptr) return false;
  PROCESS_POWER_THROTTLING_STATE state = {};
  state.Version = PROCESS_POWER_THROTTLING_CURRENT_VERSION;
  state.ControlMask = control_mask;
  state.StateMask = 0;  // controlled and off
  return set_info(GetCurrentProcess(), ProcessPowerThrottling, &state, sizeof(state)) != 0;
}

// The program polls while its window is hidden and the user works in another program; that is
// when Windows throttles a process, and every tick would stretch. Execution speed: on battery,
// a process without a window in front may be run on efficient cores at a low clock. Timer
// resolution: Windows 11 may drop a raised resolution for processes whose windows are all
// hidden or minimised. The timer flag is only known to Windows 11, which refuses the pair on
// older systems: then each is asked for alone.
ThrottlingOptOuts OptOutOfThrottling() {
  if (SetThrottling(PROCESS_POWER_THROTTLING_EXECUTION_SPEED |
                    PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION))
    return {OptOut::Granted, OptOut::Granted};
  ThrottlingOptOuts result;
  auto one = [&result](ULONG flag) {
    if (SetThrottling(flag)) return OptOut::Granted;
    result.refusal = GetLastError();
    return OptOut::Refused;
  };
  result.execution_speed = one(PROCESS_POWER_THROTTLING_EXECUTION_SPEED);
  result.timer_resolution = one(PROCESS_POWER_THROTTLING_IGNORE_TIMER_RESOLUTION);
  return result;
}

const char* OptOutName(OptOut o) {
  switch (o) {
    case OptOut::NotAsked:
      return "not asked";
    case OptOut::Granted:
      return "granted";
    case OptOut::Refused:
      return "refused";
  }
  return "?";
}

void ReportFailure(const char* call, DWORD code) {
  DiagnosticLine("tick: " + CallFailed(call, code));
}

int64_t Counter() {
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);
  return c.QuadPart;
}

void CALLBACK OnHelperEnded(void* sink, BOOLEAN) {
  PostMessageW(static_cast<HWND>(sink), kHelperEnded, 0, 0);
}

}  // namespace

const char* TickModeName(TickMode mode) {
  switch (mode) {
    case TickMode::SystemTimer:
      return "SetTimer";
    case TickMode::RaisedResolutionTimer:
      return "SetTimer+timeBeginPeriod(1)";
    case TickMode::HighResolutionWaitable:
      return "high-resolution waitable timer";
  }
  return "?";
}

Win32TickSource::Win32TickSource(std::function<void()> on_tick, unsigned period_ms)
    : on_tick_(std::move(on_tick)), period_ms_(period_ms == 0 ? 1 : period_ms) {
  const ATOM atom = RegisterSinkClass(&WndProc);
  if (atom != 0)
    sink_ = CreateWindowExW(0, kSinkClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
  if (sink_ == nullptr) {
    // Start can do nothing without the window: say once why nothing will tick.
    ReportFailure(atom == 0 ? "RegisterClassExW(tick sink)" : "CreateWindowExW(tick sink)",
                  GetLastError());
    return;
  }
  SetWindowLongPtrW(sink_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
}

Win32TickSource::~Win32TickSource() {
  Stop();
  // Waits for a callback under way: none posts to the sink once it is gone.
  if (thread_wait_ != nullptr) UnregisterWaitEx(thread_wait_, INVALID_HANDLE_VALUE);
  if (thread_ != nullptr) {
    SetEvent(quit_);
    WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
  }
  for (HANDLE h : {timer_, wake_, quit_})
    if (h != nullptr) CloseHandle(h);
  if (sink_ != nullptr) {
    SetWindowLongPtrW(sink_, GWLP_USERDATA, 0);
    DestroyWindow(sink_);
  }
}

TickMode Win32TickSource::Start(TickMode preferred) {
  Stop();
  if (sink_ == nullptr) return mode_;
  ++generation_;
  running_ = true;
  // The opt-outs hold for the process until it ends: asked once.
  if (throttling_.execution_speed == OptOut::NotAsked) throttling_ = OptOutOfThrottling();
  if (preferred == TickMode::HighResolutionWaitable && StartWaitable()) {
    mode_ = TickMode::HighResolutionWaitable;
  } else {
    const bool raise = preferred != TickMode::SystemTimer;
    StartTimer(raise);
    mode_ = raise ? TickMode::RaisedResolutionTimer : TickMode::SystemTimer;
  }
  // An idle program starts and stops ticking at every watched key or button: only news is
  // worth a line.
  std::string line = Describe();
  if (line != described_) {
    DiagnosticLine(line);
    described_ = std::move(line);
  }
  return mode_;
}

std::string Win32TickSource::Describe() const {
  if (!running_) return "tick: stopped";
  std::string text = std::string("tick: ") + TickModeName(mode_) + ", " +
                     std::to_string(period_ms_) + " ms; throttling opt-outs: execution speed " +
                     OptOutName(throttling_.execution_speed) + ", timer resolution " +
                     OptOutName(throttling_.timer_resolution);
  if (throttling_.refusal != 0) text += " (error " + std::to_string(throttling_.refusal) + ")";
  return text;
}

void Win32TickSource::Once(double seconds) {
  Stop();
  if (sink_ == nullptr) return;
  ++generation_;
  running_ = true;
  once_ = true;
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  const double counts = seconds > 0 ? seconds * static_cast<double>(f.QuadPart) : 0;
  once_due_ = Counter() + static_cast<int64_t>(counts);
  if (StartWaitable()) return;
  TimerOnce(seconds);
}

void Win32TickSource::TimerOnce(double seconds) {
  // SetTimer waits whole milliseconds, rounded up, and 10 at the least (USER_TIMER_MINIMUM).
  if (!raised_) raised_ = timeBeginPeriod(1) == TIMERR_NOERROR;
  const UINT ms = static_cast<UINT>(std::ceil(std::max(0.0, seconds) * 1000));
  if (SetTimer(sink_, kTimerId, ms, nullptr) == 0) ReportFailure("SetTimer", GetLastError());
}

void Win32TickSource::StartTimer(bool raise_resolution) {
  if (raise_resolution) raised_ = timeBeginPeriod(1) == TIMERR_NOERROR;
  if (SetTimer(sink_, kTimerId, period_ms_, nullptr) == 0)
    ReportFailure("SetTimer", GetLastError());
}

bool Win32TickSource::StartWaitable() {
  // Ended before its message came.
  if (thread_ != nullptr && WaitForSingleObject(thread_, 0) == WAIT_OBJECT_0) HelperEnded();
  if (helper_ended_) return false;
  if (thread_ == nullptr) {
    // Made at the first start and kept: an idle program starts and stops ticking at every
    // watched key or button, and a new thread each time would delay the reaction to the key.
    timer_ = CreateWaitableTimerExW(nullptr, nullptr, CREATE_WAITABLE_TIMER_HIGH_RESOLUTION,
                                    TIMER_ALL_ACCESS);
    if (timer_ == nullptr) return false;  // before Windows 10 1803
    wake_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    quit_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (wake_ != nullptr && quit_ != nullptr)
      thread_ = CreateThread(nullptr, 0, &ThreadMain, this, 0, nullptr);
    if (thread_ == nullptr) {
      for (HANDLE h : {timer_, wake_, quit_})
        if (h != nullptr) CloseHandle(h);
      timer_ = wake_ = quit_ = nullptr;
      return false;
    }
    using SetDescriptionFn = HRESULT(WINAPI*)(HANDLE, PCWSTR);  // Windows 10 1607 and later
    static const auto set_description = reinterpret_cast<SetDescriptionFn>(reinterpret_cast<void*>(
        GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription")));
    if (set_description != nullptr) set_description(thread_, kTickThreadName);
    // Its end, whatever the cause, comes to the sink as a message: without it nothing would
    // tick again until the next Start, which a recording or a playback never makes.
    if (!RegisterWaitForSingleObject(&thread_wait_, thread_, &OnHelperEnded, sink_, INFINITE,
                                     WT_EXECUTEONLYONCE))
      thread_wait_ = nullptr;
  }
  waitable_ = true;
  SetEvent(wake_);  // the thread's rhythm starts from now
  return true;
}

void Win32TickSource::Stop() {
  if (!running_) return;
  running_ = false;
  once_ = false;
  ++generation_;  // a tick message already in the queue is now stale
  if (waitable_) {
    // Not waited for: a tick the thread posts meanwhile carries the old generation.
    waitable_ = false;
    SetEvent(wake_);
  } else {
    KillTimer(sink_, kTimerId);
    if (raised_) timeEndPeriod(1);
    raised_ = false;
  }
  posted_ = false;
}

DWORD WINAPI Win32TickSource::ThreadMain(void* self) {
  static_cast<Win32TickSource*>(self)->RunWaitableLoop();
  return 0;
}

void Win32TickSource::RunWaitableLoop() {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  const int64_t period = f.QuadPart * period_ms_ / 1000;
  bool active = false;
  bool once = false;
  unsigned generation = 0;
  int64_t next = 0;
  HANDLE waits[3] = {quit_, wake_, timer_};
  for (;;) {
    DWORD count = 2;  // stopped: only Start or the end wakes the thread
    if (active) {
      const int64_t now = Counter();
      // Relative due time in 100 ns units (negative = relative).
      LARGE_INTEGER due;
      due.QuadPart = next > now ? -((next - now) * 10'000'000 / f.QuadPart) : -1;
      if (!SetWaitableTimer(timer_, &due, 0, nullptr, nullptr, FALSE))
        return GiveUp("SetWaitableTimer");
      count = 3;
    }
    const DWORD woke = WaitForMultipleObjects(count, waits, FALSE, INFINITE);
    if (woke == WAIT_OBJECT_0 + 1) {  // started or stopped
      active = waitable_;
      generation = generation_;
      once = once_;
      next = once ? once_due_.load() : Counter() + period;
      // A timer left armed would still fire, and wake the processor, with nobody waiting.
      if (!active) CancelWaitableTimer(timer_);
      continue;
    }
    if (woke == WAIT_OBJECT_0) return;  // the end
    if (woke != WAIT_OBJECT_0 + 2) return GiveUp("WaitForMultipleObjects");
    // One tick in the queue at most: a busy UI thread gets the next tick, not a backlog.
    if (!posted_.exchange(true)) {
      if (!PostMessageW(sink_, kTickMessage, generation, 0)) posted_ = false;
    }
    if (once) {
      active = false;  // the moment has come: nothing until the next start
      continue;
    }
    next += period;
    const int64_t after = Counter();
    if (next <= after) next = after + period;  // fell behind: resume the rhythm from now
  }
}

void Win32TickSource::HelperEnded() {
  if (thread_ == nullptr || WaitForSingleObject(thread_, 0) != WAIT_OBJECT_0) return;
  DiagnosticLine("tick: " +
                 (*thread_failure_ ? CallFailed(thread_failure_, thread_error_)
                                   : std::string("the timer thread ended")) +
                 "; SetTimer from now on");
  // Not waited for: this may run before the wait's callback has returned.
  if (thread_wait_ != nullptr) UnregisterWait(thread_wait_);
  for (HANDLE h : {thread_, timer_, wake_, quit_}) CloseHandle(h);
  thread_wait_ = thread_ = timer_ = wake_ = quit_ = nullptr;
  // A thread that ended once may end again: the rest of the run ticks on SetTimer.
  helper_ended_ = true;
  if (!running_ || !waitable_) return;
  waitable_ = false;
  if (once_) {
    LARGE_INTEGER f;
    QueryPerformanceFrequency(&f);
    TimerOnce(static_cast<double>(once_due_.load() - Counter()) / static_cast<double>(f.QuadPart));
  } else {
    StartTimer(true);
  }
  mode_ = TickMode::RaisedResolutionTimer;
  described_ = Describe();
  DiagnosticLine(described_);
}

void Win32TickSource::GiveUp(const char* call) {
  // Read by the UI thread only once this thread has ended.
  thread_failure_ = call;
  thread_error_ = GetLastError();
}

LRESULT CALLBACK Win32TickSource::WndProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  auto* self = reinterpret_cast<Win32TickSource*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
  bool tick = false;
  if (self != nullptr && msg == kHelperEnded) {
    self->HelperEnded();
    return 0;
  }
  if (self != nullptr && msg == kTickMessage) {
    self->posted_ = false;
    tick = self->running_ && static_cast<unsigned>(wp) == self->generation_;
    // The helper thread set no further moment: nothing runs any more.
    if (tick && self->once_) self->Stop();
  } else if (self != nullptr && msg == WM_TIMER && wp == kTimerId) {
    tick = self->running_;
    if (tick && self->once_) self->Stop();  // SetTimer repeats: one tick was asked for
  } else {
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
  if (tick && self->on_tick_) {
    try {
      self->on_tick_();
    } catch (...) {
      // An exception must not unwind through the system's dispatch code.
      std::terminate();
    }
  }
  return 0;
}

}  // namespace pel
