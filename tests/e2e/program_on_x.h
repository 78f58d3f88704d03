#pragma once
// What the end-to-end tests of the Linux program set up alike: a private Xvfb, a look at its
// windows and the program, with openbox on the display when a test wants a window manager.
// Fixtures derive from it beside their testing::Test.

#include <gtest/gtest.h>

#include <functional>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/command_line.h"
#include "testkit/pelmira_fixture.h"

namespace pel::e2e {

class ProgramOnX {
 protected:
  explicit ProgramOnX(std::string screen = "1280x1024x24")
      : x_({}, std::move(screen)), look_(x_.Display()), app_(x_) {}

  // Starts openbox; false when it did not take the screen (scripts/install-deps.sh installs it).
  bool StartOpenbox() {
    openbox_.emplace(x_);
    return openbox_->Running();
  }
  // Waits until `condition` holds, waking openbox now and then where it runs.
  bool Wait(const std::function<bool()>& condition) {
    return openbox_ ? openbox_->WaitUntil(condition) : x11test::WaitUntil(condition);
  }
  // Runs `--record path` with `args` and, once the recording indicator shows, each of `steps`
  // through xdotool; the last one presses Pause, and the program is to end with success.
  void Record(const std::string& path, const std::vector<std::string>& args,
              const std::vector<std::string>& steps) {
    std::vector<std::string> argv = {"--record", path};
    argv.insert(argv.end(), args.begin(), args.end());
    const pid_t pid = app_.Start(argv);
    EXPECT_TRUE(look_.WaitFor("frmRec", 10s, pid)) << app_.Output();
    for (const std::string& step : steps) EXPECT_TRUE(app_.Xdo(step)) << step;
    EXPECT_EQ(app_.WaitExit(pid), exit_status::kOk) << app_.Output();
  }

  x11test::Xvfb x_;
  std::optional<x11test::Openbox> openbox_;
  XLook look_;
  Pelmira app_;
};

}  // namespace pel::e2e
