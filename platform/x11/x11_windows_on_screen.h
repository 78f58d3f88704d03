#pragma once
// The top-level windows of an X display, on a connection of its own. Under a reparenting window
// manager the window that counts is the client (the one with WM_STATE), never its frame; without
// a window manager it is the root's child itself. Class from WM_CLASS, title from _NET_WM_NAME
// (UTF8_STRING), else WM_NAME; the program from the executable of the process that _NET_WM_PID
// names when WM_CLIENT_MACHINE is this machine, else the instance of WM_CLASS; the area is the
// client's, in root coordinates. The windows open
// come from the window manager's _NET_CLIENT_LIST(_STACKING), else from the root's children.
// Windows may vanish at any moment: every request runs under an error trap.
// Xlib stays out of this header so that Qt code can include it.

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/windows_on_screen.h"

struct _XDisplay;

namespace pel {

class X11WindowsOnScreen : public WindowsOnScreen {
 public:
  // nullptr, with the failing call named in `error`, when the display cannot be opened.
  static std::unique_ptr<X11WindowsOnScreen> Open(const char* display_name, std::string& error);
  ~X11WindowsOnScreen() override;
  X11WindowsOnScreen(const X11WindowsOnScreen&) = delete;
  X11WindowsOnScreen& operator=(const X11WindowsOnScreen&) = delete;

  // Override-redirect windows (menus, tooltips) come back as pop-ups; windows of type
  // _NET_WM_WINDOW_TYPE_DESKTOP count as no window.
  std::optional<TopWindow> WindowAt(Point at) override;
  // Viewable clients only (a minimised one is unmapped). Also starts watching each for renames.
  std::vector<TopWindow> List() override;
  std::optional<TopWindow> Find(uint64_t id) override;
  // Counts the changes read so far: a window of the root mapped, unmapped, reparented or
  // destroyed, the window manager's client list changed, a listed window renamed or iconified.
  uint64_t Generation() override;

  // The connection's descriptor: it turns readable when the server sends events, which
  // TakeChanges() then reads. A program that waits for a window watches it (a socket notifier)
  // and wakes its poll cycle when TakeChanges() says so.
  int ConnectionFd() const;
  // Reads the events that have come, without waiting. True when a change (see Generation())
  // arrived since the previous call.
  bool TakeChanges();

 private:
  explicit X11WindowsOnScreen(_XDisplay* display);
  // The client window of the root's child `top`; `at`, when given, is the point clicked.
  unsigned long ClientOf(unsigned long top, const Point* at);
  bool HasWmState(unsigned long window);
  // The window's description; nullopt when it is not viewable, is the desktop or is gone.
  std::optional<TopWindow> Describe(unsigned long window, bool popup);
  // The window manager's clients, topmost first; nullopt without a window manager.
  std::optional<std::vector<unsigned long>> ManagedClients();
  std::string Property(unsigned long window, unsigned long property, unsigned long& type);

  _XDisplay* display_;
  unsigned long root_;
  struct Atoms;
  std::unique_ptr<Atoms> atoms_;
  uint64_t generation_ = 0;
  uint64_t reported_ = 0;  // the generation TakeChanges() last returned
};

}  // namespace pel
