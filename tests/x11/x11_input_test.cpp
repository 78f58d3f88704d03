// The X11 input backend against a real (private) X server, driven by xdotool as a user would
// drive it and watched by a window of our own.

#include "platform/x11/x11_input.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "testkit/xvfb_fixture.h"

// Xlib last: its macros (None, Bool, Status) would break gtest's headers.
#include "platform/x11/x11_error_trap.h"

namespace pel {
namespace {

using x11test::ObserverWindow;
using x11test::WaitUntil;
using x11test::Xvfb;

class X11InputTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    input_ = X11Input::Open(xvfb_.Display().c_str(), error);
    ASSERT_NE(input_, nullptr) << error;
  }

  // Runs `command` (an xdotool action), then reads `vk` until it reads 0 again after having
  // read nonzero. Returns every reading: the server may take a while to act on another
  // client's requests, so the number of leading zeros varies, the rest does not.
  std::vector<int16_t> ReadAround(const std::string& command, int vk) {
    EXPECT_EQ(input_->KeyState(vk), 0) << "before " << command;
    EXPECT_EQ(xvfb_.Run(command), 0) << command;
    std::vector<int16_t> readings;
    bool seen = false;
    WaitUntil(
        [&] {
          readings.push_back(input_->KeyState(vk));
          seen = seen || readings.back() != 0;
          return seen && readings.back() == 0;
        },
        std::chrono::seconds(2));
    return readings;
  }

  Xvfb xvfb_;
  std::unique_ptr<X11Input> input_;
};

// How many readings carried the "pressed since the previous query" bit.
int Latched(const std::vector<int16_t>& readings) {
  int n = 0;
  for (int16_t r : readings) n += r & 1;
  return n;
}

TEST_F(X11InputTest, KeyTapBetweenQueriesReadsOnceThenZero) {
  // A tap's press and release reach the server together: a poll alone never sees the key down.
  for (int round = 0; round < 5; ++round) {
    auto readings = ReadAround("xdotool key F10", vk::kF10);
    EXPECT_EQ(Latched(readings), 1) << "round " << round;
    EXPECT_EQ(readings.back(), 0);
    EXPECT_EQ(input_->KeyState(vk::kF10), 0);
  }
  EXPECT_EQ(Latched(ReadAround("xdotool key Pause", vk::kPause)), 1);
  EXPECT_EQ(Latched(ReadAround("xdotool key F9", vk::kF9)), 1);
}

TEST_F(X11InputTest, HeldKeyReadsDownUntilReleased) {
  ASSERT_EQ(xvfb_.Run("xdotool keydown F12"), 0);
  ASSERT_TRUE(WaitUntil([&] { return input_->KeyState(vk::kF12) != 0; }));
  // Still down at every later query; the press bit is spent.
  for (int i = 0; i < 3; ++i) EXPECT_EQ(input_->KeyState(vk::kF12), int16_t(0x8000));
  EXPECT_EQ(input_->KeyState(vk::kF10), 0);  // other keys unaffected
  ASSERT_EQ(xvfb_.Run("xdotool keyup F12"), 0);
  EXPECT_TRUE(WaitUntil([&] { return input_->KeyState(vk::kF12) == 0; }));
}

TEST(X11InputHeldAtOpen, KeyHeldBeforeOpenReadsDownUntilReleased) {
  // Key state follows raw events, which say nothing of a key already down: the keymap must.
  Xvfb xvfb;
  ASSERT_EQ(xvfb.Run("xdotool keydown F9"), 0);
  std::string error;
  auto input = X11Input::Open(xvfb.Display().c_str(), error);
  ASSERT_NE(input, nullptr) << error;
  EXPECT_EQ(input->KeyState(vk::kF9), int16_t(0x8000));
  EXPECT_EQ(input->KeyState(vk::kF10), 0);
  ASSERT_EQ(xvfb.Run("xdotool keyup F9"), 0);
  EXPECT_TRUE(WaitUntil([&] { return input->KeyState(vk::kF9) == 0; }));
  // Pressed again and released between two queries: latched once, not down.
  ASSERT_EQ(xvfb.Run("xdotool key F9"), 0);
  int16_t first = 0;
  EXPECT_TRUE(WaitUntil([&] { return (first = input->KeyState(vk::kF9)) != 0; }));
  EXPECT_EQ(first & 1, 1);
  EXPECT_TRUE(WaitUntil([&] { return input->KeyState(vk::kF9) == 0; }));
}

