#pragma once
// What both programs do from the command line to the end of their event loop. Each main() picks
// its backends and wires what only its platform has (signals, the display, the session end);
// the steps in between are these, in this order:
//   1. AnswerCommandLine: usage errors, --help, --version and --info end the program here;
//   2. ClaimInstance: the single instance per user, or the file handed to the running one;
//   3. MainForm made from the backends;
//   4. RunProgram: the scripted run or the main window, until the event loop ends; the instance
//      claimed in 2 takes the files that later starts hand over (app/handed_files.h).

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "app/command_line.h"
#include "app/main_form.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/instance.h"

namespace pel {

// The program as its console shows it.
struct ProgramConsole {
  std::string name;       // before each line on standard error, and in the --help text
  std::string version;    // for --version
  std::string help_note;  // after the --help text: what the program needs to run
  std::function<void(const std::string&)> out;  // writes to standard output as given
  std::function<void(const std::string&)> err;  // writes to standard error as given
  // In the --help text after the exit statuses: how a --record run ended from outside saves.
  std::string ending_note =
      "--record ended by Ctrl+C, SIGQUIT, SIGTERM or SIGHUP saves as Pause does.\n";

  // For --info, after what the file holds: the backend this session plays through. Unset, no
  // line.
  std::function<std::string()> backend = {};

  // `line` on standard error after the program's name.
  void Say(const std::string& line) const { err(name + ": " + line + "\n"); }
};

// Reads the arguments after the program name. Returns the exit status when the program ends
// here (a usage error, --help, --version, --info on a file read through `files`); nullopt with
// `line` set when the main window or a scripted run is to start.
std::optional<int> AnswerCommandLine(const ProgramConsole& console,
                                     const std::vector<std::string>& args, FileSystem& files,
                                     CommandLine& line);

// True for --play and --record: the window stays hidden and the program ends with the run.
bool IsScripted(const CommandLine& line);

// Another instance of this user runs. A scripted run ends here with its exit status, since two
// instances would answer the same keys and fight over the pointer; nullopt for the window, which
// may hand its file over and otherwise shows the running-instance message.
std::optional<int> RefuseBesideRunningInstance(const ProgramConsole& console,
                                               const CommandLine& line);

// How long a later start keeps trying to hand its file over: the running instance may be
// starting itself, slowly on a busy machine or under Wine.
constexpr int kHandTimeoutMs = 10000;
// Pause before the claim is tried again when the running instance did not answer.
constexpr int kClaimRetryMs = 50;

// What a start found of another instance of the program.
struct OtherInstance {
  bool runs = false;  // another instance runs: this one shows `message` and ends
  // kAlreadyRunning, or why the running instance did not take the file named on the command line.
  std::string message = std::string(kAlreadyRunning);
};

// Claims `instance` for this start, or finds the one running. Returns the exit status when this
// start ends here: for --command, that of the running instance's answer (kNoInstance when none
// runs, said on the console with every answer but Done); kOk once the running instance took the
// file named on the command line,
// RefuseBesideRunningInstance's for a scripted run, kFailed when the claim cannot be made. Else
// nullopt, with `other` saying whether another instance runs: one without a file, or whose file
// was refused (said on the console too) or not answered for kHandTimeoutMs. An instance that
// ends meanwhile is claimed instead. Waits through `clock`.
std::optional<int> ClaimInstance(Instance& instance, Clock& clock, const ProgramConsole& console,
                                 const CommandLine& line, OtherInstance& other);

// The platform's event loop, as RunProgram drives it.
struct ProgramLoop {
  // Shows the main window the first time: centred, the focus in it.
  std::function<void()> show;
  // Runs the event loop until `quit` is called; returns the status given to it.
  std::function<int()> run;
  // Ends the event loop with `status`; called from inside it.
  std::function<void(int status)> quit;
};

// Runs `line` on `form` (made from the backends, instance check done): a scripted run in place
// of StartUp, its reason said on the console and its status the program's; else StartUp (which
// shows other.message and ends when another instance runs), the window shown and the file named
// on the command line opened. Unless another instance runs, `instance`, claimed by this start,
// takes the files later starts hand over until the loop ends. Returns the event loop's status.
int RunProgram(MainForm& form, const CommandLine& line, const ProgramConsole& console,
               const ProgramLoop& loop, Instance& instance, const OtherInstance& other);

}  // namespace pel
