// The real program on a private X server. Input comes only from outside (xdotool, which injects
// through XTest like a real device); what the program does is read only from outside: windows
// and shapes through X, the pointer and the clicks another window receives, files on disk.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>
#include <thread>

#include "app/layout.h"
#include "testkit/pelmira_fixture.h"
#include "tests/e2e/scenarios.h"

// Xlib last: its macros (None, Font) clash with the names above.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace pel::e2e {
namespace {

using Steady = std::chrono::steady_clock;

class PelmiraE2E : public testing::Test {
 protected:
  TopWindow StartMain() {
    const TopWindow main = p_.StartMain();
    pid_ = p_.main_pid;
    return main;
  }
  bool ClickControl(const TopWindow& main, ControlId id) { return p_.ClickControl(main, id); }

  // Records a take of two moves (the first only starts the clock): one entry to play.
  void RecordOneEntry() {
    ASSERT_TRUE(app_.Xdo("mousemove --sync 20 20 key F10"));
    ASSERT_TRUE(look_.WaitFor("frmRec"));
    ASSERT_TRUE(app_.Xdo("mousemove --sync 30 30"));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(app_.Xdo("mousemove --sync 40 40"));
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    ASSERT_TRUE(app_.Xdo("key Pause"));
    ASSERT_TRUE(look_.WaitGone("frmRec"));
  }

