// The playback's guard of held buttons: what each entry kind injects, and that nothing stays
// held once the playback ends, whatever the entries and the window system did.
#include "engine/recorder/held_buttons.h"

#include <gtest/gtest.h>

#include "testkit/fake_input.h"

namespace pel::test {
namespace {

using enum MotionKind;
using Calls = std::vector<std::string>;

class HeldButtonsTest : public ::testing::Test {
 protected:
  fake::CallLog log;
  fake::FakeInput input{&log};
  HeldButtons held{input};
};

TEST_F(HeldButtonsTest, PlaysEachKindAndNeverPressesTwiceNorReleasesWhatItDidNotPress) {
  // Left pressed twice goes down once; Right, never pressed (the user's own, perhaps), is not
  // released; a wheel step of 0 scrolls nothing; a click of the held Left releases it first.
  const std::pair<MotionKind, int32_t> entries[] = {
      {Move, 0},   {LeftDown, 0}, {LeftDown, 0}, {RightUp, 0},    {Wheel, -120},
      {HWheel, 0}, {Left, 0},     {X1Down, 0},   {MiddleDown, 0}, {HWheel, 30}};
  for (const auto& [kind, delta] : entries) EXPECT_TRUE(held.Play(kind, delta)) << KindText(kind);
  EXPECT_EQ(log.calls, (Calls{"Button Left down", "Wheel Vertical -120", "Button Left up",
                              "Button Left down", "Button Left up", "Button X1 down",
                              "Button Middle down", "Wheel Horizontal 30"}));
  EXPECT_TRUE(held.Held(MouseButton::X1));
  EXPECT_FALSE(held.Held(MouseButton::Left));

  log.Clear();
  EXPECT_TRUE(held.ReleaseAll());
  EXPECT_EQ(log.calls, (Calls{"Button Middle up", "Button X1 up"}));
  EXPECT_FALSE(held.AnyHeld());
  EXPECT_TRUE(held.ReleaseAll());  // nothing more to release
  EXPECT_EQ(log.calls.size(), 2u);
}

TEST_F(HeldButtonsTest, ARefusedReleaseIsTriedAgainAndARefusedPressHoldsNothing) {
  held.Press(MouseButton::Right);
  input.RefuseInjections(1);
  EXPECT_FALSE(held.Play(X2Down, 0));
  EXPECT_FALSE(held.Held(MouseButton::X2));
  input.RefuseInjections(1);
  EXPECT_FALSE(held.ReleaseAll());
  EXPECT_TRUE(held.Held(MouseButton::Right));
  EXPECT_TRUE(held.ReleaseAll());
  EXPECT_EQ(log.calls, (Calls{"Button Right down", "Button X2 down refused",
                              "Button Right up refused", "Button Right up"}));
}

}  // namespace
}  // namespace pel::test
