// Clicks that find their window: which window a recorded one is now, where its positions go,
// what recording notes at presses and drags, and how a playback waits for a window.
#include "engine/recorder/window_mapping.h"

#include <gtest/gtest.h>

#include "engine/motionfile/window_entry.h"
#include "testkit/engine_test.h"
#include "testkit/fake_input_events.h"
#include "testkit/fake_screens.h"
#include "testkit/fake_windows_on_screen.h"

namespace pel::test {
namespace {

using How = WindowMatch::How;

const TopWindow kEditor{0x10, "Editor", "notes - Editor", 100, 50, 800, 600};

TopWindow With(TopWindow w, uint64_t id, std::string title, int32_t left, int32_t top) {
  w.id = id;
  w.title = std::move(title);
  w.left = left;
  w.top = top;
  return w;
}

TEST(WindowMappingTest, FindsClassAndTitleElseTheOnlyWindowOfItsClass) {
  const TopWindow moved = With(kEditor, 1, kEditor.title, 400, 10);
  const TopWindow other = With(kEditor, 2, "todo - Editor", 0, 0);
  const TopWindow terminal{3, "Terminal", kEditor.title, 0, 0, 640, 480};
  struct Case {
    const char* what;
    std::vector<TopWindow> open;
    How how;
    uint64_t id;
  };
  const Case cases[] = {
      {"same class and title, the topmost of two", {terminal, moved, kEditor}, How::Same, 1},
      {"title changed, alone of its class", {terminal, other}, How::SameClass, 2},
      {"title changed, two of its class", {other, With(other, 4, "x", 0, 0)}, How::Missing, 0},
      {"only another class with that title", {terminal}, How::Missing, 0},
      {"nothing open", {}, How::Missing, 0},
  };
  for (const Case& c : cases) {
    const WindowMatch m = FindRecordedWindow(kEditor, c.open);
    EXPECT_EQ(m.how, c.how) << c.what;
    EXPECT_EQ(m.window.id, c.id) << c.what;
  }
}

TEST(WindowMappingTest, PositionsKeepTheirOffsetAndStayInsideASmallerWindow) {
  struct Case {
    const char* what;
    TopWindow now;
    Point recorded, expected;
  };
  const TopWindow small{0, "Editor", "", 100, 50, 400, 300};
  const Case cases[] = {
      {"unmoved: inside", kEditor, {899, 649}, {899, 649}},
      {"unmoved: title bar", kEditor, {150, 30}, {150, 30}},
      {"unmoved: beyond the far edge", kEditor, {905, 700}, {905, 700}},
      {"moved", With(kEditor, 0, "", -700, 90), {150, 60}, {-650, 100}},
      {"moved: title bar", With(kEditor, 0, "", -700, 90), {150, 30}, {-650, 70}},
      {"smaller: kept inside", small, {850, 600}, {499, 349}},
      {"smaller: title bar stays above", small, {850, 30}, {499, 30}},
      {"smaller: right frame follows its edge", small, {903, 100}, {503, 100}},
      {"larger: same offset", {0, "", "", 0, 0, 1600, 1200}, {850, 600}, {750, 550}},
  };
  for (const Case& c : cases)
    EXPECT_EQ(WindowMapping(kEditor, c.now).Map(c.recorded), c.expected) << c.what;
}

class WindowMapTest : public ::testing::Test {
 protected:
  WindowMapTest() {
    map.Attach(&windows);
    map.on_missing = [this](const std::string& text) { told.push_back(text); };
  }
  std::vector<std::string> Entries() const {
    std::vector<std::string> out;
    for (int32_t i = 1; i <= list.Count(); ++i) out.emplace_back(list.Item(i));
    return out;
  }
  fake::FakeWindowsOnScreen windows;
  WindowMap map;
  EntryList list;
  std::vector<std::string> told;
};

TEST_F(WindowMapTest, RecordingNotesTheWindowAtPressesAndWhereADragGoes) {
  const TopWindow terminal{2, "Terminal", "sh", 1000, 0, 600, 400};
  const TopWindow menu{3, "Editor", "", 120, 70, 100, 200, true};
  windows.windows = {menu, kEditor, terminal};
  map.RecordingStarts();
  map.Note(list, {200, 200}, false, false);  // moving only
  map.Note(list, {5, 5}, true, true);        // a press on the desktop: already none
  EXPECT_TRUE(Entries().empty());
  map.Note(list, {300, 300}, true, true);
  map.Note(list, {1300, 300}, false, true);  // dragged onto the terminal
  map.Note(list, {1300, 900}, false, true);  // and out onto no window: still the terminal's
  map.Note(list, {150, 100}, true, true);    // the menu belongs to the editor noted
  map.Note(list, {300, 300}, true, true);    // back to the editor
  map.Note(list, {310, 310}, true, true);    // the same editor as noted: nothing new
  windows.windows[1].title = "notes* - Editor";
  map.Note(list, {300, 300}, true, true);  // renamed
  map.Note(list, {5, 5}, true, true);
  windows.windows.push_back({4, "", "", 0, 0, 50, 50});
  map.Note(list, {5, 5}, true, true);  // a window that could never be told apart: none
  EXPECT_EQ(Entries(), (std::vector<std::string>{
                           WindowEntry(kEditor), WindowEntry(terminal), WindowEntry(kEditor),
                           WindowEntry(With(kEditor, kEditor.id, "notes* - Editor", 100, 50)),
                           "window,none"}));
}

TEST_F(WindowMapTest, WindowPositionsFollowTheWindowOthersTheMonitors) {
  // The second monitor moved from the right of the first to its left.
  fake::FakeScreens screens;
  screens.monitors = {{"A", 0, 0, 1280, 1024, true}, {"B", -1920, 0, 1920, 1080}};
  const std::vector<Monitor> recorded = {{"A", 0, 0, 1280, 1024, true}, {"B", 1280, 0, 1920, 1080}};
  EntryList layout;
  for (const Monitor& m : recorded) layout.Add(LayoutEntry(m));
  ScreenMap screen_map;
  screen_map.Attach(&screens);
  screen_map.PlaybackStarts();
  screen_map.LayoutAt(layout, 1);
  // The editor, recorded on B, now stands on A.
  const TopWindow on_b = With(kEditor, 0, kEditor.title, 1380, 50);
  windows.windows = {With(kEditor, 1, kEditor.title, 200, 60)};
  map.PlaybackStarts();
  EXPECT_EQ(map.Reach(WindowEntry(on_b), 0), WindowMap::Reached::Go);
  EXPECT_EQ(map.Map({1400, 70}, screen_map), (Point{220, 80}));
  EXPECT_EQ(map.Reach("window,none", 0), WindowMap::Reached::Go);
  EXPECT_EQ(map.Map({1400, 70}, screen_map), (Point{-1800, 70}));
  // A window missing plays as recorded on the monitors now, told once per playback.
  const TopWindow gone{0, "Viewer", "photo", 1380, 50, 300, 300};
  for (int pass = 0; pass < 2; ++pass) {
    EXPECT_EQ(map.Reach(WindowEntry(gone), 0), WindowMap::Reached::Go);
    EXPECT_EQ(map.Map({1400, 70}, screen_map), (Point{-1800, 70}));
  }
  EXPECT_EQ(told, (std::vector<std::string>{
                      "window not found: \"photo\" (Viewer), played where it was recorded"}));
  EXPECT_EQ(map.MissingNote(), told[0]);
  // Not following windows, every position goes by the monitors.
  map.following = false;
  map.PlaybackStarts();
  EXPECT_EQ(map.Reach(WindowEntry(on_b), 0), WindowMap::Reached::Go);
  EXPECT_EQ(map.Map({1400, 70}, screen_map), (Point{-1800, 70}));
}

TEST_F(WindowMapTest, WaitsForAWindowLookingAgainOnAChangeOrOnceASecond) {
  map.wait_seconds = 5;
  ScreenMap as_recorded;
  const std::string entry = WindowEntry(kEditor);
  map.PlaybackStarts();
  EXPECT_EQ(map.Reach(entry, 10), WindowMap::Reached::Wait);
  EXPECT_EQ(map.NextLook(), 11);
  EXPECT_EQ(map.Reach(entry, 10.5), WindowMap::Reached::Wait);
  EXPECT_EQ(windows.lists, 1) << "nothing reported: no new look before the next second";
  EXPECT_EQ(map.Reach(entry, 11), WindowMap::Reached::Wait);
  EXPECT_EQ(windows.lists, 2);
  // Found after the wait, it is followed once it holds still: a window manager may still be
  // moving it into place. Its place is looked at kSettleLook apart, changes or not.
  windows.Open(With(kEditor, 1, kEditor.title, -90, 0));
  EXPECT_TRUE(map.WindowsChanged());
  const double look = WindowMap::kSettleLook;
  EXPECT_EQ(map.Reach(entry, 13), WindowMap::Reached::Wait);
  for (int i = 1; i <= 3; ++i) {
    windows.windows[0].left += 30;
    ++windows.generation;
    const double next = map.NextLook();
    EXPECT_EQ(map.Reach(entry, next - look / 2), WindowMap::Reached::Wait);
    EXPECT_EQ(map.Reach(entry, next), WindowMap::Reached::Wait) << "moved at look " << i;
  }
  EXPECT_EQ(windows.finds, 3);
  EXPECT_EQ(map.Reach(entry, map.NextLook()), WindowMap::Reached::Go);
  EXPECT_EQ(map.Map({100, 50}, as_recorded), (Point{0, 0}));
  // One that never holds still is followed where it stands when the bound runs out.
  map.PlaybackStarts();
  windows.windows.clear();
  EXPECT_EQ(map.Reach(entry, 15), WindowMap::Reached::Wait);
  windows.Open(With(kEditor, 1, kEditor.title, 0, 0));
  EXPECT_EQ(map.Reach(entry, 15), WindowMap::Reached::Wait);
  double now = 15;
  do ++windows.windows[0].top;
  while (map.Reach(entry, now = map.NextLook()) == WindowMap::Reached::Wait);
  EXPECT_NEAR(now, 15 + WindowMap::kSettleFor, look);
  EXPECT_EQ(map.Map({100, 50}, as_recorded), (Point{0, windows.windows[0].top}));

  // The wait runs out: said once, and not waited for again in this playback.
  windows.windows.clear();
  const TopWindow gone = With(kEditor, 0, "gone", 100, 50);
  EXPECT_EQ(map.Reach(WindowEntry(gone), 20), WindowMap::Reached::Wait);
  windows.Open({7, "Other", "", 0, 0, 10, 10});
  EXPECT_EQ(map.Reach(WindowEntry(gone), 21), WindowMap::Reached::Wait);
  EXPECT_EQ(map.Reach(WindowEntry(gone), 24.5), WindowMap::Reached::Wait);
  EXPECT_EQ(map.NextLook(), 25) << "the end of the wait comes before the next second";
  EXPECT_EQ(map.Reach(WindowEntry(gone), 25), WindowMap::Reached::Go);
  EXPECT_EQ(map.Map({100, 50}, as_recorded), (Point{100, 50}));
  EXPECT_EQ(map.Reach(WindowEntry(gone), 30), WindowMap::Reached::Go);
  EXPECT_EQ(told.size(), 1u);

  // Opened while the list was read: found by a second look, not left to a wake-up already spent.
  map.PlaybackStarts();
  windows.windows.clear();
  windows.after_list = [&] {
    if (windows.windows.empty()) windows.Open(With(kEditor, 1, kEditor.title, 0, 0));
  };
  EXPECT_EQ(map.Reach(entry, 40), WindowMap::Reached::Go);
}

TEST_F(WindowMapTest, AProgramNoteNamesTheNextWindowsProgramAndAPressTakesItsPlaceNow) {
  ScreenMap as_recorded;
  auto of = [](TopWindow w, const char* program) { return w.program = program, w; };
  const TopWindow code = of(With(kEditor, 2, "todo - Editor", 0, 0), "code");
  map.PlaybackStarts();
  struct Case {
    const char* what;
    std::vector<TopWindow> open;
    int32_t x;  // where recorded x 100 (the left edge) goes
  };
  const Case cases[] = {
      {"alone of its class, another program's: not it", {code}, 100},
      {"another program's of the same title", {of(With(kEditor, 3, kEditor.title, 9, 0), "x")}, 9},
      {"beside another program's", {code, of(With(code, 4, "x", 5, 0), "edit")}, 5},
  };
  for (const Case& c : cases) {
    windows.windows = c.open;
    map.Reach(ProgramNote("edit"), 0);
    map.Reach(WindowEntry(kEditor), 0);
    EXPECT_EQ(map.Map({100, 50}, as_recorded).x, c.x) << c.what;
  }
  // Without a note (a file of an earlier version), the only window of its class.
  windows.windows = {code};
  EXPECT_EQ(map.Reach(WindowEntry(kEditor), 0), WindowMap::Reached::Go);
  EXPECT_EQ(map.MissingNote(), "");
  EXPECT_EQ(map.Map({100, 50}, as_recorded), (Point{0, 0}));
  // Moved since: a press goes where it stands when it is made, and what follows it too.
  windows.windows[0].left = 40;
  EXPECT_EQ(map.Map({100, 50}, as_recorded), (Point{0, 0}));
  EXPECT_EQ(map.Map({100, 50}, as_recorded, true), (Point{40, 0}));
  EXPECT_EQ(map.Map({110, 50}, as_recorded), (Point{50, 0}));
}

// The poll cycle with windows: what a recording notes and how a playback follows them.
class WindowPlaybackTest : public EngineTest {
 protected:
  WindowPlaybackTest() { poll.Windows().Attach(&windows); }
  // Follows the poll timer as the programs' windows do, for `seconds`: the ticks run (at most
  // 1000). `placed` gets the clock reading of each cursor placement.
  int RunFor(double seconds, std::vector<double>* placed = nullptr) {
    const double end = clock.Now() + seconds;
    int ticks = 0;
    for (; clock.Now() < end && window.next_tick && ticks < 1000; ++ticks) {
      const int before = log.Count("SetCursorPos");
      clock.Advance(std::max(0.0, *window.next_tick));
      poll.OnTimer();
      for (int n = log.Count("SetCursorPos") - before; placed && n > 0; --n)
        placed->push_back(clock.Now());
    }
    return ticks;
  }
  fake::FakeWindowsOnScreen windows;
  const TopWindow moved_ = With(kEditor, 1, kEditor.title, 300, 20);
};

TEST_F(WindowPlaybackTest, APressNotesItsWindowBeforeTheTicksEntriesAndAloneItIsNoMotion) {
  const TopWindow own{window.NativeHandle(), "pelmira", "Pelmira", 1000, 0, 200, 100};
  windows.windows = {kEditor, own};
  StartIdle();
  TapKey(vk::kF10);
  input.MoveTo({150, 60});
  Tick();  // the first event starts the clock
  for (const Point at : {Point{160, 70}, Point{1100, 50}}) {
    input.Press(vk::kLButton);
    input.MoveTo(at);
    Tick();
    input.Release(vk::kLButton);
    Tick();
  }
  TapKey(vk::kPause);
  // A press on the program's own window (its Stop button) is no window of the recording.
  EXPECT_EQ(Entries(),
            (std::vector<std::string>{"pauses,before", WindowEntry(kEditor), "move,160,70,10",
                                      "Left,160,70,10", "move,1100,50,10", "Left,1100,50,10"}));
  // A click that is the recording's first event leaves only its window: nothing to play.
  input.MoveTo({150, 60});
  TapKey(vk::kF10);
  input.Tap(vk::kLButton);
  Ticks(2);
  TapKey(vk::kPause);
  EXPECT_EQ(Entries(), (std::vector<std::string>{"pauses,before", WindowEntry(kEditor)}));
  TapKey(vk::kF9);
  ASSERT_EQ(Boxes(), 1);
  EXPECT_EQ(dialogs.boxes[0].text, "No Data loaded for Playback");
}

// With the event stream, a click the stream brings before the ticks read the button (or that
// they never see) has its window noted before it, once.
TEST_F(WindowPlaybackTest, AClickFromTheStreamHasItsWindowBeforeItWhenTheTicksReadItLate) {
  fake::FakeInputEvents stream;
  poll.AttachInputEvents(&stream);
  windows.windows = {kEditor};
  StartIdle();
  TapKey(vk::kF10);
  input.MoveTo({150, 60});
  Tick();
  stream.Add({.kind = InputEvent::Kind::Press, .pos = {150, 60}, .time = clock.Now() + 0.002});
  stream.Add({.kind = InputEvent::Kind::Release, .pos = {150, 60}, .time = clock.Now() + 0.004});
  Tick();
  input.Press(vk::kLButton);  // the ticks' reading of the same click, a tick late
  Tick();
  input.Release(vk::kLButton);
  Tick();
  TapKey(vk::kPause);
  EXPECT_EQ(Entries(),
            (std::vector<std::string>{"pauses,before", WindowEntry(kEditor), "Left,150,60,4"}));
}

TEST_F(WindowPlaybackTest, PositionsFollowTheirWindowWhoseEntriesTakeNoTime) {
  const std::vector<std::string> motion = {"move,150,60,10", "Left,160,70,10", "move,5,6,10"};
  const std::vector<std::string> followed = {WindowEntry(kEditor), motion[0], motion[1],
                                             "window,none", motion[2]};
  const std::vector<std::string> as_recorded = Play(motion, 3);
  ASSERT_EQ(as_recorded.size(), 3u);
  struct Case {
    const char* what;
    std::vector<TopWindow> open;
    bool screen_positions;
    std::vector<std::string> placed;
  };
  const Case cases[] = {
      {"unmoved", {kEditor}, false, as_recorded},
      {"moved",
       {moved_},
       false,
       {"SetCursorPos 350,30", "SetCursorPos 360,40", "SetCursorPos 5,6"}},
      {"--screen-positions", {moved_}, true, as_recorded},
      {"not open", {}, false, as_recorded},
  };
  for (const Case& c : cases) {
    windows.windows = c.open;
    poll.SetPlaybackOptions({.screen_positions = c.screen_positions});
    EXPECT_EQ(Play(followed, 3), c.placed) << c.what;
  }
}

TEST_F(WindowPlaybackTest, AWindowWaitedForHoldsThePlaybackAsleepUntilItOpensOrTheWaitEnds) {
  poll.SleepWhenIdle([] { return false; });
  poll.SetPlaybackOptions({.wait_for_window = 3});
  std::vector<std::string> told;
  poll.Windows().on_missing = [&](const std::string& text) { told.push_back(text); };
  Record({WindowEntry(kEditor), "move,150,60,500", "move,160,70,10"});
  StartIdle();
  // The window opens: the program wakes the waiting cycle, and the timeline goes on from there:
  // the wait after an entry, or the pause before one.
  for (const bool pauses_before : {false, true}) {
    poll.SetPlaybackOptions({.wait_before = pauses_before, .wait_for_window = 3});
    windows.windows.clear();
    input.Tap(vk::kF9);
    Ticks(2);
    EXPECT_LE(RunFor(2), 12) << "woken for the blinks and a look a second, no more";
    windows.Open(moved_);
    ASSERT_TRUE(poll.Windows().Waiting());
    log.Clear();
    poll.Wake();
    const double found = clock.Now();
    std::vector<double> placed(static_cast<size_t>(log.Count("SetCursorPos")), found);
    RunFor(0.6, &placed);
    ASSERT_GE(placed.size(), 2u);
    // Found, it is looked at once more before it is followed (it holds still).
    const double still = found + WindowMap::kSettleLook;
    EXPECT_NEAR(placed[0] - still, pauses_before ? 0.5 : 0, 0.011) << pauses_before;
    EXPECT_NEAR(placed[1] - still, pauses_before ? 0.51 : 0.5, 0.011) << pauses_before;
    EXPECT_EQ(Calls("SetCursorPos")[0], "SetCursorPos 350,30");
    TapKey(vk::kPause);
  }
  poll.SetPlaybackOptions({.wait_for_window = 3});
  // Pause stops a wait at once.
  windows.windows.clear();
  input.Tap(vk::kF9);
  Ticks(2);
  ASSERT_TRUE(poll.Windows().Waiting());
  input.Tap(vk::kPause);
  poll.Wake();
  Tick();
  EXPECT_EQ(recorder.mode, Mode::Idle);
  EXPECT_FALSE(poll.Windows().Waiting());
  // The wait runs out: the positions play as recorded, and the window is named.
  log.Clear();
  input.Tap(vk::kF9);
  Ticks(2);
  RunFor(3.1);
  EXPECT_EQ(Calls("SetCursorPos").front(), "SetCursorPos 150,60");
  EXPECT_EQ(told, (std::vector<std::string>{MissingWindowText(kEditor)}));
  EXPECT_EQ(Ctl(ControlId::StatusLine).caption, "[PLAYING] " + told[0]);
}

// A click in a window whose title is longer than an entry keeps (5,000 bytes; 1,500 "%", 4,500
// bytes once escaped) is saved, loaded and played into that window, as is a file of an earlier
// version that held such a title whole.
TEST_F(WindowPlaybackTest, ALongTitleIsSavedLoadedAndPlayedIntoItsWindow) {
  int n = 0;
  for (const std::string& title : {std::string(5000, 't'), std::string(1500, '%')}) {
    const std::string earlier = "window,100,50,800x600,Editor," + EscapeWindowText(title);
    for (const std::string& entry : {WindowEntry(With(kEditor, 5, title, 100, 50)), earlier}) {
      const std::string path = "/long" + std::to_string(++n) + ".mmf";
      Record({entry, "move,150,60,10", "Left,150,60,10"});
      SaveTo(path);  // written byte for byte, as any version writes its entries
      recorder.LoadDataFromFile(path);
      ASSERT_EQ(Boxes(), 0) << dialogs.boxes[0].text;
      windows.windows = {With(kEditor, 6, title, 300, 20)};
      input.Tap(vk::kF9);
      Ticks(4);
      TapKey(vk::kPause);
      EXPECT_EQ(Calls("SetCursorPos").back(), "SetCursorPos 350,30") << path;
    }
  }
}

}  // namespace
}  // namespace pel::test
