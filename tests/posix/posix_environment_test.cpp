// The POSIX environment and clock.

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_environment.h"

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

TEST(PosixEnvironmentTest, VariablesAndTempFolder) {
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
  {
    ScopedVar t("TMPDIR", nullptr);
    EXPECT_EQ(env.UserTempFolder(), "/tmp/");
  }
  {
    ScopedVar t("TMPDIR", "/var/tmp/user//");
    EXPECT_EQ(env.UserTempFolder(), "/var/tmp/user/");
  }
  for (const char* root : {"/", "", "//"}) {
    ScopedVar t("TMPDIR", root);
    EXPECT_EQ(env.UserTempFolder(), "/tmp/") << root;  // never the bare root
  }
  EXPECT_EQ(env.Separator(), '/');
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
