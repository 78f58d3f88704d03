// The X11 windows backend against a private Xvfb: a window of our own found at a point and in
// the list with its class, title and area, alone and under openbox, which reparents every
// window into a frame of its own.

#include "platform/x11/x11_windows_on_screen.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <memory>
#include <string>

#include "testkit/xvfb_fixture.h"

namespace pel {
namespace {

using x11test::ClientWindow;
using x11test::ObserverWindow;
using x11test::WaitUntil;
using x11test::Xvfb;

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
  ClientWindow editor(xvfb_.Display(), 100, 80, 320, 240, "PelEditor", title);
  ASSERT_TRUE(WaitUntil([&] { return editor.Shown(false); }));
  const std::optional<TopWindow> at = windows_->WindowAt({150, 100});
  // Without _NET_WM_PID the program is the instance of WM_CLASS.
  EXPECT_EQ(at, (TopWindow{editor.Id(), "PelEditor", title, 100, 80, 320, 240, false, "peltest"}));
  EXPECT_FALSE(windows_->WindowAt({5, 5})) << "the root is no window";
  EXPECT_EQ(Listed(*windows_, editor.Id()), at);
  EXPECT_EQ(windows_->Find(editor.Id()), at);
  // With it, the executable of that process, but only when the client runs on this machine.
  const std::string set = "xprop -id " + std::to_string(editor.Id()) + " -f ";
  ASSERT_EQ(xvfb_.Run(set + "_NET_WM_PID 32c -set _NET_WM_PID " + std::to_string(getpid())), 0);
  char host[256] = "";
  gethostname(host, sizeof host - 1);
  for (const std::string& machine : {std::string("elsewhere.example"), std::string(host)}) {
    ASSERT_EQ(xvfb_.Run(set + "WM_CLIENT_MACHINE 8s -set WM_CLIENT_MACHINE " + machine), 0);
    EXPECT_EQ(windows_->Find(editor.Id())->program,
              machine == host ? "x11_windows_on_screen_test" : "peltest")
        << machine;
  }

  // A menu (override-redirect) is a pop-up, not in the list.
  ObserverWindow menu(xvfb_.Display(), 600, 600, 50, 50);
  const std::optional<TopWindow> popup = windows_->WindowAt({610, 610});
  ASSERT_TRUE(popup);
  EXPECT_TRUE(popup->popup);
  EXPECT_FALSE(Listed(*windows_, menu.Id()));

  // A window opened and a listed one renamed are changes; nothing else comes between.
  windows_->TakeChanges();
  ClientWindow viewer(xvfb_.Display(), 700, 100, 320, 240, "PelViewer", "photo");
  EXPECT_TRUE(WaitUntil([&] { return windows_->TakeChanges(); }));
  EXPECT_FALSE(windows_->TakeChanges());
  editor.NameInLatin1("caf\xe9");
  EXPECT_TRUE(WaitUntil([&] { return windows_->TakeChanges(); }));
  EXPECT_EQ(Listed(*windows_, editor.Id())->title, "caf\xc3\xa9");
}

TEST_F(X11WindowsTest, UnderAReparentingWindowManagerTheClientCountsNotItsFrame) {
  x11test::Openbox openbox(xvfb_);
  ASSERT_TRUE(openbox.Running()) << "openbox did not start (scripts/install-deps.sh installs it)";
  ClientWindow editor(xvfb_.Display(), 200, 150, 320, 240, "PelEditor", "notes");
  // Managed: in a frame of the window manager's, shown.
  ASSERT_TRUE(
      openbox.WaitUntil([&] { return editor.Shown(true) && Listed(*windows_, editor.Id()); }));
  TopWindow expected{editor.Id(), "PelEditor", "notes", 0, 0, 320, 240, false, "peltest"};
  editor.Origin(expected.left, expected.top);
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
