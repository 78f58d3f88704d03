// The X11 windows backend against a private Xvfb: a window of our own found at a point and in
// the list with its class, title and area, alone and under openbox, which reparents every
// window into a frame of its own.

#include "platform/x11/x11_windows_on_screen.h"

#include <gtest/gtest.h>
#include <signal.h>

#include <cstdlib>
#include <memory>
#include <string>

#include "testkit/xvfb_fixture.h"

// Xlib last: its macros (None, Bool, Status) would break gtest's headers.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

namespace pel {
namespace {

using x11test::ObserverWindow;
using x11test::WaitUntil;
using x11test::Xvfb;

// A window as a program makes one: WM_CLASS and a UTF-8 _NET_WM_NAME, asked for at a place of
// its own (USPosition), which a window manager may adjust.
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
    XChangeProperty(display_, window_, XInternAtom(display_, "_NET_WM_NAME", False),
                    XInternAtom(display_, "UTF8_STRING", False), 8, PropModeReplace,
                    reinterpret_cast<const unsigned char*>(title.data()),
                    static_cast<int>(title.size()));
    XMapWindow(display_, window_);
    XSync(display_, False);
    expected_ = {window_, cls, title, 0, 0, 320, 240};
  }
  ~TestWindow() { XCloseDisplay(display_); }
  // Only WM_NAME, in Latin-1, as older programs set it.
  void NameInLatin1(const char* name) {
    XDeleteProperty(display_, window_, XInternAtom(display_, "_NET_WM_NAME", False));
    XStoreName(display_, window_, name);
    XSync(display_, False);
  }
  unsigned long Id() const { return window_; }
  // As the backend should describe it: where it stands now, in root coordinates.
  TopWindow Expected() const {
    TopWindow w = expected_;
    Window child = None;
    XTranslateCoordinates(display_, window_, DefaultRootWindow(display_), 0, 0, &w.left, &w.top,
                          &child);
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
  TopWindow expected_;
};

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
  EXPECT_EQ(at, (TopWindow{editor.Id(), "PelEditor", title, 100, 80, 320, 240}));
  EXPECT_FALSE(windows_->WindowAt({5, 5})) << "the root is no window";
  EXPECT_EQ(Listed(*windows_, editor.Id()), at);

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
  explicit Openbox(const Xvfb& xvfb)
      : pid_(std::atoi(xvfb.Output("openbox --sm-disable >/dev/null 2>&1 & echo $!").c_str())) {}
  ~Openbox() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    WaitUntil([&] { return kill(pid_, 0) != 0; }, std::chrono::seconds(2));
  }

 private:
  pid_t pid_;
};

TEST_F(X11WindowsTest, UnderAReparentingWindowManagerTheClientCountsNotItsFrame) {
  Openbox openbox(xvfb_);
  ASSERT_TRUE(WaitUntil([&] {
    return xvfb_.Run("xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id'") == 0;
  })) << "openbox did not start (scripts/install-deps.sh installs it)";
  TestWindow editor(xvfb_.Display(), 200, 150, "PelEditor", "notes");
  // Managed: in a frame of the window manager's, shown. Openbox may leave events that arrived
  // while it started in its queue until more come: a client message now and then wakes it.
  int polls = 0;
  ASSERT_TRUE(WaitUntil([&] {
    if (++polls % 100 == 0) xvfb_.Run("xdotool set_desktop 0");
    return editor.Parent() != 0 && editor.Viewable() && Listed(*windows_, editor.Id());
  }));
  const TopWindow expected = editor.Expected();
  EXPECT_EQ(Listed(*windows_, editor.Id()), expected);
  // Inside the client, and on the frame's title bar above it: the client either way.
  for (int y : {expected.top + 10, expected.top - 4})
    EXPECT_EQ(windows_->WindowAt({expected.left + 10, y}), expected)
        << y << ": not the frame " << editor.Parent();
  // Iconified, it is unmapped and no longer open.
  ASSERT_EQ(xvfb_.Run("xdotool windowminimize " + std::to_string(editor.Id())), 0);
  EXPECT_TRUE(WaitUntil([&] { return windows_->TakeChanges(); }));
  EXPECT_TRUE(WaitUntil([&] { return !Listed(*windows_, editor.Id()).has_value(); }));
}

}  // namespace
}  // namespace pel
