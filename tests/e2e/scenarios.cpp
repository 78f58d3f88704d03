#include "tests/e2e/scenarios.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <stdexcept>
#include <thread>

#include "engine/motionfile/motion_entry.h"
#include "engine/motionfile/screen_layout.h"
#include "engine/motionfile/window_entry.h"

namespace pel::e2e {

using Steady = std::chrono::steady_clock;
using ButtonEvent = x11test::ObserverWindow::ButtonEvent;

TopWindow Program::StartMain() {
  main_pid = Start();
  auto main = Look().WaitFor("Pelmira", 30s);
  if (!main) throw std::runtime_error("no main window; output:\n" + Output());
  return *main;
}

bool Program::ClickControl(const TopWindow& main, ControlId id) {
  const Box b = ControlBox(id);
  return Xdo("mousemove --sync " + std::to_string(main.x + b.x + b.w / 2) + " " +
             std::to_string(main.y + b.y + b.h / 2) + " click 1");
}

void Program::UseFileDialog(const TopWindow& main, ControlId button, const std::string& title,
                            const std::string& path) {
  ASSERT_TRUE(ClickControl(main, button));
  auto dialog = Look().WaitFor(title, 30s);
  ASSERT_TRUE(dialog) << "no \"" << title << "\" dialog";
  ASSERT_TRUE(Xdo("windowfocus --sync " + std::to_string(dialog->id)) &&
              Xdo("type --delay 2 '" + DialogPath(path) + "'") && Xdo("key Return"));
  ASSERT_TRUE(Look().WaitGone(title, 30s));
}

namespace {

class LinuxTarget : public ClickTarget {
 public:
  LinuxTarget(const std::string& display, int x, int y, int w, int h)
      : window_(display, x, y, static_cast<unsigned>(w), static_cast<unsigned>(h)) {}
  std::vector<ButtonEvent> Events() override { return window_.Events(); }

 private:
  x11test::ObserverWindow window_;
};

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> out;
  for (size_t at = 0, end; at < text.size(); at = end + 2) {
    end = std::min(text.find("\r\n", at), text.size());
    out.push_back(text.substr(at, end - at));
  }
  return out;
}

// A scripted action and when it happened, as seen from the test.
struct Step {
  std::string xdo;
  int gap_ms;  // pause before the action
  Steady::time_point before{}, after{};
};

// The click target of both scenarios: clear of the main window and of the indicators.
constexpr int kTargetX = 100, kTargetY = 100, kTargetW = 300, kTargetH = 200;

}  // namespace

std::unique_ptr<ClickTarget> LinuxProgram::Target(int x, int y, int w, int h) {
  return std::make_unique<LinuxTarget>(x_.Display(), x, y, w, h);
}

