#pragma once
// Process-level services of the Linux program: one instance per user, the web browser, random
// numbers and the end of the program.

#include <optional>
#include <string>

#include "platform/shell.h"

namespace pel {

// A lock file held with flock for the life of the process. The kernel drops the lock when the
// process ends in any way, so an instance that crashed never blocks the next start.
class InstanceLock {
 public:
  // `path` is the lock file; it is created (mode 0600) when missing.
  explicit InstanceLock(std::string path) : path_(std::move(path)) {}
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  // Takes the lock on the first call and keeps it. True when another process holds it; false
  // when this process holds it or when the lock file cannot be used (never refuse to start).
  bool HeldByOther();
  // True once HeldByOther has taken the lock for this process.
  bool Held() const { return fd_ >= 0; }

  // The lock of this user on X display `display` (":0", "unix:0.1"; null: none): in
  // /run/user/<uid> when that is the user's own private folder, else in a 0700 folder
  // ~/.local/state/pelmira of the home the password database gives. Empty when neither can be
  // had (no lock then).
  static std::string DefaultPath(const char* display);

 private:
  std::string path_;
  int fd_ = -1;
  bool tried_ = false;
  bool other_ = false;
};

// A Unix socket beside the instance lock, in the same private folder, through which a later start
// hands a file to the running instance. Only this user can reach the folder, and the peer's
// credentials are checked as well.
class InstanceChannel {
 public:
  InstanceChannel() = default;
  ~InstanceChannel();
  InstanceChannel(const InstanceChannel&) = delete;
  InstanceChannel& operator=(const InstanceChannel&) = delete;

  // The socket of the instance holding the lock at `lock_path`: "x.lock" becomes "x.sock".
  static std::string PathFor(const std::string& lock_path);

  // Listens at `path`. Only the lock holder may call it: a socket file found there was left by
  // an instance that ended, and is replaced. False with `error` naming the call that failed.
  bool Listen(const std::string& path, std::string& error);
  // The listening socket, for the event loop to watch; -1 before Listen.
  int Fd() const { return fd_; }

  // A file handed over by a later start, read from the connection waiting at the socket.
  struct Request {
    int fd = -1;
    std::string file;
  };
  // Takes one waiting connection from this user and reads its message (a path, at most 4096
  // bytes, ended by the peer's end of writing; one second at most). nullopt when there is none,
  // it comes from another user, or it breaks off.
  std::optional<Request> Accept();
  // Tells the sender whether the file was taken, and closes the connection.
  static void Answer(Request& request, bool taken);

  // The sender's side: hands `file` (an absolute path) to the instance listening at `path` and
  // waits up to `timeout_ms` for its answer. True only when it took the file.
  static bool Hand(const std::string& path, const std::string& file, int timeout_ms);

 private:
  int fd_ = -1;
  std::string path_;
};

class QtShell : public Shell {
 public:
  explicit QtShell(std::string lock_path) : lock_(std::move(lock_path)) {}
  bool PreviousInstance() override { return lock_.HeldByOther(); }
  // True when PreviousInstance took the lock: only then may this process listen beside it.
  bool HoldsLock() const { return lock_.Held(); }
  // Through the desktop's URL handler (xdg-open), detached.
  void OpenUrl(const std::string& url) override;
  // Leaves at once with status 0, without running further events or destructors.
  void EndProgram() override;

 private:
  InstanceLock lock_;
};

}  // namespace pel
