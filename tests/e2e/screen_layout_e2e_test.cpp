// A recording made on one monitor layout and played on another: the real program on Xorg with
// the dummy driver (two RandR outputs), rearranged with xrandr between recording and playback.
// Clicks recorded on a window of the second monitor must land on that window's place on the
// same monitor, wherever the monitor stands now; the Windows program under Wine (when built)
// must put the pointer on the same pixel.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <memory>

#include "app/command_line.h"
#include "testkit/pelmira_fixture.h"
#include "testkit/xorg_fixture.h"

namespace pel::e2e {
namespace {

namespace status = exit_status;

struct Area {
  int x, y, w, h;
  bool Holds(const TopWindow& t) const {
    return t.x >= x && t.y >= y && t.x + t.width <= x + w && t.y + t.height <= y + h;
  }
};

// As recorded: DUMMY0 1280x1024 primary at 0,0; DUMMY1 1920x1080 right of it, where the target
// window stands at (800, 400) of the monitor, clicked at (30, 30) and (220, 100) of the window.
constexpr const char* kRecordedLayout =
    "--output DUMMY0 --mode 1280x1024 --pos 0x0 --primary --output DUMMY1 --mode 1920x1080 "
    "--pos 1280x0";
constexpr Area kSecond{1280, 0, 1920, 1080};
constexpr Area kTarget{800, 400, 240, 120};
constexpr int kClicks[2][2] = {{30, 30}, {220, 100}};

class ScreenLayoutE2E : public testing::Test {
 protected:
  void SetUp() override {
    if (getuid() != 0) GTEST_SKIP() << "Xorg with the dummy driver needs root";
    x_ = std::make_unique<x11test::XorgDummy>();
    look_ = std::make_unique<XLook>(x_->Display());
    app_ = std::make_unique<Pelmira>(*x_);
    ASSERT_TRUE(x_->Xrandr(kRecordedLayout));
  }
  void TearDown() override {
    app_.reset();  // the programs go before their server
    look_.reset();
    x_.reset();
  }

  // The target window's place on monitor `m`: its recorded place in proportion to the monitor.
  static Area TargetOn(const Area& m) {
    return {m.x + kTarget.x * m.w / kSecond.w, m.y + kTarget.y * m.h / kSecond.h,
            kTarget.w * m.w / kSecond.w, kTarget.h * m.h / kSecond.h};
  }
  std::unique_ptr<x11test::ObserverWindow> Target(const Area& m) {
    const Area t = TargetOn(m);
    return std::make_unique<x11test::ObserverWindow>(
        x_->Display(), t.x, t.y, static_cast<unsigned>(t.w), static_cast<unsigned>(t.h));
  }