namespace scenario {

void RecordsAPathWithClicksAndSavesIt(Program& p) {
  // The clicks land on another program's window, as they would on a desktop.
  auto target = p.Target(kTargetX, kTargetY, kTargetW, kTargetH);
  // The pointer rests before the start, so that the program knows where it is when F10 comes.
  ASSERT_TRUE(p.Xdo("mousemove --sync 50 50"));
  const TopWindow main = p.StartMain();
  ASSERT_TRUE(p.Key("F10"));
  ASSERT_TRUE(p.Look().WaitFor("frmRec")) << "recording did not start";

  // The first move only starts the clock; every later event is stored with its gap. Each move
  // changes one coordinate: Wine may let a poll see a move of both halfway.
  std::vector<Step> steps = {
      {"mousemove --sync 100 100", 0},   {"mousemove --sync 150 100", 300},
      {"mousemove --sync 150 140", 200}, {"click 1", 250},
      {"mousemove --sync 240 140", 150}, {"click 2", 200},
      {"mousemove --sync 240 180", 200}, {"click 3", 300},
  };
  for (Step& s : steps) {
    std::this_thread::sleep_for(std::chrono::milliseconds(s.gap_ms));
    s.before = Steady::now();
    ASSERT_TRUE(p.Xdo(s.xdo));
    s.after = Steady::now();
  }
  // Let the last release be seen before stopping.
  std::this_thread::sleep_for(std::chrono::milliseconds(100));
  ASSERT_TRUE(p.Key("Pause"));
  ASSERT_TRUE(p.Look().WaitGone("frmRec")) << "recording did not stop";

  const std::string path = p.Root() + "/take.mmf";
  p.UseFileDialog(main, ControlId::SaveButton, "Save As", path);
  ASSERT_TRUE(x11test::WaitUntil([&] { return !ReadWholeFile(path).empty(); }));

  const std::string text = ReadWholeFile(path);
  ASSERT_GE(text.size(), 2u);
  EXPECT_EQ(text.substr(text.size() - 2), "\r\n") << "every line ends with CR LF";
  std::vector<std::string> lines = Lines(text);
  ASSERT_FALSE(lines.empty());
  EXPECT_EQ(lines[0], "[MouseMotionFile]");
  for (const std::string& l : lines) EXPECT_EQ(l.find('\n'), std::string::npos) << "lone LF";
  // The screen layout comes first: one entry for the one monitor of the test's screen.
  ASSERT_GE(lines.size(), 2u);
  const std::optional<Monitor> screen = ReadLayoutEntry(lines[1]);
  ASSERT_TRUE(screen) << lines[1];
  EXPECT_TRUE(screen->primary);
  EXPECT_EQ(screen->left, 0);
  lines.erase(lines.begin() + 1);
  // Then the note that each delay is waited before its entry.
  ASSERT_GE(lines.size(), 2u);
  EXPECT_EQ(lines[1], "pauses,before");
  lines.erase(lines.begin() + 1);
  // The target's window, after the note of its program, goes before the clicks in it, where it
  // counts as a window (Windows; on X11 the target is a pop-up that no window manager manages,
  // which never does).
  std::erase_if(lines, [](const std::string& l) {
    EXPECT_TRUE(!IsWindowEntry(l) || l.find(",PelTarget,") != std::string::npos ||
                l.starts_with("window,program,pel_win_probe"))
        << l;
    return IsWindowEntry(l);
  });

  using enum MotionKind;
  const std::vector<MotionEntry> want = {{Move, 150, 100}, {Move, 150, 140},   {Left, 150, 140},
                                         {Move, 240, 140}, {Middle, 240, 140}, {Move, 240, 180},
                                         {Right, 240, 180}};
  ASSERT_EQ(lines.size(), want.size() + 1) << text;
  constexpr double kTickMs = 10;
  const double slack = kTickMs + p.DelaySlackMs();
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
    EXPECT_GE(got.delay_ms, ms(cur.before - prev.after) - slack - (click_before ? kTickMs : 0));
    EXPECT_LE(got.delay_ms, ms(cur.after - prev.before) + slack + (click_now ? kTickMs : 0));
  }
  EXPECT_EQ(target->Events().size(), 6u) << "the clicks reached the window under them";
  EXPECT_TRUE(p.Running(p.main_pid)) << p.Output();
}

