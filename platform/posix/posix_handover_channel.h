#pragma once
// The channel through which a later start hands a file or a command to the running instance:
// the instance lock's listening socket (posix_instance_lock.h). A sender writes one absolute
// path and ends its writing; the instance answers one byte: '1' when it took the file, '0' when
// its window would not, 'p' or 'r' when it runs --play or --record. A command is a NUL and its
// word (Instance::Command): an instance that takes no commands refuses any message holding a
// NUL with '0'; one that does answers with a byte of its own for each Instance::Commanded.
// The instance side never waits: connections are accepted and read as far as they have come,
// each one within its own deadline and size cap, driven by the readiness of one descriptor
// that an event loop watches.

#include <chrono>
#include <optional>
#include <string>
#include <vector>

#include "platform/instance.h"

namespace pel {

class HandoverChannel {
 public:
  using Clock = std::chrono::steady_clock;
  // Longest path a sender may hand; a longer message is refused.
  static constexpr size_t kMaxPath = 4096;
  // Connections read at once; further ones are closed unanswered until one ends.
  static constexpr size_t kMaxConnections = 16;
  // How long a connection may take to deliver its path.
  static constexpr std::chrono::milliseconds kDeadline{2000};

  HandoverChannel() = default;
  ~HandoverChannel();
  HandoverChannel(const HandoverChannel&) = delete;
  HandoverChannel& operator=(const HandoverChannel&) = delete;

  // Serves the listening socket `listener` (not owned, left open). False with `error` naming
  // the call that failed.
  bool Open(int listener, std::string& error);
  // Readable whenever Service has work to do; -1 before Open.
  int Fd() const { return epoll_; }

  // A file handed over or a command, read whole; its connection waits for the answer.
  struct Request {
    int fd = -1;
    std::string file;  // empty for a command
    std::optional<Instance::Command> command;
  };
  // Accepts the connections waiting and reads what each one has without waiting. Refused and
  // closed: a message past its deadline, too long, empty or holding a NUL (answered '0'), and
  // one from another user or broken off (unanswered). The requests read whole, oldest first.
  std::vector<Request> Service(Clock::time_point now = Clock::now());
  // Time until the next connection's deadline; nullopt when none is open.
  std::optional<std::chrono::milliseconds> NextDeadline(Clock::time_point now = Clock::now()) const;
  // Connections open and still being read.
  size_t Connections() const { return reading_.size(); }
  // Tells the sender `answer` (Taken, Refused, Playing or Recording), and closes the connection.
  static void Answer(Request& request, Instance::Handed answer);
  // Tells the sender of a command `answer` (Done to Unavailable; anything else closes the
  // connection unanswered), and closes the connection.
  static void Answer(Request& request, Instance::Commanded answer);

  // The sender's side: hands `file` to the instance holding the lock named `name`, and waits up
  // to `timeout_ms` in all for its answer (an answer not known here counts as Refused). NoAnswer
  // at once when no process of this user listens there; also when the connection ends
  // unanswered (the instance ended, or had too many).
  static Instance::Handed Hand(const std::string& name, const std::string& file, int timeout_ms);
  // The sender's side of a command, likewise: NoAnswer when nobody listens or the connection
  // ends unanswered, NotUnderstood for an answer not known here.
  static Instance::Commanded Send(const std::string& name, Instance::Command command,
                                  int timeout_ms);

 private:
  struct Reading {
    int fd;
    Clock::time_point deadline;
    std::string file;
  };
  void Close(size_t index);
  void AcceptWaiting(Clock::time_point now);

  int listener_ = -1;
  int epoll_ = -1;
  std::vector<Reading> reading_;
};

}  // namespace pel