  // The Windows program under Wine on the same server plays `file` once: where it left the
  // pointer (Wine's clicks reach only Wine's windows) and what it said; nullopt when the MinGW
  // build or the Wine prefix of scripts/wine-tests.sh is missing. Runs under that script's lock,
  // with Wine's server restarted first: a running one keeps the monitors it saw first.
  std::optional<std::pair<int, int>> PlayUnderWine(const std::string& file, std::string& said) {
    const std::string build = PEL_MINGW_BUILD_DIR, work = build + "/wine-tests";
    const std::string exe = build + "/programs/windows/Pelmira.exe";
    const std::string wine = "/usr/lib/wine/wine64", server = "/usr/lib/wine/wineserver";
    namespace fs = std::filesystem;
    if (!fs::exists(exe) || !fs::exists(work + "/prefix") || !fs::exists(wine)) return {};
    const int lock = open((work + "/lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
    if (lock < 0 || flock(lock, LOCK_EX) != 0) return {};
    const std::string env = "WINEPREFIX=" + work + "/prefix WINEDEBUG=-all ";
    std::string win_path = "Z:" + file;
    std::replace(win_path.begin(), win_path.end(), '/', '\\');
    const std::string log = app_->Root() + "/wine.log";
    x_->Run(env + server + " -k; " + env + server + " -w");
    EXPECT_EQ(x_->Run(env + "timeout 60 " + wine + " " + exe + " --play '" + win_path + "' >" +
                      log + " 2>&1"),
              0);
    x_->Run(env + server + " -k; " + env + server + " -w");
    close(lock);
    said = ReadWholeFile(log);
    int x = 0, y = 0;
    if (!x11test::QueryPointer(x_->Display(), x, y)) return {};
    return std::make_pair(x, y);
  }

  std::string Record() {
    const std::string path = app_->Root() + "/take.mmf";
    auto target = Target(kSecond);
    EXPECT_TRUE(app_->Xdo("mousemove --sync 1300 50"));
    const pid_t pid = app_->Start({"--record", path});
    auto rec = look_->WaitFor("frmRec", 10s, pid);
    EXPECT_TRUE(rec) << app_->Output();
    if (rec) {
      EXPECT_TRUE(Area({0, 0, 1280, 1024}).Holds(*rec)) << "on the primary monitor";
    }
    const int wx = kSecond.x + kTarget.x, wy = kSecond.y + kTarget.y;
    EXPECT_TRUE(app_->Xdo("mousemove --sync " + std::to_string(wx + 10) + " " +
                          std::to_string(wy + 10) + " sleep 0.05"));  // starts the clock
    for (const auto& c : kClicks)
      EXPECT_TRUE(app_->Xdo("mousemove --sync " + std::to_string(wx + c[0]) + " " +
                            std::to_string(wy + c[1]) + " sleep 0.05 click 1 sleep 0.05"));
    EXPECT_TRUE(app_->Xdo("key Pause"));
    EXPECT_EQ(app_->WaitExit(pid), status::kOk) << app_->Output();
    EXPECT_EQ(target->Events().size(), 4u) << "the clicks reached the window";
    return path;
  }

  std::unique_ptr<x11test::XorgDummy> x_;
  std::unique_ptr<XLook> look_;
  std::unique_ptr<Pelmira> app_;
};

TEST_F(ScreenLayoutE2E, ClicksLandOnTheSameMonitorAfterItsLayoutChanged) {
  const std::string path = Record();
  const std::string text = ReadWholeFile(path);
  ASSERT_EQ(text.rfind("[MouseMotionFile]\r\nscreen,0,0,1280x1024,primary,DUMMY0\r\n"
                       "screen,1280,0,1920x1080,other,DUMMY1\r\n",
                       0),
            0u)
      << text;
  // The same recording as the Windows program makes it under Wine, whose monitors are named
  // \\.\DISPLAY1 (the primary, here DUMMY0) and \\.\DISPLAY2.
  std::string windows_text = text;
  for (const char* name : {"DUMMY0", "DUMMY1"})
    windows_text.replace(windows_text.find(name), 6,
                         std::string("\\\\.\\DISPLAY") + (name[5] == '0' ? "1" : "2"));
  const std::string windows_file = test::WriteWholeFile(app_->Root() + "/wine.mmf", windows_text);

  struct Case {
    const char* what;
    const char* xrandr;
    Area second;   // where the target's monitor is now (the primary when it is off)
    Area primary;  // where the indicator must stay
  };
  const Case cases[] = {
      {"unchanged", kRecordedLayout, kSecond, {0, 0, 1280, 1024}},
      {"swapped",
       "--output DUMMY1 --mode 1920x1080 --pos 0x0 --output DUMMY0 --mode 1280x1024 --pos 1920x0 "
       "--primary",
       {0, 0, 1920, 1080},
       {1920, 0, 1280, 1024}},
      {"second above the primary",
       "--output DUMMY1 --mode 1920x1080 --pos 0x0 --output DUMMY0 --mode 1280x1024 --pos 300x1080 "
       "--primary",
       {0, 0, 1920, 1080},
       {300, 1080, 1280, 1024}},
      {"second at another resolution",
       "--output DUMMY0 --mode 1280x1024 --pos 0x0 --primary --output DUMMY1 --mode 1280x1024 "
       "--pos 1280x0",
       {1280, 0, 1280, 1024},
       {0, 0, 1280, 1024}},
      {"second switched off",
       "--output DUMMY0 --mode 1280x1024 --pos 0x0 --primary --output DUMMY1 --off",
       {0, 0, 1280, 1024},
       {0, 0, 1280, 1024}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(x_->Xrandr(c.xrandr));
    auto target = Target(c.second);
    const size_t told = app_->Output().size();
    const pid_t pid = app_->Start({"--play", path});
    // The playing indicator blinks on the primary monitor and nowhere else.
    int seen = 0;
    std::optional<int> code;
    x11test::WaitUntil(
        [&] {
          for (const TopWindow& w : look_->Windows())
            if (w.name == "frmPlay" && w.shows) {
              ++seen;
              EXPECT_TRUE(c.primary.Holds(w)) << w.x << "," << w.y;
            }
          int st = -1;
          if (!app_->Running(pid, &st)) code = st;
          return code.has_value();
        },
        15s);
    EXPECT_EQ(code, status::kOk) << app_->Output();
    EXPECT_GT(seen, 0);
    const bool same = c.second.w == kSecond.w && c.second.h == kSecond.h;
    const std::string said = app_->Output().substr(told);
    EXPECT_EQ(said.find("layout changed: positions mapped") != std::string::npos,
              c.xrandr != kRecordedLayout)
        << said;
    ASSERT_TRUE(target->WaitForEvents(4)) << target->Events().size();
    const auto& events = target->Events();
    ASSERT_EQ(events.size(), 4u);
    for (size_t i = 0; i < events.size(); ++i) {
      const double x = kClicks[i / 2][0] * c.second.w / double(kSecond.w);
      const double y = kClicks[i / 2][1] * c.second.h / double(kSecond.h);
      const double tolerance = same ? 0 : 1;
      EXPECT_LE(std::abs(events[i].x - x), tolerance) << "event " << i << " x " << events[i].x;
      EXPECT_LE(std::abs(events[i].y - y), tolerance) << "event " << i << " y " << events[i].y;
    }
    // The Windows program maps to the same pixel.
    const Area t = TargetOn(c.second);
    std::string wine_said;
    if (auto at = PlayUnderWine(windows_file, wine_said)) {
      EXPECT_EQ(*at, std::make_pair(t.x + events.back().x, t.y + events.back().y)) << wine_said;
      EXPECT_EQ(wine_said.find("layout changed: positions mapped") != std::string::npos,
                c.xrandr != kRecordedLayout)
          << wine_said;
    }
  }
}

// Monitors swapped during a recording: the new layout is stored where it changed, and on that
// layout what was made after the change plays where it was made.
TEST_F(ScreenLayoutE2E, ALayoutChangedWhileRecordingIsStoredAndPlayedAsMade) {
  constexpr const char* kSwapped =
      "--output DUMMY1 --mode 1920x1080 --pos 0x0 --output DUMMY0 --mode 1280x1024 --pos 1920x0 "
      "--primary";
  const std::string path = app_->Root() + "/changed.mmf";
  ASSERT_TRUE(app_->Xdo("mousemove --sync 600 500"));
  const pid_t pid = app_->Start({"--record", path});
  ASSERT_TRUE(look_->WaitFor("frmRec", 10s, pid)) << app_->Output();
  // The poll takes the move before the layout changes: a move and a change within one tick
  // have no order to keep.
  ASSERT_TRUE(app_->Xdo("mousemove --sync 610 500 sleep 0.05 mousemove --sync 620 500 sleep 0.1"));
  ASSERT_TRUE(x_->Xrandr(kSwapped));
  ASSERT_TRUE(app_->Xdo("sleep 0.1 mousemove --sync 100 100 sleep 0.05 click 1 sleep 0.05"));
  ASSERT_TRUE(app_->Xdo("key Pause"));
  ASSERT_EQ(app_->WaitExit(pid), status::kOk) << app_->Output();
  const std::string text = ReadWholeFile(path);
  const size_t change = text.find("screen,0,0,1920x1080,other,DUMMY1\r\n");
  ASSERT_NE(change, std::string::npos) << text;
  EXPECT_LT(text.find("move,620,500,"), change) << text;
  EXPECT_NE(text.find("screen,1920,0,1280x1024,primary,DUMMY0\r\n"), std::string::npos) << text;
  EXPECT_GT(text.find("Left,100,100,"), change) << text;

  x11test::ObserverWindow target(x_->Display(), 50, 50, 200, 200);
  const pid_t play = app_->Start({"--play", path});
  EXPECT_EQ(app_->WaitExit(play, 15s), status::kOk) << app_->Output();
  ASSERT_TRUE(target.WaitForEvents(2)) << target.Events().size();
  EXPECT_EQ(target.Events()[0], (x11test::ObserverWindow::ButtonEvent{true, 1, 50, 50}));
}

// A layout change while the indicator blinks: it moves to the new primary monitor's top right
// within a blink and stays there.
TEST_F(ScreenLayoutE2E, TheIndicatorFollowsThePrimaryMonitorWhileItBlinks) {
  const pid_t pid = app_->Start({"--record", app_->Root() + "/idle.mmf"});
  auto rec = look_->WaitFor("frmRec", 10s, pid);
  ASSERT_TRUE(rec) << app_->Output();
  EXPECT_EQ(rec->x, 1280 - 146);
  ASSERT_TRUE(
      x_->Xrandr("--output DUMMY1 --mode 1920x1080 --pos 0x0 --output DUMMY0 --mode "
                 "1280x1024 --pos 1920x0 --primary"));
  const Area primary{1920, 0, 1280, 1024};
  ASSERT_TRUE(x11test::WaitUntil(
      [&] {
        auto w = look_->Find("frmRec", pid);
        return w && primary.Holds(*w);
      },
      2s));
  int seen = 0;
  x11test::WaitUntil(
      [&] {
        if (auto w = look_->Find("frmRec", pid)) {
          ++seen;
          EXPECT_EQ(w->x, 1920 + 1280 - 146);
          EXPECT_EQ(w->y, 0);
        }
        return false;
      },
      1500ms);
  EXPECT_GT(seen, 0);
  ASSERT_TRUE(app_->Xdo("key Pause"));
  app_->WaitExit(pid);
}

}  // namespace
}  // namespace pel::e2e