TEST_F(X11InputTest, ClicksAreCaughtAndMappedToTheirButtons) {
  // `xdotool click` presses and releases within the same millisecond.
  for (int round = 0; round < 5; ++round) {
    auto readings = ReadAround("xdotool click 1", vk::kLButton);
    EXPECT_EQ(Latched(readings), 1) << "round " << round;
  }
  EXPECT_EQ(Latched(ReadAround("xdotool click 3", vk::kRButton)), 1);
  EXPECT_EQ(input_->KeyState(vk::kLButton), 0);
  EXPECT_EQ(input_->KeyState(vk::kMButton), 0);
  EXPECT_EQ(Latched(ReadAround("xdotool click 2", vk::kMButton)), 1);
  EXPECT_EQ(input_->KeyState(vk::kLButton), 0);
  EXPECT_EQ(input_->KeyState(vk::kRButton), 0);
}

TEST_F(X11InputTest, HeldButtonReadsDown) {
  ASSERT_EQ(xvfb_.Run("xdotool mousedown 3"), 0);
  ASSERT_TRUE(WaitUntil([&] { return input_->KeyState(vk::kRButton) != 0; }));
  EXPECT_EQ(input_->KeyState(vk::kRButton), int16_t(0x8000));
  ASSERT_EQ(xvfb_.Run("xdotool mouseup 3"), 0);
  EXPECT_TRUE(WaitUntil([&] { return input_->KeyState(vk::kRButton) == 0; }));
}

TEST_F(X11InputTest, ButtonsArePhysicalUnderALeftHandedMapping) {
  // Swap logical buttons 1 and 3, as a left-handed setting does. The physical left button must
  // read as VK_LBUTTON whether it is held or only clicked, and XTest's button 1 is that button.
  Display* display = XOpenDisplay(xvfb_.Display().c_str());
  ASSERT_NE(display, nullptr);
  unsigned char map[32];
  const int buttons = XGetPointerMapping(display, map, sizeof map);
  ASSERT_GE(buttons, 3);
  std::swap(map[0], map[2]);
  ASSERT_EQ(XSetPointerMapping(display, map, buttons), MappingSuccess);
  XCloseDisplay(display);

  ASSERT_EQ(xvfb_.Run("xdotool mousedown 1"), 0);
  ASSERT_TRUE(WaitUntil([&] { return input_->KeyState(vk::kLButton) != 0; }));
  EXPECT_EQ(input_->KeyState(vk::kLButton), int16_t(0x8000));
  EXPECT_EQ(input_->KeyState(vk::kRButton), 0);
  ASSERT_EQ(xvfb_.Run("xdotool mouseup 1"), 0);
  ASSERT_TRUE(WaitUntil([&] { return input_->KeyState(vk::kLButton) == 0; }));

  EXPECT_EQ(Latched(ReadAround("xdotool click 1", vk::kLButton)), 1);
  EXPECT_EQ(input_->KeyState(vk::kRButton), 0);
}

TEST_F(X11InputTest, UnknownCodesReadZero) {
  ASSERT_EQ(xvfb_.Run("xdotool keydown a mousedown 1"), 0);
  ASSERT_TRUE(WaitUntil([&] { return input_->KeyState(vk::kLButton) != 0; }));
  EXPECT_EQ(input_->KeyState('A'), 0);
  EXPECT_EQ(input_->KeyState(0), 0);
  EXPECT_EQ(input_->KeyState(0x05), 0);  // VK_XBUTTON1: not polled by the engine
  EXPECT_EQ(input_->KeyState(-1), 0);
  xvfb_.Run("xdotool keyup a mouseup 1");
}

