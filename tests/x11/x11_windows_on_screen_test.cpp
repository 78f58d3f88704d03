// The X11 windows backend against a private Xvfb: a window of our own found at a point and in
// the list with its class, title and area, alone and under openbox, which reparents every
// window into a frame of its own.

#include "platform/x11/x11_windows_on_screen.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <algorithm>
#include <memory>
#include <string>

#include "testkit/xvfb_fixture.h"

// Xlib last: its macros (None, Bool, Status) would break gtest's headers.
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

extern char** environ;

namespace pel {
namespace {

using x11test::ObserverWindow;
using x11test::WaitUntil;
using x11test::Xvfb;

// A window as a program makes one: WM_CLASS, a UTF-8 _NET_WM_NAME and a Latin-1 WM_NAME, asked
// for at a place of its own (USPosition), which a window manager may adjust.
class TestWindow {
 public:
  TestWindow(const std::string& display, int x, int y, const char* cls, const std::string& title)
      : display_(XOpenDisplay(display.c_str())) {
    window_ = XCreateSimpleWindow(display_, DefaultRootWindow(display_), x, y, 320, 240, 0, 0,
                                  WhitePixel(display_, DefaultScreen(display_)));
    XClassHint hint{const_cast<char*>("peltest"), const_cast<char*>(cls)};
    XSetClassHint(display_, window_, &hint);
    XSizeHints size{};
    size.flags = USPosition | USSize;
    size.x = x;
    size.y = y;
    size.width = 320;
    size.height = 240;
    XSetWMNormalHints(display_, window_, &size);
    Rename(title);
    XMapWindow(display_, window_);
    XSync(display_, False);
  }
  ~TestWindow() { XCloseDisplay(display_); }
  void Rename(const std::string& title) {
    XChangeProperty(display_, window_, XInternAtom(display_, "_NET_WM_NAME", False),
                    XInternAtom(display_, "UTF8_STRING", False), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(title.data()),
                    static_cast<int>(title.size()));
    XSync(display_, False);
  }
  // Only WM_NAME, in Latin-1, as older programs set it.
  void NameInLatin1(const char* name) {
    XDeleteProperty(display_, window_, XInternAtom(display_, "_NET_WM_NAME", False));
    XStoreName(display_, window_, name);
    XSync(display_, False);
  }
  unsigned long Id() const { return window_; }
  // Where the window stands now, in root coordinates; its parent is the frame, if any.
  TopWindow Area() const {
    TopWindow w;
    XWindowAttributes a;
    Window child = None;
    XGetWindowAttributes(display_, window_, &a);
    XTranslateCoordinates(display_, window_, a.root, 0, 0, &w.left, &w.top, &child);
    w.width = a.width;
    w.height = a.height;
    return w;
  }
  bool Viewable() const {
    XWindowAttributes a;
    return XGetWindowAttributes(display_, window_, &a) && a.map_state == IsViewable;
  }
  unsigned long Parent() const {
    Window root = None, parent = None, *children = nullptr;
    unsigned int n = 0;
    XQueryTree(display_, window_, &root, &parent, &children, &n);
    if (children) XFree(children);
    return parent == root ? 0 : parent;
  }

 private:
  Display* display_;
  Window window_;
};

bool SameArea(const TopWindow& a, const TopWindow& b) {
  return a.left == b.left && a.top == b.top && a.width == b.width && a.height == b.height;
}

std::optional<TopWindow> Listed(WindowsOnScreen& windows, unsigned long id) {
  for (const TopWindow& w : windows.List())
    if (w.id == id) return w;
  return std::nullopt;
}

class X11WindowsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    windows_ = X11WindowsOnScreen::Open(xvfb_.Display().c_str(), error);
    ASSERT_NE(windows_, nullptr) << error;
  }
  Xvfb xvfb_;
  std::unique_ptr<X11WindowsOnScreen> windows_;
};

