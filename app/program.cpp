#include "app/program.h"

#include "engine/screen_layout.h"

namespace pel {

std::optional<int> AnswerCommandLine(const ProgramConsole& console,
                                     const std::vector<std::string>& args, FileSystem& files,
                                     CommandLine& line) {
  using Action = CommandLine::Action;
  std::string error;
  std::optional<CommandLine> parsed = ParseCommandLine(args, error);
  if (!parsed) {
    console.Say(error + " (see " + console.name + " --help)");
    return exit_status::kUsage;
  }
  line = std::move(*parsed);
  switch (line.action) {
    case Action::Help:
      console.out(UsageText(console.name) + console.ending_note + console.help_note);
      return exit_status::kOk;
    case Action::Version:
      console.out(console.name + " " + console.version + "\n");
      return exit_status::kOk;
    case Action::Info: {
      std::string out;
      const int code = PrintMotionFileInfo(files, *line.file, out, error);
      console.out(out);
      if (!error.empty()) console.Say(error);
      return code;
    }
    default:
      return std::nullopt;
  }
}

bool IsScripted(const CommandLine& line) {
  return line.action == CommandLine::Action::Play || line.action == CommandLine::Action::Record;
}

std::optional<int> RefuseBesideRunningInstance(const ProgramConsole& console,
                                               const CommandLine& line) {
  if (!IsScripted(line)) return std::nullopt;
  console.Say("another instance is running; close it or stop it first");
  return exit_status::kFailed;
}

int RunProgram(MainForm& form, const CommandLine& line, const ProgramConsole& console,
               const ProgramLoop& loop) {
  form.SetPlaybackOptions(line.playback);
  if (IsScripted(line)) {
    form.Poll().Screens.OnMapped = [&console] { console.Say(std::string(kLayoutMappedNote)); };
    // In place of StartUp: the window stays hidden and the program ends when the run does,
    // with its status.
    form.StartScripted(line, [&console, &loop](int code, std::string reason) {
      if (!reason.empty()) console.Say(reason);
      loop.quit(code);
    });
  } else {
    form.StartUp();
    loop.show();
    if (line.file) form.OpenAtStart(*line.file);
  }
  return loop.run();
}

}  // namespace pel
