// The single-instance lock.
#include "platform/posix/posix_instance_lock.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <optional>
#include <vector>

#include "testkit/host.h"

namespace pel {
namespace {

TEST(InstanceLockTest, SecondHolderSeesTheFirstUntilItEnds) {
  test::TempFolder dir("lock");
  const std::string path = dir.Path() + "/pelmira.lock";
  {
    InstanceLock first(path);
    EXPECT_FALSE(first.HeldByOther());
    EXPECT_FALSE(first.HeldByOther()) << "a second question keeps the answer";
    InstanceLock second(path);
    EXPECT_TRUE(second.HeldByOther());
  }
  InstanceLock third(path);
  EXPECT_FALSE(third.HeldByOther()) << "released with its holder";
}

TEST(InstanceLockTest, AKilledHolderLeavesNoClaim) {
  test::TempFolder dir("lock");
  const std::string path = dir.Path() + "/pelmira.lock";
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  const pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    InstanceLock lock(path);
    const char c = lock.HeldByOther() ? 'x' : 'k';
    (void)!write(ready[1], &c, 1);
    pause();
    _exit(0);
  }
  char c = 0;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  EXPECT_EQ(c, 'k');
  {
    InstanceLock probe(path);
    EXPECT_TRUE(probe.HeldByOther());
  }
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  close(ready[0]);
  close(ready[1]);
  InstanceLock after(path);
  EXPECT_FALSE(after.HeldByOther()) << "the crashed instance's file is still there, unlocked";
}

TEST(InstanceLockTest, UnusableLockFileNeverRefusesTheStart) {
  InstanceLock lock("/nonexistent-folder/pelmira.lock");
  EXPECT_FALSE(lock.HeldByOther());
}

TEST(InstanceLockTest, OneLockPerUserAndDisplayWhateverTheEnvironmentAndNoOtherUserCanTakeIt) {
  const char* display = "pelmira-test:4093";  // no real program ever holds this one
  const std::string path = InstanceLock::DefaultPath(display);
  ASSERT_FALSE(path.empty());
  EXPECT_EQ(InstanceLock::DefaultPath("unix:0.1"), InstanceLock::DefaultPath(":0"));
  EXPECT_NE(InstanceLock::DefaultPath(":1"), InstanceLock::DefaultPath(":0"));

  test::TempFolder elsewhere("env");
  const char* names[] = {"XDG_RUNTIME_DIR", "HOME", "TMPDIR"};
  std::vector<std::optional<std::string>> saved;
  for (const char* n : names) {
    const char* v = std::getenv(n);
    saved.push_back(v ? std::optional<std::string>(v) : std::nullopt);
    setenv(n, elsewhere.Path().c_str(), 1);
  }
  EXPECT_EQ(InstanceLock::DefaultPath(display), path) << "set elsewhere";
  for (const char* n : names) unsetenv(n);
  EXPECT_EQ(InstanceLock::DefaultPath(display), path) << "unset";
  for (size_t i = 0; i < saved.size(); ++i)
    if (saved[i]) setenv(names[i], saved[i]->c_str(), 1);

  struct stat folder {};
  const std::string parent = path.substr(0, path.rfind('/'));
  ASSERT_EQ(lstat(parent.c_str(), &folder), 0);
  EXPECT_TRUE(S_ISDIR(folder.st_mode));
  EXPECT_EQ(folder.st_uid, getuid());
  EXPECT_EQ(folder.st_mode & 022, 0u) << "nobody else may create files there";

  // As root, a real other user tries to take the lock first, and then while it is held.
  if (geteuid() == 0) {
    unlink(path.c_str());
    const std::string as_nobody =
        "setpriv --reuid=nobody --regid=nogroup --clear-groups flock -n '" + path +
        "' true 2>/dev/null";
    EXPECT_NE(std::system(as_nobody.c_str()), 0) << "created first by another user";
    InstanceLock mine(path);
    EXPECT_FALSE(mine.HeldByOther());
    EXPECT_NE(std::system(as_nobody.c_str()), 0) << "taken from its holder by another user";
    unlink(path.c_str());
  }
}

}  // namespace
}  // namespace pel
