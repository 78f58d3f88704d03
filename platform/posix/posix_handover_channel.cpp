#include "platform/posix/posix_handover_channel.h"

#include <poll.h>
#include <sys/epoll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/posix/posix_instance_lock.h"

namespace pel {

namespace {

// Waits until `fd` has `events`, at most `timeout_ms`.
bool WaitFor(int fd, short events, int timeout_ms) {
  pollfd p{fd, events, 0};
  int rc;
  do {
    rc = ::poll(&p, 1, timeout_ms);
  } while (rc < 0 && errno == EINTR);
  return rc > 0;
}

// The answer byte of each Instance::Handed a receiver gives.
constexpr struct {
  Instance::Handed answer;
  char byte;
} kAnswers[] = {{Instance::Handed::Taken, '1'},
                {Instance::Handed::Refused, '0'},
                {Instance::Handed::Playing, 'p'},
                {Instance::Handed::Recording, 'r'}};

// The answer byte of each Instance::Commanded a receiver gives; none of them a file's.
constexpr struct {
  Instance::Commanded answer;
  char byte;
} kCommandAnswers[] = {
    {Instance::Commanded::Done, 'd'},        {Instance::Commanded::Recording, 'R'},
    {Instance::Commanded::Playing, 'P'},     {Instance::Commanded::Idle, 'i'},
    {Instance::Commanded::Empty, 'e'},       {Instance::Commanded::Hidden, 'h'},
    {Instance::Commanded::Unavailable, 'u'}, {Instance::Commanded::NotUnderstood, '?'}};

void SendByte(int fd, char reply) {
  // MSG_NOSIGNAL: a sender that gave up must not end this process with SIGPIPE. A sender that
  // does not read cannot hold this up: the socket is non-blocking and the answer is one byte.
  (void)!::send(fd, &reply, 1, MSG_NOSIGNAL | MSG_DONTWAIT);
}

void Reply(int fd, Instance::Handed answer) {
  char reply = '0';
  for (const auto& a : kAnswers)
    if (a.answer == answer) reply = a.byte;
  SendByte(fd, reply);
}

// Sends `message` whole, ends the writing and waits up to `timeout_ms` for the answer byte;
// nullopt when nobody listens at `name` or the connection ends unanswered.
std::optional<char> Exchange(const std::string& name, const std::string& message, int timeout_ms) {
  using Clock = HandoverChannel::Clock;
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  auto left = [&] {
    return static_cast<int>(std::max<int64_t>(
        0, std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count()));
  };
  // Nobody listening means the holder has ended since it was found: no answer, and the caller
  // may take the lock itself.
  InstanceConnection c = ConnectToInstance(name, std::max(1, left()));
  if (c.result != InstanceConnection::Result::Connected) return std::nullopt;
  std::optional<char> answer;
  // The instance reads the message as its event loop gets to it, and answers once it has it
  // whole; it may still be starting up.
  if (::send(c.fd, message.data(), message.size(), MSG_NOSIGNAL) ==
          static_cast<ssize_t>(message.size()) &&
      ::shutdown(c.fd, SHUT_WR) == 0 && WaitFor(c.fd, POLLIN, left())) {
    char reply = 0;
    if (::read(c.fd, &reply, 1) == 1) answer = reply;
  }
  ::close(c.fd);
  return answer;
}

}  // namespace

HandoverChannel::~HandoverChannel() {
  while (!reading_.empty()) Close(reading_.size() - 1);
  if (epoll_ >= 0) ::close(epoll_);
}

bool HandoverChannel::Open(int listener, std::string& error) {
  const int epoll = ::epoll_create1(EPOLL_CLOEXEC);
  if (epoll < 0) {
    error = std::string("epoll_create1: ") + std::strerror(errno);
    return false;
  }
  epoll_event watch{};
  watch.events = EPOLLIN;
  watch.data.fd = listener;
  if (::epoll_ctl(epoll, EPOLL_CTL_ADD, listener, &watch) != 0) {
    error = std::string("epoll_ctl: ") + std::strerror(errno);
    ::close(epoll);
    return false;
  }
  listener_ = listener;
  epoll_ = epoll;
  return true;
}

void HandoverChannel::Close(size_t index) {
  const int fd = reading_[index].fd;
  ::epoll_ctl(epoll_, EPOLL_CTL_DEL, fd, nullptr);
  ::close(fd);
  reading_.erase(reading_.begin() + static_cast<std::ptrdiff_t>(index));
}

void HandoverChannel::AcceptWaiting(Clock::time_point now) {
  for (;;) {
    const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK);
    if (fd < 0) {
      if (errno == EINTR || errno == ECONNABORTED) continue;
      return;  // EAGAIN: none left; anything else: the next readiness tries again
    }
    ucred peer{};
    socklen_t size = sizeof peer;
    const bool ours =
        ::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &peer, &size) == 0 && peer.uid == ::getuid();
    epoll_event watch{};
    watch.events = EPOLLIN | EPOLLRDHUP;
    watch.data.fd = fd;
    // Too many at once: the sender sees its connection end unanswered and may try again.
    if (!ours || reading_.size() >= kMaxConnections ||
        ::epoll_ctl(epoll_, EPOLL_CTL_ADD, fd, &watch) != 0) {
      ::close(fd);
      continue;
    }
    reading_.push_back({fd, now + kDeadline, {}});
  }
}

