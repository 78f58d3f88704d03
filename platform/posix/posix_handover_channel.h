#pragma once
// The channel through which a later start hands a file to the running instance.

#include <optional>
#include <string>

namespace pel {

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

}  // namespace pel
