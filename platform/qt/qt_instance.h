#pragma once
// The single instance of the Linux program: the instance lock (posix_instance_lock.h), whose
// listening socket is also the channel through which later starts hand their files over
// (posix_handover_channel.h), served from Qt's event loop so that a slow or silent sender never
// holds up the window.

#include <QSocketNotifier>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "platform/instance.h"
#include "platform/posix/posix_handover_channel.h"
#include "platform/posix/posix_instance_lock.h"

namespace pel {

class QtInstance : public Instance {
 public:
  // `name`: the lock's abstract socket name (InstanceLock::NameFor).
  explicit QtInstance(std::string name) : lock_(std::move(name)) {}
  // Held, Ours and the rest of InstanceLock::State as Taken, Running and Failed: a name held
  // by another user cannot tell whether ours runs.
  Claimed Claim(std::string& detail) override;
  // `file` made absolute against this process's working folder.
  Handed Hand(const std::string& file, int timeout_ms) override;
  // Needs a QCoreApplication (the claim does not: it comes before the toolkit starts).
  bool Listen(std::function<bool(const std::string&)> take, std::string& error) override;
  void CallLater(int delay_ms, std::function<void()> due) override;
  void StopListening() override;

  const std::string& Name() const { return lock_.Name(); }

 private:
  void Service();

  InstanceLock lock_;
  HandoverChannel channel_;
  std::function<bool(const std::string&)> take_;
  std::function<void()> due_;
  // Made by Listen.
  struct Watch {
    explicit Watch(int fd) : ready(fd, QSocketNotifier::Read) {}
    QSocketNotifier ready;
    QTimer deadline;  // for connections that stay silent
    QTimer later;     // for CallLater
  };
  std::unique_ptr<Watch> watch_;
};

}  // namespace pel
