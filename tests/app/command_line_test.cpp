// The programs' command line: what each accepted form asks for, a one-line reason for each
// usage error, and --info's exit status.

#include "app/command_line.h"

#include <gtest/gtest.h>

#include "testkit/fake_files.h"

namespace pel::test {
namespace {

using Action = CommandLine::Action;

CommandLine Parse(const std::vector<std::string>& args) {
  std::string error;
  const std::optional<CommandLine> line = ParseCommandLine(args, error);
  if (!line) ADD_FAILURE() << error;
  return line.value_or(CommandLine{});
}

TEST(CommandLine, AcceptedFormsSayWhatToDo) {
  const CommandLine none = Parse({});
  EXPECT_EQ(none.action, Action::Window);
  EXPECT_FALSE(none.file);
  EXPECT_EQ(none.playback.repeat, 0);
  EXPECT_FALSE(none.playback.repeat_given);
  EXPECT_EQ(none.playback.speed, 1.0);
  EXPECT_FALSE(none.playback.stop_on_move || none.playback.wait_before ||
               none.playback.screen_positions);
  EXPECT_EQ(none.playback.wait_for_window, 0);
  EXPECT_FALSE(none.recording.every_event);
  EXPECT_TRUE(none.recording.wheel && none.recording.side_buttons);

  EXPECT_EQ(Parse({"take.mmf"}).file, "take.mmf");
  EXPECT_EQ(Parse({"-"}).file, "-");
  EXPECT_EQ(Parse({"--", "--play"}).file, "--play");

  const CommandLine play =
      Parse({"--repeat", "2", "--play", "a b.mmf", "--speed=0.5", "--stop-on-move",
             "--pauses-before-events", "--wait-for-window=2.5", "--screen-positions"});
  EXPECT_EQ(play.action, Action::Play);
  EXPECT_EQ(play.file, "a b.mmf");
  EXPECT_EQ(play.playback.repeat, 2);
  EXPECT_TRUE(play.playback.repeat_given);
  EXPECT_EQ(play.playback.speed, 0.5);
  EXPECT_TRUE(play.playback.stop_on_move && play.playback.wait_before &&
              play.playback.screen_positions);
  EXPECT_EQ(play.playback.wait_for_window, 2.5);

  EXPECT_EQ(Parse({"--record=new.mmf"}).action, Action::Record);
  const CommandLine record =
      Parse({"--every-event", "--record", "new.mmf", "--no-wheel", "--no-side-buttons"});
  EXPECT_EQ(record.action, Action::Record);
  EXPECT_TRUE(record.recording.every_event);
  EXPECT_FALSE(record.recording.wheel || record.recording.side_buttons);
  EXPECT_FALSE(Parse({"--no-wheel", "x.mmf"}).recording.wheel);  // F10 in the window
  EXPECT_EQ(Parse({"--info", "x.mmf"}).action, Action::Info);
  EXPECT_EQ(Parse({"--speed", "100", "x.mmf"}).playback.speed, 100);  // F9 in the window
  EXPECT_EQ(Parse({"--speed", "1e-1", "x.mmf"}).playback.speed, 0.1);
  const CommandLine command = Parse({"--command", "toggle-window"});
  EXPECT_EQ(command.action, Action::Command);
  EXPECT_EQ(command.command, Instance::Command::ToggleWindow);
  EXPECT_FALSE(command.file);
  EXPECT_EQ(Parse({"--command=stop"}).command, Instance::Command::Stop);
  // Help and version win over whatever else is there, errors included.
  EXPECT_EQ(Parse({"--play", "--bogus", "-h"}).action, Action::Help);
  EXPECT_EQ(Parse({"--speed", "0", "--version"}).action, Action::Version);
}

TEST(CommandLine, UsageErrorsGiveOneLineNamingTheArgument) {
  const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
      {{"--bogus"}, "unknown option --bogus"},
      {{"--speed"}, "--speed needs F"},
      {{"-x"}, "unknown option -x"},
      {{"--play"}, "--play needs FILE"},
      {{"--play", "--repeat", "2"}, "--play needs FILE"},
      {{"--play="}, "--play needs FILE"},
      {{"--repeat", "-1"}, "--repeat wants a whole number from 0, not \"-1\""},
      {{"--repeat=1.5"}, "--repeat wants a whole number from 0, not \"1.5\""},
      {{"--repeat", "99999999999"}, "--repeat wants a whole number from 0, not \"99999999999\""},
      {{"--speed", "0.05"}, "--speed wants a number from 0.1 to 100, not \"0.05\""},
      {{"--speed", "101"}, "--speed wants a number from 0.1 to 100, not \"101\""},
      {{"--speed", "2,5"}, "--speed wants a number from 0.1 to 100, not \"2,5\""},
      {{"--speed", "nan"}, "--speed wants a number from 0.1 to 100, not \"nan\""},
      {{"--stop-on-move=yes"}, "--stop-on-move takes no value"},
      {{"--wait-for-window", "-1"}, "--wait-for-window wants seconds from 0 to 86400, not \"-1\""},
      {{"--wait-for-window=86401"},
       "--wait-for-window wants seconds from 0 to 86400, not \"86401\""},
      {{"--info", "a.mmf", "--screen-positions"},
       "--screen-positions only applies to playing, not to --info"},
      {{"a.mmf", "b.mmf"}, "a second FILE: b.mmf"},
      {{"a.mmf", "--play", "b.mmf"}, "a second FILE: b.mmf"},
      {{"--info", "a.mmf", "--repeat", "3"}, "--repeat only applies to playing, not to --info"},
      {{"--record", "a.mmf", "--stop-on-move"},
       "--stop-on-move only applies to playing, not to --record"},
      {{"--play", "a.mmf", "--every-event"},
       "--every-event only applies to recording, not to --play"},
      {{"--no-side-buttons", "--info", "a.mmf"},
       "--no-side-buttons only applies to recording, not to --info"},
      {{"--no-wheel=1"}, "--no-wheel takes no value"},
      {{"--command"}, "--command needs WORD"},
      {{"--command", "pause"},
       "--command wants one of record, play, stop, toggle-window, not \"pause\""},
      {{"--command", "play", "a.mmf"}, "--command goes alone, without \"a.mmf\""},
      {{"a.mmf", "--command=play"}, "--command goes alone, without \"a.mmf\""},
      {{"--command", "play", "--play", "a.mmf"}, "--command goes alone, without \"a.mmf\""},
      {{"--command", "play", "--speed", "2"}, "--speed only applies to playing, not to --command"},
  };
  for (const auto& [args, reason] : cases) {
    std::string error;
    EXPECT_FALSE(ParseCommandLine(args, error)) << reason;
    EXPECT_EQ(error, reason);
  }
}

TEST(CommandLine, UsageNamesEveryOptionAndKey) {
  const std::string usage = UsageText("pelmira");
  EXPECT_EQ(usage.rfind("Usage: pelmira [OPTION]... [FILE]\n", 0), 0u);
  for (const char* word : {"--play FILE", "--record FILE", "--info FILE", "--repeat N", "--speed F",
                           "--stop-on-move", "--pauses-before-events", "--wait-for-window SECONDS",
                           "--screen-positions", "--every-event", "--no-wheel", "--no-side-buttons",
                           "--command WORD", "--help", "--version", "F10", "F9", "Pause", "F12"})
    EXPECT_NE(usage.find(word), std::string::npos) << word;
}

TEST(CommandLine, InfoExitsZeroOnlyForAPlayableFile) {
  fake::FakeFileSystem files;
  files.Put("/good.mmf", "[MouseMotionFile]\r\nmove,1,2,3\r\n");
  files.Put("/empty.mmf", "[MouseMotionFile]\r\n");
  std::string out, error;
  EXPECT_EQ(PrintMotionFileInfo(files, "/good.mmf", out, error), exit_status::kOk);
  EXPECT_NE(out.find("Playable: yes\n"), std::string::npos) << out;
  EXPECT_EQ(error, "");
  EXPECT_EQ(PrintMotionFileInfo(files, "/empty.mmf", out, error), exit_status::kFailed);
  EXPECT_EQ(error, "\"/empty.mmf\" holds no entry to play");
  EXPECT_EQ(PrintMotionFileInfo(files, "/none.mmf", out, error), exit_status::kFailed);
  EXPECT_EQ(error.find('\n'), std::string::npos) << error;
}

}  // namespace
}  // namespace pel::test
