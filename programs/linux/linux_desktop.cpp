#include "programs/linux/linux_desktop.h"

#include <string>

#include "platform/wayland/wayland_screens.h"
#include "platform/x11/x11_screens.h"

namespace pel {

LinuxDesktop::LinuxDesktop(WaylandDisplay* compositor, X11Input* x11_input, Clock& clock,
                           const ProgramConsole& console, bool say_no_events)
    : x11_input_(x11_input) {
  std::string error;
  // The monitors, for the screen layout of recordings; without RandR 1.5 there is none.
  if (compositor)
    screens_ = std::make_unique<WaylandScreens>(*compositor);
  else
    screens_ = X11Screens::Open(nullptr, error);
  // The windows clicked in. On Wayland, from sway's IPC where it runs; elsewhere clicks play at
  // their screen places.
  if (x11_input && (x11_windows_ = X11WindowsOnScreen::Open(nullptr, error))) {
    windows_ = x11_windows_.get();
    window_fd_ = x11_windows_->ConnectionFd();
    take_window_changes_ = [this] { return x11_windows_->TakeChanges(); };
  } else if (compositor && (sway_windows_ = SwayWindows::Open(error))) {
    windows_ = sway_windows_.get();
    window_fd_ = sway_windows_->ConnectionFd();
    take_window_changes_ = [this] { return sway_windows_->TakeChanges(); };
  } else if (compositor) {
    console.Say("clicks play at their recorded screen places: " + error);
  }
  // The pointer's own events, for recordings; without RECORD they sample the pointer every tick.
  if (x11_input) pointer_events_ = X11InputEvents::Open(nullptr, clock, error);
  if (!pointer_events_ && x11_input && say_no_events)
    console.Say("recordings leave out the wheel and the side buttons: " + error);
}

void LinuxDesktop::AttachTo(MainForm& form) {
  form.Attach({screens_.get(), windows_, pointer_events_.get(),
               [this] { return x11_input_ && x11_input_->TakeInput(); }});
  if (windows_) {
    window_changes_.emplace(window_fd_, QSocketNotifier::Read);
    QObject::connect(&*window_changes_, &QSocketNotifier::activated, [this, &form] {
      if (take_window_changes_()) form.OnWindowsChanged();
    });
  }
  if (x11_input_) {
    input_events_.emplace(x11_input_->ConnectionFd(), QSocketNotifier::Read);
    QObject::connect(&*input_events_, &QSocketNotifier::activated, [this, &form] {
      if (x11_input_->TakeInput()) form.OnInputArrived();
    });
  }
}

}  // namespace pel
