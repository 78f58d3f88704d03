#include "app/scripted_run.h"

#include <utility>

#include "app/main_form.h"
#include "engine/motionfile/motion_entry.h"

namespace pel {

template <typename Show>
auto ScriptDialogs::Shown(Show show) {
  struct Count {
    int& open;
    explicit Count(int& n) : open(++n) {}
    ~Count() { --open; }
  } count(open_);
  if (before_shown) before_shown();
  return show();
}

void ScriptDialogs::SetApplicationTitle(std::string_view title) {
  shown_.SetApplicationTitle(title);
}

MsgResult ScriptDialogs::MessageBox(std::string_view text, std::string_view title,
                                    MsgButtons buttons, MsgIcon icon) {
  if (!quiet) return Shown([&] { return shown_.MessageBox(text, title, buttons, icon); });
  if (kept_.empty()) {
    // A refused load says the recording in memory was kept: a script has none.
    std::string_view said = text;
    if (said.ends_with(kRecordingKept)) said.remove_suffix(kRecordingKept.size());
    kept_ = MainForm::OneLine(said);
    while (!kept_.empty() && kept_.back() == ' ') kept_.pop_back();
  }
  return buttons == MsgButtons::YesNo ? MsgResult::No : MsgResult::Ok;
}

std::string ScriptDialogs::ShowSave(std::string_view initial, std::string_view filter) {
  return quiet ? std::string() : Shown([&] { return shown_.ShowSave(initial, filter); });
}

std::string ScriptDialogs::ShowOpen(std::string_view initial, std::string_view filter) {
  return quiet ? std::string() : Shown([&] { return shown_.ShowOpen(initial, filter); });
}

std::string ScriptDialogs::TakeKept() {
  return std::exchange(kept_, std::string());
}

ScriptedRun::ScriptedRun(ScriptHost host, const CommandLine& command, ScriptFinished finished)
    : host_(host),
      action_(command.action),
      file_(command.file.value_or("")),
      finished_(std::move(finished)) {
  host_.dialogs.quiet = true;
  host_.poll.StayHidden();
  host_.poll.SetOnStop([this](Mode ended, StopCause cause) { Stopped(ended, cause); });
  PlaybackOptions options = command.playback;
  // A script that plays a file expects it to end: one pass unless a count was asked for.
  if (action_ == CommandLine::Action::Play && !options.repeat_given && options.repeat == 0)
    options.repeat = 1;
  host_.poll.SetPlaybackOptions(options);
}

void ScriptedRun::Start() {
  Recorder& recorder = host_.recorder;
  host_.dialogs.TakeKept();  // a failure of the window's set-up does not concern the run

  if (file_.empty()) return Finish(exit_status::kFailed, "no motion file given");
  if (action_ == CommandLine::Action::Play) {
    recorder.LoadDataFromFile(file_);
    std::string refused = host_.dialogs.TakeKept();
    if (!refused.empty()) return Finish(exit_status::kFailed, refused);
    if (HoldsNoMotion(recorder.entries))
      return Finish(exit_status::kNotPlayed, "\"" + file_ + "\" holds no entries to play.");
    bool playable = false;
    // An entry with numbers out of range is passed over by playback too.
    for (int32_t i = 1; i <= recorder.entries.Count() && !playable; ++i)
      playable = ReadMotionEntry(recorder.entries.Item(i)).Playable();
    if (!playable)
      return Finish(exit_status::kNotPlayed,
                    "\"" + file_ + "\" holds no entry that can be played.");
    recorder.StartPlaying();
  } else if (action_ == CommandLine::Action::Record) {
    // A file that cannot take the recording is found out before anything is recorded: the
    // replacement is begun and dropped, which leaves the target as it was.
    try {
      if (host_.files.KindOf(file_) == PathKind::Folder)
        return Finish(exit_status::kFailed, "\"" + file_ + "\" is a folder.");
      host_.files.BeginReplace(file_, FileUse::User);
    } catch (...) {
      return Finish(exit_status::kFailed,
                    "\"" + file_ + "\" cannot be saved: " +
                        MainForm::OneLine(ErrorReporter::Describe(std::current_exception())) +
                        "; nothing was recorded.");
    }
    recorder.ToggleRecording();
  } else {
    return Finish(exit_status::kFailed, "nothing to run without the window");
  }
  if (host_.poll.Asleep()) host_.poll.Wake();
}

void ScriptedRun::Stopped(Mode ended, StopCause cause) {
  const bool play = action_ == CommandLine::Action::Play;
  if (play && ended == Mode::Playing) {
    switch (cause) {
      case StopCause::Passes: {
        std::string failed = host_.dialogs.TakeKept();
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
    // Saved already when the program is being ended from outside (KeepBeforeEnd).
    if (!saved_) {
      std::string reason;
      const int status = Save(reason);
      saved_.emplace(status, std::move(reason));
    }
    Finish(saved_->first, saved_->second);
  }
}

int ScriptedRun::Save(std::string& reason) {
  Recorder& recorder = host_.recorder;
  if (HoldsNoMotion(recorder.entries)) {
    reason = "Nothing was recorded; \"" + file_ + "\" was left as it was.";
    return exit_status::kFailed;
  }
  try {
    recorder.SaveTo(file_);
    reason = host_.dialogs.TakeKept();
    return exit_status::kOk;
  } catch (...) {
    reason = "\"" + file_ + "\" could not be saved: " +
             MainForm::OneLine(ErrorReporter::Describe(std::current_exception()));
  }
  // The recording is never thrown away: it goes where the user can find it.
  try {
    reason += "; the recording was kept in \"" + host_.recovery.Keep(recorder) + "\"";
  } catch (...) {
    reason += "; nor could it be kept in the state folder: " +
              MainForm::OneLine(ErrorReporter::Describe(std::current_exception()));
  }
  return exit_status::kFailed;
}

std::string ScriptedRun::KeepBeforeEnd(int& status) {
  if (action_ != CommandLine::Action::Record) return {};
  std::string reason;
  if (saved_) {
    status = saved_->first;
    reason = saved_->second;
  } else {
    // A recording still running ends here, as Pause would end it, and is saved once.
    if (host_.recorder.mode == Mode::Recording) host_.recorder.ToggleRecording();
    status = Save(reason);
    saved_.emplace(status, reason);
  }
  if (!reason.empty()) return reason;
  return "the recording was saved to \"" + file_ + "\"";
}

void ScriptedRun::Finish(int status, std::string reason) {
  host_.poll.Post([this, status, reason = std::move(reason)] {
    ScriptFinished finished = std::move(finished_);
    finished_ = nullptr;
    if (finished) finished(status, reason);
  });
}

}  // namespace pel
