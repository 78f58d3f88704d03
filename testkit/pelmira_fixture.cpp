#include "testkit/pelmira_fixture.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/cursorfont.h>
#include <X11/extensions/Xfixes.h>
#include <X11/extensions/shape.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <thread>

extern char** environ;

namespace pel::e2e {

namespace fs = std::filesystem;

// ---------------------------------------------------------------------------------------------

XLook::XLook(const std::string& display) : display_(XOpenDisplay(display.c_str())) {
  if (!display_) throw std::runtime_error("cannot open display " + display);
}

XLook::~XLook() {
  XCloseDisplay(display_);
}

std::vector<TopWindow> XLook::Windows() {
  std::vector<TopWindow> out;
  Window root = DefaultRootWindow(display_), parent = 0, *children = nullptr;
  unsigned count = 0;
  // Windows may vanish between the listing and the questions: ignore the errors that causes.
  auto* old = XSetErrorHandler([](Display*, XErrorEvent*) { return 0; });
  if (XQueryTree(display_, root, &root, &parent, &children, &count)) {
    const Atom pid_atom = XInternAtom(display_, "_NET_WM_PID", False);
    for (unsigned i = 0; i < count; ++i) {
      TopWindow w;
      w.id = children[i];
      XWindowAttributes a{};
      if (!XGetWindowAttributes(display_, children[i], &a)) continue;
      w.x = a.x;
      w.y = a.y;
      w.width = a.width;
      w.height = a.height;
      w.viewable = a.map_state == IsViewable;
      w.shows = w.viewable && ShowsAPixel(children[i], a.width, a.height);
      char* name = nullptr;
      if (XFetchName(display_, children[i], &name) && name) {
        w.name = name;
        XFree(name);
      }
      Atom type = 0;
      int format = 0;
      unsigned long n = 0, after = 0;
      unsigned char* data = nullptr;
      if (XGetWindowProperty(display_, children[i], pid_atom, 0, 1, False, XA_CARDINAL, &type,
                             &format, &n, &after, &data) == Success &&
          data) {
        if (n == 1 && format == 32) w.pid = static_cast<pid_t>(*reinterpret_cast<long*>(data));
        XFree(data);
      }
      out.push_back(w);
    }
    if (children) XFree(children);
  }
  XSync(display_, False);
  XSetErrorHandler(old);
  return out;
}

bool XLook::ShowsAPixel(unsigned long window, int width, int height) {
  // An unshaped window's extents are its own bounds.
  const Box b = ShapeExtents(window);
  return b.w > 0 && b.h > 0 && b.x < width && b.y < height && b.x + b.w > 0 && b.y + b.h > 0;
}

std::optional<TopWindow> XLook::Find(const std::string& name, pid_t pid) {
  for (const TopWindow& w : Windows())
    if (w.viewable && w.name == name && (pid == 0 || w.pid == pid)) return w;
  return std::nullopt;
}

std::optional<TopWindow> XLook::WaitFor(const std::string& name, std::chrono::milliseconds timeout,
                                        pid_t pid) {
  std::optional<TopWindow> found;
  x11test::WaitUntil([&] { return (found = Find(name, pid)).has_value(); }, timeout);
  return found;
}

bool XLook::WaitGone(const std::string& name, std::chrono::milliseconds timeout) {
  return x11test::WaitUntil([&] { return !Find(name).has_value(); }, timeout);
}

int XLook::ShapeRectangles(unsigned long window) {
  int count = 0, ordering = 0;
  XRectangle* rects = XShapeGetRectangles(display_, window, ShapeBounding, &count, &ordering);
  if (rects) XFree(rects);
  return count;
}

Box XLook::ShapeExtents(unsigned long window) {
  Bool bounding = False, clip = False;
  int x = 0, y = 0, cx = 0, cy = 0;
  unsigned w = 0, h = 0, cw = 0, ch = 0;
  XShapeQueryExtents(display_, window, &bounding, &x, &y, &w, &h, &clip, &cx, &cy, &cw, &ch);
  return {x, y, static_cast<int>(w), static_cast<int>(h)};
}

XLook::PointerImage XLook::Pointer() {
  PointerImage out;
  XFixesCursorImage* image = XFixesGetCursorImage(display_);
  if (!image) return out;
  out.width = image->width;
  out.height = image->height;
  out.xhot = image->xhot;
  out.yhot = image->yhot;
  if (image->name) out.name = image->name;
  out.pixels.assign(image->pixels, image->pixels + image->width * image->height);
  XFree(image);
  return out;
}

XLook::PointerImage XLook::StandardArrow(int x, int y) {
  XSetWindowAttributes attributes{};
  attributes.override_redirect = True;
  const Window window =
      XCreateWindow(display_, DefaultRootWindow(display_), x, y, 40, 40, 0, CopyFromParent,
                    InputOutput, CopyFromParent, CWOverrideRedirect, &attributes);
  const Cursor arrow = XCreateFontCursor(display_, XC_left_ptr);
  XDefineCursor(display_, window, arrow);
  XMapRaised(display_, window);
  XWarpPointer(display_, None, window, 0, 0, 0, 0, 20, 20);
  XSync(display_, False);
  const PointerImage image = Pointer();
  XDestroyWindow(display_, window);
  XFreeCursor(display_, arrow);
  XSync(display_, False);
  return image;
}

int XLook::ScreenWidth() {
  return DisplayWidth(display_, DefaultScreen(display_));
}

// ---------------------------------------------------------------------------------------------

Pelmira::Pelmira(const x11test::Xvfb& x) : x_(x) {
  for (const char* sub : {"home", "run", "tmp", "bin"}) fs::create_directories(root_ + "/" + sub);
  chmod((root_ + "/run").c_str(), 0700);
  temp_ = root_ + "/tmp/";
  // Start-up opens the home page once in a hundred starts; a browser that "starts" at once
  // keeps that from putting an error box in the tests' way.
  const std::string opener = test::WriteWholeFile(root_ + "/bin/xdg-open", "#!/bin/sh\nexit 0\n");
  chmod(opener.c_str(), 0755);
}

Pelmira::~Pelmira() {
  children_.StopAll([](pid_t pid) { kill(pid, SIGTERM); }, 3s);
}

std::string Pelmira::ProgramPath() {
  return PEL_PROGRAM;
}

pid_t Pelmira::Start(std::vector<std::string> args, const std::vector<std::string>& unset,
                     const std::vector<std::string>& set) {
  std::vector<std::string> env;
  auto keep = [](const std::string& entry) {
    for (const char* name : {"DISPLAY=", "HOME=", "XDG_RUNTIME_DIR=", "TMPDIR=", "TEMP=", "TMP=",
                             "PATH=", "QT_QPA_PLATFORM=", "WAYLAND_DISPLAY=", "XDG_CONFIG_HOME=",
                             "XDG_CACHE_HOME=", "XDG_STATE_HOME=", "XDG_SESSION_TYPE="})
      if (entry.rfind(name, 0) == 0) return false;
    return true;
  };
  for (char** e = environ; *e; ++e)
    if (keep(*e)) env.emplace_back(*e);
  const char* path = std::getenv("PATH");
  env.push_back("DISPLAY=" + x_.Display());
  env.push_back("HOME=" + root_ + "/home");
  env.push_back("XDG_RUNTIME_DIR=" + root_ + "/run");
  env.push_back("XDG_CONFIG_HOME=" + root_ + "/home/.config");
  env.push_back("XDG_CACHE_HOME=" + root_ + "/home/.cache");
  env.push_back("TMPDIR=" + root_ + "/tmp");
  env.push_back("TEMP=" + root_ + "/tmp");
  env.push_back("PATH=" + root_ + "/bin:" + (path ? path : "/usr/bin:/bin"));
  for (const std::string& name : unset)
    std::erase_if(env, [&](const std::string& e) { return e.rfind(name + "=", 0) == 0; });
  for (const std::string& entry : set) {
    const std::string name = entry.substr(0, entry.find('=') + 1);
    std::erase_if(env, [&](const std::string& e) { return e.rfind(name, 0) == 0; });
    env.push_back(entry);
  }

  std::vector<std::string> argv_s = {ProgramPath()};
  argv_s.insert(argv_s.end(), args.begin(), args.end());
  return children_.Spawn(argv_s, env,
                         root_ + "/pelmira-" + std::to_string(children_.Count()) + ".log");
}

pid_t Children::Spawn(std::vector<std::string> argv_s, std::vector<std::string> env,
                      const std::string& log) {
  std::vector<char*> argv, envp;
  for (auto& a : argv_s) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  pid_t pid = -1;
  const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(),
                             env.empty() ? environ : envp.data());
  posix_spawn_file_actions_destroy(&actions);
  if (rc != 0) throw std::runtime_error("cannot start " + argv_s[0]);
  pids_.push_back(pid);
  return pid;
}

