#include "platform/posix/posix_instance_lock.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>

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

}  // namespace pel
