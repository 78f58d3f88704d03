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

// A window as a program makes one, unlike ObserverWindow: WM_CLASS (class `cls`) and a UTF-8
// _NET_WM_NAME, asked for at a place of its own (USPosition), which a window manager may adjust
// and frame. It records the presses and releases it receives, in its own pixels.
class ClientWindow {
 public:
  // Throws std::runtime_error when the display cannot be opened. Returns once the request to map
  // it has been sent: Shown() says when it is.
  ClientWindow(const std::string& display, int x, int y, unsigned width, unsigned height,
               const std::string& cls, const std::string& title);
  ~ClientWindow();
  ClientWindow(const ClientWindow&) = delete;
  ClientWindow& operator=(const ClientWindow&) = delete;

  unsigned long Id() const { return window_; }
  // Viewable, and framed when `framed` (a window manager has taken it).
  bool Shown(bool framed) const;
  // Its window manager's frame; 0 while it is a child of the root.
  unsigned long Parent() const;
  // Its top-left pixel in root coordinates.
  void Origin(int& x, int& y) const;
  // Asks for the window at root pixels (x, y), as a program moving itself does.
  void MoveTo(int x, int y);
  // Only WM_NAME, in Latin-1, as older programs set it.
  void NameInLatin1(const char* name);
  // Reads what has arrived so far and returns every button event received since creation.
  const std::vector<ObserverWindow::ButtonEvent>& Events();

 private:
  _XDisplay* display_ = nullptr;
  unsigned long window_ = 0;
  std::vector<ObserverWindow::ButtonEvent> events_;
};

// Openbox on the display (scripts/install-deps.sh installs it), stopped (only it) at the end.
class Openbox {
 public:
  explicit Openbox(const Xvfb& xvfb);
  ~Openbox();
  Openbox(const Openbox&) = delete;
  Openbox& operator=(const Openbox&) = delete;
  // Waits until it has taken the screen (it names itself on the root).
  bool Running();
  // Waits until `condition` holds. Openbox may leave events that arrived while it started in its
  // queue until more come: a client message now and then wakes it.
  bool WaitUntil(const std::function<bool()>& condition);

 private:
  const Xvfb& xvfb_;
  pid_t pid_;
};

}  // namespace pel::x11test
