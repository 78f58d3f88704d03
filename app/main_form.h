#pragma once
// The main window MainForm as portable logic: start-up and shutdown, the six commands, the pointer
// switching and the skin. It owns the recorder, DesignedCaptions, the poll cycle, the file dialog,
// the error report, the indicator windows and a scripted run, so that each program only creates the
// platform backends, passes them in and forwards the native window's events to the handlers
// below (app/program.h runs it). Words: `form` is a MainForm; `window` the native main window
// behind The MainWindow seam; `recorder` the Recorder (state, recording and their operations); the
// shaped record and play windows are the indicators.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "app/command_line.h"
#include "app/form_panel.h"
#include "app/held_keys.h"
#include "app/indicator_forms.h"
#include "app/recovery.h"
#include "app/scripted_run.h"
#include "engine/cycle/poll_cycle.h"
#include "engine/error_report.h"
#include "engine/recorder/designed_captions.h"
#include "engine/recorder/file_dialog.h"
#include "engine/recorder/recorder.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/environment.h"
#include "platform/events.h"
#include "platform/files.h"
#include "platform/input.h"
#include "platform/input_events.h"
#include "platform/instance.h"
#include "platform/main_window.h"
#include "platform/random.h"
#include "platform/screens.h"
#include "platform/shaped_window.h"
#include "platform/shell.h"
#include "platform/skin.h"
#include "platform/windows_on_screen.h"

namespace pel {

// The product's name, its home page and the messages of the main window.
inline constexpr std::string_view kProductName = "Pelmira";
inline constexpr std::string_view kHomePage = "https://pelmira.example/";
inline constexpr std::string_view kPointerFile = "HAND-M.CUR";
inline constexpr std::string_view kAlreadyRunning =
    "Rodaz Irerevuv is already runing!\r\nPress [F12] to show Recorder Window.";
inline constexpr std::string_view kHelpText =
    "Keyboard shortcuts:\rStart Recording = F10\rStart Playing = F9\r"
    "Stop Recording or Stop Playing = Pause\rHide/Show This Window = F12";
// Longest application title the task list shows whole.
inline constexpr size_t kAppTitleLimit = 40;

// The platform backends the main window works with; all outlive the MainForm object.
struct MainFormHost : SystemHost {
  MainWindow& window;
  Shell& shell;
  RandomSource& random;
  SkinEngine& skin;
  IndicatorFactory& indicator_factory;
};

// What a program's backends show of the desktop beyond the main window, for the poll cycle; any
// may be missing (nullptr, empty). Both programs attach it in one place: MainForm::Attach.
struct Desktop {
  Screens* screens = nullptr;             // the monitors: the screen layout of recordings
  WindowsOnScreen* windows = nullptr;     // the windows clicked in, followed in playback
  InputEvents* pointer_events = nullptr;  // the mouse's own events, which recordings take
  // Takes in the input that has come, without waiting, and says whether a watched press or
  // release came. Given, the poll timer sleeps while idle and the program calls OnInputArrived()
  // for such input as it arrives; empty, the timer never stops.
  std::function<bool()> take_input;
};

// Whether the main window can open a file that a later start hands over.
enum class HandedFileWindow {
  Free,            // nothing under way: the file opens now
  Loading,         // a load (or a handed file's save offer) is under way: the file can wait
  Busy,            // recording, playing, a box or file dialog open: refused
  ScriptedPlay,    // a --play run: refused, for as long as it runs
  ScriptedRecord,  // a --record run: likewise
};

class MainForm {
 public:
  explicit MainForm(MainFormHost host);
  MainForm(const MainForm&) = delete;
  MainForm& operator=(const MainForm&) = delete;

  // Start-up sequence, run once when the window has been created from its layout and before it
  // is shown. A second instance shows `running` in a box and ends here (through OnClose).
  void StartUp(std::string_view running = kAlreadyRunning);
  // The window is being closed: the program ends at once, without a question.
  void OnClose();

