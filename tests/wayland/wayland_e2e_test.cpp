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

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "app/command_line.h"
#include "platform/wayland/wayland_display.h"
#include "testkit/pointer_observer.h"
#include "testkit/sway_fixture.h"
#include "tests/wayland/every_kind.h"

namespace pel::waylandtest {
namespace {

using Kind = PointerEvent::Kind;
using Sizes = std::vector<std::pair<int, int>>;

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
  const std::string path = Write("all.mmf", kEveryKind);
  ASSERT_EQ(WaitExit(Start({"--play", path})), exit_status::kOk) << Said();
  // The windows came from sway's IPC: nothing said about playing at screen places.
  EXPECT_EQ(Said().find("recorded screen places"), std::string::npos) << Said();

  // From the first move on: a fresh sway starts its cursor at 100,100, over a window or not.
  const Seen seen = SeenFrom(observer_.Events(), kEveryKindPlaces.front());
  EXPECT_EQ(seen.places, kEveryKindPlaces);
  EXPECT_EQ(seen.presses, kEveryKindPresses);
  EXPECT_EQ(seen.steps, kEveryKindSteps);

  std::vector<XY> dragged;  // moves with the left button down
  uint32_t hold_from = 0, hold_ms = 0;
  bool left_down = false;
  for (const PointerEvent& e : observer_.Events()) {
    if (e.kind == Kind::Button) {
      if (e.button == BTN_LEFT) left_down = e.pressed;
      if (e.button == BTN_RIGHT) (e.pressed ? hold_from : hold_ms) = e.time;
    } else if (e.kind == Kind::Wheel) {
      EXPECT_TRUE(e.from_wheel);
      EXPECT_EQ(e.value, 15.0 * e.discrete);
    } else if (e.kind == Kind::Motion && left_down) {
      dragged.emplace_back(e.x, e.y);
    }
  }
  EXPECT_EQ(dragged, (std::vector<XY>{{120, 110}, {150, 130}, {180, 140}}));
  EXPECT_NEAR(static_cast<double>(hold_ms - hold_from), 600, 60);
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
      {{"--backend=mir", "--play", path},
       exit_status::kUsage,
       "none of x11, wayland, portal and auto"},
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

// The commands a later start sends to the window running on sway, where no key reaches it, in
// turn from the state each row leaves: the exit status of the answer, and what follows on the
// observed pointer or in sway's tree.
TEST_F(WaylandE2E, CommandsActAsTheKeysInTheRunningWindow) {
  auto command = [&](const std::string& word) {
    std::filesystem::remove(folder_ + "/stderr");
    return WaitExit(Start({"--command", word}), 20000);
  };
  auto shown = [&] {
    const std::string ask = "SWAYSOCK=" + sway_.IpcSocket() + " swaymsg -t get_tree";
    std::string tree;
    if (FILE* out = ::popen(ask.c_str(), "r")) {
      char buffer[4096];
      for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, out)) > 0;) tree.append(buffer, n);
      ::pclose(out);
    }
    return tree.find("\"name\": \"Pelmira\"") != std::string::npos;
  };
  auto presses = [&] {
    size_t n = 0;
    for (const PointerEvent& e : observer_.Events()) n += e.kind == Kind::Button && e.pressed;
    return n;
  };
  EXPECT_EQ(command("stop"), exit_status::kNoInstance) << Said();
  const pid_t window = Start({Write("clicks.mmf", {"Left,300,200,100", "move,400,300,100"})});
  ASSERT_TRUE(observer_.PumpUntil(shown, 20000)) << Said();
  size_t stopped_at = 0;
  struct Row {
    const char* command;
    int status;
    const char* said;
    std::function<bool()> then;  // holds within 10 s
  };
  const Row rows[] = {
      {"record", exit_status::kUnavailable, "it cannot record", [&] { return presses() == 0; }},
      {"play", exit_status::kOk, "", [&] { return presses() >= 2; }},
      {"play", exit_status::kNotNow, "it is playing", nullptr},
      {"stop", exit_status::kOk, "",
       [&] {
         stopped_at = presses();
         observer_.Pump(500);  // a pass takes 0.2 s
         return observer_.Held().empty() && presses() == stopped_at;
       }},
      {"stop", exit_status::kNotNow, "it is neither recording nor playing", nullptr},
      {"toggle-window", exit_status::kOk, "", [&] { return !shown(); }},
      {"toggle-window", exit_status::kOk, "", shown},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.command);
    EXPECT_EQ(command(row.command), row.status);
    EXPECT_NE(Said().find(row.said), std::string::npos) << Said();
    if (row.then) {
      EXPECT_TRUE(observer_.PumpUntil(row.then, 10000));
    }
  }
  ::kill(window, SIGTERM);
  WaitExit(window);
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