void LoadsAFileAndPlaysItInALoopUntilPause(Program& p) {
  auto target = p.Target(kTargetX, kTargetY, kTargetW, kTargetH);
  const std::string path = p.Root() + "/path.mmf";
  std::ofstream(path, std::ios::binary) << "[MouseMotionFile]\r\n"
                                           "move,150,150,100\r\n"
                                           "Left,160,170,100\r\n"
                                           "move,300,250,100\r\n"
                                           "Middle,310,260,100\r\n"
                                           "move,120,280,50\r\n"
                                           "Right,320,270,150\r\n";
  const std::set<std::pair<int, int>> places = {{150, 150}, {160, 170}, {300, 250},
                                                {310, 260}, {120, 280}, {320, 270}};
  const TopWindow main = p.StartMain();
  p.UseFileDialog(main, ControlId::LoadButton, "Open", path);

  std::pair<int, int> start;
  ASSERT_TRUE(x11test::QueryPointer(p.Display(), start.first, start.second));
  ASSERT_TRUE(p.Key("F9"));
  auto play = p.Look().WaitFor("frmPlay");
  ASSERT_TRUE(play) << "playback did not start";
  EXPECT_EQ(play->x, p.Look().ScreenWidth() - 119) << "at the right edge";
  EXPECT_EQ(play->width, 119);
  EXPECT_GT(p.Look().ShapeRectangles(play->id), 1) << "shaped to its picture";

  // Two rounds: the pointer follows the path, each click reaches the window at its place, press
  // and release, in order.
  std::set<std::pair<int, int>> seen;
  EXPECT_TRUE(x11test::WaitUntil(
      [&] {
        int px = 0, py = 0;
        if (x11test::QueryPointer(p.Display(), px, py)) seen.insert({px, py});
        return target->Events().size() >= 12 &&
               std::includes(seen.begin(), seen.end(), places.begin(), places.end());
      },
      20s))
      << target->Events().size() << " events";
  seen.erase(start);
  EXPECT_EQ(seen, places) << "every place visited, nothing else";
  const std::vector<ButtonEvent> round = {{true, 1, 60, 70},   {false, 1, 60, 70},
                                          {true, 2, 210, 160}, {false, 2, 210, 160},
                                          {true, 3, 220, 170}, {false, 3, 220, 170}};
  const std::vector<ButtonEvent> events = target->Events();
  ASSERT_GE(events.size(), 12u);
  for (size_t i = 0; i < 12; ++i) EXPECT_EQ(events[i], round[i % 6]) << "event " << i;
  EXPECT_TRUE(x11test::WaitUntil([&] {
    return !ReadWholeFile(p.OutlinePath("playfrm.shp")).empty();
  })) << "outline stored";

  ASSERT_TRUE(p.Key("Pause"));
  ASSERT_TRUE(p.Look().WaitGone("frmPlay")) << "playback did not stop";
  const size_t after_stop = target->Events().size();
  int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
  x11test::QueryPointer(p.Display(), x0, y0);
  // One whole round lasts about 0.6 s; nothing may come in that time once stopped.
  std::this_thread::sleep_for(std::chrono::milliseconds(700));
  EXPECT_EQ(target->Events().size(), after_stop);
  x11test::QueryPointer(p.Display(), x1, y1);
  EXPECT_EQ(std::make_pair(x1, y1), std::make_pair(x0, y0)) << "no pointer moves after Pause";
  EXPECT_TRUE(p.Running(p.main_pid)) << p.Output();
}

void RecordsADragTheWheelAndTheSideButtonsAndPlaysThem(Program& p) {
  // Made over another program's window: on Windows only its own windows see the X server's input.
  auto target = p.Target(kTargetX, kTargetY, kTargetW, kTargetH);
  // Where the drag starts (a move to where the pointer stands would wait for a move in vain).
  ASSERT_TRUE(p.Xdo("mousemove --sync 150 150"));
  p.StartMain();
  ASSERT_TRUE(p.Key("F10"));
  ASSERT_TRUE(p.Look().WaitFor("frmRec")) << "recording did not start";
  ASSERT_TRUE(
      p.Xdo("sleep 0.1 mousedown 1 sleep 0.05 "
            "mousemove --sync 170 160 sleep 0.05 mousemove --sync 190 170 sleep 0.05 "
            "mousemove --sync 210 180 sleep 0.05 mouseup 1 sleep 0.1 "
            "click 4 click 5 click 6 click 7 click 8 click 9 sleep 0.1"));
  ASSERT_TRUE(p.Key("Pause"));
  ASSERT_TRUE(p.Look().WaitGone("frmRec")) << "recording did not stop";

  const size_t made = target->Events().size();
  ASSERT_TRUE(p.Xdo("mousemove --sync 350 250"));
  ASSERT_TRUE(p.Key("F9"));
  std::vector<ButtonEvent> played;
  EXPECT_TRUE(x11test::WaitUntil(
      [&] {
        const std::vector<ButtonEvent> all = target->Events();
        played.assign(all.begin() + static_cast<std::ptrdiff_t>(std::min(made, all.size())),
                      all.end());
        return played.size() >= 14;
      },
      20s))
      << played.size() << " events; output:\n"
      << p.Output();
  ASSERT_TRUE(p.Key("Pause"));
  ASSERT_TRUE(p.Look().WaitGone("frmPlay")) << "playback did not stop";
  std::vector<ButtonEvent> want = {{true, 1, 50, 50}, {false, 1, 110, 80}};
  for (unsigned b : {4u, 5u, 6u, 7u, 8u, 9u}) {
    want.push_back({true, b, 110, 80});
    want.push_back({false, b, 110, 80});
  }
  played.resize(std::min(played.size(), want.size()));
  EXPECT_EQ(played, want);
  EXPECT_TRUE(p.Running(p.main_pid)) << p.Output();
}

}  // namespace scenario
}  // namespace pel::e2e
