// The real program on a private X server. Input comes only from outside (xdotool, which injects
// through XTest like a real device); what the program does is read only from outside: windows
// and shapes through X, the pointer and the clicks another window receives, files on disk.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <set>
#include <thread>

#include "app/layout.h"
#include "engine/motion_entry.h"
#include "tests/e2e/pelmira_fixture.h"

// Xlib last: its macros (None, Font) clash with the names above.
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>

namespace pel::e2e {
namespace {

using Steady = std::chrono::steady_clock;
constexpr double kTickMs = 10;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at < text.size()) {
    const size_t end = text.find("\r\n", at);
    if (end == std::string::npos) {
      out.push_back(text.substr(at));
      break;
    }
    out.push_back(text.substr(at, end - at));
    at = end + 2;
  }
  return out;
}

class PelmiraE2E : public testing::Test {
 protected:
  PelmiraE2E() : x_({}, "1280x1024x24"), look_(x_.Display()), app_(x_) {}

  // Starts the first instance and waits for its main window.
  TopWindow StartMain() {
    pid_ = app_.Start();
    auto main = look_.WaitFor("Pelmira");
    if (!main) throw std::runtime_error("no main window; output:\n" + app_.Output());
    return *main;
  }

  bool ClickControl(const TopWindow& main, ControlId id) {
    const Box b = ControlBox(id);
    return app_.ClickInMainWindow(main, b.x, b.y, b.w, b.h);
  }

  // Presses the Save or Load button and answers the file dialog with `path`.
  void UseFileDialog(const TopWindow& main, ControlId button, const std::string& title,
                     const std::string& path) {
    ASSERT_TRUE(ClickControl(main, button));
    auto dialog = look_.WaitFor(title);
    ASSERT_TRUE(dialog) << "no \"" << title << "\" dialog";
    ASSERT_TRUE(app_.TypeIntoDialog(*dialog, path));
    ASSERT_TRUE(look_.WaitGone(title));
  }

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

  x11test::Xvfb x_;
  XLook look_;
  Pelmira app_;
  pid_t pid_ = 0;
};

// A scripted action and when it happened, as seen from the test.
struct Step {
  std::string xdo;
  int gap_ms;  // pause before the action
  Steady::time_point before{}, after{};
};

