#pragma once
// Permission cases need a user that permission bits apply to; root ignores them.

#include <grp.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>

namespace pel::test {

constexpr uid_t kNobody = 65534;
constexpr gid_t kNogroup = 65534;

// Runs `body` in a child process, as the real user `uid` (group `gid`, no others) when the test
// runs as root, else as the test's own user. Gives what `body` returned, 99 when the user could
// not be taken, -1 when the child died.
inline int RunAsOtherUser(const std::function<int()>& body, uid_t uid = kNobody,
                          gid_t gid = kNogroup) {
  const pid_t child = ::fork();
  if (child < 0) return -1;
  if (child == 0) {
    if (::geteuid() == 0 && (::setgroups(0, nullptr) != 0 || ::setresgid(gid, gid, gid) != 0 ||
                             ::setresuid(uid, uid, uid) != 0))
      ::_exit(99);
    ::_exit(body());
  }
  int status = 0;
  if (::waitpid(child, &status, 0) != child || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

}  // namespace pel::test
