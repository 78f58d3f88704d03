// Pelmira.exe and the Windows test programs under Wine, on the Xvfb and prefix that
// scripts/wine-tests.sh starts: the backends' self-test, region bytes against GDI, the shared
// scenarios (tests/e2e/scenarios.h), and what only the Windows program has: its window checked
// against the layout through the probe, pointers, button looks, boxes, scaling, diagnostics.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <regex>
#include <sstream>
#include <thread>

#include "tests/win32/wine_program.h"

namespace pel::e2e {
namespace {

namespace fs = std::filesystem;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// A program's report: its INFO and FAIL lines are shown, none may fail and some must pass.
void ExpectPassed(const std::string& out, const std::string& what) {
  std::istringstream in(out);
  int passed = 0;
  for (std::string line; std::getline(in, line);) {
    if (line.rfind("PASS", 0) == 0) ++passed;
    if (line.rfind("INFO", 0) == 0 || line.rfind("SUMMARY", 0) == 0)
      std::cout << "  " << line << "\n";
    if (line.rfind("FAIL", 0) == 0) ADD_FAILURE() << what << ": " << line;
  }
  EXPECT_GT(passed, 0) << what << " checked nothing:\n" << out;
}

// Voluntary and involuntary context switches of all threads of `pid` and of its children.
long ContextSwitches(pid_t pid) {
  long sum = 0;
  auto add = [&](const std::string& proc) {
    std::error_code ec;
    for (const auto& task : std::filesystem::directory_iterator(proc + "/task", ec)) {
      std::ifstream status(task.path() / "status");
      for (std::string line; std::getline(status, line);)
        if (line.find("ctxt_switches:") != std::string::npos)
          sum += std::atol(line.c_str() + line.find(':') + 1);
    }
  };
  add("/proc/" + std::to_string(pid));
  std::ifstream children("/proc/" + std::to_string(pid) + "/task/" + std::to_string(pid) +
                         "/children");
  for (pid_t child; children >> child;) add("/proc/" + std::to_string(child));
  return sum;
}

// The value after `name` in the probe's "name value name value ..." output.
std::string Field(const std::string& out, const std::string& name) {
  std::istringstream in(out);
  for (std::string word, value; in >> word;)
    if (word == name && in >> value) return value;
  return {};
}

class WineE2E : public testing::Test {
 protected:
  void SetUp() override {
    if (!WineProgram::Available()) GTEST_SKIP() << "run through scripts/wine-tests.sh";
    p_.emplace();
  }

  // The outline bytes GDI builds for a picture of assets/.
  std::string GdiOutline(const std::string& picture) {
    const std::string out = p_->Root() + "/" + picture + ".gdi";
    p_->Run(p_->TestProgram("pel_region_check"),
            {WineProgram::WinPath(std::string(PEL_SOURCE_DIR) + "/assets/" + picture),
             WineProgram::WinPath(out)});
    return ReadWholeFile(out);
  }

  // Windows named `name` on screen now.
  size_t Count(const std::string& name) {
    size_t n = 0;
    for (const TopWindow& w : p_->Look().Windows()) n += w.viewable && w.name == name;
    return n;
  }
  // Presses Return on the box titled `title` that is not the window `other`.
  void AnswerBox(const std::string& title, unsigned long other) {
    for (const TopWindow& w : p_->Look().Windows())
      if (w.viewable && w.name == title && w.id != other) return (void)p_->KeyTo(w.id, "Return");
    ADD_FAILURE() << "no box " << title;
  }

