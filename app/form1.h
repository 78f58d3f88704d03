#pragma once
// The main window Form1 as portable logic: start-up and shutdown, the six commands, the pointer
// switching and the skin. It owns the engine module, Globals, the poll cycle, the file dialog,
// the error report and the indicator windows, so that each program's main() only creates the
// platform backends, passes them in and forwards the window's events to the handlers below.

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "app/command_line.h"
#include "app/indicator_forms.h"
#include "engine/error_report.h"
#include "engine/poll_cycle.h"
#include "engine/recorder.h"
#include "platform/clock.h"
#include "platform/dialogs.h"
#include "platform/environment.h"
#include "platform/events.h"
#include "platform/files.h"
#include "platform/input.h"
#include "platform/main_window.h"
#include "platform/shaped_window.h"
#include "platform/shell.h"
#include "platform/skin.h"

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

// The platform backends the main window works with; all outlive the Form1 object.
struct Form1Host {
  MainWindow& window;
  Input& input;
  Clock& clock;
  Dialogs& dialogs;
  EventPump& events;
  FileSystem& files;
  Environment& env;
  Shell& shell;
  RandomSource& random;
  SkinEngine& skin;
  IndicatorFactory& indicator_factory;
};

// The main window's boxes and file dialogs. In a scripted run nothing is shown: a box's text is
// kept instead (the first one, on one line) and file dialogs count as cancelled.
class ScriptDialogs : public Dialogs {
 public:
  explicit ScriptDialogs(Dialogs& shown) : shown_(shown) {}
  bool quiet = false;
  // The first box kept since the last call, on one line; empty when none.
  std::string TakeKept();

  void SetApplicationTitle(std::string_view title) override;
  MsgResult MessageBox(std::string_view text, std::string_view title, MsgButtons buttons,
                       MsgIcon icon) override;
  std::string ShowSave(std::string_view initial, std::string_view filter) override;
  std::string ShowOpen(std::string_view initial, std::string_view filter) override;

 private:
  Dialogs& shown_;
  std::string kept_;
};

// How a scripted run ends: an exit status (exit_status::kOk, kFailed or kStopped) and a
// one-line reason for standard error. With kOk the reason is empty, or names a failure the run
// went past (an entry that could not be played).
using ScriptFinished = std::function<void(int status, std::string reason)>;

class Form1 {
 public:
  explicit Form1(Form1Host host);
  Form1(const Form1&) = delete;
  Form1& operator=(const Form1&) = delete;

  // Start-up sequence, run once when the window has been created from its layout and before it
  // is shown. A second instance ends here (through Form_Unload).
  void Form_Load();
  // The window is being closed: the program ends at once, without a question.
  void Form_Unload();

  // Options for every playback from now on: F9, the Start Playing button, a scripted run.
  void SetPlaybackOptions(const PlaybackOptions& options);
  // Loads the motion file at `path` as Load does once its dialog is answered: the same save
  // offer, checks and messages, and the Open dialog proposes it next. For a file named on the
  // command line (call after Form_Load) or handed over by a second instance while running.
  // Returns false, doing nothing, during a scripted run.
  bool OpenAtStart(const std::string& path);
  // Runs --play or --record (`command.action`) on `command.file`, in place of Form_Load: no
  // instance check, skin, pointer or home page, and the main window is never shown (the
  // program must not show it; F12 and Auto Show leave it hidden). No box or dialog appears:
  // what one would say becomes the reason given to `finished`, which is called exactly once,
  // never before StartScripted returns, always from the event loop (after a poll tick).
  // - Play: the file is loaded as Load would; one that cannot be loaded whole, or holds no
  //   entries, finishes kFailed. Otherwise it plays with command.playback and the play
  //   indicator blinking. Without --repeat it plays one pass (--repeat 0 plays until stopped).
  //   kOk when the passes are done; kStopped when Pause or the user (stop on move) ends it.
  // - Record: recording starts at once. Pause ends it and the recording is written to the
  //   file with the same atomic replacement as Save, without a dialog: kOk, or kFailed when it
  //   cannot be written or nothing was recorded (the file is then left as it was).
  void StartScripted(const CommandLine& command, ScriptFinished finished);
  // True from StartScripted on.
  bool Scripted() const { return scripted_.has_value(); }
  // The poll timer's tick (every 10 ms once Form_Load has enabled it; idle, it may sleep until
  // input or a command wakes the poll cycle, see engine/poll_cycle.h).
  void Timer1_Timer() { poll_.Timer1_Timer(); }

  void PushButton1_Click();  // Start Recording: keep unsaved work, then toggle recording
  void PushButton2_Click();  // Start Playing: toggle playback
  void PushButton3_Click();  // Help: the shortcut list
  void PushButton4_Click();  // Hide This Software
  void PushButton5_Click();  // Load Recording From File
  void PushButton6_Click();  // Save Recording To File
  // The click handler of the push button `id`; other controls have none.
  void Click(ControlId id);

  // Mouse moves over the window's background, and over the control `id`. The arguments (button
  // mask, shift mask, position) are passed by the window system and not used.
  void Form_MouseMove(int Button, int Shift, float X, float Y);
  void MouseMove(ControlId id, int Button, int Shift, float X, float Y);
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
  // True when the date and time of the file at `path` can be read.
  bool FileExists(const std::string& path);

  Recorder& Engine() { return engine_; }
  Globals& Global() { return globals_; }
  PollCycle& Poll() { return poll_; }
  CommonDialog& CommonDialog1() { return dialog_; }
  IndicatorForms& Indicators() { return indicators_; }

 private:
  // The end of start-up, scripted runs included: captions and titles, keys still held from the
  // launch, the poll timer.
  void StartPolling(Procedure& p);
  // A scripted run ended its recording or playback.
  void ScriptStopped(Mode ended, StopCause cause);
  // Ends the scripted run after a tick: the one ending, when called from OnStop.
  void Finish(int status, std::string reason);

  Form1Host host_;
  ScriptDialogs dialogs_;
  ErrorReporter reporter_;
  CommonDialog dialog_;
  Recorder engine_;
  Globals globals_;
  IndicatorForms indicators_;
  PollCycle poll_;
  std::optional<CommandLine::Action> scripted_;
  std::string script_file_;
  ScriptFinished finished_;
};

}  // namespace pel
