#pragma once
// One running instance per user and X display name, held as a listening Unix socket in the Linux
// abstract namespace. Such a socket needs no folder of the user's (there may be none: a
// container, a home at /nonexistent, a uid without a password entry), and the kernel frees its
// name when the holder ends in any way, so an instance that crashed never blocks the next start.
// Abstract names carry no permissions and anyone may bind one first: a name held by another
// user is told apart by the credentials of its listening socket and is never taken for ours.
// The names live in the network namespace: starts in different ones do not see each other.

#include <string>

namespace pel {

class InstanceLock {
 public:
  // `name` is the abstract socket name, without the leading NUL.
  explicit InstanceLock(std::string name) : name_(std::move(name)) {}
  ~InstanceLock();
  InstanceLock(const InstanceLock&) = delete;
  InstanceLock& operator=(const InstanceLock&) = delete;

  enum class State {
    Held,       // this process holds it and listens on Fd()
    Ours,       // another process of this user holds it
    OtherUser,  // a process of another user holds the name, so ours cannot be told apart
    Failed,     // a socket call failed, or the holder did not answer in time
  };
  // Takes the lock, or finds out who holds it; a holder that has bound the name but does not
  // listen yet is waited for up to `wait_ms`. `detail` says why for OtherUser and Failed.
  // May be asked again after Ours, to take the lock once its holder has ended.
  State Take(std::string& detail, int wait_ms = 1000);
  // Lets the lock go while Held (the name is free again at once); nothing otherwise.
  void Release();
  // The listening socket while Held (non-blocking, close-on-exec, so that programs started
  // from here never hold the lock), -1 before. The hand-over channel serves it; the lock
  // closes it.
  int Fd() const { return fd_; }
  const std::string& Name() const { return name_; }

  // The lock's name for this user on X display `display` (":0" and "unix:0.1" are one;
  // "host:1"; null: none). Nothing else in the environment changes it.
  static std::string NameFor(const char* display);
  // The lock's name for this user on the Wayland compositor at `socket` ($WAYLAND_DISPLAY: a
  // path, or a name in `runtime_dir`), for a session without an X display: one instance per
  // compositor, as per X server.
  static std::string NameForWayland(const std::string& socket, const std::string& runtime_dir);

 private:
  std::string name_;
  int fd_ = -1;
};

// A connection to the holder of the abstract name `name`, whose listening socket must be this
// user's.
struct InstanceConnection {
  enum class Result { Connected, NotListening, OtherUser, Failed } result = Result::Failed;
  int fd = -1;              // Connected: blocking, close-on-exec, owned by the caller
  unsigned holder_uid = 0;  // Connected and OtherUser
  std::string error;        // OtherUser and Failed: why, in words
};
// Connects, waiting at most `timeout_ms` for a holder whose queue of connections is full.
// NotListening: nobody listens at the name (it is free, or its holder is still starting).
InstanceConnection ConnectToInstance(const std::string& name, int timeout_ms);

}  // namespace pel