TEST_F(X11WindowsTest, FindsAWindowAtAPointAndInTheListAndSeesItChange) {
  const std::string title =
      "Gr\xc3\xbc\xc3\x9f"
      "e, \"quoted\"";
  TestWindow editor(xvfb_.Display(), 100, 80, "PelEditor", title);
  ASSERT_TRUE(WaitUntil([&] { return editor.Viewable(); }));
  const std::optional<TopWindow> at = windows_->WindowAt({150, 100});
  ASSERT_TRUE(at);
  EXPECT_EQ(*at, (TopWindow{editor.Id(), "PelEditor", title, 100, 80, 320, 240, false}));
  EXPECT_FALSE(windows_->WindowAt({5, 5})) << "the root is no window";
  const std::optional<TopWindow> listed = Listed(*windows_, editor.Id());
  ASSERT_TRUE(listed);
  EXPECT_EQ(*listed, *at);

  // A menu (override-redirect) is a pop-up, not in the list.
  ObserverWindow menu(xvfb_.Display(), 600, 600, 50, 50);
  const std::optional<TopWindow> popup = windows_->WindowAt({610, 610});
  ASSERT_TRUE(popup);
  EXPECT_TRUE(popup->popup);
  EXPECT_FALSE(Listed(*windows_, menu.Id()));

  // A window opened and a listed one renamed are changes; nothing else comes between.
  windows_->TakeChanges();
  TestWindow viewer(xvfb_.Display(), 700, 100, "PelViewer", "photo");
  EXPECT_TRUE(WaitUntil([&] { return windows_->TakeChanges(); }));
  EXPECT_FALSE(windows_->TakeChanges());
  editor.NameInLatin1("caf\xe9");
  EXPECT_TRUE(WaitUntil([&] { return windows_->TakeChanges(); }));
  EXPECT_EQ(Listed(*windows_, editor.Id())->title, "caf\xc3\xa9");
}

// Starts openbox on the display and stops it (only it) at the end.
class Openbox {
 public:
  explicit Openbox(const std::string& display) {
    std::string env_display = "DISPLAY=" + display;
    std::vector<char*> env;
    for (char** e = environ; *e; ++e)
      if (std::string(*e).rfind("DISPLAY=", 0) != 0) env.push_back(*e);
    env.push_back(env_display.data());
    env.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    char* argv[] = {const_cast<char*>("openbox"), const_cast<char*>("--sm-disable"), nullptr};
    if (posix_spawnp(&pid_, "openbox", &actions, nullptr, argv, env.data()) != 0) pid_ = -1;
    posix_spawn_file_actions_destroy(&actions);
  }
  ~Openbox() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    waitpid(pid_, nullptr, 0);
  }
  bool Started() const { return pid_ > 0; }

 private:
  pid_t pid_ = -1;
};

TEST_F(X11WindowsTest, UnderAReparentingWindowManagerTheClientCountsNotItsFrame) {
  Openbox openbox(xvfb_.Display());
  ASSERT_TRUE(openbox.Started()) << "openbox is not installed (scripts/install-deps.sh)";
  ASSERT_TRUE(WaitUntil([&] {
    return xvfb_.Run("xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'") == 0;
  }));
  TestWindow editor(xvfb_.Display(), 200, 150, "PelEditor", "notes");
  // Managed: in a frame of the window manager's, shown. Openbox may leave events that arrived
  // while it started in its queue until more come: a client message now and then wakes it.
  int polls = 0;
  ASSERT_TRUE(WaitUntil([&] {
    if (++polls % 100 == 0) xvfb_.Run("xdotool set_desktop 0");
    return editor.Parent() != 0 && editor.Viewable();
  }));
  ASSERT_TRUE(WaitUntil([&] { return Listed(*windows_, editor.Id()).has_value(); }));
  const TopWindow area = editor.Area();
  const std::optional<TopWindow> listed = Listed(*windows_, editor.Id());
  EXPECT_TRUE(SameArea(*listed, area)) << listed->left << "," << listed->top;
  EXPECT_EQ(listed->class_name, "PelEditor");

  // Inside the client, and on the frame's title bar above it: the client either way.
  const Point inside{area.left + 10, area.top + 10};
  const Point title_bar{area.left + 10, area.top - 4};
  for (Point p : {inside, title_bar}) {
    const std::optional<TopWindow> at = windows_->WindowAt(p);
    ASSERT_TRUE(at) << p.x << "," << p.y;
    EXPECT_EQ(at->id, editor.Id()) << p.y << ": not the frame " << editor.Parent();
    EXPECT_TRUE(SameArea(*at, area));
    EXPECT_FALSE(at->popup);
  }
  // Iconified, it is unmapped and no longer open.
  ASSERT_EQ(xvfb_.Run("xdotool windowminimize " + std::to_string(editor.Id())), 0);
  EXPECT_TRUE(WaitUntil([&] { return windows_->TakeChanges(); }));
  EXPECT_TRUE(WaitUntil([&] { return !Listed(*windows_, editor.Id()).has_value(); }));
}

}  // namespace
}  // namespace pel
