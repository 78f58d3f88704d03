#include "platform/x11/x11_windows_on_screen.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <fstream>

#include "platform/x11/x11_error_trap.h"

namespace pel {

struct X11WindowsOnScreen::Atoms {
  Atom wm_state, net_wm_name, utf8_string, client_list, client_list_stacking, supporting_wm_check,
      window_type, window_type_desktop, wm_pid;
};

namespace {

// How deep a window manager's frame may nest its client, and how many windows of a frame are
// searched for it (a round trip each): frames are shallow, while the widgets of a program
// without a window manager around it can be many, and neither may stall a tick.
constexpr int kFrameDepth = 3;
constexpr size_t kFrameWindows = 64;

// The file name of process `pid`'s executable (/proc/PID/exe), else the name the system keeps for
// it (/proc/PID/comm: at most 15 bytes); empty when neither can be read.
std::string ExecutableName(unsigned long pid) {
  const std::string proc = "/proc/" + std::to_string(pid);
  std::string path(4096, '\0');
  const ssize_t n = readlink((proc + "/exe").c_str(), path.data(), path.size());
  if (n > 0 && static_cast<size_t>(n) < path.size()) {
    path.resize(static_cast<size_t>(n));
    // An executable replaced since the process started (an update) is still the same program.
    constexpr std::string_view kDeleted = " (deleted)";
    if (path.ends_with(kDeleted)) path.resize(path.size() - kDeleted.size());
    return path.substr(path.find_last_of('/') + 1);
  }
  std::ifstream comm(proc + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

// True when the host name `machine` names this machine (either may carry its domain).
bool ThisMachine(std::string_view machine) {
  char host[256] = "";
  if (machine.empty() || gethostname(host, sizeof host - 1) != 0) return false;
  const std::string_view here(host);
  auto bare = [](std::string_view name) { return name.substr(0, name.find('.')); };
  return machine == here || bare(machine) == bare(here);
}

std::string Latin1ToUtf8(const unsigned char* bytes, size_t n) {
  std::string out;
  for (size_t i = 0; i < n; ++i) {
    const unsigned char c = bytes[i];
    if (c < 0x80) {
      out.push_back(static_cast<char>(c));
    } else {
      out.push_back(static_cast<char>(0xC0 | (c >> 6)));
      out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
    }
  }
  return out;
}

// The 32-bit items (atoms, windows) of property `property` of type `type`, at most `max`;
// empty when it is missing or of another type.
std::vector<unsigned long> Items(Display* display, Window window, Atom property, Atom type,
                                 long max) {
  Atom actual = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  std::vector<unsigned long> items;
  if (XGetWindowProperty(display, window, property, 0, max, False, type, &actual, &format, &count,
                         &after, &data) == Success &&
      data && actual == type && format == 32) {
    // Xlib hands 32-bit items as longs.
    const auto* first = reinterpret_cast<const unsigned long*>(data);
    items.assign(first, first + count);
  }
  if (data) XFree(data);
  return items;
}

}  // namespace

std::unique_ptr<X11WindowsOnScreen> X11WindowsOnScreen::Open(const char* display_name,
                                                             std::string& error) {
  Display* display = XOpenDisplay(display_name);
  if (!display) {
    error = "XOpenDisplay failed";
    return nullptr;
  }
  return std::unique_ptr<X11WindowsOnScreen>(new X11WindowsOnScreen(display));
}

X11WindowsOnScreen::X11WindowsOnScreen(Display* display)
    : display_(display), root_(DefaultRootWindow(display)), atoms_(new Atoms) {
  const char* names[] = {"WM_STATE",
                         "_NET_WM_NAME",
                         "UTF8_STRING",
                         "_NET_CLIENT_LIST",
                         "_NET_CLIENT_LIST_STACKING",
                         "_NET_SUPPORTING_WM_CHECK",
                         "_NET_WM_WINDOW_TYPE",
                         "_NET_WM_WINDOW_TYPE_DESKTOP",
                         "_NET_WM_PID"};
  Atom atoms[std::size(names)] = {};
  XInternAtoms(display_, const_cast<char**>(names), std::size(names), False, atoms);
  *atoms_ = {atoms[0], atoms[1], atoms[2], atoms[3], atoms[4],
             atoms[5], atoms[6], atoms[7], atoms[8]};
  // Windows of the root come and go, and the window manager's list changes: both are changes.
  XSelectInput(display_, root_, SubstructureNotifyMask | PropertyChangeMask);
  XFlush(display_);
}

X11WindowsOnScreen::~X11WindowsOnScreen() {
  XCloseDisplay(display_);
}

int X11WindowsOnScreen::ConnectionFd() const {
  return ConnectionNumber(display_);
}

std::string X11WindowsOnScreen::Property(Window window, Atom property, Atom& type) {
  type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  // Up to 64 KiB: no title is longer, and a hostile one must not cost more.
  if (XGetWindowProperty(display_, window, property, 0, 16384, False, AnyPropertyType, &type,
                         &format, &count, &after, &data) != Success)
    return {};
  std::string bytes;
  if (data && format == 8) bytes.assign(reinterpret_cast<char*>(data), count);
  if (data) XFree(data);
  return bytes;
}

bool X11WindowsOnScreen::HasWmState(Window window) {
  Atom type = None;
  int format = 0;
  unsigned long count = 0, after = 0;
  unsigned char* data = nullptr;
  const bool ok =
      XGetWindowProperty(display_, window, atoms_->wm_state, 0, 0, False, AnyPropertyType, &type,
                         &format, &count, &after, &data) == Success;
  if (data) XFree(data);
  return ok && type != None;
}

Window X11WindowsOnScreen::ClientOf(Window top, const Point* at) {
  if (HasWmState(top)) return top;
  // Down the windows under the point first: the client a click there reaches.
  for (Window w = top; at;) {
    Window child = None;
    int x = 0, y = 0;
    if (!XTranslateCoordinates(display_, root_, w, at->x, at->y, &x, &y, &child) || child == None)
      break;
    if (HasWmState(child)) return child;
    w = child;
  }
  // The point lies on the frame (its title bar, say): the client is elsewhere in the frame.
  std::vector<Window> level{top};
  size_t searched = 0;
  for (int depth = 0; depth < kFrameDepth && !level.empty(); ++depth) {
    std::vector<Window> next;
    for (Window w : level) {
      Window root = None, parent = None, *children = nullptr;
      unsigned int n = 0;
      if (!XQueryTree(display_, w, &root, &parent, &children, &n)) continue;
      std::vector<Window> found(children, children + n);
      if (children) XFree(children);
      for (Window c : found) {
        if (++searched > kFrameWindows) return top;
        if (HasWmState(c)) return c;
        next.push_back(c);
      }
    }
    level = std::move(next);
  }
  return top;  // no window manager: the root's child is the client
}

std::optional<TopWindow> X11WindowsOnScreen::Describe(Window window, bool popup) {
  XWindowAttributes attributes;
  Window child = None;
  int x = 0, y = 0;
  if (!XGetWindowAttributes(display_, window, &attributes) || attributes.map_state != IsViewable ||
      !XTranslateCoordinates(display_, window, root_, 0, 0, &x, &y, &child))
    return std::nullopt;
  const std::vector<unsigned long> types =
      Items(display_, window, atoms_->window_type, XA_ATOM, 64);
  if (std::find(types.begin(), types.end(), atoms_->window_type_desktop) != types.end())
    return std::nullopt;
  TopWindow w;
  w.id = window;
  w.left = x;
  w.top = y;
  w.width = attributes.width;
  w.height = attributes.height;
  w.popup = popup;
  auto utf8 = [](const char* latin1) {
    return Latin1ToUtf8(reinterpret_cast<const unsigned char*>(latin1), std::strlen(latin1));
  };
  std::string instance;
  XClassHint hint{};
  if (XGetClassHint(display_, window, &hint)) {
    const char* cls = hint.res_class && *hint.res_class ? hint.res_class : hint.res_name;
    if (cls) w.class_name = utf8(cls);
    if (hint.res_name) instance = utf8(hint.res_name);
    if (hint.res_name) XFree(hint.res_name);
    if (hint.res_class) XFree(hint.res_class);
  }
  Atom type = None;
  // The process id is this machine's only when the client runs here (WM_CLIENT_MACHINE).
  const std::vector<unsigned long> pid = Items(display_, window, atoms_->wm_pid, XA_CARDINAL, 1);
  if (!pid.empty() && pid[0] != 0 && ThisMachine(Property(window, XA_WM_CLIENT_MACHINE, type)))
    w.program = ExecutableName(pid[0]);
  if (w.program.empty()) w.program = std::move(instance);
  w.title = Property(window, atoms_->net_wm_name, type);
  if (type != atoms_->utf8_string) {
    const std::string name = Property(window, XA_WM_NAME, type);
    if (type == XA_STRING) {
      w.title = Latin1ToUtf8(reinterpret_cast<const unsigned char*>(name.data()), name.size());
    } else if (type == atoms_->utf8_string) {
      w.title = name;
    } else {
      // COMPOUND_TEXT and the like: Xlib's own conversion, else the bytes as they are.
      w.title = name;
      XTextProperty text{reinterpret_cast<unsigned char*>(w.title.data()), type, 8,
                         static_cast<unsigned long>(w.title.size())};
      char** list = nullptr;
      int n = 0;
      if (!name.empty() && Xutf8TextPropertyToTextList(display_, &text, &list, &n) == Success &&
          n > 0 && list) {
        w.title = list[0];
      }
      if (list) XFreeStringList(list);
    }
  }
  return w;
}

std::optional<TopWindow> X11WindowsOnScreen::WindowAt(Point at) {
  XErrorTrap trap(display_);
  Window top = None;
  int x = 0, y = 0;
  XWindowAttributes attributes;
  if (!XTranslateCoordinates(display_, root_, root_, at.x, at.y, &x, &y, &top) || top == None ||
      !XGetWindowAttributes(display_, top, &attributes))
    return std::nullopt;
  if (attributes.override_redirect) return Describe(top, true);
  return Describe(ClientOf(top, &at), false);
}

std::optional<TopWindow> X11WindowsOnScreen::Find(uint64_t id) {
  XErrorTrap trap(display_);
  return Describe(static_cast<Window>(id), false);
}

std::optional<std::vector<Window>> X11WindowsOnScreen::ManagedClients() {
  // A window manager that has gone may leave its lists behind: trust them only while the
  // window it names as its own still names itself (as window managers are asked to keep it).
  auto check_of = [&](Window w) {
    const std::vector<unsigned long> ids =
        Items(display_, w, atoms_->supporting_wm_check, XA_WINDOW, 1);
    return ids.empty() ? Window{None} : Window{ids[0]};
  };
  const Window check = check_of(root_);
  if (check == None || check_of(check) != check) return std::nullopt;
  std::vector<unsigned long> clients =
      Items(display_, root_, atoms_->client_list_stacking, XA_WINDOW, 65536);
  if (!clients.empty()) {
    // The stacking list runs from the bottom up.
    std::reverse(clients.begin(), clients.end());
    return clients;
  }
  return Items(display_, root_, atoms_->client_list, XA_WINDOW, 65536);
}

std::vector<TopWindow> X11WindowsOnScreen::List() {
  std::vector<TopWindow> out;
  XErrorTrap trap(display_);
  std::optional<std::vector<Window>> clients = ManagedClients();
  if (!clients) {
    clients.emplace();
    Window root = None, parent = None, *children = nullptr;
    unsigned int n = 0;
    if (XQueryTree(display_, root_, &root, &parent, &children, &n)) {
      // Bottom to top; the topmost first here.
      for (unsigned int i = n; i-- > 0;) {
        XWindowAttributes a;
        if (XGetWindowAttributes(display_, children[i], &a) && a.map_state == IsViewable &&
            !a.override_redirect && a.c_class == InputOutput)
          clients->push_back(ClientOf(children[i], nullptr));
      }
      if (children) XFree(children);
    }
  }
  for (Window client : *clients) {
    // Renamed or iconified (WM_STATE) later: a change that a waiting playback looks at.
    XSelectInput(display_, client, PropertyChangeMask);
    if (std::optional<TopWindow> w = Describe(client, false)) out.push_back(std::move(*w));
  }
  // Errors of the event selections on windows gone meanwhile arrive inside the trap.
  XSync(display_, False);
  return out;
}

uint64_t X11WindowsOnScreen::Generation() {
  // Reads what has arrived without waiting.
  while (XEventsQueued(display_, QueuedAfterReading) > 0) {
    XEvent event;
    XNextEvent(display_, &event);
    switch (event.type) {
      case MapNotify:
      case UnmapNotify:
      case DestroyNotify:
      case ReparentNotify:
        ++generation_;
        break;
      case PropertyNotify: {
        const Atom a = event.xproperty.atom;
        if (event.xproperty.window == root_
                ? a == atoms_->client_list || a == atoms_->client_list_stacking
                : a == XA_WM_NAME || a == atoms_->net_wm_name || a == XA_WM_CLASS ||
                      a == atoms_->wm_state)
          ++generation_;
        break;
      }
      default:
        break;
    }
  }
  return generation_;
}

bool X11WindowsOnScreen::TakeChanges() {
  const uint64_t now = Generation();
  const bool changed = now != reported_;
  reported_ = now;
  return changed;
}

}  // namespace pel
