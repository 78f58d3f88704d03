#include "platform/qt/qt_instance.h"

#include <unistd.h>

#include <utility>
#include <vector>

namespace pel {

namespace {

// `path` made absolute against this process's working folder, which the running instance that
// receives it does not share.
std::string Absolute(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  std::vector<char> cwd(4096);
  if (!::getcwd(cwd.data(), cwd.size())) return path;
  return std::string(cwd.data()) + "/" + path;
}

}  // namespace

Instance::Claimed QtInstance::Claim(std::string& detail) {
  running_channel_ = lock_.Name();
  switch (lock_.Take(detail)) {
    case InstanceLock::State::Held:
      break;
    case InstanceLock::State::Ours:
      return Claimed::Running;
    case InstanceLock::State::OtherUser:
    case InstanceLock::State::Failed:
      return Claimed::Failed;
  }
  if (!x_display_) return Claimed::Taken;
  // The lock's name follows the display string; the server is one whatever it is called.
  std::string owner_channel;
  switch (guard_.Claim(*x_display_, lock_.Name(), owner_channel, detail)) {
    case X11InstanceGuard::State::Owned:
      return Claimed::Taken;
    case X11InstanceGuard::State::OtherOwner:
      // Held by a start that is not the instance, the lock would answer later starts by this
      // name in its place.
      lock_.Release();
      if (!owner_channel.empty()) running_channel_ = owner_channel;
      return Claimed::Running;
    case X11InstanceGuard::State::Failed:
      break;
  }
  lock_.Release();
  return Claimed::Failed;
}

Instance::Handed QtInstance::Hand(const std::string& file, int timeout_ms) {
  return HandoverChannel::Hand(running_channel_, Absolute(file), timeout_ms);
}

Instance::Commanded QtInstance::Send(Command command, int timeout_ms) {
  return HandoverChannel::Send(running_channel_, command, timeout_ms);
}

bool QtInstance::Listen(std::function<Handed(const std::string&)> take, std::string& error) {
  if (!channel_.Open(lock_.Fd(), error)) return false;
  take_ = std::move(take);
  watch_ = std::make_unique<Watch>(channel_.Fd());
  QObject::connect(&watch_->ready, &QSocketNotifier::activated, [this] { Service(); });
  watch_->deadline.setSingleShot(true);
  QObject::connect(&watch_->deadline, &QTimer::timeout, [this] { Service(); });
  watch_->later.setSingleShot(true);
  QObject::connect(&watch_->later, &QTimer::timeout, [this] {
    if (due_) std::exchange(due_, {})();
  });
  return true;
}

void QtInstance::Service() {
  for (HandoverChannel::Request& request : channel_.Service()) {
    if (request.command)
      HandoverChannel::Answer(request, obey_ ? obey_(*request.command) : Commanded::NoAnswer);
    else
      HandoverChannel::Answer(request, take_ ? take_(request.file) : Handed::Refused);
  }
  if (const auto next = channel_.NextDeadline())
    watch_->deadline.start(static_cast<int>(next->count()));
  else
    watch_->deadline.stop();
}

void QtInstance::CallLater(int delay_ms, std::function<void()> due) {
  if (!watch_) return;
  due_ = std::move(due);
  watch_->later.start(delay_ms);
}

void QtInstance::StopListening() {
  take_ = nullptr;
  obey_ = nullptr;
  due_ = nullptr;
}

}  // namespace pel