TEST_F(PelmiraE2E, RecordsAPathWithClicksAndSavesItThroughTheDialog) {
  const TopWindow main = StartMain();
  ASSERT_TRUE(app_.Xdo("mousemove --sync 50 50"));
  ASSERT_TRUE(app_.Xdo("key F10"));
  ASSERT_TRUE(look_.WaitFor("frmRec")) << "recording did not start";

  // The first move only starts the clock; every later event is stored with its gap.
  std::vector<Step> steps = {
      {"mousemove --sync 100 100", 0},   {"mousemove --sync 150 120", 300},
      {"mousemove --sync 200 140", 200}, {"click 1", 250},
      {"mousemove --sync 240 160", 150}, {"click 2", 200},
      {"mousemove --sync 260 180", 200}, {"click 3", 300},
  };
  for (Step& s : steps) {
    std::this_thread::sleep_for(std::chrono::milliseconds(s.gap_ms));
    s.before = Steady::now();
    ASSERT_TRUE(app_.Xdo(s.xdo));
    s.after = Steady::now();
  }
  // Let the last release be seen before stopping.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_TRUE(app_.Xdo("key Pause"));
  ASSERT_TRUE(look_.WaitGone("frmRec")) << "recording did not stop";

  const std::string path = app_.Root() + "/take.mmf";
  UseFileDialog(main, ControlId::PushButton6, "Save As", path);
  ASSERT_TRUE(x11test::WaitUntil([&] { return !ReadWholeFile(path).empty(); }));

  const std::string text = ReadWholeFile(path);
  ASSERT_GE(text.size(), 2u);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << "every line ends with CR LF";
  const std::vector<std::string> lines = Lines(text);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "[MouseMotionFile]");
  for (const std::string& l : lines) EXPECT_EQ(l.find('\n'), std::string::npos) << "lone LF";

  using enum MotionKind;
  const std::vector<MotionEntry> want = {{Move, 150, 120}, {Move, 200, 140},   {Left, 200, 140},
                                         {Move, 240, 160}, {Middle, 240, 160}, {Move, 260, 180},
                                         {Right, 260, 180}};
  ASSERT_EQ(lines.size(), want.size() + 1) << text;
  for (size_t i = 0; i < want.size(); ++i) {
    SCOPED_TRACE(lines[i + 1]);
    EXPECT_EQ(GetField(lines[i + 1], 1, ","), KindText(want[i].kind));
    const std::optional<MotionEntry> read = ReadEntry(lines[i + 1]);
    ASSERT_TRUE(read);
    const MotionEntry& got = *read;
    EXPECT_EQ(got.x, want[i].x);
    EXPECT_EQ(got.y, want[i].y);
    // The gap as the test made it, bracketed by the time xdotool took, within one tick. A click
    // is seen one tick later than a move (press latched at one tick, release at the next).
    const Step& prev = steps[i];
    const Step& cur = steps[i + 1];
    auto ms = [](Steady::duration d) {
      return std::chrono::duration<double, std::milli>(d).count();
    };
    const bool click_now = cur.xdo.rfind("click", 0) == 0;
    const bool click_before = prev.xdo.rfind("click", 0) == 0;
    const double lo = ms(cur.before - prev.after) - kTickMs - (click_before ? kTickMs : 0);
    const double hi = ms(cur.after - prev.before) + kTickMs + (click_now ? kTickMs : 0);
    EXPECT_GE(got.delay_ms, lo);
    EXPECT_LE(got.delay_ms, hi);
  }
  EXPECT_TRUE(app_.Running(pid_)) << app_.Output();
}

