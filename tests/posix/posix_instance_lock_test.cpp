// The single-instance lock: an abstract socket that needs no folder, that the kernel frees with
// its holder, and that another user can neither take nor squat unnoticed.
#include "platform/posix/posix_instance_lock.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "testkit/other_user.h"

namespace pel {
namespace {

using State = InstanceLock::State;

// A name no real instance holds.
std::string TestName(const char* what) {
  return "pelmira-test-" + std::to_string(::getpid()) + "-" + what;
}

// A child process that holds `name` as uid `uid` (this test's own when not root) until
// killed: bound, and listening when `listen` is set. Its process id once it holds it.
pid_t HoldInChild(const std::string& name, bool listen, uid_t uid) {
  int ready[2];
  if (::pipe(ready) != 0) return -1;
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(ready[0]);
    if (::geteuid() == 0 && uid != 0 &&
        (::setresgid(test::kNogroup, test::kNogroup, test::kNogroup) != 0 ||
         ::setresuid(uid, uid, uid) != 0))
      ::_exit(99);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::memcpy(address.sun_path + 1, name.data(), name.size());
    const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
    const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + 1 + name.size());
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), size) != 0) ::_exit(98);
    if (listen && ::listen(fd, 4) != 0) ::_exit(97);
    (void)!::write(ready[1], "k", 1);
    ::pause();
    ::_exit(0);
  }
  ::close(ready[1]);
  char c = 0;
  const bool held = ::read(ready[0], &c, 1) == 1;
  ::close(ready[0]);
  if (!held) {
    ::waitpid(child, nullptr, 0);
    return -1;
  }
  return child;
}

void End(pid_t child) {
  ::kill(child, SIGKILL);
  ::waitpid(child, nullptr, 0);
}

TEST(InstanceLockTest, HeldUntilItsHolderEndsInAnyWayAndNeverByAProgramItStarts) {
  const std::string name = TestName("life");
  std::string detail;
  {
    std::optional<InstanceLock> first(name);
    ASSERT_EQ(first->Take(detail), State::Held) << detail;
    EXPECT_EQ(first->Take(detail), State::Held) << "a second question keeps the answer";
    EXPECT_GE(first->Fd(), 0);
    InstanceLock second(name);
    EXPECT_EQ(second.Take(detail), State::Ours);
    EXPECT_EQ(second.Fd(), -1);

    // A program started by the holder (the web browser) must not keep the lock after it.
    int started[2];
    ASSERT_EQ(::pipe2(started, O_CLOEXEC), 0);
    const pid_t browser = ::fork();
    if (browser == 0) {
      ::execl("/bin/sleep", "sleep", "30", static_cast<char*>(nullptr));
      ::_exit(127);
    }
    ::close(started[1]);
    char c;
    EXPECT_EQ(::read(started[0], &c, 1), 0) << "closed when the child has started sleep";
    ::close(started[0]);
    first.reset();
    InstanceLock third(name);
    EXPECT_EQ(third.Take(detail), State::Held) << "released with its holder: " << detail;
    End(browser);
  }

  const pid_t killed = HoldInChild(name, true, ::getuid());
  ASSERT_GT(killed, 0);
  InstanceLock probe(name);
  EXPECT_EQ(probe.Take(detail), State::Ours);
  End(killed);
  EXPECT_EQ(probe.Take(detail), State::Held) << "a killed holder leaves no claim: " << detail;
}

TEST(InstanceLockTest, OneNamePerUserAndDisplay) {
  const std::string mine = "pelmira-" + std::to_string(::getuid()) + "-0";
  for (const char* same : {":0", "unix:0.1", ":0.0"}) EXPECT_EQ(InstanceLock::NameFor(same), mine);
  for (const char* other : {":1", "host:0", ""}) EXPECT_NE(InstanceLock::NameFor(other), mine);
  // A compositor without X: its socket, by name in the runtime folder or by path.
  const std::string compositor = InstanceLock::NameForWayland("wayland-1", "/run/user/7");
  EXPECT_EQ(InstanceLock::NameForWayland("/run/user/7/wayland-1", "/tmp"), compositor);
  for (const std::string& other :
       {InstanceLock::NameForWayland("wayland-1", "/tmp/sway"),
        InstanceLock::NameForWayland("wayland-0", "/run/user/7"), InstanceLock::NameFor(nullptr)})
    EXPECT_NE(other, compositor);
}

// Without a runtime folder, with a home that does not exist, as a uid the password database
// does not know: the lock still holds, and a second start of that user still meets it.
TEST(InstanceLockTest, NeedsNoFolderOfTheUser) {
  const uid_t unknown = ::geteuid() == 0 ? 4242 : ::getuid();
  const int result = test::RunAsOtherUser(
      [] {
        ::unsetenv("XDG_RUNTIME_DIR");
        ::setenv("HOME", "/nonexistent", 1);
        const std::string name = InstanceLock::NameFor(":4093");
        std::string detail;
        InstanceLock lock(name);
        if (lock.Take(detail) != State::Held) return 1;
        const pid_t second = ::fork();
        if (second == 0) {
          ::unsetenv("HOME");
          InstanceLock again(InstanceLock::NameFor(":4093"));
          ::_exit(again.Take(detail) == State::Ours ? 0 : 2);
        }
        int status = 0;
        ::waitpid(second, &status, 0);
        return WIFEXITED(status) ? WEXITSTATUS(status) : 3;
      },
      unknown);
  EXPECT_EQ(result, 0);
}

// As root, a real other user: it cannot take the name that this user holds, and when it holds
// this user's name first, listening or not, the start learns so instead of running unlocked.
TEST(InstanceLockTest, AnotherUserCanNeitherTakeNorSquatItUnnoticed) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root to act as another user";
  const std::string name = TestName("squat");
  std::string detail;
  {
    InstanceLock mine(name);
    ASSERT_EQ(mine.Take(detail), State::Held);
    EXPECT_EQ(test::RunAsOtherUser([&] {
                InstanceLock theirs(name);
                std::string why;
                const InstanceConnection c = ConnectToInstance(name, 500);
                return theirs.Take(why) == State::OtherUser &&
                               c.result == InstanceConnection::Result::OtherUser
                           ? 0
                           : 1;
              }),
              0);
  }
  const struct {
    bool listens;
    State seen;
    const char* said;
  } squatters[] = {{true, State::OtherUser, "uid 65534"},
                   {false, State::Failed, "does not listen"}};
  for (const auto& s : squatters) {
    const pid_t squatter = HoldInChild(name, s.listens, test::kNobody);
    ASSERT_GT(squatter, 0);
    InstanceLock mine(name);
    EXPECT_EQ(mine.Take(detail, 200), s.seen) << detail;
    EXPECT_NE(detail.find(s.said), std::string::npos) << detail;
    EXPECT_EQ(mine.Fd(), -1);
    End(squatter);
  }
}

}  // namespace
}  // namespace pel