  LinuxProgram p_;
  const x11test::Xvfb& x_ = p_.Server();
  XLook& look_ = p_.Look();
  Pelmira& app_ = p_.App();
  pid_t pid_ = 0;
};

// The scenarios both programs share (tests/e2e/scenarios.h).
TEST(PelmiraScenario, RecordsAPathWithClicksAndSavesItThroughTheDialog) {
  LinuxProgram p;
  scenario::RecordsAPathWithClicksAndSavesIt(p);
}

TEST(PelmiraScenario, LoadsAFileAndPlaysItInALoopUntilPause) {
  LinuxProgram p;
  scenario::LoadsAFileAndPlaysItInALoopUntilPause(p);
}

TEST(PelmiraScenario, RecordsADragTheWheelAndTheSideButtonsAndPlaysThem) {
  LinuxProgram p;
  scenario::RecordsADragTheWheelAndTheSideButtonsAndPlaysThem(p);
}

TEST_F(PelmiraE2E, F12AndAutoHideAndShowAndASecondInstance) {
  const TopWindow main = StartMain();
  auto toggle_and_check = [&](const char* state) {
    SCOPED_TRACE(state);
    ASSERT_TRUE(app_.Xdo("key F12"));
    EXPECT_TRUE(look_.WaitGone("Pelmira")) << "F12 hides";
    ASSERT_TRUE(app_.Xdo("key F12"));
    EXPECT_TRUE(look_.WaitFor("Pelmira")) << "F12 shows";
  };
  toggle_and_check("idle");
  ASSERT_TRUE(app_.Xdo("mousemove --sync 20 20 key F10"));
  ASSERT_TRUE(look_.WaitFor("frmRec"));
  toggle_and_check("recording");
  ASSERT_TRUE(app_.Xdo("key Pause"));
  ASSERT_TRUE(look_.WaitGone("frmRec"));
  // The recording is empty (the pointer stood still); give it one entry to play.
  RecordOneEntry();
  ASSERT_TRUE(app_.Xdo("key F9"));
  ASSERT_TRUE(look_.WaitFor("frmPlay"));
  toggle_and_check("playing");
  ASSERT_TRUE(app_.Xdo("key Pause"));
  ASSERT_TRUE(look_.WaitGone("frmPlay"));

  // Auto Hide on: a recording hides the window, and Auto Show brings it back at the end.
  ASSERT_TRUE(ClickControl(main, ControlId::AutoHide));
  ASSERT_TRUE(app_.Xdo("key F10"));
  ASSERT_TRUE(look_.WaitFor("frmRec"));
  EXPECT_TRUE(look_.WaitGone("Pelmira")) << "Auto Hide";
  ASSERT_TRUE(app_.Xdo("key Pause"));
  EXPECT_TRUE(look_.WaitFor("Pelmira")) << "Auto Show";

  // A second start while the first runs hidden: it says so and ends; the first runs on.
  ASSERT_TRUE(app_.Xdo("key F12"));
  ASSERT_TRUE(look_.WaitGone("Pelmira"));
  // Started without the runtime and temporary folders the first one was given: the lock is
  // the user's whatever the environment says.
  const pid_t second = app_.Start({}, {"XDG_RUNTIME_DIR", "TMPDIR", "TEMP"});
  auto box = look_.WaitFor("pelmira", 10s, second);
  ASSERT_TRUE(box) << "no message from the second instance\n" << app_.Output();
  EXPECT_TRUE(app_.Running(second));
  ASSERT_TRUE(app_.Xdo("windowfocus --sync " + std::to_string(box->id) + " key Return"));
  EXPECT_EQ(app_.WaitExit(second), 0);
  EXPECT_TRUE(app_.Running(pid_));
  ASSERT_TRUE(app_.Xdo("key F12"));
  EXPECT_TRUE(look_.WaitFor("Pelmira", 10s, pid_)) << "the first instance shows its window";
}

// Presses and releases `key` in one burst of XTest requests, far quicker than a 10 ms tick.
bool TapKey(const std::string& display, const char* key) {
  Display* d = XOpenDisplay(display.c_str());
  if (!d) return false;
  const KeyCode code = XKeysymToKeycode(d, XStringToKeysym(key));
  const bool sent = code != 0 && XTestFakeKeyEvent(d, code, True, CurrentTime) &&
                    XTestFakeKeyEvent(d, code, False, CurrentTime);
  XSync(d, False);
  XCloseDisplay(d);
  return sent;
}

// Idle, the program sleeps until input wakes it; a tap shorter than a tick must still be seen as
// a press at one tick and a release at a later one.
TEST_F(PelmiraE2E, TapsShorterThanATickActWhileIdle) {
  StartMain();
  std::this_thread::sleep_for(std::chrono::milliseconds(200));  // long asleep
  ASSERT_TRUE(TapKey(x_.Display(), "F12"));
  EXPECT_TRUE(look_.WaitGone("Pelmira")) << "F12 hides";
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  ASSERT_TRUE(TapKey(x_.Display(), "F12"));
  EXPECT_TRUE(look_.WaitFor("Pelmira")) << "F12 shows";
  std::this_thread::sleep_for(std::chrono::milliseconds(200));
  ASSERT_TRUE(TapKey(x_.Display(), "F10"));
  EXPECT_TRUE(look_.WaitFor("frmRec")) << "F10 records";
  ASSERT_TRUE(TapKey(x_.Display(), "Pause"));
  EXPECT_TRUE(look_.WaitGone("frmRec")) << "Pause stops";
}

TEST_F(PelmiraE2E, IndicatorsStandTopRightShapedBlinkAndReuseTheirOutline) {
  StartMain();
  const std::string outline = app_.Temp() + "recfrm.shp";
  struct stat first {};
  auto check_rec = [&](bool first_time) {
    ASSERT_TRUE(app_.Xdo("key F10"));
    auto rec = look_.WaitFor("frmRec");
    ASSERT_TRUE(rec);
    EXPECT_EQ(rec->x, look_.ScreenWidth() - 146);
    EXPECT_EQ(rec->width, 146);
    EXPECT_EQ(rec->height, 32);
    EXPECT_GT(look_.ShapeRectangles(rec->id), 1) << "shaped to the picture";
    // Blinking: shown and hidden in turn about every 0.3 s, always at the top edge.
    std::vector<std::pair<bool, Steady::time_point>> flips;
    x11test::WaitUntil(
        [&] {
          for (const TopWindow& w : look_.Windows()) {
            if (w.name != "frmRec") continue;
            EXPECT_TRUE(!w.shows || w.y == 0) << w.y;
            if (flips.empty() || flips.back().first != w.shows)
              flips.push_back({w.shows, Steady::now()});
          }
          return flips.size() >= 5;
        },
        5s);
    ASSERT_GE(flips.size(), 5u);
    for (size_t i = 2; i < flips.size(); ++i) {
      const double ms =
          std::chrono::duration<double, std::milli>(flips[i].second - flips[i - 1].second).count();
      EXPECT_NEAR(ms, 300, 60) << "flip " << i;
    }
    struct stat st {};
    ASSERT_EQ(stat(outline.c_str(), &st), 0) << "outline stored in the temporary folder";
    if (first_time) {
      first = st;
    } else {
      EXPECT_EQ(st.st_ino, first.st_ino) << "reused, not written again";
      EXPECT_EQ(st.st_mtim.tv_nsec, first.st_mtim.tv_nsec);
    }
    ASSERT_TRUE(app_.Xdo("key Pause"));
    EXPECT_TRUE(look_.WaitGone("frmRec")) << "closed on Pause";
  };
  check_rec(true);
  check_rec(false);
  // The playing indicator is checked by the shared load-and-play scenario.
}

TEST_F(PelmiraE2E, PointerIsTheHandOverButtonsAndTheArrowOverFramesAndBackground) {
  const TopWindow main = StartMain();
  auto move_to = [&](int x, int y) {
    return app_.Xdo("mousemove --sync " + std::to_string(main.x + x) + " " +
                    std::to_string(main.y + y));
  };
  // HAND-M.CUR beside the program: 32 x 32 with the hotspot on the fingertip at (6, 0).
  auto is_hand = [&] {
    const XLook::PointerImage p = look_.Pointer();
    return p.width == 32 && p.xhot == 6 && p.yhot == 0;
  };
  // Whatever arrow this machine has: a theme's "left_ptr", or the core font's without a theme.
  const XLook::PointerImage arrow = look_.StandardArrow(look_.ScreenWidth() - 60, 0);
  ASSERT_FALSE(arrow.pixels.empty());
  auto is_arrow = [&] { return look_.Pointer() == arrow; };
  const Box play = ControlBox(ControlId::PlayButton);
  ASSERT_TRUE(move_to(play.x + 20, play.y + 10));
  EXPECT_TRUE(x11test::WaitUntil(is_hand)) << "hand over a button";
  const Box check = ControlBox(ControlId::RecordLeft);
  ASSERT_TRUE(move_to(check.x + 5, check.y + 5));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(is_hand()) << "a check box keeps the pointer last set";
  const Box frame = ControlBox(ControlId::WindowFrame);
  ASSERT_TRUE(move_to(frame.x + frame.w - 20, frame.y + frame.h - 10));
  EXPECT_TRUE(x11test::WaitUntil(is_arrow)) << "arrow over a frame's empty area";
  ASSERT_TRUE(move_to(play.x + 20, play.y + 10));
  ASSERT_TRUE(x11test::WaitUntil(is_hand));
  ASSERT_TRUE(move_to(2, layout::TwipsToPixels(layout::MainForm().client_height, 96) - 3));
  EXPECT_TRUE(x11test::WaitUntil(is_arrow)) << "arrow over the background";
}

}  // namespace
}  // namespace pel::e2e
