#pragma once
// The real pelmira program on a private X server, driven and watched only from outside: keys and
// clicks through xdotool, windows through X queries, results as files on disk.

#include <sys/types.h>

#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/layout.h"
#include "testkit/real_disk.h"
#include "testkit/xvfb_fixture.h"

struct _XDisplay;

namespace pel::e2e {

using namespace std::chrono_literals;

// A control's place in the main window's client area, in pixels (the test screens are 96 dpi).
struct Box {
  int x, y, w, h;
};
inline Box ControlBox(ControlId id) {
  const layout::ControlLayout& c = layout::Control(id);
  auto px = [](int twips) { return layout::TwipsToPixels(twips, 96); };
  Box b{px(c.left), px(c.top), px(c.width), px(c.height)};
  if (c.container) {
    const layout::ControlLayout& f = layout::Control(*c.container);
    b.x += px(f.left);
    b.y += px(f.top);
  }
  return b;
}

// One top-level window as X reports it.
struct TopWindow {
  unsigned long id = 0;
  std::string name;
  pid_t pid = 0;  // _NET_WM_PID, 0 when unset
  int x = 0, y = 0, width = 0, height = 0;
  bool viewable = false;  // mapped, and its ancestors too
  bool shows = false;     // viewable and not cut to nothing by its shape
};

// A connection to the test's X server for looking at windows.
class XLook {
 public:
  explicit XLook(const std::string& display);
  ~XLook();
  XLook(const XLook&) = delete;
  XLook& operator=(const XLook&) = delete;

  std::vector<TopWindow> Windows();
  // The first viewable top-level window named `name` (and owned by `pid` when nonzero).
  std::optional<TopWindow> Find(const std::string& name, pid_t pid = 0);
  // Waits until such a window is viewable (WaitGone waits for it to go).
  std::optional<TopWindow> WaitFor(const std::string& name, std::chrono::milliseconds timeout = 10s,
                                   pid_t pid = 0);
  bool WaitGone(const std::string& name, std::chrono::milliseconds timeout = 10s);
  // Whether the window's bounding shape leaves any of its `width` x `height` pixels.
  bool ShowsAPixel(unsigned long window, int width, int height);
  // Rectangles of the window's bounding shape (one rectangle: the window is not shaped).
  int ShapeRectangles(unsigned long window);
  // The bounding box of the window's shape, in window pixels.
  Box ShapeExtents(unsigned long window);
  // The pointer image the server shows now (XFixes): its size, hotspot, name ("left_ptr" for
  // a theme's arrow; empty for an image a program made or one of the core cursor font) and
  // pixels.
  struct PointerImage {
    int width = 0, height = 0, xhot = 0, yhot = 0;
    std::string name;
    std::vector<unsigned long> pixels;
    friend bool operator==(const PointerImage&, const PointerImage&) = default;
  };
  PointerImage Pointer();
  // The standard arrow as any client asking for it gets it here: the cursor theme's when one is
  // installed, the core cursor font's otherwise. Seen over a window of our own put up for a
  // moment at (x, y); the pointer is left there.
  PointerImage StandardArrow(int x, int y);
  // Width of the screen in pixels.
  int ScreenWidth();

 private:
  _XDisplay* display_;
};

// The processes a fixture started, and only those: whether each still runs, and how it ended.
class Children {
 public:
  // Starts argv[0] (a path) with `env` (this process's environment when empty), stdout and
  // stderr to the file `log`; its process id. Throws std::runtime_error when it cannot start.
  pid_t Spawn(std::vector<std::string> argv, std::vector<std::string> env, const std::string& log);
  // True while `pid` has not ended; `status` receives its exit status (-1: not a normal exit).
  bool Running(pid_t pid, int* status = nullptr);
  // Waits until `pid` ends; its exit status, or nullopt on timeout.
  std::optional<int> WaitExit(pid_t pid, std::chrono::milliseconds timeout);
  // Ends `pid` at once.
  void Kill(pid_t pid);
  // Asks each one still running to end with `ask`, and kills those that have not after `grace`.
  // `ask` may start more children (they are not asked).
  template <class Ask>
  void StopAll(Ask ask, std::chrono::milliseconds grace) {
    for (size_t i = 0, n = pids_.size(); i < n; ++i) {
      const pid_t pid = pids_[i];
      if (!Running(pid)) continue;
      ask(pid);
      if (!WaitExit(pid, grace)) Kill(pid);
    }
  }
  // How many were started.
  size_t Count() const { return pids_.size(); }

 private:
  std::vector<pid_t> pids_;
  std::map<pid_t, int> exits_;
};

// Private folders and the program's process. Every folder the program could write lives under
// one temporary root that is removed at the end.
class Pelmira {
 public:
  explicit Pelmira(const x11test::Xvfb& x);
  ~Pelmira();
  Pelmira(const Pelmira&) = delete;
  Pelmira& operator=(const Pelmira&) = delete;

  // Starts one more instance with the private environment; returns its process id.
  // `unset` names variables of the private set (XDG_RUNTIME_DIR, TMPDIR...) left out; `set`
  // gives "NAME=value" entries that are added or replace theirs.
  pid_t Start(std::vector<std::string> args = {}, const std::vector<std::string>& unset = {},
              const std::vector<std::string>& set = {});
  // True while `pid` (one of ours) has not ended; `status` receives its exit status when it has.
  bool Running(pid_t pid, int* status = nullptr) { return children_.Running(pid, status); }
  // Waits until `pid` ends; its exit status, or nullopt on timeout.
  std::optional<int> WaitExit(pid_t pid, std::chrono::milliseconds timeout = 10s) {
    return children_.WaitExit(pid, timeout);
  }

  const std::string& Root() const { return root_; }
  const std::string& Temp() const { return temp_; }  // TEMP and TMPDIR, ending in '/'
  // What the instances wrote to stdout and stderr.
  std::string Output() const;

  // Runs xdotool with `args` on the test's display; true on success.
  bool Xdo(const std::string& args) const;
  // Clicks the middle of the control at client pixels (x, y, w, h) of the main window.
  bool ClickInMainWindow(const TopWindow& main, int x, int y, int w, int h) const;
  // Focuses the dialog window `dialog`, types `text` and presses Return.
  bool TypeIntoDialog(const TopWindow& dialog, const std::string& text) const;

  static std::string ProgramPath();

 private:
  const x11test::Xvfb& x_;
  test::TempFolder folder_{"e2e"};  // goes after the programs are stopped
  const std::string root_ = folder_.Path();
  std::string temp_;
  Children children_;
};

using test::ReadWholeFile;

}  // namespace pel::e2e
