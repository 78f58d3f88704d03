// The program through the desktop portal on a private headless mutter with pipewire: a portal of
// the test's own answers the consent and relays to mutter's remote desktop, and a client of the
// test's own watches the pointer. Allowed, every entry kind plays exactly and the restore token
// is kept; refused, nothing plays; a session closed while a button is held ends the run with
// nothing held.
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <sys/wait.h>
#include <wayland-client.h>

#include <algorithm>
#include <chrono>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "app/command_line.h"
#include "programs/linux/wayland_session.h"
#include "testkit/mutter_fixture.h"
#include "testkit/pointer_observer.h"
#include "tests/wayland/every_kind.h"

namespace pel::waylandtest {
namespace {

using Kind = PointerEvent::Kind;
using Sizes = std::vector<std::pair<int, int>>;

class PortalE2E : public testing::Test {
 protected:
  explicit PortalE2E(const Sizes& sizes = {{1280, 1024}})
      : mutter_(sizes), observer_(mutter_.Socket(), sizes) {
    int left = 0;
    for (const auto& [width, height] : sizes) {
      shared_ += (shared_.empty() ? "" : ";") + std::to_string(left) + ",0," +
                 std::to_string(width) + "," + std::to_string(height);
      left += width;
    }
  }

  // The test's portal, answering `answer` (grant or refuse) at RemoteDesktop `version`, closing
  // the session after `close_after` notifications (0: never), sharing every monitor.
  void StartPortal(const char* answer, int version, int close_after = 0) {
    mutter_.Start({PEL_FAKE_PORTAL, mutter_.Folder() + "/portal.log", answer,
                   std::to_string(version), std::to_string(close_after), shared_},
                  {}, mutter_.Folder() + "/portal.err");
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (Portal().find("ready") == std::string::npos) {
      ASSERT_LT(std::chrono::steady_clock::now(), deadline) << mutter_.Read("portal.err");
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
  }
  std::string Portal() const { return mutter_.Read("portal.log"); }
  std::string Said() const { return mutter_.Read("stderr"); }

  // Plays `entries` through the portal and watches the pointer until the program ends; its
  // exit status. The first entry waits a moment: mutter gives the seat its pointer only once the
  // session starts, and the observer takes it then.
  int Play(std::vector<std::string> entries) {
    std::string text = "[MouseMotionFile]\r\nmove,1,1,300\r\n";
    for (const std::string& e : entries) text += e + "\r\n";
    const pid_t pid = mutter_.Start(
        {PEL_PROGRAM, "--backend", "portal", "--play", mutter_.Write("play.mmf", text)}, {},
        mutter_.Folder() + "/stderr");
    int status = 0;
    pid_t ended = 0;
    observer_.PumpUntil([&] { return (ended = ::waitpid(pid, &status, WNOHANG)) == pid; }, 60000);
    if (ended != pid) return -1;  // the fixture ends it
    observer_.Pump(150);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  Mutter mutter_;
  PointerObserver observer_;
  std::string shared_;  // the monitors as the portal shares them
};

TEST_F(PortalE2E, AllowedPlaysEveryKindExactlyAndKeepsTheRestoreToken) {
  StartPortal("grant", 2);
  ASSERT_EQ(Play(kEveryKind), exit_status::kOk) << Said() << Portal();
  EXPECT_NE(Said().find("waiting for the desktop to allow input control"), std::string::npos);
  // From the first move after the one that let the observer take the pointer.
  const Seen seen = SeenFrom(observer_.Events(), kEveryKindPlaces.front());
  EXPECT_EQ(seen.places, kEveryKindPlaces) << Portal();
  EXPECT_EQ(seen.presses, kEveryKindPresses);
  EXPECT_EQ(seen.steps, kEveryKindSteps);
  EXPECT_TRUE(observer_.Held().empty());

  // The portal keeps the user's answer: the next start hands its token back.
  EXPECT_EQ(mutter_.Read(".local/state/pelmira/portal-restore-token"), "token-1");
  EXPECT_EQ(Play({"move,5,5,0"}), exit_status::kOk) << Said();
  EXPECT_NE(Portal().find("SelectDevices persist_mode=2 restore_token=token-1 types=2"),
            std::string::npos)
      << Portal();
}

TEST_F(PortalE2E, RefusedPlaysNothingAndSaysSo) {
  StartPortal("refuse", 1);
  EXPECT_EQ(Play({"Left,300,200,0"}), kInputRefused);
  EXPECT_NE(Said().find("the desktop did not allow input control, so nothing is played"),
            std::string::npos)
      << Said();
  // Version 1 keeps nothing: no persistence asked for.
  EXPECT_EQ(Portal().find("persist_mode"), std::string::npos) << Portal();
  EXPECT_EQ(Portal().find("motion"), std::string::npos) << Portal();
  for (const PointerEvent& e : observer_.Events()) EXPECT_NE(e.kind, Kind::Button);
}

TEST_F(PortalE2E, SessionClosedWhileHoldingEndsWithNothingHeld) {
  // Closed after the warm-up move and the press (its move and its button).
  StartPortal("grant", 1, 3);
  EXPECT_EQ(
      Play({"LeftDown,100,100,50", "move,200,200,50", "move,300,300,5000", "LeftUp,300,300,0"}),
      kInputRefused)
      << Portal();
  EXPECT_NE(Said().find("the desktop closed the input control session"), std::string::npos)
      << Said();
  EXPECT_EQ(Portal().find("motion 0 200 200"), std::string::npos) << Portal();
  // The press arrived, and went with the session.
  const auto& events = observer_.Events();
  EXPECT_TRUE(std::ranges::any_of(events, [](const PointerEvent& e) {
    return e.kind == Kind::Button && e.pressed && e.x == 100 && e.y == 100;
  }));
  EXPECT_TRUE(observer_.Held().empty());
}

class PortalTwoMonitors : public PortalE2E {
 protected:
  PortalTwoMonitors() : PortalE2E({{1280, 1024}, {800, 600}}) {}
};

TEST_F(PortalTwoMonitors, EachPositionGoesToTheStreamThatHoldsIt) {
  StartPortal("grant", 1);
  const std::vector<XY> targets = {{0, 0}, {1279, 1023}, {1280, 0}, {2079, 599}, {1700, 300}};
  std::vector<std::string> entries;
  for (const auto& [x, y] : targets)
    entries.push_back("move," + std::to_string(x) + "," + std::to_string(y) + ",10");
  ASSERT_EQ(Play(entries), exit_status::kOk) << Said() << Portal();
  EXPECT_EQ(SeenFrom(observer_.Events(), targets.front()).places, targets) << Portal();
  // Relative to the second monitor's corner.
  EXPECT_NE(Portal().find("motion 1 799 599"), std::string::npos) << Portal();
}

}  // namespace
}  // namespace pel::waylandtest
