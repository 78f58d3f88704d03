#pragma once
// A private X server for end-to-end tests, and small X clients to drive and watch it.
// Each Xvfb picks a free display number itself (-displayfd), so tests can run side by side.

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

struct _XDisplay;

namespace pel::x11test {

class Xvfb {
 public:
  // Starts Xvfb with one screen of `screen` (WIDTHxHEIGHTxDEPTH) plus `extra_args`, and returns
  // once it accepts connections. Throws std::runtime_error (with Xvfb's own output) when it does
  // not come up within 10 s.
  explicit Xvfb(std::vector<std::string> extra_args = {}, std::string screen = "1280x1024x24");
  // Stops the server this object started, and only that one.
  ~Xvfb();
  Xvfb(const Xvfb&) = delete;
  Xvfb& operator=(const Xvfb&) = delete;

  // ":N", for XOpenDisplay and $DISPLAY.
  const std::string& Display() const { return display_; }
  // The server's process id (benchmarks read its scheduler counts).
  pid_t Pid() const { return pid_; }
  // Runs a shell command with DISPLAY set to this server; its exit status (-1 when it did not
  // exit normally).
  int Run(const std::string& command) const;
  // The same, returning what the command wrote to stdout.
  std::string Output(const std::string& command) const;

 protected:
  // Starts the X server `argv` (argv[0] looked up on PATH), which writes its display number to
  // descriptor 3 once it accepts connections (-displayfd 3), as the constructor above does.
  struct Command {
    std::vector<std::string> argv;
  };
  explicit Xvfb(Command command);

 private:
  pid_t pid_ = -1;
  std::string display_;
  std::string log_path_;
};

// Calls `condition` every millisecond until it returns true or `timeout` passes; returns its
// last result. Tests wait on conditions with this, never on fixed sleeps alone.
bool WaitUntil(const std::function<bool()>& condition,
               std::chrono::milliseconds timeout = std::chrono::seconds(5));

// The pointer position on the root window, read on a connection of its own. False when the
// display cannot be opened.
bool QueryPointer(const std::string& display, int& x, int& y);

// A plain window at a known place that records the button events it receives: a stand-in for
// "another program" that injected input must reach.
class ObserverWindow {
 public:
  struct ButtonEvent {
    bool press = false;
    unsigned button = 0;
    int x = 0;  // in the window
    int y = 0;
    friend bool operator==(const ButtonEvent&, const ButtonEvent&) = default;
  };

  // Opens its own connection, creates the window at root pixels (x, y) and waits until it is
  // mapped. Override-redirect, so that no window manager moves or decorates it. Throws
  // std::runtime_error when the display cannot be opened or the window does not appear.
  ObserverWindow(const std::string& display, int x, int y, unsigned width, unsigned height);
  ~ObserverWindow();
  ObserverWindow(const ObserverWindow&) = delete;
  ObserverWindow& operator=(const ObserverWindow&) = delete;

  unsigned long Id() const { return window_; }
  // Reads what has arrived so far and returns every button event received since creation.
  const std::vector<ButtonEvent>& Events();
  // Waits until at least `count` button events have arrived.
  bool WaitForEvents(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5));

 private:
  _XDisplay* display_ = nullptr;
  unsigned long window_ = 0;
  std::vector<ButtonEvent> events_;
};

}  // namespace pel::x11test
