#include "app/program.h"

#include "app/handed_files.h"
#include "engine/screen_layout.h"

namespace pel {

namespace {

// Playback at the poll's ticks rather than each entry at its own moment: the bench's baseline.
bool TickBoundAsked(Environment& env) {
  try {
    return env.Get("PEL_TICK_BOUND_PLAYBACK").has_value();
  } catch (...) {
    return false;  // a value that cannot be read asks for nothing
  }
}

}  // namespace

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
      console.out(UsageText(console.name) + console.help_note);
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

std::optional<int> ClaimInstance(Instance& instance, Clock& clock, const ProgramConsole& console,
                                 const CommandLine& line, bool& previous) {
  previous = false;
  const double deadline = clock.Now() + kHandTimeoutMs / 1000.0;
  for (;;) {
    std::string detail;
    switch (instance.Claim(detail)) {
      case Instance::Claimed::Taken:
        previous = false;  // its holder has ended since it was found
        return std::nullopt;
      case Instance::Claimed::Failed:
        // Running unclaimed would let two instances answer the same keys.
        console.Say("cannot make sure that no other instance runs: " + detail);
        return exit_status::kFailed;
      case Instance::Claimed::Running:
        break;
    }
    previous = true;
    if (const std::optional<int> refused = RefuseBesideRunningInstance(console, line))
      return refused;
    const int left = static_cast<int>((deadline - clock.Now()) * 1000);
    if (!line.file || left <= 0) return std::nullopt;
    switch (instance.Hand(*line.file, left)) {
      case Instance::Handed::Taken:
        return exit_status::kOk;
      case Instance::Handed::Refused:
        return std::nullopt;
      case Instance::Handed::NoAnswer:
        // Still starting, or ended meanwhile: then this start claims it.
        clock.SleepMs(kClaimRetryMs);
        break;
    }
  }
}

int RunProgram(MainForm& form, const CommandLine& command, const ProgramConsole& console,
               const ProgramLoop& loop, Instance* claimed) {
  CommandLine line = command;
  line.playback.tick_bound = TickBoundAsked(form.Recorder().Host().env);
  HandedFiles handed([&form] { return form.CanTakeHandedFile(); },
                     [&form](const std::string& file) { form.OpenAtStart(file); });
  std::string error;
  if (claimed && !handed.Listen(*claimed, error))
    console.Say("files cannot be handed to this instance: " + error);
  form.SetPlaybackOptions(line.playback);
  form.SetRecordingOptions(line.recording);
  if (IsScripted(line)) {
    form.Poll().screens.OnMapped = [&console] { console.Say(std::string(kLayoutMappedNote)); };
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
