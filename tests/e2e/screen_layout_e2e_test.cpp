// A recording made on one monitor layout and played on another: the real program on Xorg with
// the dummy driver (two RandR outputs), rearranged with xrandr between recording and playback.
// Clicks recorded on a window of the second monitor must land on that window's place on the
// same monitor, wherever the monitor stands now.
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

  // The target window on monitor `m`, at its recorded place in proportion to the monitor.
  std::unique_ptr<x11test::ObserverWindow> Target(const Area& m) {
    return std::make_unique<x11test::ObserverWindow>(
        x_->Display(), m.x + kTarget.x * m.w / kSecond.w, m.y + kTarget.y * m.h / kSecond.h,
        static_cast<unsigned>(kTarget.w * m.w / kSecond.w),
        static_cast<unsigned>(kTarget.h * m.h / kSecond.h));
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
            if (w.name == "frmPlay" && w.viewable) {
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
  }
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

// The Windows program under Wine on the same server. Wine names the monitors \\.\DISPLAY1 (the
// primary, at 0,0 in Windows' coordinates) and \\.\DISPLAY2, and follows xrandr once its
// server restarts. Uses the prefix of scripts/wine-tests.sh, under that script's lock; skipped
// when the MinGW build or that prefix is missing. Wine's clicks reach only Wine's windows, so
// the pointer's place is what is checked.
TEST_F(ScreenLayoutE2E, TheWindowsProgramUnderWineMapsTheSame) {
  const std::string build = PEL_MINGW_BUILD_DIR;
  const std::string exe = build + "/platform/win32/Pelmira.exe", work = build + "/wine-tests";
  const std::string wine = "/usr/lib/wine/wine64", server = "/usr/lib/wine/wineserver";
  namespace fs = std::filesystem;
  if (!fs::exists(exe) || !fs::exists(work + "/prefix") || !fs::exists(wine))
    GTEST_SKIP() << "no MinGW build or Wine prefix (bash scripts/wine-tests.sh build/mingw)";
  const int lock = open((work + "/lock").c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  ASSERT_GE(lock, 0);
  ASSERT_EQ(flock(lock, LOCK_EX), 0);
  const std::string env = "WINEPREFIX=" + work + "/prefix WINEDEBUG=-all ";
  const std::string file = app_->Root() + "/wine.mmf";
  test::WriteWholeFile(file,
                       "[MouseMotionFile]\r\n"
                       "screen,0,0,1280x1024,primary,\\\\.\\DISPLAY1\r\n"
                       "screen,1280,0,1920x1080,other,\\\\.\\DISPLAY2\r\n"
                       "move,2000,500,300\r\n");
  std::string win_path = "Z:" + file;
  std::replace(win_path.begin(), win_path.end(), '/', '\\');
  struct Case {
    const char* what;
    const char* xrandr;
    int x, y;  // where the pointer lands, in X's coordinates
  };
  const Case cases[] = {
      {"unchanged", kRecordedLayout, 2000, 500},
      {"second on the left",
       "--output DUMMY1 --mode 1920x1080 --pos 0x0 --output DUMMY0 --mode 1280x1024 --pos 1920x0 "
       "--primary",
       720, 500},
      {"second switched off",
       "--output DUMMY0 --mode 1280x1024 --pos 0x0 --primary --output DUMMY1 --off", 480, 474},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    ASSERT_TRUE(x_->Xrandr(c.xrandr));
    // A running server keeps the monitors it saw first.
    x_->Run(env + server + " -k; " + env + server + " -w");
    ASSERT_TRUE(app_->Xdo("mousemove --sync 10 10"));
    const std::string log = app_->Root() + "/wine.log";
    EXPECT_EQ(x_->Run(env + "timeout 60 " + wine + " " + exe + " --play '" + win_path + "' >" +
                      log + " 2>&1"),
              0)
        << ReadWholeFile(log);
    int x = 0, y = 0;
    ASSERT_TRUE(x11test::QueryPointer(x_->Display(), x, y));
    EXPECT_EQ(x, c.x);
    EXPECT_EQ(y, c.y);
    EXPECT_EQ(ReadWholeFile(log).find("layout changed: positions mapped") != std::string::npos,
              c.x != 2000)
        << ReadWholeFile(log);
  }
  x_->Run(env + server + " -k");
  close(lock);
}

}  // namespace
}  // namespace pel::e2e
