#pragma once
// A private headless mutter for end-to-end tests on a GNOME-like Wayland desktop: a session bus
// of its own, pipewire (which mutter's screen casts need) and mutter with one virtual monitor, all
// run as the test's ordinary user (see TakeTestUser) in a private 0700 runtime folder. Programs
// started through it run as that user in the same session.

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace pel::waylandtest {

class Mutter {
 public:
  // One virtual monitor of each size (Meta-0, Meta-1, ...). Returns once the compositor's socket
  // is there; throws std::runtime_error (with the logs) when a part does not come up within
  // 10 s.
  explicit Mutter(const std::vector<std::pair<int, int>>& monitors);
  // Stops what this object started, and only that, newest first, and removes its folder.
  ~Mutter();
  Mutter(const Mutter&) = delete;
  Mutter& operator=(const Mutter&) = delete;

  // The compositor's socket as an absolute path.
  const std::string& Socket() const { return socket_; }
  // The runtime folder, the user's home too; owned by the user.
  const std::string& Folder() const { return folder_; }
  // Starts `argv` as the user in the session (its bus, the compositor, XDG_SESSION_TYPE=wayland,
  // no DISPLAY) with `env` added, standard output and error appended to `log`. A program given
  // by its path runs from a copy in the folder: the build tree may lie where the user cannot
  // reach (a checkout under root's home).
  pid_t Start(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
              const std::string& log = "/dev/null");
  // Writes `text` to a file of the folder, owned by the user; returns its path.
  std::string Write(const std::string& name, const std::string& text) const;
  std::string Read(const std::string& name) const;

 private:
  void Stop();
  void WaitFor(const std::string& name, pid_t pid, const char* what);
  // `program`'s copy in the folder, the user's to run; made at the first call.
  std::string Reachable(const std::string& program) const;

  uid_t uid_ = 0;
  gid_t gid_ = 0;
  std::string folder_;
  std::string socket_;
  std::vector<pid_t> started_;
};

}  // namespace pel::waylandtest
