// The program on a private headless sway with no X display: --play of every entry kind through
// the compositor's virtual pointer, watched by a client of the test's own; what the Wayland
// backend cannot do refused with its exit status; no button left held by the end or SIGTERM.
#include <gtest/gtest.h>
#include <linux/input-event-codes.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <wayland-client.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/command_line.h"
#include "platform/wayland/wayland_display.h"
#include "testkit/pointer_observer.h"
#include "testkit/sway_fixture.h"

namespace pel::waylandtest {
namespace {

using Kind = PointerEvent::Kind;
using Sizes = std::vector<std::pair<int, int>>;
using XY = std::pair<int, int>;

// sway, the observer's windows on it, and the program started with no X display.
class WaylandE2E : public testing::Test {
 protected:
  explicit WaylandE2E(const Sizes& sizes = {{1280, 1024}}, const std::vector<int>& scales = {})
      : sway_(sizes, scales), observer_(sway_.Socket(), sizes) {
    char folder[] = "/tmp/pel-wl-run-XXXXXX";
    folder_ = ::mkdtemp(folder);
  }
  ~WaylandE2E() override {
    // A program a failed check left running ends with the test.
    for (const pid_t pid : started_)
      if (::waitpid(pid, nullptr, WNOHANG) == 0) {
        ::kill(pid, SIGKILL);
        ::waitpid(pid, nullptr, 0);
      }
    std::filesystem::remove_all(folder_);
  }

  std::string Write(const std::string& name, const std::vector<std::string>& entries) {
    const std::string path = folder_ + "/" + name;
    std::ofstream out(path, std::ios::binary);
    out << "[MouseMotionFile]\r\n";
    for (const std::string& e : entries) out << e << "\r\n";
    return path;
  }

  pid_t Start(const std::vector<std::string>& args) {
    const pid_t pid = sway_.Start(PEL_PROGRAM, args, folder_);
    started_.push_back(pid);
    return pid;
  }

  // Watches the pointer until the program ends (and a little after, for the last events); its
  // exit status, or 128 + the signal that ended it.
  int WaitExit(pid_t pid, int timeout_ms = 60000) {
    int status = 0;
    pid_t ended = 0;
    observer_.PumpUntil([&] { return (ended = ::waitpid(pid, &status, WNOHANG)) == pid; },
                        timeout_ms);
    if (ended != pid) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      return -1;
    }
    observer_.Pump(150);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  }

  std::string Said() {
    std::ifstream in(folder_ + "/stderr");
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
  }

  // The pointer's places, each once until it moves away.
  std::vector<XY> Places() {
    std::vector<XY> places;
    for (const PointerEvent& e : observer_.Events())
      if ((e.kind == Kind::Motion || e.kind == Kind::Enter) &&
          (places.empty() || places.back() != XY{e.x, e.y}))
        places.emplace_back(e.x, e.y);
    return places;
  }