TEST_F(PelmiraE2E, LoadsAFileAndPlaysItInALoopUntilPause) {
  x11test::ObserverWindow target(x_.Display(), 100, 100, 300, 200);
  const std::string path = app_.Root() + "/path.mmf";
  std::ofstream(path, std::ios::binary) << "[MouseMotionFile]\r\n"
                                           "move,150,150,100\r\n"
                                           "Left,160,170,100\r\n"
                                           "move,300,250,100\r\n"
                                           "Middle,310,260,100\r\n"
                                           "move,120,280,50\r\n"
                                           "Right,320,270,150\r\n";
  const TopWindow main = StartMain();
  UseFileDialog(main, ControlId::PushButton5, "Open", path);

  ASSERT_TRUE(app_.Xdo("key F9"));
  ASSERT_TRUE(look_.WaitFor("frmPlay")) << "playback did not start";
  // The cursor follows the path: every place of the file is seen.
  std::set<std::pair<int, int>> seen;
  const std::set<std::pair<int, int>> places = {{150, 150}, {160, 170}, {300, 250},
                                                {310, 260}, {120, 280}, {320, 270}};
  EXPECT_TRUE(x11test::WaitUntil(
      [&] {
        int px = 0, py = 0;
        if (x11test::QueryPointer(x_.Display(), px, py)) seen.insert({px, py});
        return std::includes(seen.begin(), seen.end(), places.begin(), places.end());
      },
      10s));
  // Two rounds: each click reaches the window at its place, press and release, in order.
  ASSERT_TRUE(target.WaitForEvents(12, 15s)) << target.Events().size() << " events";
  using E = x11test::ObserverWindow::ButtonEvent;
  const std::vector<E> round = {{true, 1, 60, 70},    {false, 1, 60, 70},  {true, 2, 210, 160},
                                {false, 2, 210, 160}, {true, 3, 220, 170}, {false, 3, 220, 170}};
  const std::vector<E> events = target.Events();
  for (size_t i = 0; i < 12; ++i) EXPECT_EQ(events[i], round[i % 6]) << "event " << i;

  ASSERT_TRUE(app_.Xdo("key Pause"));
  ASSERT_TRUE(look_.WaitGone("frmPlay")) << "playback did not stop";
  const size_t after_stop = target.Events().size();
  // One whole round lasts about 0.5 s; nothing may come in that time once stopped.
  std::this_thread::sleep_for(std::chrono::milliseconds(600));
  EXPECT_EQ(target.Events().size(), after_stop);
  EXPECT_TRUE(app_.Running(pid_)) << app_.Output();
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
  ASSERT_TRUE(ClickControl(main, ControlId::cWndAutoHide));
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
    // Blinking: the top edge flips between 0 and -32 about every 0.3 s.
    std::vector<std::pair<int, Steady::time_point>> flips;
    x11test::WaitUntil(
        [&] {
          auto w = look_.Find("frmRec");
          if (w && (flips.empty() || flips.back().first != w->y))
            flips.push_back({w->y, Steady::now()});
          return flips.size() >= 5;
        },
        5s);
    ASSERT_GE(flips.size(), 5u);
    for (auto& f : flips) EXPECT_TRUE(f.first == 0 || f.first == -32) << f.first;
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

  // The playing indicator: give the recording one entry, then play.
  RecordOneEntry();
  ASSERT_TRUE(app_.Xdo("key F9"));
  auto play = look_.WaitFor("frmPlay");
  ASSERT_TRUE(play);
  EXPECT_EQ(play->x, look_.ScreenWidth() - 119);
  EXPECT_EQ(play->width, 119);
  EXPECT_GT(look_.ShapeRectangles(play->id), 1);
  EXPECT_TRUE(
      x11test::WaitUntil([&] { return stat((app_.Temp() + "playfrm.shp").c_str(), &first) == 0; }));
  ASSERT_TRUE(app_.Xdo("key Pause"));
  EXPECT_TRUE(look_.WaitGone("frmPlay"));
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
  const Box play = ControlBox(ControlId::PushButton2);
  ASSERT_TRUE(move_to(play.x + 20, play.y + 10));
  EXPECT_TRUE(x11test::WaitUntil(is_hand)) << "hand over a button";
  const Box check = ControlBox(ControlId::cRecLeftClick);
  ASSERT_TRUE(move_to(check.x + 5, check.y + 5));
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  EXPECT_TRUE(is_hand()) << "a check box keeps the pointer last set";
  const Box frame = ControlBox(ControlId::Frame2);
  ASSERT_TRUE(move_to(frame.x + frame.w - 20, frame.y + frame.h - 10));
  EXPECT_TRUE(x11test::WaitUntil(is_arrow)) << "arrow over a frame's empty area";
  ASSERT_TRUE(move_to(play.x + 20, play.y + 10));
  ASSERT_TRUE(x11test::WaitUntil(is_hand));
  ASSERT_TRUE(move_to(2, layout::TwipsToPixels(layout::Form1().client_height, 96) - 3));
  EXPECT_TRUE(x11test::WaitUntil(is_arrow)) << "arrow over the background";
}

TEST(PelmiraCommandLine, HelpVersionAndNoDisplay) {
  const std::string program = Pelmira::ProgramPath();
  auto run = [&](const std::string& args, std::string& out) {
    const std::string cmd = "env -u DISPLAY -u WAYLAND_DISPLAY " + program + " " + args + " 2>&1";
    FILE* p = popen(cmd.c_str(), "r");
    out.clear();
    char buf[512];
    while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
    const int st = pclose(p);
    return WIFEXITED(st) ? WEXITSTATUS(st) : -1;
  };
  std::string out;
  EXPECT_EQ(run("--help", out), 0);
  EXPECT_NE(out.find("F10"), std::string::npos) << out;
  EXPECT_EQ(run("--version", out), 0);
  EXPECT_EQ(out.rfind("pelmira ", 0), 0u) << out;
  EXPECT_EQ(run("", out), 1);
  EXPECT_NE(out.find("X11"), std::string::npos) << out;
  EXPECT_NE(out.find("XWayland"), std::string::npos) << out;
}

}  // namespace
}  // namespace pel::e2e