std::vector<HandoverChannel::Request> HandoverChannel::Service(Clock::time_point now) {
  std::vector<Request> done;
  if (epoll_ < 0) return done;
  AcceptWaiting(now);
  char buffer[1024];
  for (size_t i = 0; i < reading_.size();) {
    Reading& r = reading_[i];
    bool finished = false, refused = false, broken = false;
    for (;;) {
      const ssize_t n = ::read(r.fd, buffer, sizeof buffer);
      if (n > 0) {
        r.file.append(buffer, static_cast<size_t>(n));
        if (r.file.size() > kMaxPath) {
          refused = true;
          break;
        }
        continue;
      }
      if (n == 0) {
        finished = true;
      } else if (errno == EINTR) {
        continue;
      } else if (errno != EAGAIN && errno != EWOULDBLOCK) {
        broken = true;
      }
      break;
    }
    // An empty message also comes from a start that only looked whether an instance runs; it
    // has gone and the answer is lost. A NUL first makes a command; anywhere else, no path.
    std::optional<Instance::Command> command;
    if (finished && !r.file.empty() && r.file[0] == '\0') {
      command = CommandOfWord(std::string_view(r.file).substr(1));
      if (!command) {
        SendByte(r.fd, '?');
        Close(i);
        continue;
      }
      r.file.clear();
    } else if (finished && (r.file.empty() || r.file.find('\0') != std::string::npos)) {
      refused = true;
    }
    if (!finished && !refused && !broken && now >= r.deadline) refused = true;
    if (refused) Reply(r.fd, Instance::Handed::Refused);
    if (refused || broken) {
      Close(i);
      continue;
    }
    if (finished) {
      ::epoll_ctl(epoll_, EPOLL_CTL_DEL, r.fd, nullptr);
      done.push_back({r.fd, std::move(r.file), command});
      reading_.erase(reading_.begin() + static_cast<std::ptrdiff_t>(i));
      continue;
    }
    ++i;
  }
  return done;
}

std::optional<std::chrono::milliseconds> HandoverChannel::NextDeadline(
    Clock::time_point now) const {
  if (reading_.empty()) return std::nullopt;
  Clock::time_point first = reading_.front().deadline;
  for (const Reading& r : reading_) first = std::min(first, r.deadline);
  if (first <= now) return std::chrono::milliseconds(0);
  return std::chrono::ceil<std::chrono::milliseconds>(first - now);
}

void HandoverChannel::Answer(Request& request, Instance::Handed answer) {
  if (request.fd < 0) return;
  Reply(request.fd, answer);
  ::close(request.fd);
  request.fd = -1;
}

void HandoverChannel::Answer(Request& request, Instance::Commanded answer) {
  if (request.fd < 0) return;
  for (const auto& a : kCommandAnswers)
    if (a.answer == answer) SendByte(request.fd, a.byte);
  ::close(request.fd);
  request.fd = -1;
}

Instance::Handed HandoverChannel::Hand(const std::string& name, const std::string& file,
                                       int timeout_ms) {
  using Handed = Instance::Handed;
  if (file.empty() || file.size() > kMaxPath || file.find('\0') != std::string::npos)
    return Handed::Refused;
  const std::optional<char> reply = Exchange(name, file, timeout_ms);
  if (!reply) return Handed::NoAnswer;
  for (const auto& a : kAnswers)
    if (a.byte == *reply) return a.answer;
  return Handed::Refused;
}

Instance::Commanded HandoverChannel::Send(const std::string& name, Instance::Command command,
                                          int timeout_ms) {
  const std::optional<char> reply =
      Exchange(name, '\0' + std::string(CommandWord(command)), timeout_ms);
  if (!reply) return Instance::Commanded::NoAnswer;
  for (const auto& a : kCommandAnswers)
    if (a.byte == *reply) return a.answer;
  return Instance::Commanded::NotUnderstood;
}

}  // namespace pel