  Sway sway_;
  PointerObserver observer_;
  std::string folder_;
  std::vector<pid_t> started_;
};

TEST_F(WaylandE2E, PlaysEveryKindExactlyAndLeavesNothingHeld) {
  const std::string path =
      Write("all.mmf", {"move,10,10,20",         "move,1279,1023,20",     "move,640,512,20",
                        "Left,300,200,40",       "LeftDown,100,100,30",   "move,120,110,20",
                        "move,150,130,20",       "move,180,140,20",       "LeftUp,180,140,30",
                        "RightDown,400,300,600", "RightUp,400,300,30",    "Middle,500,400,30",
                        "Wheel,510,410,30,240",  "Wheel,510,410,30,-120", "HWheel,520,420,30,-120",
                        "HWheel,520,420,30,360", "X1Down,600,500,20",     "X1Up,600,500,20",
                        "X2Down,610,510,20",     "X2Up,610,510,20",       "move,0,0,0"});
  ASSERT_EQ(WaitExit(Start({"--play", path})), exit_status::kOk) << Said();
  // The windows came from sway's IPC: nothing said about playing at screen places.
  EXPECT_EQ(Said().find("recorded screen places"), std::string::npos) << Said();

  const std::vector<XY> want_places = {{10, 10},   {1279, 1023}, {640, 512}, {300, 200}, {100, 100},
                                       {120, 110}, {150, 130},   {180, 140}, {400, 300}, {500, 400},
                                       {510, 410}, {520, 420},   {600, 500}, {610, 510}, {0, 0}};
  std::vector<XY> places = Places();
  // Where a fresh sway starts its cursor, before the first move, if it was over a window.
  if (!places.empty() && places.front() == XY{100, 100}) places.erase(places.begin());
  EXPECT_EQ(places, want_places);

  using Press = std::tuple<uint32_t, bool, XY>;    // button, pressed, where
  using Step = std::tuple<uint32_t, int32_t, XY>;  // axis, notches, where
  std::vector<Press> presses;
  std::vector<Step> steps;
  std::vector<XY> dragged;  // moves with the left button down
  uint32_t hold_from = 0, hold_ms = 0;
  bool left_down = false;
  for (const PointerEvent& e : observer_.Events()) {
    if (e.kind == Kind::Button) {
      presses.emplace_back(e.button, e.pressed, XY{e.x, e.y});
      if (e.button == BTN_LEFT) left_down = e.pressed;
      if (e.button == BTN_RIGHT) (e.pressed ? hold_from : hold_ms) = e.time;
    } else if (e.kind == Kind::Wheel) {
      EXPECT_TRUE(e.from_wheel);
      EXPECT_EQ(e.value, 15.0 * e.discrete);
      steps.emplace_back(e.axis, e.discrete, XY{e.x, e.y});
    } else if (e.kind == Kind::Motion && left_down) {
      dragged.emplace_back(e.x, e.y);
    }
  }
  const std::vector<Press> want_presses = {
      {BTN_LEFT, true, {300, 200}},   {BTN_LEFT, false, {300, 200}},
      {BTN_LEFT, true, {100, 100}},   {BTN_LEFT, false, {180, 140}},
      {BTN_RIGHT, true, {400, 300}},  {BTN_RIGHT, false, {400, 300}},
      {BTN_MIDDLE, true, {500, 400}}, {BTN_MIDDLE, false, {500, 400}},
      {BTN_SIDE, true, {600, 500}},   {BTN_SIDE, false, {600, 500}},
      {BTN_EXTRA, true, {610, 510}},  {BTN_EXTRA, false, {610, 510}}};
  EXPECT_EQ(presses, want_presses);
  EXPECT_EQ(dragged, (std::vector<XY>{{120, 110}, {150, 130}, {180, 140}}));
  EXPECT_NEAR(static_cast<double>(hold_ms - hold_from), 600, 60);
  // Up is away from the user (Wayland: negative), each notch its own step.
  constexpr uint32_t kV = WL_POINTER_AXIS_VERTICAL_SCROLL, kH = WL_POINTER_AXIS_HORIZONTAL_SCROLL;
  const std::vector<Step> want_steps = {
      {kV, -1, {510, 410}}, {kV, -1, {510, 410}}, {kV, 1, {510, 410}}, {kH, -1, {520, 420}},
      {kH, 1, {520, 420}},  {kH, 1, {520, 420}},  {kH, 1, {520, 420}}};
  EXPECT_EQ(steps, want_steps);
  EXPECT_TRUE(observer_.Held().empty());
}

TEST_F(WaylandE2E, SigtermReleasesTheHeldButton) {
  const pid_t pid =
      Start({"--play", Write("hold.mmf", {"LeftDown,200,200,20000", "LeftUp,200,200,0"})});
  ASSERT_TRUE(observer_.PumpUntil([&] { return !observer_.Held().empty(); }, 10000)) << Said();
  ::kill(pid, SIGTERM);
  EXPECT_EQ(WaitExit(pid), 128 + SIGTERM) << Said();
  EXPECT_TRUE(observer_.Held().empty());
}

TEST_F(WaylandE2E, RefusesWhatTheCompositorCannotGive) {
  const std::string path = Write("one.mmf", {"Left,10,10,0"});
  struct Case {
    std::vector<std::string> args;
    int status;
    const char* said;
  };
  const Case cases[] = {
      {{"--record", path}, exit_status::kUnavailable, "recording (--record) is not possible"},
      {{"--play", path, "--stop-on-move"}, exit_status::kUnavailable, "--stop-on-move is not"},
      {{"--backend", "x11", "--play", path}, exit_status::kFailed, "DISPLAY is not set"},
      {{"--backend=mir", "--play", path}, exit_status::kUsage, "none of x11, wayland and auto"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.args[0]);
    std::filesystem::remove(folder_ + "/stderr");
    EXPECT_EQ(WaitExit(Start(c.args)), c.status);
    EXPECT_NE(Said().find(c.said), std::string::npos) << Said();
  }
  // Nothing of them reached the pointer.
  for (const PointerEvent& e : observer_.Events()) EXPECT_NE(e.kind, Kind::Button);
}

TEST_F(WaylandE2E, HundredThousandQuickMovesArriveAllInOrder) {
  // Far more than the socket holds: the program waits for the compositor to read, losing none.
  constexpr int kMoves = 100000;
  std::vector<std::string> entries;
  std::vector<XY> want;
  for (int i = 0; i < kMoves; ++i) {
    want.emplace_back(1 + i % 1000, 1 + i / 1000);
    entries.push_back("move," + std::to_string(want.back().first) + "," +
                      std::to_string(want.back().second) + ",1");
  }
  ASSERT_EQ(WaitExit(Start({"--play", Write("many.mmf", entries), "--speed", "100"})),
            exit_status::kOk)
      << Said();
  std::vector<XY> places = Places();
  if (!places.empty() && places.front() == XY{100, 100}) places.erase(places.begin());
  EXPECT_EQ(places.size(), want.size());
  EXPECT_TRUE(places == want);
}

class TwoOutputs : public WaylandE2E {
 protected:
  // The second at scale 2 (1600 x 1200 pixels): positions are the layout's, not its pixels.
  TwoOutputs() : WaylandE2E({{1280, 1024}, {800, 600}}, {1, 2}) {}
};

TEST_F(TwoOutputs, ReadsTheLayoutAndPlaysExactOnEachOutput) {
  std::string error;
  std::unique_ptr<WaylandDisplay> display = WaylandDisplay::Open(sway_.Socket().c_str(), error);
  ASSERT_TRUE(display) << error;
  const std::vector<Monitor> want = {{"HEADLESS-1", 0, 0, 1280, 1024, true},
                                     {"HEADLESS-2", 1280, 0, 800, 600, false}};
  EXPECT_EQ(display->Monitors(), want);

  const std::vector<XY> targets = {{0, 0},      {1279, 1023}, {1280, 0},
                                   {2079, 599}, {1700, 300},  {640, 900}};
  std::vector<std::string> entries;
  for (const XY& t : targets)
    entries.push_back("move," + std::to_string(t.first) + "," + std::to_string(t.second) + ",10");
  entries.push_back("Left,1500,100,0");
  ASSERT_EQ(WaitExit(Start({"--play", Write("two.mmf", entries)})), exit_status::kOk) << Said();
  std::vector<XY> places = Places();
  if (!places.empty() && places.front() == XY{100, 100}) places.erase(places.begin());
  std::vector<XY> want_places = targets;
  want_places.emplace_back(1500, 100);
  EXPECT_EQ(places, want_places);
  EXPECT_TRUE(observer_.Held().empty());
}

}  // namespace
}  // namespace pel::waylandtest
