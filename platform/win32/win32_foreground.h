#pragma once
// The window in front during a playback: input the program sends is dropped without an error
// (SendInput still counts it as inserted) when that window's process runs at a higher integrity
// level, such as a program run as administrator or a UAC prompt.

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "platform/main_window.h"

namespace pel {

// True when Windows keeps this process's messages, and so its injected input, from `window`
// (User Interface Privilege Isolation: its process runs at a higher integrity level). Found out
// by sending it a message of our own, which UIPI refuses with error 5. False for no window,
// this process's own windows, and a window that does not answer within 0.1 s.
bool InputBlockedByIntegrity(HWND window);

// The status line while a window of higher integrity is in front during a playback ...
inline constexpr std::string_view kElevatedInFront =
    "[PLAYING] clicks may be lost: the window in front runs elevated";
// ... or, with a normal window in front, while the latest press went to one behind it.
inline constexpr std::string_view kElevatedClicked =
    "[PLAYING] clicks may be lost: the window clicked into runs elevated";

// Watches the foreground window and the window under each press while a playback runs, and
// says on the status line when clicks into them may be lost; call after every tick.
class ElevatedForegroundWatch {
 public:
  // `playing`: a playback runs now; `press_elevated`: whether the window under the latest press
  // since the previous call runs elevated (Win32Input::TakePressIntoElevated). The foreground
  // window is compared at the first call of a playback and whenever it changed. Shows
  // kElevatedInFront or kElevatedClicked on `status` while either applies, and puts back the
  // text it replaced once none does. Returns the warning it has just shown, else empty.
  std::string_view AfterTick(bool playing, std::optional<bool> press_elevated, Control& status);

 private:
  bool was_playing_ = false;
  HWND last_ = nullptr;
  bool front_above_ = false;
  bool press_above_ = false;
  std::string_view shown_;  // the warning on the status line, empty: none
  std::string replaced_;    // the status line's text before it
};

}  // namespace pel