TEST_F(X11InputTest, CursorPositionFollowsWarps) {
  // xdotool warps the pointer, which makes no raw motion event.
  ASSERT_EQ(xvfb_.Run("xdotool mousemove 100 200"), 0);
  Point pos;
  EXPECT_TRUE(WaitUntil([&] { return input_->CursorPos(pos) && pos == Point{100, 200}; }));
  ASSERT_EQ(xvfb_.Run("xdotool mousemove 0 0"), 0);
  EXPECT_TRUE(WaitUntil([&] { return input_->CursorPos(pos) && pos == Point{0, 0}; }));
}

TEST(X11InputTwoScreens, PointerOnTheOtherScreenIsUnknownNotItsCoordinates) {
  Xvfb xvfb({"-screen", "1", "640x480x24"});
  std::string error;
  auto input = X11Input::Open(xvfb.Display().c_str(), error);  // screen 0
  ASSERT_NE(input, nullptr) << error;
  ASSERT_EQ(xvfb.Run("xdotool mousemove --screen 0 100 200"), 0);
  Point pos;
  ASSERT_TRUE(WaitUntil([&] { return input->CursorPos(pos) && pos == Point{100, 200}; }));
  ASSERT_EQ(xvfb.Run("xdotool mousemove --screen 1 30 40"), 0);
  EXPECT_TRUE(WaitUntil([&] { return !input->CursorPos(pos); }));
  EXPECT_EQ(pos, (Point{100, 200}));  // left as it was
  ASSERT_EQ(xvfb.Run("xdotool mousemove --screen 0 5 6"), 0);
  EXPECT_TRUE(WaitUntil([&] { return input->CursorPos(pos) && pos == Point{5, 6}; }));
}

TEST_F(X11InputTest, SetCursorPosMovesThePointerForEveryone) {
  int x = -1, y = -1;
  ASSERT_TRUE(input_->SetCursorPos({321, 123}));
  // SetCursorPos returns after the server has acted, so another client sees it at once.
  ASSERT_TRUE(x11test::QueryPointer(xvfb_.Display(), x, y));
  EXPECT_EQ(x, 321);
  EXPECT_EQ(y, 123);
  Point pos;
  EXPECT_TRUE(input_->CursorPos(pos));
  EXPECT_EQ(pos, (Point{321, 123}));

  // Off-screen targets land on the nearest edge of the 1280x1024 screen, also those beyond the
  // 16 bits of the protocol's coordinates (66036 would wrap to 500).
  const struct {
    Point target, landed;
  } cases[] = {{{-50, 5000}, {0, 1023}},
               {{66036, 10}, {1279, 10}},
               {{65546, 65546}, {1279, 1023}},
               {{-70000, -70000}, {0, 0}}};
  for (const auto& c : cases) {
    ASSERT_TRUE(input_->SetCursorPos(c.target));
    ASSERT_TRUE(x11test::QueryPointer(xvfb_.Display(), x, y));
    EXPECT_EQ((Point{x, y}), c.landed) << c.target.x << "," << c.target.y;
  }
}