  // Options for every playback from now on: F9, the Start Playing button, a scripted run.
  void SetPlaybackOptions(const PlaybackOptions& options);
  // Options for every recording from now on. The wheel or the side buttons left out unchecks
  // their check box and disables it.
  void SetRecordingOptions(const RecordingOptions& options);
  // Loads the motion file at `path` as Load does once its dialog is answered: the same save
  // offer, checks and messages, and the Open dialog proposes it next. For a file named on the
  // command line (call after StartUp) or handed over by a second instance while running.
  // Returns false, doing nothing, during a scripted run.
  bool OpenAtStart(const std::string& path);
  // Opens a file that a later start handed over, as OpenAtStart does, once the save offer for
  // unsaved work has been answered. A recording still unsaved then (the offer cancelled or
  // declined, or the save failed) stays, and the file is not opened: the status line says so.
  // Returns whether the file was opened.
  bool OpenHandedFile(const std::string& path);
  // Whether a file handed over by a later start can go to OpenHandedFile now.
  HandedFileWindow CanTakeHandedFile() const;
  // Runs --play or --record (`command.action`) on `command.file` in place of StartUp, the
  // window never shown and no box or dialog: what one would say becomes the reason given to
  // `finished`, called exactly once, never before StartScripted returns, always from the event
  // loop. The outcomes of each action: docs/design-notes.md, "Scripted runs".
  void StartScripted(const CommandLine& command, ScriptFinished finished);
  // The program is about to end without the user's word (a signal, the display gone). A
  // recording still running gets the releases of the buttons it holds; a --record run saves as
  // Pause would and sets `status` to its exit status; otherwise unsaved changes go to a recovery
  // file that the next StartUp names. Returns the line for standard error, empty when there was
  // nothing to keep. Never calls the window system.
  std::string KeepBeforeEnd(int& status);
  // Lets go of the buttons a playback holds down, where the program ends while the display is
  // still there (a signal, the session's end); closing the window does it itself.
  void ReleaseButtons() { poll_.ReleaseButtons(); }
  // True from StartScripted on.
  bool Scripted() const { return script_.has_value(); }
  // The poll timer's tick (every 10 ms once StartUp has enabled it; idle, it may sleep until
  // input or a command wakes the poll cycle, see engine/cycle/poll_cycle.h).
  void OnTimer() { poll_.OnTimer(); }
  // Hands `desktop` to the poll cycle; its parts must outlive this object.
  void Attach(const Desktop& desktop);
  // A watched press or release came (see Desktop::take_input).
  void OnInputArrived() { poll_.Wake(); }
  // The window system reports a change of the windows: a playback waiting for one looks again.
  void OnWindowsChanged();

  // A command a later start sent (Instance::Obey): its key acts at the next tick, as pressed,
  // when it applies now; otherwise nothing changes and the answer says why. Record and Play
  // start nothing that the key would not: no save offer, and a list with nothing to play is
  // refused here rather than shown a box for.
  Instance::Commanded Obey(Instance::Command command);
  // What the status line says once recording has been refused with the input in use.
  static std::string CannotRecordLine(std::string_view why);

  void OnRecordClicked();  // Start Recording: keep unsaved work, then toggle recording
  void OnPlayClicked();    // Start Playing: toggle playback
  void OnHelpClicked();    // Help: the shortcut list
  void OnHideClicked();    // Hide This Software
  void OnLoadClicked();    // Load Recording From File
  void OnSaveClicked();    // Save Recording To File
  // The click handler of the push button `id`; other controls have none.
  void OnClick(ControlId id);

  // Mouse moves over the window's background, and over the control `id`. The arguments (button
  // mask, shift mask, position) are passed by the window system and not used.
  void OnBackgroundMouseMove();
  void OnMouseMove(ControlId id);
  // The handlers above, for a native window to call.
  FormHandlers Handlers();

  // Recolours the window and hands the skin file to the skin engine when x/o.cjs lies beside
  // the program. Failures reach the caller.
  void ApplySkin();
  // Makes the application title from the product name.
  void SetAppTitle();
  // The application title for `name`: cut before the last blank, at least once and until it is
  // 40 characters or shorter. A name without a blank stays whole; a single word longer than the
  // limit is cut to 40 characters.
  static std::string AppTitle(std::string_view name);
  // `text` on one line: each line break and the blanks after it become one space.
  static std::string OneLine(std::string_view text);
  // True when the date and time of whatever is at `path` can be read: a file or a folder.
  bool PathExists(const std::string& path);

  pel::Recorder& Recorder() { return recorder_; }
  DesignedCaptions& Captions() { return captions_; }
  PollCycle& Poll() { return poll_; }
  FileDialog& MotionFileDialog() { return dialog_; }
  IndicatorForms& Indicators() { return indicators_; }

 private:
  // The end of start-up, scripted runs included: captions and titles, keys still held from the
  // launch, the poll timer.
  void StartPolling(Procedure& p);
  // True, said on the status line, when a recording cannot start with the input in use.
  bool RefuseRecording();
  MainFormHost host_;
  HeldKeys keys_;  // the input the recorder and the poll cycle read
  ScriptDialogs dialogs_;
  ErrorReporter reporter_;
  FileDialog dialog_;
  pel::Recorder recorder_;
  DesignedCaptions captions_;
  IndicatorForms indicators_;
  FormPanel panel_;
  PollCycle poll_;
  RecoveryStore recovery_;
  std::optional<ScriptedRun> script_;
  bool opening_handed_ = false;  // inside OpenHandedFile, whose save offer lets events run
};

}  // namespace pel
