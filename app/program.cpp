#include "app/program.h"

#include "app/handed_files.h"
#include "engine/motionfile/screen_layout.h"

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

// Why the running instance did not take a file: the line on the console, and the box the
// window shows in place of starting (around the file's name). A busy window keeps the
// running-instance message, whose F12 hint applies; the others have no window to show.
struct Refusal {
  Instance::Handed answer;
  std::string_view why;
  std::string_view box_before, box_after;
};
constexpr Refusal kRefusals[] = {
    {Instance::Handed::Refused,
     "its window is busy (recording, playing, or a box or dialog is open)", "", ""},
    {Instance::Handed::Playing, "it is playing a file (--play)",
     "Pelmira is playing a file from the command line (--play) and cannot open \"",
     "\" now.\r\nTry again when it has finished, or end it with [Pause]."},
    {Instance::Handed::Recording, "it is recording (--record)",
     "Pelmira is recording from the command line (--record) and cannot open \"",
     "\" now.\r\nEnd the recording with [Pause], then try again."},
    {Instance::Handed::Blocked, "it runs as administrator, and the system keeps files from it",
     "Pelmira is already running as administrator, and this start may not hand \"",
     "\" to it.\r\nOpen the file from that window, or close it first."},
};

// Says on the console why the running instance did not take `file` and sets the box.
void TellRefusal(const ProgramConsole& console, Instance::Handed handed, const std::string& file,
                 OtherInstance& other) {
  // Joined by append: GCC 12 at -O3 warns falsely (-Wrestrict) on "\"" + text + "\"".
  auto joined = [](std::initializer_list<std::string_view> parts) {
    std::string out;
    for (std::string_view part : parts) out.append(part);
    return out;
  };
  const Refusal* r = &kRefusals[0];
  for (const Refusal& each : kRefusals)
    if (each.answer == handed) r = &each;
  if (!r->box_before.empty()) {
    const std::string_view name = std::string_view(file).substr(file.find_last_of("/\\") + 1);
    other.message = joined({r->box_before, name, r->box_after});
  }
  console.Say(joined({"the running instance refused \"", file, "\": ", r->why}));
}

// What the sender of a command says and ends with, for each answer but Done.
constexpr struct {
  Instance::Commanded answer;
  std::string_view why;
  int status;
} kCommandAnswers[] = {
    {Instance::Commanded::Recording, "it is recording", exit_status::kNotNow},
    {Instance::Commanded::Playing, "it is playing", exit_status::kNotNow},
    {Instance::Commanded::Idle, "it is neither recording nor playing", exit_status::kNotNow},
    {Instance::Commanded::Empty, "it has nothing to play", exit_status::kNotNow},
    {Instance::Commanded::Hidden, "it runs --play or --record, whose window stays hidden",
     exit_status::kNotNow},
    {Instance::Commanded::Unavailable,
     "it cannot record: its backend sees neither the keys nor the pointer",
     exit_status::kUnavailable},
    {Instance::Commanded::NotUnderstood, "it takes no commands (an older version)",
     exit_status::kUndelivered},
    {Instance::Commanded::Blocked,
     "it runs as administrator, and the system keeps commands from it", exit_status::kUndelivered},
    {Instance::Commanded::NoAnswer, "it did not answer", exit_status::kUndelivered},
};

