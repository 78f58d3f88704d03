#pragma once
// The window in front during a playback: input the program sends is dropped without an error
// (SendInput still counts it as inserted) when that window's process runs at a higher integrity
// level, such as a program run as administrator or a UAC prompt.

#include <windows.h>

#include <string>
#include <string_view>

#include "platform/main_window.h"

namespace pel {

// True when Windows keeps this process's messages, and so its injected input, from `window`
// (User Interface Privilege Isolation: its process runs at a higher integrity level). Found out
// by sending it a message of our own, which UIPI refuses with error 5. False for no window,
// this process's own windows, and a window that does not answer within 0.1 s.
bool InputBlockedByIntegrity(HWND window);

// The status line while a window of higher integrity is in front during a playback.
inline constexpr std::string_view kElevatedInFront =
    "[PLAYING] clicks may be lost: the window in front runs elevated";

// Watches the foreground window while a playback runs and says on the status line when clicks
// into it may be lost; call after every tick.
class ElevatedForegroundWatch {
 public:
  // `playing`: a playback runs now. Compares at the first call of a playback and whenever the
  // foreground window changed: shows kElevatedInFront on `status` while a window above this
  // process is in front, and puts back the text it replaced once none is. True when it has
  // just shown the text.
  bool AfterTick(bool playing, Control& status);

 private:
  bool was_playing_ = false;
  HWND last_ = nullptr;
  bool above_ = false;
  std::string replaced_;  // the status line's text before the warning
};

}  // namespace pel
