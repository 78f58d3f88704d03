// The X11 event stream against a private X server: what the program injects and what another
// program does come out as events with their kinds, places and order, on the engine's clock.

#include "platform/x11/x11_input_events.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/posix/posix_clock.h"
#include "platform/x11/x11_input.h"
#include "testkit/xvfb_fixture.h"

namespace pel {
namespace {

using x11test::WaitUntil;
using x11test::Xvfb;
using Kind = InputEvent::Kind;

InputEvent Ev(Kind kind, MouseButton button, Point pos) {
  return {kind, button, WheelAxis::Vertical, 0, pos, 0};
}
InputEvent Wheel(WheelAxis axis, int32_t delta, Point pos) {
  return {Kind::Wheel, MouseButton::Left, axis, delta, pos, 0};
}

class X11InputEventsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string error;
    input_ = X11Input::Open(xvfb_.Display().c_str(), error);
    ASSERT_NE(input_, nullptr) << error;
    events_ = X11InputEvents::Open(xvfb_.Display().c_str(), clock_, error);
    ASSERT_NE(events_, nullptr) << error;
  }
  void Start(bool moves) {
    std::string error;
    ASSERT_TRUE(events_->Start(moves, error)) << error;
  }
  // Takes events until `count` have come. Their times must run in order and not ahead of the
  // clock; the first is put in `first`, then all are zeroed for comparing.
  std::vector<InputEvent> Take(size_t count, double* first = nullptr) {
    std::vector<InputEvent> got;
    WaitUntil([&] {
      events_->Take(got);
      return got.size() >= count;
    });
    if (first && !got.empty()) *first = got.front().time;
    double previous = 0;
    for (InputEvent& e : got) {
      EXPECT_LE(e.time, clock_.Now());
      EXPECT_GE(e.time, previous);
      previous = std::exchange(e.time, 0);
    }
    return got;
  }

  Xvfb xvfb_;
  PosixClock clock_;
  std::unique_ptr<X11Input> input_;
  std::unique_ptr<X11InputEvents> events_;
};

TEST_F(X11InputEventsTest, InjectedDragWheelAndSideButtonsComeOutInOrderWithTheirPlaces) {
  ASSERT_TRUE(input_->SetCursorPos({100, 100}));
  Start(true);
  const double start = clock_.Now();
  ASSERT_TRUE(input_->InjectButton(MouseButton::Left, true));
  ASSERT_TRUE(input_->SetCursorPos({150, 120}));
  ASSERT_TRUE(input_->SetCursorPos({200, 130}));
  ASSERT_TRUE(input_->InjectButton(MouseButton::Left, false));
  ASSERT_TRUE(input_->InjectWheel(WheelAxis::Vertical, 120));
  ASSERT_TRUE(input_->InjectWheel(WheelAxis::Vertical, -60));  // half a notch: nothing yet
  ASSERT_TRUE(input_->InjectWheel(WheelAxis::Vertical, -60));
  ASSERT_TRUE(input_->InjectWheel(WheelAxis::Horizontal, -240));
  for (MouseButton b : {MouseButton::X1, MouseButton::X2}) {
    ASSERT_TRUE(input_->InjectButton(b, true));
    ASSERT_TRUE(input_->InjectButton(b, false));
  }
  double first = 0;
  const std::vector<InputEvent> got = Take(12, &first);
  // The server stamps whole milliseconds of its own clock; mapped, they fall within the run.
  EXPECT_GE(first, start - 0.002);
  const Point at{200, 130};
  const std::vector<InputEvent> want = {Ev(Kind::Press, MouseButton::Left, {100, 100}),
                                        Ev(Kind::Move, MouseButton::Left, {150, 120}),
                                        Ev(Kind::Move, MouseButton::Left, at),
                                        Ev(Kind::Release, MouseButton::Left, at),
                                        Wheel(WheelAxis::Vertical, 120, at),
                                        Wheel(WheelAxis::Vertical, -120, at),
                                        Wheel(WheelAxis::Horizontal, -120, at),
                                        Wheel(WheelAxis::Horizontal, -120, at),
                                        Ev(Kind::Press, MouseButton::X1, at),
                                        Ev(Kind::Release, MouseButton::X1, at),
                                        Ev(Kind::Press, MouseButton::X2, at),
                                        Ev(Kind::Release, MouseButton::X2, at)};
  EXPECT_EQ(got, want);
}

TEST_F(X11InputEventsTest, AnotherProgramsInputWithoutMovesAndNothingWhileStopped) {
  Start(false);
  ASSERT_EQ(xvfb_.Run("xdotool mousemove 300 310 click 9"), 0);
  EXPECT_EQ(Take(2), (std::vector<InputEvent>{Ev(Kind::Press, MouseButton::X2, {300, 310}),
                                              Ev(Kind::Release, MouseButton::X2, {300, 310})}));
  events_->Stop();
  ASSERT_EQ(xvfb_.Run("xdotool click 1"), 0);
  Start(true);
  // A warp, which makes no raw motion, is a move here.
  ASSERT_EQ(xvfb_.Run("xdotool mousemove 5 6"), 0);
  EXPECT_EQ(Take(1), (std::vector<InputEvent>{Ev(Kind::Move, MouseButton::Left, {5, 6})}));
}

TEST_F(X11InputEventsTest, AStepOfTooManyNotchesScrollsAtMostTheCap) {
  // A damaged entry must not flood the server with clicks.
  Start(false);
  ASSERT_TRUE(input_->InjectWheel(WheelAxis::Vertical, -2'000'000'000));
  ASSERT_TRUE(input_->InjectButton(MouseButton::X1, true));  // marks the end
  const std::vector<InputEvent> got = Take(X11Input::kMaxWheelNotches + 1);
  ASSERT_EQ(got.size(), X11Input::kMaxWheelNotches + 1u);
  EXPECT_EQ(got.front().delta, -kWheelNotch);
  EXPECT_EQ(got.back().kind, Kind::Press);
  input_->InjectButton(MouseButton::X1, false);
}

TEST(X11InputEventsOpen, ReportsAServerWithoutRecord) {
  Xvfb xvfb({"-extension", "RECORD"});
  PosixClock clock;
  std::string error;
  EXPECT_EQ(X11InputEvents::Open(xvfb.Display().c_str(), clock, error), nullptr);
  EXPECT_NE(error.find("RECORD"), std::string::npos) << error;
}

}  // namespace
}  // namespace pel
