// The entry kinds beyond move and the three clicks: their text, read back as leniently as the
// first four, and what each does.
#include <tuple>

#include "testkit/engine_test.h"

namespace pel::test {
namespace {

using enum MotionKind;

TEST(EntryKinds, EveryKindReadsBackWhatItWrites) {
  for (int k = 0; k < kMotionKinds; ++k) {
    const MotionEntry e{static_cast<MotionKind>(k), -1920, 1080, 12.5,
                        ActionOf(static_cast<MotionKind>(k)) == KindAction::Wheel ? -240 : 0};
    const std::string text = FormatEntry(e);
    SCOPED_TRACE(text);
    const std::optional<MotionEntry> read = ReadEntry(text);
    ASSERT_TRUE(read);
    EXPECT_EQ(std::tie(read->kind, read->x, read->y, read->delay_ms, read->delta),
              std::tie(e.kind, e.x, e.y, e.delay_ms, e.delta));
  }
  EXPECT_EQ(FormatEntry({LeftDown, 5, 6, 0.25, 0}), "LeftDown,5,6,0.25");
  EXPECT_EQ(FormatEntry({HWheel, 5, 6, 16, 30}), "HWheel,5,6,16,30");
  // The first four are written as they always were, with no fifth field.
  EXPECT_EQ(FormatEntry({Left, 5, 6, 16, 7}), "Left,5,6,16");
}

TEST(EntryKinds, ReadLenientlyAndUnknownKindsAndNotesStaySkipped) {
  const struct {
    const char* text;
    std::optional<MotionKind> kind;
    int32_t delta;
    bool pauses_before_note = false;
  } cases[] = {
      {"move,1,2,3", Move, 0},  // the first four read as before
      {" RIGHT ,1,2,3", Right, 0},
      {" leftdown , 1 , 2 , 3 ", LeftDown, 0},
      {"x2UP,1,2,3", X2Up, 0},
      {"Wheel,1,2,3,-120", Wheel, -120},
      {" wheel , 1 , 2 , 3 , 240.5 ", Wheel, 240},  // half to even, as coordinates
      {"Wheel,1,2,3", Wheel, 0},                    // no size: nothing to scroll
      {"HWheel,1,2,3,1.5e2", HWheel, 150},
      {"Left,1,2,3,99", Left, 0},  // a fifth field means nothing to a click
      {"Drag,1,2,3", std::nullopt, 0},
      {"X3Down,1,2,3", std::nullopt, 0},
      {"Left Down,1,2,3", std::nullopt, 0},
      {"pauses,before", std::nullopt, 0, true},  // a note, no motion
      {" PAUSES , Before ", std::nullopt, 0, true},
      {"pauses", std::nullopt, 0},
      {"pauses,after", std::nullopt, 0},
      {"screen,0,0,1280x1024,primary,A", std::nullopt, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(IsPausesBeforeNote(c.text), c.pauses_before_note);
    const std::optional<MotionEntry> read = ReadEntry(c.text);
    ASSERT_EQ(read.has_value(), c.kind.has_value());
    if (!read) continue;
    EXPECT_EQ(read->kind, *c.kind);
    EXPECT_EQ(read->delta, c.delta);
  }
  EXPECT_THROW(ReadEntry("Wheel,1,2,3,1e10"), Error);
}

// The numbers are read in order and the first that does not fit names the part that failed: a
// coordinate or wheel step rounded beyond 32 bits, a delay beyond a double.
TEST(EntryKinds, TheFirstNumberThatDoesNotFitIsThePartThatFailed) {
  using Part = EntryReading::Part;
  const std::pair<const char*, Part> cases[] = {
      {"move,2147483647,-2147483648.5,1e-400", Part::None},  // -2^31 (half to even), delay 0
      {"move,2147483647.5,1,0", Part::Point},                // rounds to 2^31
      {"Left,1,-2147483649,1e400", Part::Point},
      {"move,1,1,1e400", Part::Delay},
      {"HWheel,1,1,1e400,1e10", Part::Delay},
      {"Wheel,1,1,0,1e10", Part::Delta},
      {"move,1,1,0,1e10", Part::None},  // a move has no step to read
  };
  for (const auto& [text, part] : cases) {
    const EntryReading read = ReadMotionEntry(text);
    EXPECT_EQ(read.failed, part) << text;
    EXPECT_EQ(read.Playable(), part == Part::None) << text;
  }
}

// Readings kept for a list follow it: appended entries are read when asked for, any other change
// has every entry read anew.
TEST(EntryKinds, KeptReadingsFollowTheirList) {
  EntryList list;
  EntryReadings readings;
  auto x_at = [&](int32_t index) {
    const EntryReading r = readings.At(list, index);
    return r.motion ? r.entry.x : -1;
  };
  list.Add("move,1,0,0");
  list.Add("pauses,before");
  EXPECT_EQ(x_at(2), -1);
  EXPECT_EQ(x_at(1), 1);
  list.Add("move,3,0,0");
  EXPECT_EQ(x_at(3), 3);
  list.RemoveLast();  // as many entries as before, another last one
  list.Add("move,4,0,0");
  EXPECT_EQ(x_at(3), 4);
  list.RemoveFirst();  // renumbered
  EXPECT_EQ(x_at(1), -1);
  list.Clear();
  list.Add("Left,5,0,0");
  EXPECT_EQ(x_at(1), 5);
  EXPECT_THROW(readings.At(list, 2), Error);
}

TEST(EntryKinds, EachButtonHasAPressAndReleaseAndOnlyTheFirstThreeAClick) {
  for (int b = 0; b < kMouseButtons; ++b) {
    const auto button = static_cast<MouseButton>(b);
    EXPECT_EQ(ActionOf(PressKind(button)), KindAction::Press);
    EXPECT_EQ(ButtonOf(PressKind(button)), button);
    EXPECT_EQ(ActionOf(ReleaseKind(button)), KindAction::Release);
    EXPECT_EQ(ButtonOf(ReleaseKind(button)), button);
    const std::optional<MotionKind> click = ClickKind(button);
    EXPECT_EQ(click.has_value(), b < 3) << b;
    if (click) {
      EXPECT_EQ(ButtonOf(*click), button);
    }
  }
  EXPECT_EQ(ClickKind(MouseButton::Middle), Middle);
  EXPECT_EQ(WheelKind(WheelAxis::Vertical), Wheel);
  EXPECT_EQ(AxisOf(WheelKind(WheelAxis::Horizontal)), WheelAxis::Horizontal);
}

}  // namespace
}  // namespace pel::test
