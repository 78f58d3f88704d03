#include "platform/win32/win32_clock.h"

#include <windows.h>

namespace pel {

namespace {
int64_t Counter() {
  LARGE_INTEGER c;
  QueryPerformanceCounter(&c);  // cannot fail on Windows XP and later
  return c.QuadPart;
}
}  // namespace

Win32Clock::Win32Clock() {
  LARGE_INTEGER f;
  QueryPerformanceFrequency(&f);
  frequency_ = f.QuadPart > 0 ? f.QuadPart : 1;
  origin_ = Counter();
}

double Win32Clock::Now() {
  const int64_t ticks = Counter() - origin_;
  // Whole seconds and the remainder apart, so a long run keeps sub-microsecond precision.
  return static_cast<double>(ticks / frequency_) +
         static_cast<double>(ticks % frequency_) / static_cast<double>(frequency_);
}

void Win32Clock::SleepMs(int ms) {
  Sleep(ms > 0 ? static_cast<DWORD>(ms) : 0);
}

}  // namespace pel