// --command: sends `command` to the running instance; the exit status of its answer.
int SendCommand(Instance& instance, Clock& clock, const ProgramConsole& console,
                Instance::Command command) {
  const std::string word(CommandWord(command));
  const double deadline = clock.Now() + kHandTimeoutMs / 1000.0;
  for (;;) {
    std::string detail;
    switch (instance.Claim(detail)) {
      case Instance::Claimed::Taken:
        console.Say("--command " + word + ": no instance of " + console.name + " runs");
        return exit_status::kNoInstance;
      case Instance::Claimed::Failed:
        console.Say("--command " + word + ": cannot tell whether an instance runs: " + detail);
        return exit_status::kUndelivered;
      case Instance::Claimed::Running:
        break;
    }
    const int left = static_cast<int>((deadline - clock.Now()) * 1000);
    Instance::Commanded answer = Instance::Commanded::NoAnswer;
    if (left > 0) answer = instance.Send(command, left);
    if (answer == Instance::Commanded::Done) return exit_status::kOk;
    // Still starting, or ended meanwhile: then the claim tells.
    if (answer == Instance::Commanded::NoAnswer && left > 0) {
      clock.SleepMs(kClaimRetryMs);
      continue;
    }
    for (const auto& a : kCommandAnswers)
      if (a.answer == answer) {
        console.Say("--command " + word +
                    " not done by the running instance: " + std::string(a.why));
        return a.status;
      }
    return exit_status::kUndelivered;
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
      console.out(UsageText(console.name) + console.ending_note + console.help_note);
      return exit_status::kOk;
    case Action::Version:
      console.out(console.name + " " + console.version + "\n");
      return exit_status::kOk;
    case Action::Info: {
      std::string out;
      const int code = PrintMotionFileInfo(files, *line.file, out, error);
      if (console.backend) out += "Backend: " + console.backend() + "\n";
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
                                 const CommandLine& line, OtherInstance& other) {
  other = OtherInstance{};
  if (line.action == CommandLine::Action::Command && line.command)
    return SendCommand(instance, clock, console, *line.command);
  const double deadline = clock.Now() + kHandTimeoutMs / 1000.0;
  for (;;) {
    std::string detail;
    switch (instance.Claim(detail)) {
      case Instance::Claimed::Taken:
        other.runs = false;  // its holder has ended since it was found
        return std::nullopt;
      case Instance::Claimed::Failed:
        // Running unclaimed would let two instances answer the same keys.
        console.Say("cannot make sure that no other instance runs: " + detail);
        return exit_status::kFailed;
      case Instance::Claimed::Running:
        break;
    }
    other.runs = true;
    if (const std::optional<int> refused = RefuseBesideRunningInstance(console, line))
      return refused;
    const int left = static_cast<int>((deadline - clock.Now()) * 1000);
    if (!line.file || left <= 0) return std::nullopt;
    switch (const Instance::Handed handed = instance.Hand(*line.file, left)) {
      case Instance::Handed::Taken:
        return exit_status::kOk;
      case Instance::Handed::NoAnswer:
        // Still starting, or ended meanwhile: then this start claims it.
        clock.SleepMs(kClaimRetryMs);
        break;
      default:
        TellRefusal(console, handed, *line.file, other);
        return std::nullopt;
    }
  }
}

int RunProgram(MainForm& form, const CommandLine& command, const ProgramConsole& console,
               const ProgramLoop& loop, Instance& instance, const OtherInstance& other) {
  CommandLine line = command;
  line.playback.tick_bound = TickBoundAsked(form.Recorder().Host().env);
  HandedFiles handed([&form] { return form.CanTakeHandedFile(); },
                     [&form](const std::string& file) { form.OpenHandedFile(file); });
  std::string error;
  if (!other.runs && !handed.Listen(instance, error))
    console.Say("files cannot be handed to this instance: " + error);
  else if (!other.runs)
    instance.Obey([&form](Instance::Command sent) { return form.Obey(sent); });
  form.SetPlaybackOptions(line.playback);
  form.SetRecordingOptions(line.recording);
  if (IsScripted(line)) {
    form.Poll().Screens().on_mapped = [&console] { console.Say(std::string(kLayoutMappedNote)); };
    form.Poll().Windows().on_missing = [&console](const std::string& text) { console.Say(text); };
    form.Poll().OnRecordingFallback([&console](const std::string& text) { console.Say(text); });
    // In place of StartUp: the window stays hidden and the program ends when the run does,
    // with its status.
    form.StartScripted(line, [&console, &loop](int code, std::string reason) {
      if (!reason.empty()) console.Say(reason);
      loop.quit(code);
    });
  } else {
    form.StartUp(other.message);
    loop.show();
    if (line.file) form.OpenAtStart(*line.file);
  }
  return loop.run();
}

}  // namespace pel
