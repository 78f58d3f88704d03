#pragma once
// The single running instance of the program per user (per user and X server on X11), and the
// files and commands that later starts hand to it. The rule built on it (who claims, how long a
// later start waits, what the running window does with a handed file) is in app/: ClaimInstance
// (program.h) and HandedFiles (handed_files.h).

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace pel {

class Instance {
 public:
  virtual ~Instance() = default;

  enum class Claimed {
    Taken,    // this process is the instance from now on, until it ends however it ends
    Running,  // another process of this user is the instance
    Failed,   // whether another instance runs cannot be told; the program must not start
  };
  // Claims the instance for this process; may be asked again after Running, to claim it once
  // its holder has ended. `detail` says why for Failed.
  virtual Claimed Claim(std::string& detail) = 0;

  enum class Handed {
    Taken,      // the running instance took the file
    Refused,    // it answered and will not take it now: its window is busy
    Playing,    // it answered: it runs --play, which takes no file and shows no window
    Recording,  // it answered: it runs --record, likewise
    Blocked,    // the system keeps files from it: it runs with more rights than this process
    NoAnswer,   // no answer within the time: it may be starting, or have ended meanwhile
  };
  // Hands `file` (as given to this process: relative to its working folder) to the running
  // instance, waiting at most `timeout_ms` for its answer.
  virtual Handed Hand(const std::string& file, int timeout_ms) = 0;

  // After Taken: the event loop calls `take` with every file a later start hands over (an
  // absolute path); its result (Taken, Refused, Playing or Recording) is the sender's answer.
  // Calls to `take` never nest. False, with `error` naming the call that failed, when files
  // cannot be received.
  virtual bool Listen(std::function<Handed(const std::string& file)> take, std::string& error) = 0;
  // After Listen: the event loop calls `due` once, `delay_ms` from now (0: as soon as it is
  // free), and never from inside `take`; a later call replaces one still waiting.
  virtual void CallLater(int delay_ms, std::function<void()> due) = 0;
  // Neither `take`, `obey` nor `due` is called from now on; handed files are refused.
  virtual void StopListening() = 0;

  // What a later start may ask of the running instance instead of handing it a file: what its
  // keys do. Sent on the wire by the word each has (CommandWord).
  enum class Command {
    Record,        // F10, and Pause while recording: start recording, or stop the one running
    Play,          // F9: start playing
    Stop,          // Pause: stop recording or playing
    ToggleWindow,  // F12: show or hide the main window
  };
  enum class Commanded {
    Done,           // it acts as the key would
    Recording,      // not now: it is recording (play)
    Playing,        // not now: it is playing (record, play)
    Idle,           // not now: nothing is being recorded or played (stop)
    Empty,          // not now: no recording is loaded (play)
    Hidden,         // not now: it runs --play or --record, whose window stays hidden
    Unavailable,    // not with its backend: it cannot see the keys and the pointer (record)
    NotUnderstood,  // it answered, but takes no commands: an older version
    Blocked,        // the system keeps messages from it: it runs with more rights
    NoAnswer,       // no answer within the time, or it ended meanwhile
  };
  // Sends `command` to the running instance found by Claim, waiting at most `timeout_ms` for
  // its answer.
  virtual Commanded Send(Command command, int timeout_ms) = 0;
  // After Listen: the event loop calls `obey` with every command a later start sends, never
  // nested in `take`; its result (Done to Unavailable) is the sender's answer. Until it is
  // set, commands are not answered (the instance is starting).
  virtual void Obey(std::function<Commanded(Command)> obey) = 0;
};

// The word of each command, on the command line and on the wire.
inline constexpr struct {
  Instance::Command command;
  std::string_view word;
} kCommandWords[] = {{Instance::Command::Record, "record"},
                     {Instance::Command::Play, "play"},
                     {Instance::Command::Stop, "stop"},
                     {Instance::Command::ToggleWindow, "toggle-window"}};

inline std::string_view CommandWord(Instance::Command command) {
  for (const auto& c : kCommandWords)
    if (c.command == command) return c.word;
  return {};
}
inline std::optional<Instance::Command> CommandOfWord(std::string_view word) {
  for (const auto& c : kCommandWords)
    if (c.word == word) return c.command;
  return std::nullopt;
}

}  // namespace pel
