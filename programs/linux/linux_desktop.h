#pragma once
// What the Linux program attaches of the desktop to its form: the monitors (RandR, or the
// compositor's outputs), the windows clicked in (X11, or sway's tree), the mouse's own events
// (RECORD), and the socket notifiers that wake the form when input or windows change.

#include <QSocketNotifier>
#include <functional>
#include <memory>
#include <optional>

#include "app/main_form.h"
#include "app/program.h"
#include "platform/clock.h"
#include "platform/wayland/sway_windows.h"
#include "platform/wayland/wayland_display.h"
#include "platform/x11/x11_input.h"
#include "platform/x11/x11_input_events.h"
#include "platform/x11/x11_windows_on_screen.h"

namespace pel {

class LinuxDesktop {
 public:
  // On X11 `x11_input` is the input and `compositor` null; on Wayland the other way round (both
  // null through the portal: the compositor's outputs are not reached then). What is missing is
  // said on `console`; the missing mouse events only when `say_no_events`.
  LinuxDesktop(WaylandDisplay* compositor, X11Input* x11_input, Clock& clock,
               const ProgramConsole& console, bool say_no_events);
  LinuxDesktop(const LinuxDesktop&) = delete;
  LinuxDesktop& operator=(const LinuxDesktop&) = delete;

  // Attaches it all to `form` (which must outlive nothing here: destroy this first) and wakes
  // the form as input and window changes arrive. Idle, the poll timer then sleeps until the raw
  // input events on the input's own connection wake it; no key reaches a Wayland client, so
  // there only the window's buttons wake it.
  void AttachTo(MainForm& form);

 private:
  X11Input* x11_input_;
  std::unique_ptr<Screens> screens_;
  std::unique_ptr<X11WindowsOnScreen> x11_windows_;
  std::unique_ptr<SwayWindows> sway_windows_;
  WindowsOnScreen* windows_ = nullptr;
  std::function<bool()> take_window_changes_;
  int window_fd_ = -1;
  std::unique_ptr<X11InputEvents> pointer_events_;
  std::optional<QSocketNotifier> window_changes_;
  std::optional<QSocketNotifier> input_events_;
};

}  // namespace pel
