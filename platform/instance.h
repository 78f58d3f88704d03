#pragma once
// The single running instance of the program per user (per user and X server on X11), and the
// files that later starts hand to it. The rule built on it (who claims, how long a later start
// waits, what the running window does with a handed file) is in app/: ClaimInstance
// (program.h) and HandedFiles (handed_files.h).

#include <functional>
#include <string>

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
  // Neither `take` nor `due` is called from now on; handed files are refused.
  virtual void StopListening() = 0;
};

}  // namespace pel
