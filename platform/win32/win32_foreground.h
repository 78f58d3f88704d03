#pragma once
// The window in front during a playback: input the program sends is dropped without an error
// (SendInput still counts it as inserted) when that window's process runs at a higher integrity
// level, such as a program run as administrator or a UAC prompt.

#include <windows.h>

#include <string>

namespace pel::win32 {

// True when the process of `window` runs at a higher integrity level than this one, or keeps
// its token from this process (as an elevated process does from an unelevated one). False for
// no window, this process's own windows, and when nothing can be found out.
bool RunsAboveThisProcess(HWND window);

// Watches the foreground window while a playback runs; call after every tick.
class ElevatedForegroundWatch {
 public:
  // `playing`: a playback runs now. Returns true when the state changed: the foreground window
  // came to run above this process, or stopped doing so, since the previous call; `above` then
  // tells which. The first call of a playback always compares.
  bool Check(bool playing, bool& above);

 private:
  bool was_playing_ = false;
  HWND last_ = nullptr;
  bool above_ = false;
};

}  // namespace pel::win32
