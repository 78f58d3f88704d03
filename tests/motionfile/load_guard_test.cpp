// What may happen while a load services window events: nothing that mixes two lists or loses
// a recording.

#include "testkit/engine_test.h"

namespace pel::test {
namespace {

class LoadGuardTest : public MotionFileTest {
 protected:
  void SetUp() override {
    std::string bytes = kHeaderLine;
    for (int i = 0; i < kEntries; ++i) bytes += "move," + std::to_string(i) + ",0,10\r\n";
    mem.Put("/d/big.mmf", bytes);
    mem.Put("/d/other.mmf", FileOf({"Left,1,1,1"}));
  }
  // The list's length at each turn the load of `path` gives the window.
  std::vector<int> CountsAtEachTurn(const std::string& path) {
    std::vector<int> counts;
    events.on_events = [&] {
      EXPECT_TRUE(recorder.LoadInProgress());
      counts.push_back(recorder.entries.Count());
    };
    recorder.LoadDataFromFile(path);
    events.on_events = nullptr;
    return counts;
  }
  static constexpr int kEntries = 20000;
};

TEST_F(LoadGuardTest, EventsRunDuringTheLoadAndSeeAPartlyFilledList) {
  const std::vector<int> counts = CountsAtEachTurn("/d/big.mmf");
  EXPECT_FALSE(recorder.LoadInProgress());
  ASSERT_GE(counts.size(), 2u);
  EXPECT_GT(counts.front(), 0);
  EXPECT_LT(counts.front(), kEntries);
  // Bounded: not once per line, but at least every 1024 lines.
  EXPECT_LT(counts.size(), static_cast<size_t>(kEntries / 100));
  for (size_t i = 1; i < counts.size(); ++i) EXPECT_LE(counts[i] - counts[i - 1], 1024);
}

TEST_F(LoadGuardTest, EvenASmallFileGivesTheWindowATurnWithTheListFilled) {
  EXPECT_EQ(CountsAtEachTurn("/d/other.mmf"), std::vector<int>{1});
}

TEST_F(LoadGuardTest, SecondLoadRecordingStartAndSaveAreRefusedMeanwhile) {
  recorder.mode = Mode::Idle;
  recorder.unsaved = true;  // a save now would offer the partial list
  int runs = 0;
  events.on_events = [&] {
    if (runs++ != 1) return;
    recorder.LoadDataFromFile("/d/other.mmf");
    recorder.ToggleRecording();
    recorder.SaveDataToFile();
    // F10 through the poll cycle as well.
    input.Tap(vk::kF10);
    clock.Advance(0.01);
    poll.OnTimer();
    clock.Advance(0.01);
    poll.OnTimer();
  };
  recorder.LoadDataFromFile("/d/big.mmf");
  EXPECT_EQ(recorder.mode, Mode::Idle);
  EXPECT_EQ(recorder.entries.Count(), kEntries);
  EXPECT_EQ(recorder.entries.Item(1), "move,0,0,10");
  EXPECT_EQ(SaveDialogs(), 0);
  EXPECT_EQ(log.Count("OpenRead /d/other.mmf"), 0);
  // Once the load is over, all of it works again.
  recorder.LoadDataFromFile("/d/other.mmf");
  EXPECT_EQ(Entries(), std::vector<std::string>{"Left,1,1,1"});
}

TEST_F(LoadGuardTest, LoadDuringRecordingEndsItBeforeTheSaveOffer) {
  recorder.mode = Mode::Recording;
  recorder.AddMotion(1, 2, 3, "move");
  dialogs.choices.push_back("/d/kept.mmf");
  // The cursor keeps moving while the load runs: a recording still on would add entries.
  int x = 100;
  events.on_events = [&] {
    input.MoveTo({x++, 50});
    clock.Advance(0.01);
    poll.OnTimer();
  };
  recorder.LoadDataFromFile("/d/big.mmf");
  EXPECT_EQ(recorder.mode, Mode::Idle);
  EXPECT_EQ(mem.Bytes("/d/kept.mmf"), FileOf({"move,1,2,3"}));
  EXPECT_FALSE(recorder.unsaved);
  ASSERT_EQ(recorder.entries.Count(), kEntries);
  EXPECT_EQ(recorder.entries.Item(kEntries), "move," + std::to_string(kEntries - 1) + ",0,10");
}

TEST_F(LoadGuardTest, PlaybackDuringTheLoadPlaysWhatHasArrived) {
  recorder.mode = Mode::Idle;
  bool started = false;
  events.on_events = [&] {
    if (!started) {
      recorder.StartPlaying();
      started = true;
    }
    clock.Advance(0.01);
    poll.OnTimer();
  };
  recorder.LoadDataFromFile("/d/big.mmf");
  EXPECT_EQ(recorder.mode, Mode::Playing);
  EXPECT_GT(log.Count("SetCursorPos"), 0);
  EXPECT_EQ(recorder.entries.Count(), kEntries);
}

}  // namespace
}  // namespace pel::test