bool Children::Running(pid_t pid, int* status) {
  auto ended = exits_.find(pid);
  if (ended == exits_.end()) {
    int st = 0;
    if (waitpid(pid, &st, WNOHANG) == 0) return true;
    ended = exits_.emplace(pid, WIFEXITED(st) ? WEXITSTATUS(st) : -1).first;
  }
  if (status) *status = ended->second;
  return false;
}

std::optional<int> Children::WaitExit(pid_t pid, std::chrono::milliseconds timeout) {
  int status = -1;
  if (!x11test::WaitUntil([&] { return !Running(pid, &status); }, timeout)) return std::nullopt;
  return status;
}

void Children::Kill(pid_t pid) {
  if (!Running(pid)) return;
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
  exits_[pid] = -1;
}

std::string Pelmira::Output() const {
  std::string out;
  for (size_t i = 0; i < children_.Count(); ++i)
    out += ReadWholeFile(root_ + "/pelmira-" + std::to_string(i) + ".log");
  return out;
}

bool Pelmira::Xdo(const std::string& args) const {
  return x_.Run("xdotool " + args) == 0;
}

bool Pelmira::ClickInMainWindow(const TopWindow& main, int x, int y, int w, int h) const {
  return Xdo("mousemove --sync " + std::to_string(main.x + x + w / 2) + " " +
             std::to_string(main.y + y + h / 2) + " click 1");
}

bool Pelmira::TypeIntoDialog(const TopWindow& dialog, const std::string& text) const {
  return Xdo("windowfocus --sync " + std::to_string(dialog.id)) &&
         Xdo("type --delay 2 '" + text + "'") && Xdo("key Return");
}

}  // namespace pel::e2e
