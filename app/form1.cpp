#include "app/form1.h"

#include <utility>
#include <vector>

#include "app/layout.h"
#include "engine/motion_entry.h"

namespace pel {

namespace {
// Pause between two queries of a key that start-up waits for: short enough that the wait ends
// unnoticed, long enough not to keep a core busy.
constexpr int kKeyWaitMs = 5;
}  // namespace

Form1::Form1(Form1Host host)
    : host_(host),
      dialogs_(host.dialogs),
      reporter_(dialogs_),
      dialog_(dialogs_),
      engine_(EngineHost{host.input, host.clock, dialogs_, host.events, host.files, host.env,
                         reporter_, dialog_}),
      indicators_(IndicatorHost{[this] { return engine_.GetTempFolder(); }, host.files, host.env,
                                reporter_, host.indicator_factory}),
      poll_(PollHost{engine_, globals_, host.window, indicators_, dialogs_}),
      recovery_(host.files, host.env) {
  dialog_.Filter = std::string(layout::CommonDialog1().filter);
}

void Form1::Form_Load() {
  Procedure p(reporter_, "Form1.Form_Load");
  if (p.Test(100, [&] { return host_.shell.PreviousInstance(); })) {
    p.Step(102, [&] { dialogs_.MessageBox(kAlreadyRunning, "", MsgButtons::Ok, MsgIcon::None); });
    p.Step(104, [&] { Form_Unload(); });
    return;
  }
  p.Step(106, [&] { ApplySkin(); });

  const std::string pointer =
      host_.env.ProgramFolder() + host_.env.Separator() + std::string(kPointerFile);
  if (p.Test(110, [&] { return FileExists(pointer); }))
    p.Step(112, [&] { host_.window.LoadCustomPointer(pointer); });

  p.Step(114, [&] {
    host_.random.Randomize();
    const int draw = static_cast<int>(host_.random.Rnd() * 100) + 1;
    if (draw == 7) host_.shell.OpenUrl(std::string(kHomePage));
  });
  // Recordings the last run could not save when it was ended (a signal, the display gone).
  p.Step(116, [&] {
    const std::vector<std::string> kept = recovery_.TakeNote();
    if (kept.empty()) return;
    std::string text = "Pelmira was ended before a recording was saved. It has been kept in:";
    for (const std::string& path : kept) text += "\r\n" + path;
    dialogs_.MessageBox(text, "", MsgButtons::Ok, MsgIcon::Exclamation);
  });
  StartPolling(p);
}

void Form1::StartPolling(Procedure& p) {
  p.Step(132, [&] {
    host_.window.SetCaption(kProductName);
    host_.window.SetAppIcon();
    SetAppTitle();
  });
  p.Step(134,
         [&] { globals_.PlayButtonCaption = host_.window.Get(ControlId::PushButton2).Caption(); });

  // A key still held from launching the program must not reach the first tick as a release;
  // each query also clears the key's pressed-since-last-query mark.
  const std::pair<int, int> waits[] = {
      {136, vk::kF12}, {138, vk::kF10}, {140, vk::kF9}, {142, vk::kPause}};
  for (const auto& [step, key] : waits) {
    p.Step(step, [&, key = key] {
      while (host_.input.KeyState(key) != 0) host_.clock.SleepMs(kKeyWaitMs);
    });
  }

  p.Step(144, [&] { host_.window.SetTimerEnabled(true); });
  p.Step(146, [&] { host_.window.Get(ControlId::lState).SetBackColor(color::kWhite); });
}

void Form1::SetPlaybackOptions(const PlaybackOptions& options) {
  poll_.Options = options;
}

bool Form1::OpenAtStart(const std::string& path) {
  if (scripted_) return false;
  Procedure p(reporter_, "Form1.OpenAtStart");
  p.Step(100, [&] { dialog_.FileName = path; });
  p.Step(102, [&] { engine_.LoadDataFromFile(path); });
  // A load ends a running recording.
  poll_.Wake();
  return true;
}

void Form1::StartScripted(const CommandLine& command, ScriptFinished finished) {
  scripted_ = command.action;
  script_file_ = command.file.value_or("");
  finished_ = std::move(finished);
  dialogs_.quiet = true;
  poll_.StayHidden = true;
  poll_.OnStop = [this](Mode ended, StopCause cause) { ScriptStopped(ended, cause); };
  PlaybackOptions options = command.playback;
  // A script that plays a file expects it to end: one pass unless a count was asked for.
  if (command.action == CommandLine::Action::Play && !options.repeat_given && options.repeat == 0)
    options.repeat = 1;
  SetPlaybackOptions(options);

  Procedure p(reporter_, "Form1.Form_Load");
  StartPolling(p);
  dialogs_.TakeKept();  // a failure of the window's set-up does not concern the run

  if (script_file_.empty()) return Finish(exit_status::kFailed, "no motion file given");
  if (command.action == CommandLine::Action::Play) {
    engine_.LoadDataFromFile(script_file_);
    std::string refused = dialogs_.TakeKept();
    if (!refused.empty()) return Finish(exit_status::kFailed, refused);
    if (HoldsNoMotion(engine_.MotionList))
      return Finish(exit_status::kFailed, "\"" + script_file_ + "\" holds no entries to play.");
    bool playable = false;
    for (int32_t i = 1; i <= engine_.MotionList.Count() && !playable; ++i) {
      try {
        playable = ReadEntry(engine_.MotionList.Item(i)).has_value();
      } catch (...) {
        // Numbers out of range: playback passes over it too.
      }
    }
    if (!playable)
      return Finish(exit_status::kNotPlayed,
                    "\"" + script_file_ + "\" holds no entry that can be played.");
    engine_.StartPlaying();
  } else if (command.action == CommandLine::Action::Record) {
    // A file that cannot take the recording is found out before anything is recorded: the
    // replacement is begun and dropped, which leaves the target as it was.
    try {
      if (host_.files.KindOf(script_file_) == PathKind::Folder)
        return Finish(exit_status::kFailed, "\"" + script_file_ + "\" is a folder.");
      host_.files.BeginReplace(script_file_, FileUse::User);
    } catch (...) {
      return Finish(exit_status::kFailed,
                    "\"" + script_file_ + "\" cannot be saved: " +
                        OneLine(ErrorReporter::Describe(std::current_exception())) +
                        "; nothing was recorded.");
    }
    engine_.ToggleRecording();
  } else {
    return Finish(exit_status::kFailed, "nothing to run without the window");
  }
  if (poll_.Asleep()) poll_.Wake();
}

void Form1::ScriptStopped(Mode ended, StopCause cause) {
  const bool play = scripted_ == CommandLine::Action::Play;
  if (play && ended == Mode::Playing) {
    switch (cause) {
      case StopCause::Passes: {
        std::string failed = dialogs_.TakeKept();
        const int status = failed.empty() ? exit_status::kOk : exit_status::kNotPlayed;
        return Finish(status, std::move(failed));
      }
      case StopCause::UserMoved:
        return Finish(exit_status::kStopped, "Stopped: the pointer was moved.");
      case StopCause::UserClicked:
        return Finish(exit_status::kStopped, "Stopped: a mouse button was pressed.");
      case StopCause::NoData:
        return Finish(exit_status::kFailed, "No Data loaded for Playback");
      case StopCause::Command:
        return Finish(exit_status::kStopped, "Stopped by Pause.");
    }
  }
  if (!play && ended == Mode::Recording) {
    std::string reason;
    const int status = SaveScripted(reason);
    Finish(status, std::move(reason));
  }
}

int Form1::SaveScripted(std::string& reason) {
  if (HoldsNoMotion(engine_.MotionList)) {
    reason = "Nothing was recorded; \"" + script_file_ + "\" was left as it was.";
    return exit_status::kFailed;
  }
  try {
    engine_.SaveTo(script_file_);
    reason = dialogs_.TakeKept();
    return exit_status::kOk;
  } catch (...) {
    reason = "\"" + script_file_ +
             "\" could not be saved: " + OneLine(ErrorReporter::Describe(std::current_exception()));
  }
  // The recording is never thrown away: it goes where the user can find it.
  try {
    reason += "; the recording was kept in \"" + recovery_.Keep(engine_) + "\"";
  } catch (...) {
    reason += "; nor could it be kept in the state folder: " +
              OneLine(ErrorReporter::Describe(std::current_exception()));
  }
  return exit_status::kFailed;
}

std::string Form1::KeepBeforeEnd(int& status) {
  if (scripted_ == CommandLine::Action::Record) {
    // A recording still running ends here, as Pause would end it.
    if (engine_.RecorderState == Mode::Recording) engine_.ToggleRecording();
    std::string reason;
    status = SaveScripted(reason);
    if (!reason.empty()) return reason;
    return "the recording was saved to \"" + script_file_ + "\"";
  }
  if (scripted_ || !engine_.UnsavedChanges || HoldsNoMotion(engine_.MotionList)) return {};
  try {
    const std::string path = recovery_.Keep(engine_);
    recovery_.Note(path);
    return "the unsaved recording was kept in \"" + path + "\"";
  } catch (...) {
    return "the unsaved recording could not be kept: " +
           OneLine(ErrorReporter::Describe(std::current_exception()));
  }
}

void Form1::Finish(int status, std::string reason) {
  poll_.Post([this, status, reason = std::move(reason)] {
    ScriptFinished finished = std::move(finished_);
    finished_ = nullptr;
    if (finished) finished(status, reason);
  });
}

void Form1::Form_Unload() {
  host_.shell.EndProgram();
}

void Form1::PushButton1_Click() {
  Procedure p(reporter_, "Form1.PushButton1_Click");
  // The save dialog lets ticks run: a recording stopped by Pause meanwhile is not to be
  // toggled back on, which would clear the list at once.
  const Mode before = engine_.RecorderState;
  p.Step(100, [&] { engine_.SaveDataToFile(); });
  p.Step(102, [&] {
    if (engine_.RecorderState == before) engine_.ToggleRecording();
  });
}

void Form1::PushButton2_Click() {
  Procedure p(reporter_, "Form1.PushButton2_Click");
  p.Step(100, [&] { engine_.StartPlaying(); });
}

void Form1::PushButton3_Click() {
  Procedure p(reporter_, "Form1.PushButton3_Click");
  p.Step(100, [&] { dialogs_.MessageBox(kHelpText, "", MsgButtons::Ok, MsgIcon::None); });
}

void Form1::PushButton4_Click() {
  Procedure p(reporter_, "Form1.PushButton4_Click");
  p.Step(106, [&] { host_.window.SetVisible(false); });
}

void Form1::PushButton5_Click() {
  Procedure p(reporter_, "Form1.PushButton5_Click");
  // The dialog proposes the path chosen last in either dialog.
  p.Step(100, [&] { dialog_.ShowOpen(); });
  std::string path;
  p.Step(102, [&] { path = dialog_.FileName; });
  if (p.Test(104, [&] { return path.empty(); })) return;
  p.Step(106, [&] { engine_.LoadDataFromFile(path); });
}

void Form1::PushButton6_Click() {
  Procedure p(reporter_, "Form1.PushButton6_Click");
  p.Step(100, [&] { engine_.SaveDataToFile(); });
}

void Form1::Click(ControlId id) {
  switch (id) {
    case ControlId::PushButton1:
      return PushButton1_Click();
    case ControlId::PushButton2:
      return PushButton2_Click();
    case ControlId::PushButton3:
      return PushButton3_Click();
    case ControlId::PushButton4:
      return PushButton4_Click();
    case ControlId::PushButton5:
      return PushButton5_Click();
    case ControlId::PushButton6:
      return PushButton6_Click();
    default:
      return;
  }
}

void Form1::Form_MouseMove(int, int, float, float) {
  host_.window.SetPointerKind(kPointerDefault);
}

void Form1::MouseMove(ControlId id, int, int, float, float) {
  switch (id) {
    case ControlId::PushButton1:
    case ControlId::PushButton2:
    case ControlId::PushButton3:
    case ControlId::PushButton4:
    case ControlId::PushButton5:
    case ControlId::PushButton6:
      host_.window.SetPointerKind(kPointerCustom);
      return;
    case ControlId::Frame1:
    case ControlId::Frame2:
      host_.window.SetPointerKind(kPointerDefault);
      return;
    default:
      // Check boxes, the status line and the hidden text box keep the pointer last set.
      return;
  }
}

void Form1::ApplySkin() {
  const char sep = host_.env.Separator();
  const std::string path = host_.env.ProgramFolder() + sep + "x" + sep + "o.cjs";
  // Only an ordinary file counts: a folder, hidden or system file of that name is no skin.
  if (!host_.files.IsNormalFile(path)) return;

  // The colours follow the file's presence, whether or not the engine accepts the file.
  host_.window.SetBackColor(color::kButtonFace);
  for (const layout::ControlLayout& c : layout::Form1().controls) {
    switch (c.kind) {
      case layout::ControlKind::CheckBox:
      case layout::ControlKind::Frame:
      case layout::ControlKind::Label:
        host_.window.Get(c.id).SetBackColor(color::kButtonFace);
        break;
      default:
        break;
    }
  }

  SkinEngine& skin = host_.skin;
  skin.LoadSkin(path, "");
  const int32_t flags = skin.Flags();
  skin.SetFlags(flags | SkinEngine::kApplyToWindowFrame);
  skin.SetApplyToDialogs(true);
  skin.SetApplyToChildren(true);
  skin.ApplyToWindow(host_.window.NativeHandle());
}

std::string Form1::AppTitle(std::string_view name) {
  std::string title(name);
  bool cut = false;
  while (!cut || title.size() > kAppTitleLimit) {
    const size_t blank = title.rfind(' ');
    if (blank == std::string::npos) break;
    title.resize(blank);
    cut = true;
  }
  // A leading blank would leave nothing; an empty title would hide the program in the task list.
  if (title.empty()) title = std::string(name);
  if (title.size() > kAppTitleLimit) title.resize(kAppTitleLimit);
  return title;
}

void Form1::SetAppTitle() {
  dialogs_.SetApplicationTitle(AppTitle(kProductName));
}

std::string Form1::OneLine(std::string_view text) {
  std::string line;
  bool in_break = false;
  for (char c : text) {
    if (c == '\r' || c == '\n') {
      in_break = true;
    } else if (in_break && c == ' ') {
      continue;
    } else {
      if (in_break && !line.empty()) line.push_back(' ');
      in_break = false;
      line.push_back(c);
    }
  }
  return line;
}

void ScriptDialogs::SetApplicationTitle(std::string_view title) {
  shown_.SetApplicationTitle(title);
}

MsgResult ScriptDialogs::MessageBox(std::string_view text, std::string_view title,
                                    MsgButtons buttons, MsgIcon icon) {
  if (!quiet) return shown_.MessageBox(text, title, buttons, icon);
  if (kept_.empty()) {
    // A refused load says the recording in memory was kept: a script has none.
    std::string_view said = text;
    if (said.ends_with(kRecordingKept)) said.remove_suffix(kRecordingKept.size());
    kept_ = Form1::OneLine(said);
    while (!kept_.empty() && kept_.back() == ' ') kept_.pop_back();
  }
  return buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Ok;
}

std::string ScriptDialogs::ShowSave(std::string_view initial, std::string_view filter) {
  return quiet ? std::string() : shown_.ShowSave(initial, filter);
}

std::string ScriptDialogs::ShowOpen(std::string_view initial, std::string_view filter) {
  return quiet ? std::string() : shown_.ShowOpen(initial, filter);
}

std::string ScriptDialogs::TakeKept() {
  return std::exchange(kept_, std::string());
}

bool Form1::FileExists(const std::string& path) {
  try {
    return host_.files.CanReadTimestamp(path);
  } catch (...) {
    return false;
  }
}

FormHandlers Form1::Handlers() {
  return FormHandlers{
      [this](ControlId id) {
        Click(id);
        // What the command changed takes effect at the next tick; a sleeping timer brings none.
        poll_.Wake();
      },
      [this](std::optional<ControlId> id) {
        if (id)
          MouseMove(*id, 0, 0, 0, 0);
        else
          Form_MouseMove(0, 0, 0, 0);
      },
      [this] { Timer1_Timer(); },
      [this] { Form_Unload(); },
  };
}

}  // namespace pel
