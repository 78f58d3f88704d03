#include "platform/posix/posix_instance_lock.h"

#include <sys/socket.h>
#include <sys/time.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <thread>

namespace pel {

namespace {

// Connections later starts may have waiting while the holder is busy starting up.
constexpr int kBacklog = 16;
// Pause between two looks at a holder that has not begun to listen.
constexpr auto kRetry = std::chrono::milliseconds(10);

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

// The address of abstract name `name`, and its length.
socklen_t AbstractAddress(const std::string& name, sockaddr_un& address) {
  address = {};
  address.sun_family = AF_UNIX;
  const size_t size = std::min(name.size(), sizeof address.sun_path - 1);
  std::memcpy(address.sun_path + 1, name.data(), size);
  return static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + size);
}

std::string Failure(const char* call, const std::string& name, int error) {
  return std::string(call) + " @" + name + ": " + std::strerror(error);
}

}  // namespace

InstanceLock::~InstanceLock() {
  Release();
}

void InstanceLock::Release() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
}

std::string InstanceLock::NameFor(const char* display) {
  // Nothing here comes from the environment but the display: starts with another
  // XDG_RUNTIME_DIR, HOME or TMPDIR must meet the same lock.
  const std::string key = DisplayKey(display);
  return "pelmira-" + std::to_string(::getuid()) + (key.empty() ? "" : "-" + key);
}

std::string InstanceLock::NameForWayland(const std::string& socket,
                                         const std::string& runtime_dir) {
  const std::string path =
      !socket.empty() && socket[0] == '/' ? socket : runtime_dir + "/" + socket;
  // FNV-1a: the same in every process, and short whatever the path's length.
  uint64_t hash = 14695981039346656037ull;
  for (const char c : path) hash = (hash ^ static_cast<unsigned char>(c)) * 1099511628211ull;
  char key[17];
  std::snprintf(key, sizeof key, "%016llx", static_cast<unsigned long long>(hash));
  return NameFor(nullptr) + "-wayland-" + key;
}

InstanceLock::State InstanceLock::Take(std::string& detail, int wait_ms) {
  if (fd_ >= 0) return State::Held;
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
  sockaddr_un address;
  const socklen_t size = AbstractAddress(name_, address);
  for (;;) {
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (fd < 0) {
      detail = Failure("socket", name_, errno);
      return State::Failed;
    }
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), size) == 0) {
      if (::listen(fd, kBacklog) != 0) {
        detail = Failure("listen", name_, errno);
        ::close(fd);
        return State::Failed;
      }
      fd_ = fd;
      return State::Held;
    }
    const int bind_error = errno;
    ::close(fd);
    if (bind_error != EADDRINUSE) {
      detail = Failure("bind", name_, bind_error);
      return State::Failed;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        deadline - std::chrono::steady_clock::now());
    InstanceConnection holder =
        ConnectToInstance(name_, static_cast<int>(std::max<int64_t>(1, left.count())));
    switch (holder.result) {
      case InstanceConnection::Result::Connected:
        // The probe ends unanswered; the holder drops a connection that hands nothing.
        ::close(holder.fd);
        return State::Ours;
      case InstanceConnection::Result::OtherUser:
        detail = holder.error;
        return State::OtherUser;
      case InstanceConnection::Result::Failed:
        detail = holder.error;
        return State::Failed;
      case InstanceConnection::Result::NotListening:
        // Bound and not listening yet, or just ended: look again until the deadline.
        break;
    }
    if (std::chrono::steady_clock::now() >= deadline) {
      detail = "@" + name_ + " is bound by a process that does not listen";
      return State::Failed;
    }
    std::this_thread::sleep_for(kRetry);
  }
}

InstanceConnection ConnectToInstance(const std::string& name, int timeout_ms) {
  using R = InstanceConnection::Result;
  InstanceConnection c;
  sockaddr_un address;
  const socklen_t size = AbstractAddress(name, address);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    c.error = Failure("socket", name, errno);
    return c;
  }
  // A holder whose queue of connections is full holds connect until it takes one.
  const timeval limit{timeout_ms / 1000, (timeout_ms % 1000) * 1000};
  if (::setsockopt(fd, SOL_SOCKET, SO_SNDTIMEO, &limit, sizeof limit) != 0) {
    c.error = Failure("setsockopt", name, errno);
    ::close(fd);
    return c;
  }
  int rc;
  do {
    rc = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), size);
  } while (rc != 0 && errno == EINTR);
  if (rc != 0) {
    const int error = errno;
    ::close(fd);
    if (error == ECONNREFUSED || error == ENOENT) {
      c.result = R::NotListening;
    } else if (error == EAGAIN || error == EWOULDBLOCK || error == EINPROGRESS) {
      c.error = "the process holding @" + name + " takes no connection";
    } else {
      c.error = Failure("connect", name, error);
    }
    return c;
  }
  // The kernel records the listener's credentials when it calls listen: they cannot be forged.
  ucred peer{};
  socklen_t peer_size = sizeof peer;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &peer_size) != 0) {
    c.error = Failure("getsockopt SO_PEERCRED", name, errno);
    ::close(fd);
    return c;
  }
  c.holder_uid = peer.uid;
  if (peer.uid != ::getuid()) {
    c.result = R::OtherUser;
    c.error = "@" + name + " is held by another user (uid " + std::to_string(peer.uid) + ")";
    ::close(fd);
    return c;
  }
  c.result = R::Connected;
  c.fd = fd;
  return c;
}

}  // namespace pel
