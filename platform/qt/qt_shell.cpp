#include "platform/qt/qt_shell.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <QDesktopServices>
#include <QUrl>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/error.h"
#include "platform/posix/posix_environment.h"

namespace pel {

InstanceLock::~InstanceLock() {
  if (fd_ >= 0) ::close(fd_);
}

namespace {

// A folder only this user can change: ours, not a link, writable by nobody else.
bool PrivateFolder(const std::string& path) {
  struct stat st {};
  return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid() &&
         (st.st_mode & (S_IWGRP | S_IWOTH)) == 0;
}

// "host:number" without the screen; the local "unix" host is no host.
std::string DisplayKey(const char* display) {
  std::string name = display ? display : "";
  const size_t colon = name.rfind(':');
  if (colon == std::string::npos) return {};
  std::string host = name.substr(0, colon);
  std::string number = name.substr(colon + 1);
  number = number.substr(0, number.find('.'));
  if (host == "unix") host.clear();
  std::string key = host.empty() ? number : host + "-" + number;
  for (char& c : key)
    if (!std::isalnum(static_cast<unsigned char>(c)) && c != '-' && c != '.') c = '_';
  return key;
}

}  // namespace

std::string InstanceLock::DefaultPath(const char* display) {
  // Nothing here comes from the environment: starts with another XDG_RUNTIME_DIR, HOME or
  // TMPDIR must meet the same lock, and a shared folder would let another user create it first.
  const uid_t uid = ::getuid();
  std::string folder = "/run/user/" + std::to_string(uid);
  if (!PrivateFolder(folder)) {
    folder = PasswordHome(uid);
    if (folder.empty()) return {};
    for (const char* part : {"/.local", "/state", "/pelmira"}) {
      folder += part;
      if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return {};
    }
    if (!PrivateFolder(folder)) return {};
  }
  const std::string key = DisplayKey(display);
  return folder + (key.empty() ? "/pelmira.lock" : "/pelmira-" + key + ".lock");
}

bool InstanceLock::HeldByOther() {
  if (tried_) return other_;
  tried_ = true;
  // O_NOFOLLOW: a link planted in the folder is refused rather than created through.
  const int fd = ::open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) return false;
  struct stat st {};
  // Someone else's file in a shared folder says nothing about our instances.
  if (::fstat(fd, &st) != 0 || st.st_uid != ::getuid() || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return false;
  }
  int rc;
  do {
    rc = ::flock(fd, LOCK_EX | LOCK_NB);
  } while (rc != 0 && errno == EINTR);
  if (rc == 0) {
    fd_ = fd;  // kept open: the lock lasts as long as the process
    return false;
  }
  const bool busy = errno == EWOULDBLOCK;
  ::close(fd);
  other_ = busy;
  return other_;
}

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

void QtShell::OpenUrl(const std::string& url) {
  if (!QDesktopServices::openUrl(QUrl(QString::fromStdString(url))))
    throw Error(err::kFileNotFound, "File not found: no web browser could be started for " + url);
}

void QtShell::EndProgram() {
  std::fflush(nullptr);
  // Ending here, in the middle of a handler, must not run the toolkit's destructors under the
  // handler's feet; the kernel closes the display connection and releases the instance lock.
  std::_Exit(0);
}

}  // namespace pel
