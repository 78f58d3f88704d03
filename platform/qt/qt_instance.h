#pragma once
// The single instance of the Linux program: the instance lock (posix_instance_lock.h), whose
// listening socket is also the channel through which later starts hand their files over
// (posix_handover_channel.h), served from Qt's event loop so that a slow or silent sender never
// holds up the window; and the selection on the X server (x11_instance_guard.h), which finds an
// instance started through another name of the same server.

#include <QSocketNotifier>
#include <QTimer>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/instance.h"
#include "platform/posix/posix_handover_channel.h"
#include "platform/posix/posix_instance_lock.h"
#include "platform/x11/x11_instance_guard.h"

namespace pel {

class QtInstance : public Instance {
 public:
  // `name`: the lock's abstract socket name (InstanceLock::NameFor); `x_display`: the X
  // display whose server is asked as well (none: the lock alone decides).
  explicit QtInstance(std::string name, std::optional<std::string> x_display = std::nullopt)
      : lock_(std::move(name)), x_display_(std::move(x_display)) {}
  // Held, Ours and the rest of InstanceLock::State as Taken, Running and Failed: a name held
  // by another user cannot tell whether ours runs. Once the lock is held, the X server's
  // selection decides: owned by another client, it is Running (and the lock is let go), and
  // one that cannot be asked is Failed.
  Claimed Claim(std::string& detail) override;
  // `file` made absolute against this process's working folder, to the running instance's
  // channel as found by Claim.
  Handed Hand(const std::string& file, int timeout_ms) override;
  Commanded Send(Command command, int timeout_ms) override;
  // Needs a QCoreApplication (the claim does not: it comes before the toolkit starts).
  bool Listen(std::function<Handed(const std::string&)> take, std::string& error) override;
  void CallLater(int delay_ms, std::function<void()> due) override;
  void StopListening() override;
  void Obey(std::function<Commanded(Command)> obey) override { obey_ = std::move(obey); }

  const std::string& Name() const { return lock_.Name(); }

 private:
  void Service();

  InstanceLock lock_;
  std::optional<std::string> x_display_;
  X11InstanceGuard guard_;
  std::string running_channel_;  // the running instance's channel, as the last Claim found it
  HandoverChannel channel_;
  std::function<Handed(const std::string&)> take_;
  std::function<Commanded(Command)> obey_;
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
