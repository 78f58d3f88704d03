#pragma once
// Process-level services of the Linux program: one instance per user, the web browser, random
// numbers and the end of the program.

#include <string>

#include "platform/posix/posix_instance_lock.h"
#include "platform/shell.h"

namespace pel {

class QtShell : public Shell {
 public:
  explicit QtShell(std::string lock_path) : lock_(std::move(lock_path)) {}
  bool PreviousInstance() override { return lock_.HeldByOther(); }
  // True when PreviousInstance took the lock: only then may this process listen beside it.
  bool HoldsLock() const { return lock_.Held(); }
  // Through the desktop's URL handler (xdg-open), detached.
  void OpenUrl(const std::string& url) override;
  // Leaves at once with status 0, without running further events or destructors.
  void EndProgram() override;

 private:
  InstanceLock lock_;
};

}  // namespace pel
