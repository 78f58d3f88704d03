#pragma once
// One running instance per user and display.

#include <string>

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

}  // namespace pel
