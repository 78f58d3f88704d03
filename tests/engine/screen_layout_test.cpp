// The screen layout: its entries, the mapping of recorded positions onto the monitors now, and
// how recording and playback treat a list that carries a layout.
#include "engine/motionfile/screen_layout.h"

#include "testkit/engine_test.h"
#include "testkit/fake_screens.h"

namespace pel::test {
namespace {

using Layout = std::vector<Monitor>;

// Recorded: a 1280x1024 primary with a 1920x1080 monitor on its right.
const Layout kRecorded = {{"DUMMY0", 0, 0, 1280, 1024, true}, {"DUMMY1", 1280, 0, 1920, 1080}};
// The same two monitors swapped: the 1920x1080 one on the left.
const Layout kSwapped = {{"DUMMY1", 0, 0, 1920, 1080}, {"DUMMY0", 1920, 0, 1280, 1024, true}};

TEST(LayoutMappingTest, PositionsFollowTheirMonitor) {
  struct Case {
    const char* what;
    Layout now;
    Point recorded, expected;
  };
  const Case cases[] = {
      {"equal layouts", kRecorded, {1380, 200}, {1380, 200}},
      {"swapped", kSwapped, {1380, 200}, {100, 200}},
      {"swapped, the primary's own", kSwapped, {50, 60}, {1970, 60}},
      {"second on the left",
       {{"DUMMY0", 0, 0, 1280, 1024, true}, {"DUMMY1", -1920, 56, 1920, 1080}},
       {1380, 200},
       {-1820, 256}},
      {"second switched off: to the primary, in proportion",
       {{"DUMMY0", 0, 0, 1280, 1024, true}},
       {1280 + 960, 540},
       {640, 512}},
      {"second at another resolution",
       {kRecorded[0], {"DUMMY1", 1280, 0, 1280, 1024}},
       {1280 + 1919, 1079},
       {1280 + 1279, 1023}},
      {"second at another resolution, middle",
       {kRecorded[0], {"DUMMY1", 1280, 0, 1280, 1024}},
       {1280 + 960, 540},
       {1280 + 640, 512}},
      {"names swapped on the same rectangles (a cable swap): nothing moves",
       {{"DUMMY1", 0, 0, 1280, 1024, true}, {"DUMMY0", 1280, 0, 1920, 1080}},
       {1380, 200},
       {1380, 200}},
      {"renamed outputs: matched by size",
       {{"A", 1920, 0, 1280, 1024, true}, {"B", 0, 0, 1920, 1080}},
       {1380, 200},
       {100, 200}},
      {"off every monitor: from the nearest",
       {kRecorded[0], {"DUMMY1", 1280, 100, 1920, 1080}},
       {3300, 50},
       {3300, 150}},
  };
  for (const Case& c : cases) {
    const LayoutMapping map(kRecorded, c.now);
    EXPECT_EQ(map.Map(c.recorded), c.expected) << c.what;
    EXPECT_EQ(map.Identity(), SameGeometry(c.now, kRecorded)) << c.what;
  }
  // Without names, monitors of the same size keep their order.
  const Layout unnamed = {{"", 0, 0, 800, 600, true}, {"", 800, 0, 800, 600}};
  const LayoutMapping moved(unnamed, {{"", 0, 0, 800, 600, true}, {"", 0, 600, 800, 600}});
  EXPECT_EQ(moved.Map({900, 10}), (Point{100, 610}));
  EXPECT_TRUE(LayoutMapping(kRecorded, {}).Identity()) << "monitors unknown now";
}

TEST(LayoutEntryTest, RoundTripsAndIsNoMotionToAnyReader) {
  const Monitor m{"HDMI-1, left\tdesk", -1920, -56, 1920, 1080, true};
  const std::string entry = LayoutEntry(m);
  EXPECT_EQ(entry, "screen,-1920,-56,1920x1080,primary,HDMI-1, left?desk");
  Monitor back = m;
  back.name = "HDMI-1, left?desk";
  EXPECT_EQ(ReadLayoutEntry(entry), back);
  // Readers that know only motion kinds skip it.
  EXPECT_FALSE(EntryKind(entry).has_value());
  EXPECT_TRUE(IsLayoutEntry(" SCREEN ,1,2,3x4,other,"));
  for (const char* bad :
       {"screen,1,2,3x4,other", "screen,1,2,0x4,other,a", "screen,a,2,3x4,other,a",
        "screen,1,2,3x4,main,a", "screens,1,2,3x4,other,a", "move,1,2,3"})
    EXPECT_FALSE(ReadLayoutEntry(bad).has_value()) << bad;
  // A run longer than any desktop's is no layout, and reading it stops early.
  EntryList list;
  for (size_t i = 0; i < kMaxMonitors; ++i) list.Add(entry);
  EXPECT_EQ(ReadLayoutRun(list, 1)->size(), kMaxMonitors);
  list.Add(entry);
  EXPECT_FALSE(ReadLayoutRun(list, 1).has_value());
}

class LayoutPlaybackTest : public EngineTest {
 protected:
  LayoutPlaybackTest() {
    screens.monitors = kRecorded;
    poll.Screens().Attach(&screens);
  }
  fake::FakeScreens screens;
};

TEST_F(LayoutPlaybackTest, RecordingStartsWithTheLayoutAndAloneItCountsAsEmpty) {
  recorder.unsaved = true;  // an earlier recording was never saved
  StartIdle();
  TapKey(vk::kF10);
  TapKey(vk::kPause);
  EXPECT_EQ(Entries(),
            (std::vector<std::string>{"screen,0,0,1280x1024,primary,DUMMY0",
                                      "screen,1280,0,1920x1080,other,DUMMY1", "pauses,before"}));
  SaveTo("/tmp/layout-only.mmf");
  EXPECT_EQ(SaveDialogs(), 0) << "nothing to save";
  TapKey(vk::kF9);
  ASSERT_EQ(Boxes(), 1);
  EXPECT_EQ(dialogs.boxes[0].text, "No Data loaded for Playback");
  EXPECT_EQ(recorder.mode, Mode::Idle);
}

TEST_F(LayoutPlaybackTest, LayoutEntriesTakeNoTimeAndMappingOffPlaysAsOldReaders) {
  const std::vector<std::string> motion = {"move,1300,10,10", "Left,1380,200,10", "move,5,6,10"};
  std::vector<std::string> with_layout = {LayoutEntry(kRecorded[0]), LayoutEntry(kRecorded[1])};
  with_layout.insert(with_layout.end(), motion.begin(), motion.end());
  screens.monitors = kSwapped;
  poll.Screens().mapping = false;
  const std::vector<std::string> old = Play(motion, 7);
  EXPECT_GE(old.size(), 5u);
  EXPECT_EQ(Play(with_layout, 7), old) << "same placements at the same ticks";

  poll.Screens().mapping = true;
  int told = 0;
  poll.Screens().on_mapped = [&] { ++told; };
  EXPECT_EQ(Play(with_layout, 3),
            (std::vector<std::string>{"SetCursorPos 20,10", "SetCursorPos 100,200",
                                      "SetCursorPos 1925,6"}));
  EXPECT_EQ(told, 1);
  log.Clear();
  Record(with_layout);
  input.Tap(vk::kF9);
  Ticks(2);
  EXPECT_EQ(Ctl(ControlId::StatusLine).caption, "[PLAYING] layout changed: positions mapped");
  // A layout change during the playback is followed from the next entry on, and the status
  // line follows it, unless something else has taken the line.
  screens.monitors = kRecorded;
  ++screens.generation;
  Ticks(2);
  EXPECT_EQ(Calls("SetCursorPos").back(), "SetCursorPos 5,6");
  EXPECT_EQ(Ctl(ControlId::StatusLine).caption, "[PLAYING]");
  Ctl(ControlId::StatusLine).caption = "a warning of the window's own";
  screens.monitors = kSwapped;
  ++screens.generation;
  Ticks(4);
  EXPECT_EQ(Ctl(ControlId::StatusLine).caption, "a warning of the window's own");
}

// Monitors changed in the middle of a recording: the new layout is stored where it changed, and
// each part plays mapped from the layout it was made on.
TEST_F(LayoutPlaybackTest, ALayoutChangedWhileRecordingMapsEachPartByItsOwnLayout) {
  auto change = [&](const Layout& now) {
    screens.monitors = now;
    ++screens.generation;
  };
  StartIdle();
  TapKey(vk::kF10);
  change(kSwapped);
  Tick();
  change(kRecorded);
  Tick();  // nothing was recorded on the layouts in between: they leave no entries
  for (Point at : {Point{1300, 10}, Point{1380, 200}}) {  // the first starts the clock
    input.MoveTo(at);
    Tick();
  }
  change({{"DUMMY1", 0, 0, 1280, 1024, true}, {"DUMMY0", 1280, 0, 1920, 1080}});
  Tick();  // the same geometry under other names is the same layout
  change(kSwapped);
  input.MoveTo({50, 60});
  Tick();
  TapKey(vk::kPause);
  EXPECT_EQ(Entries(),
            (std::vector<std::string>{LayoutEntry(kRecorded[0]), LayoutEntry(kRecorded[1]),
                                      "pauses,before", "move,1380,200,10", LayoutEntry(kSwapped[0]),
                                      LayoutEntry(kSwapped[1]), "move,50,60,20"}));
  // Played on the swapped layout: the first part moves with its monitor, the second stays.
  log.Clear();
  input.Tap(vk::kF9);
  Ticks(5);
  const std::vector<std::string> placed = Calls("SetCursorPos");
  ASSERT_GE(placed.size(), 2u);
  EXPECT_EQ(placed[0], "SetCursorPos 100,200");
  EXPECT_EQ(placed[1], "SetCursorPos 50,60");
}

}  // namespace
}  // namespace pel::test
