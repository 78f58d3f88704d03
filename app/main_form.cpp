#include "app/main_form.h"

#include <utility>
#include <vector>

#include "app/layout.h"
#include "engine/motionfile/motion_entry.h"
#include "engine/motionfile/screen_layout.h"

namespace pel {

MainForm::MainForm(MainFormHost host)
    : host_(host),
      keys_(host.input),
      dialogs_(host.dialogs),
      reporter_(dialogs_),
      dialog_(dialogs_, layout::MotionFileDialog().filter),
      recorder_(RecorderHost{
          {keys_, host.clock, dialogs_, host.events, host.files, host.env}, reporter_, dialog_}),
      indicators_(IndicatorHost{[this] { return recorder_.GetTempFolder(); }, host.files, host.env,
                                reporter_, host.indicator_factory}),
      panel_(host.window),
      poll_(PollHost{recorder_, captions_, host.window, panel_, indicators_, dialogs_}),
      recovery_(host.files, host.env) {
  // F10 asks nothing: a take it records over goes to a recovery file, as at a signal.
  poll_.SetKeepTake([this] { return recovery_.Keep(recorder_); });
  // A box or dialog the user is to answer must not find a button held down by a playback.
  dialogs_.before_shown = [this] { poll_.ReleaseButtons(); };
}

void MainForm::StartUp(std::string_view running) {
  Procedure p(reporter_, where::kStartUp);
  if (p.Test(100, [&] { return host_.shell.PreviousInstance(); })) {
    p.Step(102, [&] { dialogs_.MessageBox(running, "", MsgButtons::Ok, MsgIcon::None); });
    p.Step(104, [&] { OnClose(); });
    return;
  }
  p.Step(106, [&] { ApplySkin(); });

  const std::string pointer =
      host_.env.ProgramFolder() + host_.env.Separator() + std::string(kPointerFile);
  if (p.Test(110, [&] { return PathExists(pointer); }))
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

void MainForm::StartPolling(Procedure& p) {
  p.Step(132, [&] {
    host_.window.SetCaption(kProductName);
    host_.window.SetAppIcon();
    SetAppTitle();
  });
  p.Step(134, [&] { captions_.play_button = host_.window.Get(ControlId::PlayButton).Caption(); });

  // A key still held from launching the program must not reach a tick as a release. It is not
  // waited for: a wait here held up the event loop, signals and a scripted run until the key
  // was let go, for good when its release never came.
  const std::pair<int, int> keys[] = {
      {136, vk::kF12}, {138, vk::kF10}, {140, vk::kF9}, {142, vk::kPause}};
  for (const auto& [step, key] : keys) p.Step(step, [&, key = key] { keys_.HoldIfDown(key); });

  p.Step(144, [&] { host_.window.SetTimerEnabled(true); });
  p.Step(146, [&] { host_.window.Get(ControlId::StatusLine).SetBackColor(color::kWhite); });
}

void MainForm::SetPlaybackOptions(const PlaybackOptions& options) {
  poll_.SetPlaybackOptions(options);
}

void MainForm::SetRecordingOptions(const RecordingOptions& options) {
  poll_.SetRecordingOptions(options);
  const std::pair<ControlId, bool> boxes[] = {{ControlId::RecordWheel, options.wheel},
                                              {ControlId::RecordSideButtons, options.side_buttons}};
  for (const auto& [id, taken] : boxes) {
    if (taken) continue;
    Control& box = host_.window.Get(id);
    box.SetValue(0);
    box.SetEnabled(false);
  }
}

void MainForm::Attach(const Desktop& desktop) {
  poll_.Screens().Attach(desktop.screens);
  poll_.Windows().Attach(desktop.windows);
  poll_.AttachInputEvents(desktop.pointer_events);
  if (desktop.take_input) poll_.SleepWhenIdle(desktop.take_input);
}

void MainForm::OnWindowsChanged() {
  if (poll_.Windows().Waiting()) poll_.Wake();
}

bool MainForm::OpenAtStart(const std::string& path) {
  if (script_) return false;
  Procedure p(reporter_, where::kOpenAtStart);
  p.Step(100, [&] { dialog_.file_name = path; });
  p.Step(102, [&] { recorder_.LoadDataFromFile(path); });
  // A load ends a running recording.
  poll_.Wake();
  return true;
}

bool MainForm::OpenHandedFile(const std::string& path) {
  if (script_) return false;
  opening_handed_ = true;
  struct Opening {
    bool& flag;
    ~Opening() { flag = false; }
  } opening{opening_handed_};
  // The load would offer the save too, but go on whatever the answer: the recording would be
  // lost for a file the user may have opened by mistake. Asked here, a recording kept unsaved
  // keeps the file out.
  Procedure p(reporter_, where::kOpenHandedFile);
  p.Step(100, [&] { recorder_.SaveDataToFile(); });
  if (recorder_.HasWorkToKeep()) {
    std::string line = "Not opened: ";
    line.append(path, path.find_last_of("/\\") + 1).append(" (the unsaved recording was kept)");
    p.Step(102, [&] { host_.window.Get(ControlId::StatusLine).SetCaption(line); });
    return false;
  }
  return OpenAtStart(path);
}

HandedFileWindow MainForm::CanTakeHandedFile() const {
  if (script_)
    return script_->Action() == CommandLine::Action::Record ? HandedFileWindow::ScriptedRecord
                                                            : HandedFileWindow::ScriptedPlay;
  if (recorder_.LoadInProgress() || opening_handed_) return HandedFileWindow::Loading;
  const Mode mode = recorder_.mode;
  const bool idle = mode == Mode::Idle || mode == Mode::None;
  return idle && !dialogs_.Open() ? HandedFileWindow::Free : HandedFileWindow::Busy;
}

void MainForm::StartScripted(const CommandLine& command, ScriptFinished finished) {
  script_.emplace(ScriptHost{recorder_, poll_, dialogs_, host_.files, recovery_}, command,
                  std::move(finished));
  Procedure p(reporter_, where::kStartUp);
  StartPolling(p);
  script_->Start();
}

std::string MainForm::KeepBeforeEnd(int& status) {
  poll_.EndRecordingNow();
  if (script_) return script_->KeepBeforeEnd(status);
  if (!recorder_.HasWorkToKeep()) return {};
  try {
    const std::string path = recovery_.Keep(recorder_);
    recovery_.Note(path);
    return "the unsaved recording was kept in \"" + path + "\"";
  } catch (...) {
    return "the unsaved recording could not be kept: " +
           OneLine(ErrorReporter::Describe(std::current_exception()));
  }
}

void MainForm::OnClose() {
  poll_.ReleaseButtons();
  host_.shell.EndProgram();
}

std::string MainForm::CannotRecordLine(std::string_view why) {
  return "Recording is not possible here: " + std::string(why);
}

bool MainForm::RefuseRecording() {
  const std::string_view why = host_.input.CannotRecord();
  if (why.empty()) return false;
  host_.window.Get(ControlId::StatusLine).SetCaption(CannotRecordLine(why));
  return true;
}

Instance::Commanded MainForm::Obey(Instance::Command command) {
  using Commanded = Instance::Commanded;
  const Mode mode = recorder_.mode;
  const bool idle = mode != Mode::Recording && mode != Mode::Playing;
  PollInputs keys;
  switch (command) {
    case Instance::Command::Record:
      if (mode == Mode::Playing) return Commanded::Playing;
      if (idle && RefuseRecording()) return Commanded::Unavailable;
      (idle ? keys.f10 : keys.pause) = true;
      break;
    case Instance::Command::Play:
      if (!idle) return mode == Mode::Recording ? Commanded::Recording : Commanded::Playing;
      // The key would bring the "No Data" box, which nobody at a shortcut expects.
      if (HoldsNoMotion(recorder_.entries)) return Commanded::Empty;
      keys.f9 = true;
      break;
    case Instance::Command::Stop:
      if (idle) return Commanded::Idle;
      keys.pause = true;
      break;
    case Instance::Command::ToggleWindow:
      if (script_) return Commanded::Hidden;
      keys.f12 = true;
      break;
  }
  poll_.PressKeys(keys);
  return Commanded::Done;
}

void MainForm::OnRecordClicked() {
  Procedure p(reporter_, where::kRecordClicked);
  // Where the input cannot be read, a recording would hold nothing.
  if (recorder_.mode != Mode::Recording && recorder_.mode != Mode::Playing && RefuseRecording())
    return;
  // The save dialog lets ticks run: a recording stopped by Pause meanwhile is not to be
  // toggled back on, which would clear the list at once.
  const Mode before = recorder_.mode;
  p.Step(100, [&] { recorder_.SaveDataToFile(); });
  p.Step(102, [&] {
    if (recorder_.mode == before) recorder_.ToggleRecording();
  });
}

void MainForm::OnPlayClicked() {
  Procedure p(reporter_, where::kPlayClicked);
  p.Step(100, [&] { recorder_.StartPlaying(); });
}

void MainForm::OnHelpClicked() {
  Procedure p(reporter_, where::kHelpClicked);
  p.Step(100, [&] { dialogs_.MessageBox(kHelpText, "", MsgButtons::Ok, MsgIcon::None); });
}

void MainForm::OnHideClicked() {
  Procedure p(reporter_, where::kHideClicked);
  p.Step(106, [&] { host_.window.SetVisible(false); });
}

void MainForm::OnLoadClicked() {
  Procedure p(reporter_, where::kLoadClicked);
  // The dialog proposes the path chosen last in either dialog.
  p.Step(100, [&] { dialog_.ShowOpen(); });
  std::string path;
  p.Step(102, [&] { path = dialog_.file_name; });
  if (p.Test(104, [&] { return path.empty(); })) return;
  p.Step(106, [&] { recorder_.LoadDataFromFile(path); });
}

void MainForm::OnSaveClicked() {
  Procedure p(reporter_, where::kSaveClicked);
  p.Step(100, [&] { recorder_.SaveDataToFile(); });
}

void MainForm::OnClick(ControlId id) {
  switch (id) {
    case ControlId::RecordButton:
      return OnRecordClicked();
    case ControlId::PlayButton:
      return OnPlayClicked();
    case ControlId::HelpButton:
      return OnHelpClicked();
    case ControlId::HideButton:
      return OnHideClicked();
    case ControlId::LoadButton:
      return OnLoadClicked();
    case ControlId::SaveButton:
      return OnSaveClicked();
    default:
      return;
  }
}

void MainForm::OnBackgroundMouseMove() {
  host_.window.SetPointerKind(kPointerDefault);
}

void MainForm::OnMouseMove(ControlId id) {
  switch (id) {
    case ControlId::RecordButton:
    case ControlId::PlayButton:
    case ControlId::HelpButton:
    case ControlId::HideButton:
    case ControlId::LoadButton:
    case ControlId::SaveButton:
      host_.window.SetPointerKind(kPointerCustom);
      return;
    case ControlId::RecordingFrame:
    case ControlId::WindowFrame:
      host_.window.SetPointerKind(kPointerDefault);
      return;
    default:
      // Check boxes, the status line and the hidden text box keep the pointer last set.
      return;
  }
}

void MainForm::ApplySkin() {
  const char sep = host_.env.Separator();
  const std::string path = host_.env.ProgramFolder() + sep + "x" + sep + "o.cjs";
  // Only an ordinary file counts: a folder, hidden or system file of that name is no skin.
  if (!host_.files.IsNormalFile(path)) return;

  // The colours follow the file's presence, whether or not the skin engine accepts the file.
  host_.window.SetBackColor(color::kButtonFace);
  for (const layout::ControlLayout& c : layout::MainForm().controls) {
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

std::string MainForm::AppTitle(std::string_view name) {
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

void MainForm::SetAppTitle() {
  dialogs_.SetApplicationTitle(AppTitle(kProductName));
}

std::string MainForm::OneLine(std::string_view text) {
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

bool MainForm::PathExists(const std::string& path) {
  try {
    return host_.files.CanReadTimestamp(path);
  } catch (...) {
    return false;
  }
}

FormHandlers MainForm::Handlers() {
  return FormHandlers{
      [this](ControlId id) {
        OnClick(id);
        // What the command changed takes effect at the next tick; a sleeping timer brings none.
        poll_.Wake();
      },
      [this](std::optional<ControlId> id) {
        if (id)
          OnMouseMove(*id);
        else
          OnBackgroundMouseMove();
      },
      [this] { OnTimer(); },
      [this] { OnClose(); },
  };
}

}  // namespace pel
