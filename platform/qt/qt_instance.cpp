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
  switch (lock_.Take(detail)) {
    case InstanceLock::State::Held:
      return Claimed::Taken;
    case InstanceLock::State::Ours:
      return Claimed::Running;
    case InstanceLock::State::OtherUser:
    case InstanceLock::State::Failed:
      break;
  }
  return Claimed::Failed;
}

Instance::Handed QtInstance::Hand(const std::string& file, int timeout_ms) {
  switch (HandoverChannel::Hand(lock_.Name(), Absolute(file), timeout_ms)) {
    case HandoverChannel::Handed::Taken:
      return Handed::Taken;
    case HandoverChannel::Handed::Refused:
      return Handed::Refused;
    case HandoverChannel::Handed::NoAnswer:
      break;
  }
  return Handed::NoAnswer;
}

bool QtInstance::Listen(std::function<bool(const std::string&)> take, std::string& error) {
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
  for (HandoverChannel::Request& request : channel_.Service())
    HandoverChannel::Answer(request, take_ && take_(request.file));
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
  due_ = nullptr;
}

}  // namespace pel
