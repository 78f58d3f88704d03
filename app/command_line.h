#pragma once
// The programs' command line, parsed the same way on every platform. Every option is off unless
// given: without arguments the program behaves exactly as the window alone.

#include <optional>
#include <string>
#include <vector>

#include "engine/cycle/playback_options.h"
#include "engine/cycle/recording_options.h"
#include "platform/files.h"
#include "platform/instance.h"

namespace pel {

struct CommandLine {
  enum class Action {
    Window,   // the main window, optionally with `file` loaded at start-up
    Play,     // --play FILE: play without showing the window, then exit
    Record,   // --record FILE: record at once with the window hidden; Pause saves to FILE
    Info,     // --info FILE: print what the file holds and exit
    Help,     // --help
    Version,  // --version
    Command,  // --command WORD: tell the running instance to act as a key would, then exit
  };
  Action action = Action::Window;
  // The motion file named on the command line, if any.
  std::optional<std::string> file;
  // Of --command.
  std::optional<Instance::Command> command;
  PlaybackOptions playback;
  RecordingOptions recording;
};

// Exit statuses of the programs.
namespace exit_status {
constexpr int kOk = 0;
constexpr int kFailed = 1;        // a file could not be loaded or saved, or no display
constexpr int kUsage = 2;         // the command line could not be understood
constexpr int kStopped = 3;       // --play stopped by Pause or by the user taking the mouse
constexpr int kNotPlayed = 4;     // --play met entries it could not play, or none it could
constexpr int kUnavailable = 5;   // not possible with the backend in use (Wayland: recording)
constexpr int kNoInstance = 6;    // --command: no instance runs
constexpr int kNotNow = 7;        // --command: does not apply in the running instance's state
constexpr int kUndelivered = 8;   // --command: the running instance did not take it
constexpr int kInputRefused = 9;  // the desktop refused input control, or ended it (Linux portal)
}  // namespace exit_status

// Parses the arguments after the program name. On a usage error returns nullopt and sets
// `error` to a one-line reason naming the argument.
std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args,
                                            std::string& error);

// The --help text (options and keys), for the program called `program`.
std::string UsageText(const std::string& program);

// --info FILE: reads the motion file at `path` through `files` and puts the report for standard
// output into `out` (see FormatMotionFileInfo). Returns kOk for a playable file; otherwise
// kFailed with a one-line reason for standard error in `error`.
int PrintMotionFileInfo(FileSystem& files, const std::string& path, std::string& out,
                        std::string& error);

}  // namespace pel