TEST_F(X11InputTest, InjectedButtonsReachAnotherProgramsWindow) {
  ObserverWindow window(xvfb_.Display(), 200, 150, 100, 80);
  ASSERT_TRUE(input_->SetCursorPos({250, 190}));
  const struct {
    MouseButton button;
    unsigned x_button;
    int vk;
  } cases[] = {{MouseButton::Left, 1, vk::kLButton},
               {MouseButton::Right, 3, vk::kRButton},
               {MouseButton::Middle, 2, vk::kMButton}};
  std::vector<ObserverWindow::ButtonEvent> expected;
  for (const auto& c : cases) {
    ASSERT_TRUE(input_->InjectButton(c.button, true));
    EXPECT_EQ(input_->KeyState(c.vk), int16_t(0x8001)) << c.x_button;
    ASSERT_TRUE(input_->InjectButton(c.button, false));
    // Our own clicks count as input, as synthesised clicks do for the key state on Windows.
    EXPECT_EQ(input_->KeyState(c.vk), 0) << c.x_button;
    // A whole click: once it returns, the button is up again in the server.
    ASSERT_TRUE(input_->Click(c.button));
    EXPECT_EQ(input_->KeyState(c.vk), 1) << c.x_button;
    for (int i = 0; i < 2; ++i) {
      expected.push_back({true, c.x_button, 50, 40});
      expected.push_back({false, c.x_button, 50, 40});
    }
  }
  ASSERT_TRUE(window.WaitForEvents(expected.size()));
  EXPECT_EQ(window.Events(), expected);
}

TEST_F(X11InputTest, InjectedClicksAreLatchedButNotTheUsers) {
  ASSERT_TRUE(input_->Click(MouseButton::Left));
  EXPECT_EQ(input_->KeyState(vk::kLButton), 1);
  EXPECT_EQ(input_->KeyState(vk::kLButton), 0);
  // Another program's clicks come through XTest as well. Xvfb has no other input device, so
  // the count of the user's own presses can only be seen to stay 0 here.
  ASSERT_EQ(xvfb_.Run("xdotool click 3 click 2"), 0);
  ASSERT_TRUE(WaitUntil([&] { return input_->KeyState(vk::kMButton) != 0; }));
  EXPECT_EQ(input_->UserButtonPresses(), 0u);
  // Nor are XTest moves, this program's placements or another program's.
  EXPECT_EQ(input_->UserPointerMoves(), 0u);  // counting starts
  ASSERT_TRUE(input_->SetCursorPos({30, 40}));
  ASSERT_EQ(xvfb_.Run("xdotool mousemove_relative --sync 5 5"), 0);
  Point at;
  ASSERT_TRUE(input_->CursorPos(at));
  EXPECT_EQ(at, (Point{35, 45}));
  EXPECT_EQ(input_->UserPointerMoves(), 0u);
}

TEST(X11InputOpen, ReportsADisplayThatCannotBeOpened) {
  std::string error;
  EXPECT_EQ(X11Input::Open("unix:4094.0", error), nullptr);
  EXPECT_NE(error.find("XOpenDisplay"), std::string::npos) << error;
  EXPECT_NE(error.find("unix:4094.0"), std::string::npos) << error;
}

TEST(X11InputOpen, ReportsAServerWithoutXTest) {
  Xvfb xvfb({"-extension", "XTEST"});
  std::string error;
  EXPECT_EQ(X11Input::Open(xvfb.Display().c_str(), error), nullptr);
  EXPECT_NE(error.find("XTEST"), std::string::npos) << error;
}

TEST(XErrorTrapTest, NamesTheFailingCallAndRestoresTheHandler) {
  Xvfb xvfb;
  Display* display = XOpenDisplay(xvfb.Display().c_str());
  ASSERT_NE(display, nullptr);
  const XErrorHandler before = XSetErrorHandler(nullptr);
  XSetErrorHandler(before);
  {
    XErrorTrap trap(display);
    XMapWindow(display, 0x7ffffff0);  // no such window
    ::testing::internal::CaptureStderr();
    EXPECT_FALSE(trap.Check("XMapWindow"));
    const std::string said = ::testing::internal::GetCapturedStderr();
    EXPECT_EQ(said.rfind("pelmira: XMapWindow failed: BadWindow", 0), 0u) << said;
    EXPECT_EQ(trap.ErrorCode(), BadWindow);
  }
  {
    XErrorTrap trap(display);
    XNoOp(display);
    EXPECT_TRUE(trap.Check("XNoOp"));
  }
  EXPECT_EQ(XSetErrorHandler(before), before);
  XCloseDisplay(display);
}

}  // namespace
}  // namespace pel