  std::optional<WineProgram> p_;
};

TEST_F(WineE2E, BackendsSelfTest) {
  // Wine makes no symbolic links, but follows those of the Linux file system.
  const fs::path links = p_->Root() + "/links";
  fs::create_directories(links);
  std::ofstream(links / "real.mmf") << "old";
  fs::create_symlink("real.mmf", links / "link.mmf");
  std::string out;
  EXPECT_EQ(p_->Run(p_->TestProgram("pel_win32_selftest"), {WineProgram::WinPath(links) + "\\"},
                    &out, 120s),
            0);
  ExpectPassed(out, "self-test");
  EXPECT_TRUE(Contains(out, " 0 failed")) << out;
  EXPECT_TRUE(fs::is_symlink(links / "link.mmf")) << "the link stays a link";
}

// GDI (CreateRectRgn, CombineRgn RGN_DIFF per run, GetRegionData) against the portable writer,
// for hand-made outlines and the indicator pictures.
TEST_F(WineE2E, RegionBytesOfGdiAndThePortableWriterAgree) {
  std::vector<fs::path> inputs;
  for (const auto& e : fs::directory_iterator(std::string(PEL_SOURCE_DIR) + "/tests/win32/regions"))
    inputs.push_back(e.path());
  for (const char* pic : {"rec.ppm", "play.ppm"})
    inputs.push_back(std::string(PEL_SOURCE_DIR) + "/assets/" + pic);
  for (const fs::path& in : inputs) {
    std::string out;
    const std::string base = p_->Root() + "/" + in.filename().string();
    EXPECT_EQ(p_->Run(p_->TestProgram("pel_region_check"),
                      {WineProgram::WinPath(in), WineProgram::WinPath(base + ".gdi"),
                       WineProgram::WinPath(base + ".portable")},
                      &out),
              0)
        << in;
    ExpectPassed(out, in.filename());
  }
}

TEST_F(WineE2E, PicturesBuiltIntoTheProgramDecodeAsTheReference) {
  ExpectPassed(p_->Probe({"pictures", WineProgram::WinPath(p_->Pelmira()),
                          WineProgram::WinPath(std::string(PEL_SOURCE_DIR) + "/assets")}),
               "pictures");
}

// The shared scenarios; the first indicator of a run also stores GDI's outline bytes.
TEST_F(WineE2E, RecordsAPathWithClicksAndSavesItThroughTheDialog) {
  p_->ForgetOutlines();
  scenario::RecordsAPathWithClicksAndSavesIt(*p_);
  EXPECT_EQ(ReadWholeFile(p_->OutlinePath("recfrm.shp")), GdiOutline("rec.ppm"));
}

TEST_F(WineE2E, LoadsAFileAndPlaysItInALoopUntilPause) {
  p_->ForgetOutlines();
  scenario::LoadsAFileAndPlaysItInALoopUntilPause(*p_);
  EXPECT_EQ(ReadWholeFile(p_->OutlinePath("playfrm.shp")), GdiOutline("play.ppm"));
}

TEST_F(WineE2E, RecordsADragTheWheelAndTheSideButtonsAndPlaysThem) {
  scenario::RecordsADragTheWheelAndTheSideButtonsAndPlaysThem(*p_);
}

TEST_F(WineE2E, MainWindowAsLaidOutTabOrderAndPointers) {
  const TopWindow main = p_->StartMain();
  // With no window manager the X window is the client area.
  EXPECT_EQ(main.width, 536);
  EXPECT_EQ(main.height, 217);
  ExpectPassed(p_->Probe({"check-form"}), "caption, styles, size, controls, focus, tab order");
  p_->KeyTo(main.id, "Tab");
  auto focus_is = [&](const std::string& name) { return p_->Probe({"focus"}) == name + "\n"; };
  EXPECT_TRUE(x11test::WaitUntil([&] { return focus_is("cRecMovement"); }, 5s))
      << "Tab moves the focus from Text1 to Mouse Movement";

  ASSERT_TRUE(fs::exists(fs::path(p_->Pelmira()).parent_path() / "HAND-M.CUR"));
  // Where the pointer goes (a control's centre plus an offset) and what it must show: 'A' the
  // arrow, 'H' the hand; where it must stay as it was, a change gets 0.3 s to show.
  struct Stop {
    ControlId id;
    int dx, dy;
    char want;
    bool stays;
  };
  const Stop stops[] = {
      {ControlId::RecordingFrame, 0, 40, 'A', true},  // the background below the frame
      {ControlId::HelpButton, 0, 0, 'H', false},
      {ControlId::RecordMoves, 0, 0, 'H', true},        // a check box keeps it
      {ControlId::StatusLine, 200, 0, 'H', true},       // so does the status line
      {ControlId::RecordingFrame, 19, -8, 'A', false},  // the frame between its columns
      {ControlId::HelpButton, 0, 0, 'H', false},
      {ControlId::RecordingFrame, 0, 40, 'A', false},
      {ControlId::StatusLine, 200, 0, 'A', true}};
  std::map<char, std::string> handle;  // learnt at the first arrow and the first hand
  auto cursor = [&] { return p_->Probe({"cursor"}); };
  for (const Stop& s : stops) {
    const e2e::Box b = ControlBox(s.id);
    const std::string x = std::to_string(main.x + b.x + b.w / 2 + s.dx);
    std::string y = " ";  // appended: see WineProgram's constructor (-Wrestrict)
    y += std::to_string(main.y + b.y + b.h / 2 + s.dy);
    // Two warps, so that the window under the pointer sees a move.
    p_->Xdo("mousemove " + std::to_string(std::stoi(x) - 1) + y);
    p_->Xdo("mousemove " + x + y);
    if (s.stays) std::this_thread::sleep_for(std::chrono::milliseconds(300));
    if (!handle.count(s.want)) {
      x11test::WaitUntil([&] { return handle.empty() || cursor() != handle['A']; }, 5s);
      handle[s.want] = cursor();
    }
    EXPECT_TRUE(x11test::WaitUntil([&] { return cursor() == handle[s.want]; }, s.stays ? 0s : 5s))
        << s.want << " at stop " << (&s - stops);
  }
  EXPECT_NE(handle['H'], handle['A']) << "the hand over a button";
}

TEST_F(WineE2E, ButtonLooksFocusAndF12FromAnotherProgramInFront) {
  auto target = p_->Target(100, 100, 300, 200);
  const TopWindow main = p_->StartMain();
  for (const char* b :
       {"PushButton1", "PushButton2", "PushButton3", "PushButton4", "PushButton5", "PushButton6"}) {
    const std::string look = p_->Probe({"button-look", b});
    EXPECT_EQ(Field(look, "face"), "FFFFFF") << b << " white: " << look;
    EXPECT_GT(std::atoi(Field(look, "dark").c_str()), 20) << b << " shows its caption: " << look;
  }
  const std::string normal = p_->Probe({"button-look", "PushButton1"});
  const std::string pressed = p_->Probe({"button-look", "PushButton1", "pressed"});
  EXPECT_EQ(Field(pressed, "face"), "FFFFFF");
  EXPECT_NE(Field(pressed, "hash"), Field(normal, "hash")) << "a pressed button looks pressed";
  // Tab on from the first check box to the first push button.
  std::string was;
  for (int i = 0; i < 12 && (was = p_->Probe({"focus"})) != "PushButton1\n"; ++i) {
    p_->KeyTo(main.id, "Tab");
    x11test::WaitUntil([&] { return p_->Probe({"focus"}) != was; }, 2s);
  }
  ASSERT_EQ(p_->Probe({"focus"}), "PushButton1\n");
  EXPECT_NE(Field(p_->Probe({"button-look", "PushButton1"}), "hash"), Field(normal, "hash"))
      << "the focused button shows the focus";

  // Hidden with its button, shown with F12 while the keys go to another program.
  ASSERT_TRUE(p_->ClickControl(main, ControlId::HideButton));
  ASSERT_TRUE(p_->Look().WaitGone("Pelmira"));
  p_->KeyTo(p_->Look().Find("PelTarget").value_or(main).id, "F12");
  EXPECT_TRUE(p_->Look().WaitFor("Pelmira"));
  EXPECT_EQ(p_->Probe({"foreground"}), "PelmiraForm1\n") << "in the foreground";
}

TEST_F(WineE2E, HelpBoxOpenCancelledSecondStartAndClose) {
  const TopWindow main = p_->StartMain();
  ASSERT_TRUE(p_->ClickControl(main, ControlId::HelpButton));
  ASSERT_TRUE(x11test::WaitUntil([&] { return Count("Pelmira") == 2; }, 20s)) << "Help box";
  const std::string help = p_->Probe({"msgbox", "Pelmira"});
  EXPECT_TRUE(Contains(help,
                       "TEXT Keyboard shortcuts:|/Start Recording = F10|/Start Playing = "
                       "F9|/Stop Recording or Stop Playing = Pause|/Hide/Show This Window = "
                       "F12\n"))
      << help;
  EXPECT_TRUE(Contains(help, "TOPMOST yes\nOWNER shown\n")) << help;
  AnswerBox("Pelmira", main.id);
  EXPECT_TRUE(x11test::WaitUntil([&] { return Count("Pelmira") == 1; }, 20s)) << "closed";

  ASSERT_TRUE(p_->ClickControl(main, ControlId::LoadButton));
  auto open = p_->Look().WaitFor("Open", 30s);
  ASSERT_TRUE(open);
  p_->KeyTo(open->id, "Escape");
  EXPECT_TRUE(p_->Look().WaitGone("Open", 30s)) << "Open dialog cancelled with Escape";
  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // for a box that must not come
  EXPECT_EQ(Count("Pelmira"), 1u) << "a cancelled Open dialog shows no box";

  const pid_t second = p_->Start();
  ASSERT_TRUE(x11test::WaitUntil([&] { return Count("Pelmira") == 2; }, 30s)) << "second start";
  const std::string box = p_->Probe({"msgbox", "Pelmira"});
  EXPECT_TRUE(Contains(box,
                       "TEXT Rodaz Irerevuv is already runing!|/Press [F12] to show Recorder "
                       "Window.\n") &&
              Contains(box, "BUTTON OK\n"))
      << box;
  EXPECT_TRUE(Contains(box, "TOPMOST yes\nOWNER none\n")) << "topmost, no hidden owner: " << box;
  AnswerBox("Pelmira", main.id);
  EXPECT_EQ(p_->WaitExit(second), 0) << "second instance ended after OK";
  EXPECT_TRUE(p_->Running(p_->main_pid) && p_->Look().Find("Pelmira")) << "first runs on";

  p_->Close("PelmiraForm1");
  EXPECT_TRUE(p_->WaitExit(p_->main_pid)) << "program ended after WM_CLOSE";
}

TEST_F(WineE2E, ABrokenPointerFileIsReportedAndStartUpGoesOnWithTheSkin) {
  const fs::path dir = p_->Root() + "/broken";
  fs::create_directories(dir / "x");
  fs::copy_file(p_->Pelmira(), dir / "Pelmira.exe");
  std::ofstream(dir / "HAND-M.CUR") << "not a cursor";
  std::ofstream(dir / "x" / "o.cjs");  // an empty skin still turns the window to the button face
  const pid_t pid = p_->Launch(dir / "Pelmira.exe", {});
  auto report = p_->Look().WaitFor("Application Error", 30s);
  ASSERT_TRUE(report);
  const std::string text = p_->Probe({"msgbox", "Application Error"});
  EXPECT_TRUE(Contains(text, "Form1.Form_Load at line 112") &&
              Contains(text, "LoadCursorFromFileW"))
      << text;
  p_->KeyTo(report->id, "Return");
  ASSERT_TRUE(p_->Look().WaitFor("Pelmira", 30s)) << "main window shown after the report";
  const std::string colours = p_->Probe({"colours"});
  EXPECT_EQ(Field(colours, "back"), Field(colours, "buttonface")) << colours;
  EXPECT_EQ(Field(colours, "status"), "FFFFFF") << colours;
  p_->Close("PelmiraForm1");
  EXPECT_TRUE(p_->WaitExit(pid));
}

TEST_F(WineE2E, At144DpiTheRecordingIndicatorScalesAndStoresThe100PercentOutline) {
  const std::string desktop = "HKCU\\Control Panel\\Desktop";
  p_->Run("reg", {"add", desktop, "/v", "LogPixels", "/t", "REG_DWORD", "/d", "144", "/f"});
  p_->ForgetOutlines();
  p_->StartMain();
  // Read at start-up: later programs are back at 100 %.
  p_->Run("reg", {"delete", desktop, "/v", "LogPixels", "/f"});
  ASSERT_TRUE(p_->Key("F10"));
  auto rec = p_->Look().WaitFor("frmRec");
  ASSERT_TRUE(rec);
  EXPECT_EQ(rec->x, 1061);
  EXPECT_EQ(rec->width, 219);
  EXPECT_EQ(rec->height, 48);
  // The outline grows with the window (about 128x22 at 100 %).
  const e2e::Box shape = p_->Look().ShapeExtents(rec->id);
  EXPECT_TRUE(shape.w >= 180 && shape.w < 200 && shape.h >= 32 && shape.h <= 35)
      << shape.w << "x" << shape.h;
  ASSERT_TRUE(p_->Key("Pause"));
  EXPECT_TRUE(p_->Look().WaitGone("frmRec"));
  EXPECT_EQ(ReadWholeFile(p_->OutlinePath("recfrm.shp")), GdiOutline("rec.ppm"));
}

// OutputDebugString lines, which Wine prints on its "seh" channel, name the input latch and the
// tick source.
TEST_F(WineE2E, DiagnosticsNameTheInputLatchAndTheTickSource) {
  setenv("WINEDEBUG", "-all,warn+seh", 1);
  const pid_t pid = p_->Launch(p_->Pelmira(), {});
  setenv("WINEDEBUG", "-all", 1);
  ASSERT_TRUE(x11test::WaitUntil([&] { return Contains(p_->Output(), "Pelmira: tick:"); }, 60s));
  const std::string out = p_->Output();
  std::smatch m;
  for (auto it = out.cbegin();
       std::regex_search(it, out.cend(), m, std::regex("Pelmira: [^\"\\\\]*"));
       it = m.suffix().first)
    std::cout << "  INFO " << m.str() << "\n";
  EXPECT_TRUE(std::regex_search(out, std::regex("Pelmira: tick: high-resolution waitable timer, 10 "
                                                "ms; throttling opt-outs: execution speed [a-z]*, "
                                                "timer resolution [a-z]*")));
  EXPECT_TRUE(Contains(out, "Pelmira: input: presses latched from raw input"));

  // Idle, the tick stops and the program sleeps; a tap of F10 wakes it. The pointer rests off
  // the window: Wine's own push buttons poll the pointer every 10 ms while it lies over one.
  EXPECT_TRUE(x11test::WaitUntil(
      [&] { return Contains(p_->Output(), "Pelmira: tick: stopped while idle"); }, 10s));
  ASSERT_TRUE(p_->Xdo("mousemove 5 5"));
  std::this_thread::sleep_for(1s);
  const long before = ContextSwitches(pid);
  std::this_thread::sleep_for(5s);
  const long switches = ContextSwitches(pid) - before;
  EXPECT_LE(switches, 10) << "idle, Pelmira.exe woke " << switches << " times in 5 s";
  ASSERT_TRUE(p_->Key("F10"));
  EXPECT_TRUE(p_->Look().WaitFor("frmRec")) << "a tap of F10 starts recording while asleep";
  ASSERT_TRUE(p_->Key("Pause"));
  EXPECT_TRUE(p_->Look().WaitGone("frmRec"));
  p_->Close("PelmiraForm1");
  EXPECT_TRUE(p_->WaitExit(pid));
}

// The command line: --help on standard output, --play with --repeat clicking another program's
// window and ending with 0, a missing file, a file given at start-up, and a second start handing
// its file to the running instance.
TEST_F(WineE2E, CommandLinePlaysOpensAndHandsOverFiles) {
  std::string out;
  EXPECT_EQ(p_->Run(p_->Pelmira(), {"--help"}, &out), 0);
  EXPECT_TRUE(Contains(out, "--play") && Contains(out, "taskkill") && !Contains(out, "SIGTERM"))
      << "the --help text says how a GUI program is ended: " << out;

  auto target = p_->Target(700, 560, 400, 220);
  auto presses = [&](unsigned button) {
    size_t n = 0;
    for (const auto& e : target->Events()) n += e.press && (button == 0 || e.button == button);
    return n;
  };
  const std::string two = p_->Root() + "/two.mmf";
  std::ofstream(two, std::ios::binary)
      << "[MouseMotionFile]\r\nmove,750,600,100\r\nLeft,800,650,100\r\nRight,950,720,100\r\n";
  EXPECT_EQ(p_->Run(p_->Pelmira(), {"--play", WineProgram::WinPath(two), "--repeat", "2"}, &out), 0)
      << out;
  EXPECT_EQ(out, "") << "no elevation warning over an ordinary window";
  EXPECT_TRUE(x11test::WaitUntil([&] { return presses(0) >= 4; }, 5s));
  EXPECT_EQ(presses(0), 4u) << "two passes of two clicks";
  EXPECT_EQ(presses(1), 2u);

  EXPECT_EQ(
      p_->Run(p_->Pelmira(), {"--play", WineProgram::WinPath(p_->Root() + "/none.mmf")}, &out), 1);
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << "one line: " << out;

  // A file given on the command line is loaded: F9 plays it.
  const pid_t pid = p_->Launch(p_->Pelmira(), {WineProgram::WinPath(two)});
  ASSERT_TRUE(p_->Look().WaitFor("Pelmira", 60s));
  size_t before = presses(0);
  ASSERT_TRUE(p_->Key("F9"));
  EXPECT_TRUE(x11test::WaitUntil([&] { return presses(0) >= before + 2; }, 20s))
      << "the file given on the command line plays with F9";
  ASSERT_TRUE(p_->Key("Pause"));
  EXPECT_TRUE(p_->Look().WaitGone("frmPlay"));

  // A second start with a file hands it over and ends without its message box.
  const std::string middle = p_->Root() + "/middle.mmf";
  std::ofstream(middle, std::ios::binary) << "[MouseMotionFile]\r\nMiddle,900,700,300\r\n";
  EXPECT_EQ(p_->Run(p_->Pelmira(), {WineProgram::WinPath(middle)}, &out), 0) << out;
  ASSERT_TRUE(p_->Key("F9"));
  EXPECT_TRUE(x11test::WaitUntil([&] { return presses(2) >= 1; }, 20s))
      << "the handed file is loaded in the running instance";
  ASSERT_TRUE(p_->Key("Pause"));
  EXPECT_TRUE(p_->Look().WaitGone("frmPlay"));

  // A second start with --command does what the key does there, and ends with the answer.
  before = presses(2);
  EXPECT_EQ(p_->Run(p_->Pelmira(), {"--command", "play"}, &out), 0) << out;
  EXPECT_TRUE(x11test::WaitUntil([&] { return presses(2) > before; }, 20s)) << "play as F9";
  EXPECT_EQ(p_->Run(p_->Pelmira(), {"--command", "stop"}, &out), 0) << out;
  EXPECT_TRUE(p_->Look().WaitGone("frmPlay"));
  EXPECT_EQ(p_->Run(p_->Pelmira(), {"--command", "stop"}, &out), 7) << "not now: " << out;
  p_->Close("PelmiraForm1");
  EXPECT_TRUE(p_->WaitExit(pid));
}

// A click recorded in another program's window lands at its place in that window after the
// window has moved.
TEST_F(WineE2E, AClickFollowsItsWindowMovedBetweenRecordingAndPlayback) {
  const std::string file = p_->Root() + "/window.mmf";
  {
    auto target = p_->Target(300, 200, 400, 220);
    ASSERT_TRUE(p_->Xdo("mousemove --sync 320 220"));
    const pid_t pid = p_->Launch(p_->Pelmira(), {"--record", WineProgram::WinPath(file)});
    ASSERT_TRUE(p_->Look().WaitFor("frmRec", 60s));
    ASSERT_TRUE(
        p_->Xdo("mousemove --sync 330 230 sleep 0.1 mousemove --sync 350 250 sleep 0.1 "
                "click 1 sleep 0.1"));
    ASSERT_TRUE(p_->Key("Pause"));
    EXPECT_EQ(p_->WaitExit(pid), 0);
  }
  const std::string text = ReadWholeFile(file);
  EXPECT_TRUE(Contains(text, "\r\nwindow,300,200,400x220,PelTarget,PelTarget\r\nLeft,350,250,"))
      << text;
  auto target = p_->Target(700, 560, 400, 220);
  std::string out;
  EXPECT_EQ(p_->Run(p_->Pelmira(), {"--play", WineProgram::WinPath(file)}, &out), 0) << out;
  ASSERT_TRUE(x11test::WaitUntil([&] { return target->Events().size() >= 2; }, 5s)) << out;
  EXPECT_EQ(target->Events()[0], (x11test::ObserverWindow::ButtonEvent{true, 1, 50, 50}));
}

// Two files opened together start two copies at once: the later one keeps offering its file
// while the first is still starting, and ends without the running-instance message.
TEST_F(WineE2E, TwoFilesOpenedTogetherReachOneInstance) {
  auto target = p_->Target(700, 560, 400, 220);
  const std::string files[] = {p_->Root() + "/left.mmf", p_->Root() + "/middle.mmf"};
  std::ofstream(files[0], std::ios::binary) << "[MouseMotionFile]\r\nLeft,800,650,300\r\n";
  std::ofstream(files[1], std::ios::binary) << "[MouseMotionFile]\r\nMiddle,900,700,300\r\n";
  const pid_t pids[] = {p_->Launch(p_->Pelmira(), {WineProgram::WinPath(files[0])}),
                        p_->Launch(p_->Pelmira(), {WineProgram::WinPath(files[1])})};
  ASSERT_TRUE(
      x11test::WaitUntil([&] { return !p_->Running(pids[0]) || !p_->Running(pids[1]); }, 60s))
      << "one start hands its file over and ends";
  const int later = p_->Running(pids[0]) ? 1 : 0;
  EXPECT_EQ(p_->WaitExit(pids[later], 1s), 0);
  ASSERT_TRUE(p_->Look().WaitFor("Pelmira", 60s));
  std::this_thread::sleep_for(1s);  // for a box that must not come
  EXPECT_EQ(Count("Pelmira"), 1u) << "no running-instance message";
  // The handed file is loaded after the first start's own: F9 plays it.
  const unsigned button = later == 0 ? 1 : 2;
  ASSERT_TRUE(p_->Key("F9"));
  EXPECT_TRUE(x11test::WaitUntil(
      [&] {
        for (const auto& e : target->Events())
          if (e.press && e.button == button) return true;
        return false;
      },
      20s))
      << "the file of the later start plays";
  ASSERT_TRUE(p_->Key("Pause"));
  p_->Close("PelmiraForm1");
  EXPECT_TRUE(p_->WaitExit(pids[1 - later]));
}

// A file opened while the hidden window holds an unsaved recording: the save offer comes up
// owned by no window (a hidden owner keeps it out of the task bar, behind the program in front).
// Cancelled, the recording stays unsaved and the file is not opened, so opening it again offers
// the save again; saved, the file opens.
TEST_F(WineE2E, AHandedFileOverAnUnsavedRecordingOpensOnlyOnceItIsSaved) {
  auto target = p_->Target(700, 560, 400, 220);
  const std::string middle = p_->Root() + "/middle.mmf", saved = p_->Root() + "/saved.mmf";
  std::ofstream(middle, std::ios::binary) << "[MouseMotionFile]\r\nMiddle,900,700,300\r\n";
  p_->StartMain();
  ASSERT_TRUE(p_->Key("F10"));
  ASSERT_TRUE(p_->Look().WaitFor("frmRec"));
  for (int x : {300, 340, 380}) {
    p_->Xdo("mousemove --sync " + std::to_string(x) + " 300");
    std::this_thread::sleep_for(std::chrono::milliseconds(150));
  }
  ASSERT_TRUE(p_->Key("Pause"));
  ASSERT_TRUE(p_->Look().WaitGone("frmRec"));
  ASSERT_TRUE(p_->Key("F12"));
  ASSERT_TRUE(p_->Look().WaitGone("Pelmira"));

  for (const bool save : {false, true}) {
    std::string out;
    EXPECT_EQ(p_->Run(p_->Pelmira(), {WineProgram::WinPath(middle)}, &out), 0) << out;
    const std::optional<TopWindow> dialog = p_->Look().WaitFor("Save As", 30s);
    ASSERT_TRUE(dialog) << "no save offer" << (save ? " after the cancelled one" : "");
    const std::string info = p_->Probe({"msgbox", "Save As"});
    EXPECT_TRUE(Contains(info, "OWNER none\n")) << info;
    if (save)
      ASSERT_TRUE(p_->Xdo("windowfocus --sync " + std::to_string(dialog->id)) &&
                  p_->Xdo("type --delay 2 '" + WineProgram::WinPath(saved) + "'") &&
                  p_->Xdo("key Return"));
    else
      p_->KeyTo(dialog->id, "Escape");
    ASSERT_TRUE(p_->Look().WaitGone("Save As", 30s));
  }
  EXPECT_TRUE(x11test::WaitUntil([&] { return Contains(ReadWholeFile(saved), "move,"); }, 10s))
      << "the recording was saved: " << ReadWholeFile(saved);
  ASSERT_TRUE(p_->Key("F9"));
  EXPECT_TRUE(x11test::WaitUntil(
      [&] {
        for (const auto& e : target->Events())
          if (e.press && e.button == 2) return true;
        return false;
      },
      20s))
      << "the file opened once the recording was saved";
  ASSERT_TRUE(p_->Key("Pause"));
  p_->Close("PelmiraForm1");
  EXPECT_TRUE(p_->WaitExit(p_->main_pid));
}

// A file opened while --play runs is refused at once; the box says the running instance plays,
// rather than offering F12 to show a window it has not.
TEST_F(WineE2E, AFileOpenedDuringAScriptedRunIsRefusedWithWhy) {
  const std::string moves = p_->Root() + "/moves.mmf";
  std::ofstream(moves, std::ios::binary)
      << "[MouseMotionFile]\r\nmove,10,10,100\r\nmove,20,20,100\r\n";
  const pid_t play =
      p_->Launch(p_->Pelmira(), {"--play", WineProgram::WinPath(moves), "--repeat", "0"});
  ASSERT_TRUE(p_->Look().WaitFor("frmPlay", 60s));
  const pid_t second = p_->Launch(p_->Pelmira(), {WineProgram::WinPath(moves)});
  std::string box;
  EXPECT_TRUE(x11test::WaitUntil(
      [&] {
        return Contains(box = p_->Probe({"msgbox", "Pelmira"}), "(--play)");
      },
      30s))
      << box;
  EXPECT_TRUE(Contains(box,
                       "TEXT Pelmira is playing a file from the command line (--play) and "
                       "cannot open \"moves.mmf\" now."))
      << box;
  AnswerBox("Pelmira", 0);
  EXPECT_EQ(p_->WaitExit(second), 0);
  p_->Close("PelmiraForm1");
  EXPECT_TRUE(p_->WaitExit(play));
}

// Ended without the user's word at the window, by the end of the session (log-off or shut-down
// as the system announces it) or by taskkill's plain WM_CLOSE (as Task Manager's End task sends):
// a --record run saves its file as Pause would and ends with its status at once; unsaved work in
// the window goes to a recovery file in %LOCALAPPDATA%\Pelmira, which the next start names once.
// Closed with its own close button, the window keeps nothing, as it always did.
TEST_F(WineE2E, EndedFromOutsideKeepsTheRecording) {
  auto moves = [&] {
    for (int x : {300, 340, 380}) {
      p_->Xdo("mousemove --sync " + std::to_string(x) + " 300");
      std::this_thread::sleep_for(std::chrono::milliseconds(150));
    }
  };
  auto has_entries = [](const std::string& text) {
    return text.rfind("[MouseMotionFile]\r\n", 0) == 0 && text.size() > 25;
  };
  auto record_unsaved = [&] {
    for (const char* name : {"unsaved-1.mmf", "unsaved.txt"})
      for (std::string old; !(old = p_->OutlinePath(name)).empty();) fs::remove(old);
    p_->StartMain();
    ASSERT_TRUE(p_->Key("F10"));
    ASSERT_TRUE(p_->Look().WaitFor("frmRec"));
    moves();
    ASSERT_TRUE(p_->Key("Pause"));
    ASSERT_TRUE(p_->Look().WaitGone("frmRec"));
  };
  const struct {
    const char* name;
    std::function<void()> end;
  } ways[] = {
      {"end of the session",
       [&] {
         EXPECT_EQ(p_->Probe({"end-session", "PelmiraForm1"}), "answer 1\n");
       }},
      {"taskkill",
       [&] {
         p_->Run("taskkill", {"/im", "Pelmira.exe"});
       }},
  };
  for (const auto& way : ways) {
    SCOPED_TRACE(way.name);
    const std::string file = p_->Root() + "/ended.mmf";
    fs::remove(file);
    const pid_t rec = p_->Launch(p_->Pelmira(), {"--record", WineProgram::WinPath(file)});
    ASSERT_TRUE(p_->Look().WaitFor("frmRec", 60s));
    moves();
    way.end();
    EXPECT_EQ(p_->WaitExit(rec, 10s), 0) << "ended at once, saved";
    EXPECT_TRUE(has_entries(ReadWholeFile(file))) << "--record saved: " << ReadWholeFile(file);

    record_unsaved();
    way.end();
    EXPECT_TRUE(p_->WaitExit(p_->main_pid, 10s));
    const std::string kept = p_->OutlinePath("unsaved-1.mmf");
    ASSERT_TRUE(Contains(kept, "/AppData/Local/Pelmira/")) << "kept in the state folder: " << kept;
    EXPECT_TRUE(has_entries(ReadWholeFile(kept))) << ReadWholeFile(kept);

    // The box comes from the start-up itself, before the window shows.
    const pid_t next = p_->Start();
    std::string box;
    EXPECT_TRUE(x11test::WaitUntil(
        [&] {
          return Contains(box = p_->Probe({"msgbox", "Pelmira"}), "unsaved-1.mmf");
        },
        60s))
        << "a box at start naming the kept file: " << box;
    AnswerBox("Pelmira", 0);
    ASSERT_TRUE(p_->Look().WaitFor("Pelmira", 30s));
    p_->Close("PelmiraForm1");
    EXPECT_TRUE(p_->WaitExit(next));
  }

  record_unsaved();
  p_->Close("PelmiraForm1");
  EXPECT_TRUE(p_->WaitExit(p_->main_pid));
  EXPECT_EQ(p_->OutlinePath("unsaved-1.mmf"), "") << "closed by the user: nothing kept";
}

}  // namespace
}  // namespace pel::e2e
