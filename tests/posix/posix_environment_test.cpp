// The POSIX environment and clock.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/error.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_environment.h"
#include "testkit/real_disk.h"

namespace pel {
namespace {

// Sets or clears a variable for one test and puts the old value back.
class ScopedVar {
 public:
  ScopedVar(const char* name, const char* value) : name_(name) {
    if (const char* old = std::getenv(name)) old_ = old, had_ = true;
    if (value)
      ::setenv(name, value, 1);
    else
      ::unsetenv(name);
  }
  ~ScopedVar() {
    if (had_)
      ::setenv(name_, old_.c_str(), 1);
    else
      ::unsetenv(name_);
  }

 private:
  const char* name_;
  std::string old_;
  bool had_ = false;
};

TEST(PosixEnvironmentTest, Variables) {
  PosixEnvironment env;
  {
    ScopedVar v("PEL_TEST_VAR", "a b");
    EXPECT_EQ(env.Get("PEL_TEST_VAR"), "a b");
  }
  EXPECT_EQ(env.Get("PEL_TEST_VAR"), std::nullopt);
  {
    ScopedVar v("PEL_TEST_VAR", "");
    EXPECT_EQ(env.Get("PEL_TEST_VAR"), "");  // set but empty is not unset
  }
  EXPECT_EQ(env.Separator(), '/');
}

// The cache folder is the user's own: made 0700, and never one that someone else owns or can
// write, whatever the variables say.
TEST(PosixEnvironmentTest, CacheFolderIsTheUsersOwn) {
  namespace fs = std::filesystem;
  test::TempFolder tmp("env");
  const std::string root = tmp.Path();
  auto mode = [](const std::string& p) {
    struct stat st {};
    return ::lstat(p.c_str(), &st) == 0 ? st.st_mode & 07777 : 0u;
  };
  PosixEnvironment env;
  ScopedVar tmpdir("TMPDIR", "/tmp");  // names a shared folder: not used
  ScopedVar home("HOME", (root + "/home").c_str());
  ScopedVar cache("XDG_CACHE_HOME", nullptr);
  fs::create_directories(root + "/run");
  ::chmod((root + "/run").c_str(), 0700);
  {
    ScopedVar run("XDG_RUNTIME_DIR", (root + "/run").c_str());
    EXPECT_EQ(env.UserTempFolder(), root + "/run/pelmira/");
    EXPECT_EQ(mode(root + "/run/pelmira"), 0700u);
  }
  // A runtime folder others can write, then a link in place of our folder: the cache home.
  fs::create_directories(root + "/shared");
  ::chmod((root + "/shared").c_str(), 01777);
  fs::create_directories(root + "/elsewhere");
  fs::create_directories(root + "/run2");
  ::chmod((root + "/run2").c_str(), 0700);
  fs::create_directory_symlink(root + "/elsewhere", root + "/run2/pelmira");
  std::vector<std::string> runs = {root + "/shared", root + "/run2", "relative"};
  if (::geteuid() == 0) {
    // Another user's folder of our name in a private runtime folder.
    ASSERT_EQ(::chown((root + "/run/pelmira").c_str(), 65534, 65534), 0);
    runs.push_back(root + "/run");
  }
  for (const std::string& run : runs) {
    ScopedVar r("XDG_RUNTIME_DIR", run.c_str());
    EXPECT_EQ(env.UserTempFolder(), root + "/home/.cache/pelmira/") << run;
  }
  EXPECT_EQ(mode(root + "/home/.cache"), 0700u);
  EXPECT_EQ(mode(root + "/home/.cache/pelmira"), 0700u);
  {
    ScopedVar r("XDG_RUNTIME_DIR", nullptr);
    ScopedVar c("XDG_CACHE_HOME", (root + "/xdg/cache").c_str());
    // Ours but opened to others: closed again.
    fs::create_directories(root + "/xdg/cache/pelmira");
    ::chmod((root + "/xdg/cache/pelmira").c_str(), 0777);
    EXPECT_EQ(env.UserTempFolder(), root + "/xdg/cache/pelmira/");
    EXPECT_EQ(mode(root + "/xdg/cache/pelmira"), 0700u);
  }
}

// Recovered recordings go to the user's own state folder: made 0700 under ~/.local/state or
// $XDG_STATE_HOME, never through a link someone put in its place, never a folder others write.
TEST(PosixEnvironmentTest, StateFolderIsTheUsersOwnOrNone) {
  namespace fs = std::filesystem;
  test::TempFolder tmp("state");
  const std::string root = tmp.Path();
  PosixEnvironment env;
  ScopedVar home("HOME", (root + "/home").c_str());
  ScopedVar none("XDG_STATE_HOME", nullptr);
  EXPECT_EQ(env.StateFolder(), root + "/home/.local/state/pelmira/");
  struct stat st {};
  ASSERT_EQ(::lstat((root + "/home/.local/state/pelmira").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0700u);

  fs::create_directories(root + "/elsewhere");
  fs::create_directories(root + "/linked");
  fs::create_directory_symlink(root + "/elsewhere", root + "/linked/pelmira");
  fs::create_directories(root + "/open");
  ::chmod((root + "/open").c_str(), 0777);
  for (const std::string& state : {root + "/linked", root + "/open"}) {
    ScopedVar v("XDG_STATE_HOME", state.c_str());
    EXPECT_THROW(env.StateFolder(), Error) << state;
  }
  EXPECT_TRUE(fs::is_empty(root + "/elsewhere"));
}

TEST(PosixEnvironmentTest, ProgramFolderAndBaseName) {
  PosixEnvironment env;
  const std::filesystem::path self = std::filesystem::canonical("/proc/self/exe");
  EXPECT_EQ(env.ProgramFolder(), self.parent_path().string());
  EXPECT_EQ(env.ExecutableBaseName(), "posix_tests");
}

TEST(PosixClockTest, MonotonicAndSleepsAtLeastTheTimeAsked) {
  PosixClock clock;
  const double a = clock.Now();
  clock.SleepMs(15);
  const double b = clock.Now();
  EXPECT_GE(b - a, 0.015 - 1e-6);
  clock.SleepMs(0);
  clock.SleepMs(-5);
  EXPECT_GE(clock.Now(), b);
}

}  // namespace
}  // namespace pel
