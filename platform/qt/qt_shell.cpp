#include "platform/qt/qt_shell.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QDesktopServices>
#include <QUrl>
#include <cerrno>
#include <cstdio>
#include <cstdlib>

#include "platform/error.h"

namespace pel {

InstanceLock::~InstanceLock() {
  if (fd_ >= 0) ::close(fd_);
}

std::string InstanceLock::DefaultPath() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime) return std::string(runtime) + "/pelmira.lock";
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = tmp && *tmp ? tmp : "/tmp";
  if (folder.back() != '/') folder += '/';
  return folder + "pelmira-" + std::to_string(::getuid()) + ".lock";
}

bool InstanceLock::HeldByOther() {
  if (tried_) return other_;
  tried_ = true;
  // O_NOFOLLOW: in a shared temporary folder another user could plant a link to one of our
  // files; flock on it would be harmless, but creating through it is not.
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
