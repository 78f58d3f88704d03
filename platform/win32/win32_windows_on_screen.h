#pragma once
// The top-level windows of the Windows desktop. Nothing here sends a message to another
// program's window, so a hung window never holds us up and windows of a higher integrity level
// are found like any other: WindowFromPoint then GetAncestor(GA_ROOT), GetClassNameW,
// InternalGetWindowText, EnumWindows; the program is the file name of the window's process image
// (GetWindowThreadProcessId, OpenProcess with limited query rights, QueryFullProcessImageNameW).
// The area is the visible window with its title bar
// (DWMWA_EXTENDED_FRAME_BOUNDS, else GetWindowRect), in physical pixels as the cursor is for a
// per-monitor aware program. Changes arrive through WinEvent hooks served by the thread's
// message loop.

#include <windows.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "platform/windows_on_screen.h"

namespace pel {

class Win32WindowsOnScreen : public WindowsOnScreen {
 public:
  // `on_change`, when given, is called (from the message loop) at each change, so the program
  // can wake its poll cycle. One instance per program: the hooks reach it through a global.
  explicit Win32WindowsOnScreen(std::function<void()> on_change = {});
  ~Win32WindowsOnScreen() override;
  Win32WindowsOnScreen(const Win32WindowsOnScreen&) = delete;
  Win32WindowsOnScreen& operator=(const Win32WindowsOnScreen&) = delete;

  // Menus (#32768) and owned windows without a caption (tooltips, drop-down lists) come back as
  // pop-ups; the desktop (its window, the shell's and the one holding the icons) as no window.
  std::optional<TopWindow> WindowAt(Point at) override;
  // Visible windows, not minimised and not cloaked (on another virtual desktop), in z-order.
  std::vector<TopWindow> List() override;
  std::optional<TopWindow> Find(uint64_t id) override;
  // Counts the windows shown, hidden, destroyed, renamed, minimised, restored, cloaked or
  // uncloaked since the hooks were set; without them (named in the diagnostics) it stays 0.
  uint64_t Generation() override { return generation_; }

 private:
  static void CALLBACK OnEvent(HWINEVENTHOOK hook, DWORD event, HWND hwnd, LONG object, LONG child,
                               DWORD thread, DWORD time);
  std::vector<HWINEVENTHOOK> hooks_;
  std::function<void()> on_change_;
  uint64_t generation_ = 0;
};

}  // namespace pel
