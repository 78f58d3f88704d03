#pragma once
// A private headless sway for end-to-end tests on Wayland. sway refuses to run as root, so a
// test run by root starts it as an ordinary user of its own (made with useradd the first time),
// with a private 0700 runtime folder, no input devices, the pixman renderer and no XWayland.

#include <sys/types.h>

#include <string>
#include <utility>
#include <vector>

namespace pel::waylandtest {

// The user a compositor of a test runs as: this process's own, or when root the test's ordinary
// user (made with useradd the first time). Throws std::runtime_error when it cannot be had.
void TakeTestUser(uid_t& uid, gid_t& gid);

class Sway {
 public:
  // One output per size in layout pixels, laid out left to right from (0, 0), each scaled by
  // its entry of `scales` (1 without one). Returns once the compositor's socket is there;
  // throws std::runtime_error (with sway's log) when it does not come up within 10 s.
  explicit Sway(const std::vector<std::pair<int, int>>& outputs = {{1280, 1024}},
                const std::vector<int>& scales = {});
  // Stops the sway this object started, and only that one, and removes its folder.
  ~Sway();
  Sway(const Sway&) = delete;
  Sway& operator=(const Sway&) = delete;

  // The compositor's socket as an absolute path, for $WAYLAND_DISPLAY.
  const std::string& Socket() const { return socket_; }
  // Its IPC socket, for $SWAYSOCK.
  const std::string& IpcSocket() const { return ipc_; }
  pid_t Pid() const { return pid_; }
  std::string Log() const;

  // Starts `program` with `args` as a client of this compositor in a Wayland session with no X
  // display, `runtime` its XDG_RUNTIME_DIR and its standard error appended to `runtime`/stderr.
  pid_t Start(const std::string& program, const std::vector<std::string>& args,
              const std::string& runtime) const;

 private:
  void Stop();

  pid_t pid_ = -1;
  std::string folder_;
  std::string socket_;
  std::string ipc_;
};

}  // namespace pel::waylandtest
