#pragma once
// The top-level windows of the desktop, as the user sees them: which one a click at a point
// reaches, and which ones are open now, so that a recording can find its windows again.
// Read only: nothing here raises, focuses, moves or resizes a window. Coordinates are screen
// pixels of the cursor's space (as Input::CursorPos gives them); texts are UTF-8.

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/input.h"

namespace pel {

struct TopWindow {
  // The window system's handle (X window, HWND): tells two windows apart while both live; 0 in a
  // window read from a recording.
  uint64_t id = 0;
  // The program's name for this kind of window (X11: the class of WM_CLASS; Windows: the window
  // class), and the title; either may be empty.
  std::string class_name;
  std::string title;
  // The window's area: the client's where a window manager frames it (X11), never the frame;
  // the visible window with its title bar where the window system draws the frame (Windows).
  int32_t left = 0, top = 0, width = 0, height = 0;
  // A pop-up (menu, tooltip, drop-down list) that no window manager manages: clicks on it belong
  // to the window that opened it.
  bool popup = false;
  // The program's executable, its file name without the folder (X11: of the process that
  // _NET_WM_PID names on this machine, else the instance of WM_CLASS; Windows: of the window's
  // process); empty when it cannot be told.
  std::string program{};
  friend bool operator==(const TopWindow&, const TopWindow&) = default;
};

class WindowsOnScreen {
 public:
  virtual ~WindowsOnScreen() = default;
  // The top-level window a click at `at` would reach; nullopt over no window (the root, the
  // desktop) and when the window cannot be read (it vanished meanwhile).
  virtual std::optional<TopWindow> WindowAt(Point at) = 0;
  // The windows open and shown now (not minimised, no pop-ups, no desktop), topmost first where
  // the window system tells the stacking; empty when they cannot be listed.
  virtual std::vector<TopWindow> List() = 0;
  // Window `id` (as WindowAt or List gave it) as it stands now; nullopt when it is gone or is
  // no longer shown.
  virtual std::optional<TopWindow> Find(uint64_t id) = 0;
  // A number that changes whenever the window system has reported a window opened, closed,
  // shown, hidden or renamed since the previous call; it does not wait for anything.
  virtual uint64_t Generation() = 0;
};

}  // namespace pel
