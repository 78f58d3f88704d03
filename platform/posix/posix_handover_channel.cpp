#include "platform/posix/posix_handover_channel.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace pel {

namespace {

constexpr size_t kMaxHandedPath = 4096;

// The socket address for `path`; false when the path does not fit.
bool SocketAddress(const std::string& path, sockaddr_un& address) {
  address = {};
  address.sun_family = AF_UNIX;
  if (path.empty() || path.size() >= sizeof address.sun_path) return false;
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  return true;
}

// Waits until `fd` has `events`, at most `timeout_ms`.
bool WaitFor(int fd, short events, int timeout_ms) {
  pollfd p{fd, events, 0};
  int rc;
  do {
    rc = ::poll(&p, 1, timeout_ms);
  } while (rc < 0 && errno == EINTR);
  return rc > 0;
}

}  // namespace

InstanceChannel::~InstanceChannel() {
  if (fd_ < 0) return;
  ::close(fd_);
  ::unlink(path_.c_str());
}

std::string InstanceChannel::PathFor(const std::string& lock_path) {
  const std::string suffix = ".lock";
  if (lock_path.size() < suffix.size() ||
      lock_path.compare(lock_path.size() - suffix.size(), suffix.size(), suffix) != 0)
    return {};
  return lock_path.substr(0, lock_path.size() - suffix.size()) + ".sock";
}

bool InstanceChannel::Listen(const std::string& path, std::string& error) {
  sockaddr_un address;
  if (!SocketAddress(path, address)) {
    error = "socket path too long: " + path;
    return false;
  }
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    error = std::string("socket: ") + std::strerror(errno);
    return false;
  }
  ::unlink(path.c_str());
  const char* failed = nullptr;
  if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0)
    failed = "bind";
  else if (::listen(fd, 4) != 0)
    failed = "listen";
  if (failed) {
    error = std::string(failed) + " " + path + ": " + std::strerror(errno);
    ::close(fd);
    return false;
  }
  fd_ = fd;
  path_ = path;
  return true;
}

std::optional<InstanceChannel::Request> InstanceChannel::Accept() {
  const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
  if (fd < 0) return std::nullopt;
  Request request{fd, {}};
  ucred peer{};
  socklen_t size = sizeof peer;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) != 0 || peer.uid != ::getuid()) {
    ::close(fd);
    return std::nullopt;
  }
  // The sender writes its path at once; one that stalls must not hold up the window.
  char buffer[512];
  for (;;) {
    if (!WaitFor(fd, POLLIN, 1000)) break;
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n == 0) return request;
    if (n < 0 || request.file.size() + static_cast<size_t>(n) > kMaxHandedPath) break;
    request.file.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return std::nullopt;
}

void InstanceChannel::Answer(Request& request, bool taken) {
  if (request.fd < 0) return;
  const char reply = taken ? '1' : '0';
  // MSG_NOSIGNAL: a sender that gave up must not end this process with SIGPIPE.
  (void)!::send(request.fd, &reply, 1, MSG_NOSIGNAL);
  ::close(request.fd);
  request.fd = -1;
}

bool InstanceChannel::Hand(const std::string& path, const std::string& file, int timeout_ms) {
  sockaddr_un address;
  if (!SocketAddress(path, address) || file.empty() || file.size() > kMaxHandedPath) return false;
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  // A hung instance with a full backlog would hold connect, and a full socket buffer the send,
  // for ever: both give up after the timeout.
  const timeval limit{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
  bool taken = false;
  if (::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) == 0 &&
      ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0 &&
      ::send(fd, file.data(), file.size(), MSG_NOSIGNAL) == static_cast<ssize_t>(file.size()) &&
      ::shutdown(fd, SHUT_WR) == 0 && WaitFor(fd, POLLIN, timeout_ms)) {
    char reply = 0;
    taken = ::read(fd, &reply, 1) == 1 && reply == '1';
  }
  ::close(fd);
  return taken;
}

}  // namespace pel
