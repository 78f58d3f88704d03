// Scripted runs (--play, --record) and opening a file named on the command line.

#include <gtest/gtest.h>

#include "testkit/app_rig.h"

namespace pel::test {
namespace {

// A program started for a scripted run.
struct ScriptRun {
  AppRig r;
  std::vector<std::pair<int, std::string>> results;

  ScriptRun() { r.window.visible = false; }  // the program never shows it in a scripted run
  void Start(CommandLine::Action action, const std::string& file, PlaybackOptions options = {}) {
    CommandLine command;
    command.action = action;
    command.file = file;
    command.playback = options;
    r.form.StartScripted(command, [this](int status, std::string reason) {
      results.emplace_back(status, std::move(reason));
    });
  }
  void Ticks(int n) {
    for (int i = 0; i < n; ++i) {
      r.clock.Advance(0.0101);
      r.form.OnTimer();
    }
  }
};
using Results = std::vector<std::pair<int, std::string>>;

TEST(Script, PlayOfAFileThatCannotBeLoadedFailsWithAOneLineReasonAndNoBox) {
  ScriptRun s;
  s.r.files.Put("/m/notes.txt", "hello\r\nmove,1,1,0\r\n");
  s.Start(CommandLine::Action::Play, "/m/notes.txt");
  EXPECT_TRUE(s.results.empty());  // not before the event loop runs
  s.Ticks(1);
  EXPECT_EQ(s.results, (Results{{exit_status::kFailed,
                                 "Nothing was loaded: \"/m/notes.txt\" is not a mouse motion file "
                                 "(its first line is not \"[MouseMotionFile]\")."}}));
  EXPECT_TRUE(s.r.dialogs.boxes.empty());
  s.Ticks(3);
  EXPECT_EQ(s.results.size(), 1u);
}

TEST(Script, PlayGivesOnePassHiddenUnlessARepeatIsAskedAndPauseEndsItAsStopped) {
  ScriptRun s;
  s.r.files.Put("/m/take.mmf", "[MouseMotionFile]\r\nLeft,5,5,20\r\nmove,6,6,0\r\n");
  s.Start(CommandLine::Action::Play, "/m/take.mmf");
  s.Ticks(3);
  s.r.input.Tap(vk::kF12);  // the window stays hidden whatever the keys say
  s.Ticks(30);
  EXPECT_EQ(s.r.log.Count("Button Left down"), 1);
  EXPECT_EQ(s.results, (Results{{exit_status::kOk, ""}}));
  EXPECT_GT(s.r.log.Count("frmPlay.Visible true"), 0);
  EXPECT_EQ(s.r.log.Count("Form1.Visible true"), 0);  // nor does Auto Show bring it back
  EXPECT_TRUE(s.r.dialogs.boxes.empty());

  ScriptRun again;
  again.r.files.Put("/m/take.mmf", s.r.files.Bytes("/m/take.mmf"));
  PlaybackOptions until_pause;
  until_pause.repeat_given = true;
  again.Start(CommandLine::Action::Play, "/m/take.mmf", until_pause);
  again.Ticks(40);
  EXPECT_TRUE(again.results.empty());
  again.r.input.Tap(vk::kPause);
  again.Ticks(2);
  EXPECT_EQ(again.results, (Results{{exit_status::kStopped, "Stopped by Pause."}}));
}

TEST(Script, RecordWritesTheFileOnPauseWithoutADialog) {
  ScriptRun s;
  s.r.files.Put("/home/u/take.mmf", "old");
  s.Start(CommandLine::Action::Record, "/home/u/take.mmf");
  s.Ticks(1);
  EXPECT_EQ(s.r.form.Recorder().mode, Mode::Recording);
  for (int x : {10, 11, 12}) {
    s.r.input.MoveTo({x, 7});
    s.Ticks(1);
  }
  s.r.input.Tap(vk::kPause);
  s.Ticks(2);
  EXPECT_EQ(s.results, (Results{{exit_status::kOk, ""}}));
  EXPECT_EQ(s.r.files.Bytes("/home/u/take.mmf"),
            "[MouseMotionFile]\r\npauses,before\r\nmove,11,7,10\r\nmove,12,7,10\r\n");
  EXPECT_EQ(s.r.log.Count("Commit /home/u/take.mmf"), 1);  // written beside it, put in place whole
  // A signal that comes after the save, before the program has ended, is told the save's end.
  int status = -1;
  EXPECT_EQ(s.r.form.KeepBeforeEnd(status), "the recording was saved to \"/home/u/take.mmf\"");
  EXPECT_EQ(status, exit_status::kOk);
  EXPECT_EQ(s.r.log.Count("Commit /home/u/take.mmf"), 1) << "saved once";
  EXPECT_EQ(s.r.log.Count("ShowSave"), 0);
  EXPECT_TRUE(s.r.dialogs.boxes.empty());

  // Ended from outside while recording: saved as Pause would, and once, whatever ticks follow.
  ScriptRun ended;
  ended.Start(CommandLine::Action::Record, "/home/u/take.mmf");
  for (int x : {1, 2, 3}) {
    ended.r.input.MoveTo({x, 7});
    ended.Ticks(1);
  }
  EXPECT_EQ(ended.r.form.KeepBeforeEnd(status), "the recording was saved to \"/home/u/take.mmf\"");
  ended.Ticks(2);
  EXPECT_EQ(ended.r.log.Count("Commit /home/u/take.mmf"), 1) << "saved once";
  EXPECT_EQ(ended.results, (Results{{exit_status::kOk, ""}}));

  // Nothing recorded: the file a script named is not replaced by an empty one.
  ScriptRun empty;
  empty.r.files.Put("/home/u/take.mmf", "old");
  empty.Start(CommandLine::Action::Record, "/home/u/take.mmf");
  empty.Ticks(2);
  empty.r.input.Tap(vk::kPause);
  empty.Ticks(2);
  ASSERT_EQ(empty.results.size(), 1u);
  EXPECT_EQ(empty.results[0].first, exit_status::kFailed);
  EXPECT_EQ(empty.r.files.Bytes("/home/u/take.mmf"), "old");
}

TEST(OpenAtStart, LoadsAsLoadDoesWithItsMessagesAndNotDuringAScriptedRun) {
  AppRig r;
  r.form.StartUp();
  r.files.Put("/m/take.mmf", "[MouseMotionFile]\r\nmove,1,2,0\r\n");
  EXPECT_TRUE(r.form.OpenAtStart("/m/take.mmf"));
  EXPECT_EQ(r.form.Recorder().entries.Count(), 1);
  EXPECT_EQ(r.form.MotionFileDialog().file_name, "/m/take.mmf");
  EXPECT_TRUE(r.form.OpenAtStart("/m/missing.mmf"));
  ASSERT_EQ(r.dialogs.boxes.size(), 1u);
  EXPECT_EQ(r.dialogs.boxes[0].text.rfind("Nothing was loaded", 0), 0u);
  EXPECT_EQ(r.form.Recorder().entries.Count(), 1);

  CommandLine record;
  record.action = CommandLine::Action::Record;
  record.file = "/m/new.mmf";
  r.form.StartScripted(record, [](int, std::string) {});
  EXPECT_FALSE(r.form.OpenAtStart("/m/take.mmf"));
}

// The rule both programs apply to a file that a later start hands over.
TEST(OpenAtStart, AHandedFileIsTakenWhenFreeWaitsForALoadAndIsRefusedWhileBusy) {
  using W = HandedFileWindow;
  AppRig r;
  r.form.StartUp();
  for (const auto& [mode, want] :
       {std::pair{Mode::None, W::Free}, std::pair{Mode::Idle, W::Free},
        std::pair{Mode::Recording, W::Busy}, std::pair{Mode::Playing, W::Busy}}) {
    r.form.Recorder().mode = mode;
    EXPECT_EQ(r.form.CanTakeHandedFile(), want) << StateText(mode);
  }
  r.form.Recorder().mode = Mode::Idle;

  // While a box or file dialog waits for its answer; a load's own save offer lets it wait.
  std::vector<W> seen;
  r.dialogs.while_open = [&] { seen.push_back(r.form.CanTakeHandedFile()); };
  r.form.OnHelpClicked();  // Help
  r.form.OnLoadClicked();  // Load, its dialog cancelled
  r.form.Recorder().AddMotion(1, 2, 0, "move");
  r.files.Put("/m/take.mmf", "[MouseMotionFile]\r\nmove,1,2,0\r\n");
  r.form.OpenAtStart("/m/take.mmf");
  EXPECT_EQ(seen, (std::vector<W>{W::Busy, W::Busy, W::Loading}));
  EXPECT_EQ(r.form.CanTakeHandedFile(), W::Free);

  CommandLine play;
  play.action = CommandLine::Action::Play;
  play.file = "/m/take.mmf";
  r.form.StartScripted(play, [](int, std::string) {});
  EXPECT_EQ(r.form.CanTakeHandedFile(), W::ScriptedPlay);
}

}  // namespace
}  // namespace pel::test
