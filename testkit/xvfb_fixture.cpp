#include "testkit/xvfb_fixture.h"

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <thread>

#include "testkit/real_disk.h"

extern char** environ;

namespace pel::x11test {
namespace {

using Clock = std::chrono::steady_clock;

// Waits for `pid` to exit within `timeout`; true when it did (and was reaped).
bool Reap(pid_t pid, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  do {
    int status = 0;
    const pid_t r = waitpid(pid, &status, WNOHANG);
    if (r == pid || r < 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  } while (Clock::now() < deadline);
  return false;
}

int ExitStatus(int status) {
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace

Xvfb::Xvfb(std::vector<std::string> extra_args, std::string screen)
    : Xvfb(Command{[&] {
        std::vector<std::string> args = {
            "Xvfb", "-displayfd", "3",   "-screen", "0",
            screen, "-nolisten",  "tcp", "-noreset"};  // -noreset: survive the last client leaving
        args.insert(args.end(), extra_args.begin(), extra_args.end());
        return args;
      }()}) {}

Xvfb::Xvfb(Command command) {
  const std::string server = command.argv.at(0);
  int ready[2];
  // Xvfb writes its display number to descriptor 3 once it accepts connections; the child gets
  // the pipe's write end there (dup2 drops O_CLOEXEC), the rest of the pipe stays ours.
  if (pipe2(ready, O_CLOEXEC) != 0) throw std::runtime_error("Xvfb: pipe failed");
  char log_template[] = "/tmp/pel-xvfb-XXXXXX";
  const int log_fd = mkstemp(log_template);
  if (log_fd < 0) {
    close(ready[0]);
    close(ready[1]);
    throw std::runtime_error("Xvfb: cannot create a log file in /tmp");
  }
  log_path_ = log_template;

  std::vector<char*> argv;
  for (auto& a : command.argv) argv.push_back(a.data());
  argv.push_back(nullptr);

  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, ready[1], 3);
  posix_spawn_file_actions_adddup2(&actions, log_fd, 1);
  posix_spawn_file_actions_adddup2(&actions, log_fd, 2);
  const int spawned = posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  close(ready[1]);
  close(log_fd);
  if (spawned != 0) {
    close(ready[0]);
    pid_ = -1;
    throw std::runtime_error(server + ": cannot start it (is it installed?)");
  }

  std::string number;
  const auto deadline = Clock::now() + std::chrono::seconds(10);
  while (number.find('\n') == std::string::npos && Clock::now() < deadline) {
    pollfd p{ready[0], POLLIN, 0};
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (poll(&p, 1, static_cast<int>(left > 0 ? left : 0)) <= 0) break;
    char buffer[16];
    const ssize_t n = read(ready[0], buffer, sizeof buffer);
    if (n <= 0) break;  // Xvfb exited before reporting
    number.append(buffer, static_cast<size_t>(n));
  }
  close(ready[0]);
  if (number.find('\n') == std::string::npos) {
    kill(pid_, SIGKILL);
    Reap(pid_, std::chrono::seconds(5));
    pid_ = -1;
    const std::string log = test::ReadWholeFile(log_path_);
    unlink(log_path_.c_str());
    throw std::runtime_error(server + " did not come up within 10 s:\n" + log);
  }
  // Built by append: GCC 12 at -O3 warns falsely (-Wrestrict) on ":" + text.
  display_.assign(1, ':');
  display_.append(number, 0, number.find('\n'));
}

Xvfb::~Xvfb() {
  if (pid_ > 0) {
    kill(pid_, SIGTERM);
    if (!Reap(pid_, std::chrono::seconds(5))) {
      kill(pid_, SIGKILL);
      Reap(pid_, std::chrono::seconds(5));
    }
  }
  if (!log_path_.empty()) unlink(log_path_.c_str());
}

int Xvfb::Run(const std::string& command) const {
  const std::string line = "DISPLAY=" + display_ + " " + command;
  return ExitStatus(std::system(line.c_str()));
}

std::string Xvfb::Output(const std::string& command) const {
  std::string out;
  test::RunShell("DISPLAY=" + display_ + " " + command, &out);
  return out;
}

bool WaitUntil(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
  const auto deadline = Clock::now() + timeout;
  while (!condition()) {
    if (Clock::now() >= deadline) return condition();
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

bool QueryPointer(const std::string& display, int& x, int& y) {
  Display* d = XOpenDisplay(display.c_str());
  if (!d) return false;
  Window root = 0, child = 0;
  int wx = 0, wy = 0;
  unsigned mask = 0;
  XQueryPointer(d, DefaultRootWindow(d), &root, &child, &x, &y, &wx, &wy, &mask);
  XCloseDisplay(d);
  return true;
}

ObserverWindow::ObserverWindow(const std::string& display, int x, int y, unsigned width,
                               unsigned height) {
  display_ = XOpenDisplay(display.c_str());
  if (!display_) throw std::runtime_error("ObserverWindow: cannot open display " + display);
  const int screen = DefaultScreen(display_);
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  attributes.background_pixel = WhitePixel(display_, screen);
  attributes.event_mask = ButtonPressMask | ButtonReleaseMask | StructureNotifyMask;
  window_ = XCreateWindow(display_, RootWindow(display_, screen), x, y, width, height, 0,
                          CopyFromParent, InputOutput, CopyFromParent,
                          CWOverrideRedirect | CWBackPixel | CWEventMask, &attributes);
  XMapRaised(display_, window_);
  // Input reaches the window only once it is viewable: wait for the server to say so.
  XEvent event;
  const bool mapped = WaitUntil([&] {
    while (XPending(display_) > 0) {
      XNextEvent(display_, &event);
      if (event.type == MapNotify && event.xmap.window == window_) return true;
    }
    return false;
  });
  if (!mapped) {
    XCloseDisplay(display_);
    throw std::runtime_error("ObserverWindow: the window was not mapped");
  }
}

ObserverWindow::~ObserverWindow() {
  XDestroyWindow(display_, window_);
  XCloseDisplay(display_);
}

const std::vector<ObserverWindow::ButtonEvent>& ObserverWindow::Events() {
  // A round trip first, so that events caused by requests the server has already handled
  // are in the queue.
  XSync(display_, False);
  while (XPending(display_) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    if ((event.type == ButtonPress || event.type == ButtonRelease) &&
        event.xbutton.window == window_) {
      events_.push_back(
          {event.type == ButtonPress, event.xbutton.button, event.xbutton.x, event.xbutton.y});
    }
  }
  return events_;
}

bool ObserverWindow::WaitForEvents(size_t count, std::chrono::milliseconds timeout) {
  return WaitUntil([&] { return Events().size() >= count; }, timeout);
}

ClientWindow::ClientWindow(const std::string& display, int x, int y, unsigned width,
                           unsigned height, const std::string& cls, const std::string& title) {
  display_ = XOpenDisplay(display.c_str());
  if (!display_) throw std::runtime_error("ClientWindow: cannot open display " + display);
  const int screen = DefaultScreen(display_);
  window_ = XCreateSimpleWindow(display_, RootWindow(display_, screen), x, y, width, height, 0, 0,
                                WhitePixel(display_, screen));
  XSelectInput(display_, window_, ButtonPressMask | ButtonReleaseMask);
  XClassHint hint{const_cast<char*>("peltest"), const_cast<char*>(cls.c_str())};
  XSetClassHint(display_, window_, &hint);
  XSizeHints size{};
  size.flags = USPosition | USSize;
  size.x = x;
  size.y = y;
  size.width = static_cast<int>(width);
  size.height = static_cast<int>(height);
  XSetWMNormalHints(display_, window_, &size);
  XChangeProperty(display_, window_, XInternAtom(display_, "_NET_WM_NAME", False),
                  XInternAtom(display_, "UTF8_STRING", False), 8, PropModeReplace,
                  reinterpret_cast<const unsigned char*>(title.data()),
                  static_cast<int>(title.size()));
  XMapWindow(display_, window_);
  XSync(display_, False);
}

ClientWindow::~ClientWindow() {
  XDestroyWindow(display_, window_);
  XCloseDisplay(display_);
}

bool ClientWindow::Shown(bool framed) const {
  XWindowAttributes a;
  return XGetWindowAttributes(display_, window_, &a) && a.map_state == IsViewable &&
         (!framed || Parent() != 0);
}

unsigned long ClientWindow::Parent() const {
  Window root = None, parent = None, *children = nullptr;
  unsigned int n = 0;
  XQueryTree(display_, window_, &root, &parent, &children, &n);
  if (children) XFree(children);
  return parent == root ? 0 : parent;
}

void ClientWindow::Origin(int& x, int& y) const {
  Window child = None;
  XTranslateCoordinates(display_, window_, DefaultRootWindow(display_), 0, 0, &x, &y, &child);
}

void ClientWindow::MoveTo(int x, int y) {
  XMoveWindow(display_, window_, x, y);
  XSync(display_, False);
}

void ClientWindow::NameInLatin1(const char* name) {
  XDeleteProperty(display_, window_, XInternAtom(display_, "_NET_WM_NAME", False));
  XStoreName(display_, window_, name);
  XSync(display_, False);
}

const std::vector<ObserverWindow::ButtonEvent>& ClientWindow::Events() {
  XSync(display_, False);
  while (XPending(display_) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    if (event.type == ButtonPress || event.type == ButtonRelease)
      events_.push_back(
          {event.type == ButtonPress, event.xbutton.button, event.xbutton.x, event.xbutton.y});
  }
  return events_;
}

Openbox::Openbox(const Xvfb& xvfb)
    : xvfb_(xvfb),
      pid_(std::atoi(xvfb.Output("openbox --sm-disable >/dev/null 2>&1 & echo $!").c_str())) {}

Openbox::~Openbox() {
  if (pid_ <= 0) return;
  kill(pid_, SIGTERM);
  x11test::WaitUntil([&] { return kill(pid_, 0) != 0; }, std::chrono::seconds(2));
}

bool Openbox::Running() {
  return pid_ > 0 && x11test::WaitUntil([&] {
           return xvfb_.Run("xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'") == 0;
         });
}

bool Openbox::WaitUntil(const std::function<bool()>& condition) {
  int polls = 0;
  return x11test::WaitUntil([&] {
    if (++polls % 100 == 0) xvfb_.Run("xdotool set_desktop 0");
    return condition();
  });
}

}  // namespace pel::x11test
