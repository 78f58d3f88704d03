#pragma once
// A run without the window: --play plays a file and ends, --record records at once and saves to
// the file when Pause ends it. The run works through the main window's recorder, poll cycle and
// dialogs, which MainForm owns; what a box would say becomes the run's reason for standard error.

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>

#include "app/command_line.h"
#include "app/recovery.h"
#include "engine/cycle/poll_cycle.h"
#include "engine/recorder/recorder.h"
#include "platform/dialogs.h"
#include "platform/files.h"

namespace pel {

// The main window's boxes and file dialogs, passed on to the platform's. In a scripted run
// nothing is shown: a box's text is kept instead (the first one, on one line) and file dialogs
// count as cancelled. Those shown are counted while open.
class ScriptDialogs : public Dialogs {
 public:
  explicit ScriptDialogs(Dialogs& shown) : shown_(shown) {}
  bool quiet = false;
  // Called before a box or dialog is shown.
  std::function<void()> before_shown;
  // The first box kept since the last call, on one line; empty when none.
  std::string TakeKept();
  // True while a box or file dialog is shown and waits for its answer.
  bool Open() const { return open_ > 0; }

  void SetApplicationTitle(std::string_view title) override;
  MsgResult MessageBox(std::string_view text, std::string_view title, MsgButtons buttons,
                       MsgIcon icon) override;
  std::string ShowSave(std::string_view initial, std::string_view filter) override;
  std::string ShowOpen(std::string_view initial, std::string_view filter) override;

 private:
  // Runs `show` with the count of open ones raised, failures included.
  template <typename Show>
  auto Shown(Show show);

  Dialogs& shown_;
  std::string kept_;
  int open_ = 0;
};

// How a scripted run ends: an exit status (exit_status::kOk, kFailed, kStopped or kNotPlayed)
// and a one-line reason for standard error (empty when there is nothing to say).
using ScriptFinished = std::function<void(int status, std::string reason)>;

// The parts of the main window a scripted run works with; all outlive the run.
struct ScriptHost {
  Recorder& recorder;
  PollCycle& poll;
  ScriptDialogs& dialogs;
  FileSystem& files;
  RecoveryStore& recovery;
};

// One --play or --record run (see MainForm::StartScripted for what each does and how it ends).
class ScriptedRun {
 public:
  // Takes the host over for `command`: quiet dialogs, the window kept hidden, the run's playback
  // options and the end of its recording or playback. Start() follows once polling is set up.
  ScriptedRun(ScriptHost host, const CommandLine& command, ScriptFinished finished);
  ScriptedRun(const ScriptedRun&) = delete;
  ScriptedRun& operator=(const ScriptedRun&) = delete;

  void Start();
  // --play or --record.
  CommandLine::Action Action() const { return action_; }
  // The program is about to end without the user's word: a --record run saves as Pause would,
  // sets `status` and returns the line for standard error; a --play run has nothing to keep.
  std::string KeepBeforeEnd(int& status);

 private:
  // The run's recording or playback ended.
  void Stopped(Mode ended, StopCause cause);
  // Ends the run after a tick: the one ending, when called from on_stop.
  void Finish(int status, std::string reason);
  // The end of a --record run: the recording saved to its file, else to a recovery file.
  // Returns the exit status and sets the reason.
  int Save(std::string& reason);

  ScriptHost host_;
  CommandLine::Action action_;
  std::string file_;
  // The end of the recording's save, once it was made: a signal or the display going away
  // before the run has ended then reports it rather than saving again.
  std::optional<std::pair<int, std::string>> saved_;
  ScriptFinished finished_;
};

}  // namespace pel
