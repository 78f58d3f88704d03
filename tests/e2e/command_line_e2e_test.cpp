// The command line of the real program on a private X server: files opened from the desktop and
// handed to a running instance, playback and recording from a script, their exit statuses, and
// --info. Driven and watched only from outside, as in pelmira_e2e_test.cpp.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <thread>

#include "app/command_line.h"
#include "testkit/pelmira_fixture.h"

namespace pel::e2e {
namespace {

namespace status = exit_status;
using E = x11test::ObserverWindow::ButtonEvent;

// A pass of two clicks on a window at (100, 100): a left one at (60, 70) and a right one at
// (210, 160) in the window, about 0.4 s in all.
constexpr const char* kTwoClicks =
    "[MouseMotionFile]\r\n"
    "move,150,150,100\r\n"
    "Left,160,170,100\r\n"
    "move,300,250,100\r\n"
    "Right,310,260,100\r\n";
const std::vector<E> kTwoClicksSeen = {
    {true, 1, 60, 70}, {false, 1, 60, 70}, {true, 3, 210, 160}, {false, 3, 210, 160}};

class CommandLineE2E : public testing::Test {
 protected:
  CommandLineE2E() : x_({}, "1024x768x24"), look_(x_.Display()), app_(x_) {}

  std::string Write(const std::string& name, const std::string& text) {
    return test::WriteWholeFile(app_.Root() + "/" + name, text);
  }

  // The observer sees exactly `passes` passes of kTwoClicks, and nothing after them.
  void ExpectPasses(x11test::ObserverWindow& target, size_t passes) {
    const size_t want = passes * kTwoClicksSeen.size();
    ASSERT_TRUE(target.WaitForEvents(want, 15s)) << target.Events().size() << " events";
    const std::vector<E> events = target.Events();
    ASSERT_EQ(events.size(), want);
    for (size_t i = 0; i < want; ++i)
      EXPECT_EQ(events[i], kTwoClicksSeen[i % kTwoClicksSeen.size()]) << "event " << i;
  }

  x11test::Xvfb x_;
  XLook look_;
  Pelmira app_;
};

// The desktop's way in: the Exec line of the built entry with %f replaced. The file is loaded
// (F9 plays it); a second file opened the same way is handed to the running instance, which
// loads it instead, and the second start ends at once; --play refuses to run beside it.
TEST_F(CommandLineE2E, DesktopEntryOpensAFileAndHandsTheNextToTheRunningInstance) {
  std::ifstream entry(std::string(PEL_SOURCE_DIR) + "/platform/qt/pelmira.desktop");
  std::string line, exec;
  while (std::getline(entry, line))
    if (line.rfind("Exec=", 0) == 0) exec = line.substr(5);
  std::istringstream words(exec);
  std::vector<std::string> argv(std::istream_iterator<std::string>(words), {});
  ASSERT_EQ(argv.size(), 2u) << exec;
  ASSERT_EQ(argv[0], "pelmira");
  ASSERT_EQ(argv[1], "%f");
  auto open = [&](const std::string& file) { return app_.Start({file}); };

  x11test::ObserverWindow target(x_.Display(), 100, 100, 300, 200);
  const pid_t first = open(Write("first.mmf", kTwoClicks));
  ASSERT_TRUE(look_.WaitFor("Pelmira", 10s, first)) << app_.Output();
  ASSERT_TRUE(app_.Xdo("key F9"));
  ASSERT_TRUE(target.WaitForEvents(kTwoClicksSeen.size(), 10s)) << "the file was not loaded";
  ASSERT_TRUE(app_.Xdo("key Pause"));
  ASSERT_TRUE(look_.WaitGone("frmPlay"));

  // Only a middle click, at (20, 30) in the window.
  const size_t before = target.Events().size();
  const pid_t second = open(Write("second.mmf", "[MouseMotionFile]\r\nMiddle,120,130,300\r\n"));
  EXPECT_EQ(app_.WaitExit(second), status::kOk) << app_.Output();
  EXPECT_FALSE(look_.Find("pelmira", second)) << "no running-instance message";
  ASSERT_TRUE(app_.Xdo("key F9"));
  ASSERT_TRUE(target.WaitForEvents(before + 2, 10s));
  ASSERT_TRUE(app_.Xdo("key Pause"));
  EXPECT_EQ(target.Events()[before], (E{true, 2, 20, 30})) << "the handed file plays";
  EXPECT_TRUE(app_.Running(first));

  // --play does not run beside it: both would answer the same keys and move the same pointer.
  const size_t said = app_.Output().size();
  EXPECT_EQ(app_.WaitExit(app_.Start({"--play", Write("third.mmf", kTwoClicks)})), status::kFailed);
  const std::string refusal = app_.Output().substr(said);
  EXPECT_EQ(std::count(refusal.begin(), refusal.end(), '\n'), 1) << refusal;
}

// Four starts with a file at once, as a file manager opens four chosen files: one window and no
// running-instance message. The three that find an instance starting hand their files over and
// end; the files load after the first one's own, in turn, so the one left loaded (F9 plays it)
// is a handed one.
TEST_F(CommandLineE2E, FourStartsAtOnceMakeOneWindowAndHandTheirFilesOver) {
  x11test::ObserverWindow target(x_.Display(), 100, 100, 300, 200);
  std::map<pid_t, int> started;  // process -> the x of its file's click in the window
  std::vector<std::string> files;
  for (int i = 0; i < 4; ++i)
    files.push_back(
        Write("f" + std::to_string(i) + ".mmf",
              "[MouseMotionFile]\r\nMiddle," + std::to_string(120 + 20 * i) + ",130,300\r\n"));
  for (int i = 0; i < 4; ++i) started[app_.Start({files[i]})] = 20 + 20 * i;

  const std::optional<TopWindow> main = look_.WaitFor("Pelmira", 20s);
  ASSERT_TRUE(main) << app_.Output();
  ASSERT_TRUE(started.count(main->pid)) << main->pid;
  for (const auto& [pid, x] : started)
    if (pid != main->pid) {
      EXPECT_EQ(app_.WaitExit(pid, 20s), status::kOk) << app_.Output();
    }
  EXPECT_FALSE(look_.Find("pelmira")) << "a running-instance message";
  int windows = 0;
  for (const TopWindow& w : look_.Windows()) windows += w.viewable && w.name == "Pelmira";
  EXPECT_EQ(windows, 1);

  // The last handed file loads a moment after its sender has been answered.
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  ASSERT_TRUE(app_.Xdo("key F9"));
  ASSERT_TRUE(target.WaitForEvents(2, 10s)) << "nothing plays";
  ASSERT_TRUE(app_.Xdo("key Pause"));
  const E played = target.Events()[0];
  EXPECT_EQ(played.button, 2u);
  EXPECT_NE(played.x, started[main->pid]) << "the handed files were dropped";
  bool known = false;
  for (const auto& [pid, x] : started) known = known || played.x == x;
  EXPECT_TRUE(known) << played.x;
  EXPECT_TRUE(app_.Running(main->pid));
}

// --repeat 2: exactly two passes reach a window of another client, with the main window never
// shown, and the program ends with 0 on its own.
TEST_F(CommandLineE2E, PlayWithRepeatTwoClicksTwoPassesAndExitsZero) {
  x11test::ObserverWindow target(x_.Display(), 100, 100, 300, 200);
  const pid_t pid = app_.Start({"--play", Write("two.mmf", kTwoClicks), "--repeat", "2"});
  bool window_seen = false;
  std::optional<int> code;
  ASSERT_TRUE(x11test::WaitUntil(
      [&] {
        window_seen = window_seen || look_.Find("Pelmira", pid);
        int st = -1;
        if (!app_.Running(pid, &st)) code = st;
        return code.has_value();
      },
      15s));
  EXPECT_EQ(code, status::kOk) << app_.Output();
  EXPECT_FALSE(window_seen);
  ExpectPasses(target, 2);
}

// A file that cannot be loaded and a command line that cannot be understood: each ends with its
// own status and one line on standard error, and no box waits for an answer.
TEST_F(CommandLineE2E, BadFileAndBadUsageEndWithTheirStatusAndOneLine) {
  const std::string missing = app_.Root() + "/missing.mmf";
  const pid_t pid = app_.Start({"--play", missing});
  EXPECT_EQ(app_.WaitExit(pid), status::kFailed);
  const std::string out = app_.Output();
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
  EXPECT_NE(out.find("missing.mmf"), std::string::npos) << out;

  const pid_t usage = app_.Start({"--speed", "1000", "--play", missing});
  EXPECT_EQ(app_.WaitExit(usage), status::kUsage);
  const std::string more = app_.Output().substr(out.size());
  EXPECT_EQ(std::count(more.begin(), more.end(), '\n'), 1) << more;
}

// --stop-on-move: a move made from outside during a looping playback stops it as Pause would,
// with the stopped status.
TEST_F(CommandLineE2E, StopOnMoveEndsPlaybackWhenTheMouseIsTaken) {
  const std::string path =
      Write("slow.mmf", "[MouseMotionFile]\r\nmove,200,200,150\r\nmove,220,210,150\r\n");
  const pid_t pid = app_.Start({"--play", path, "--stop-on-move"});
  // Playback has put the pointer on its path: the user takes the mouse far from it.
  ASSERT_TRUE(x11test::WaitUntil([&] {
    int px = 0, py = 0;
    return x11test::QueryPointer(x_.Display(), px, py) && px == 220 && py == 210;
  }));
  EXPECT_TRUE(app_.Running(pid));
  ASSERT_TRUE(app_.Xdo("mousemove --sync 600 500"));
  EXPECT_EQ(app_.WaitExit(pid, 2s), status::kStopped) << app_.Output();
}

// --record: recording starts at once without the window; Pause saves the take to the file.
TEST_F(CommandLineE2E, RecordWritesTheFileOnPause) {
  const std::string path = app_.Root() + "/take.mmf";
  ASSERT_TRUE(app_.Xdo("mousemove --sync 20 20"));
  const pid_t pid = app_.Start({"--record", path});
  ASSERT_TRUE(look_.WaitFor("frmRec", 10s, pid)) << app_.Output();
  EXPECT_FALSE(look_.Find("Pelmira", pid));
  // Moves a few ticks apart, as a hand makes them, so that each is its own entry.
  for (const char* to : {"100 100", "150 120", "200 140"})
    ASSERT_TRUE(app_.Xdo(std::string("mousemove --sync ") + to + " sleep 0.05"));
  ASSERT_TRUE(app_.Xdo("key Pause"));
  EXPECT_EQ(app_.WaitExit(pid), status::kOk) << app_.Output();
  const std::string text = ReadWholeFile(path);
  EXPECT_EQ(text.rfind("[MouseMotionFile]\r\n", 0), 0u) << text;
  EXPECT_NE(text.find("move,200,140,"), std::string::npos) << text;
}

// --info needs no display; --help names every option the manual page documents, and the manual
// page every option --help names.
// Runs the program with `args` and no display; its exit status and what it printed.
int RunWithoutDisplay(const std::string& args, std::string& out) {
  return test::RunShell(
      "env -u DISPLAY -u WAYLAND_DISPLAY " + Pelmira::ProgramPath() + " " + args + " 2>&1", &out);
}

TEST(CommandLineNoDisplay, HelpVersionAndTheReasonWithoutX11) {
  std::string out;
  EXPECT_EQ(RunWithoutDisplay("--help", out), 0);
  EXPECT_NE(out.find("F10"), std::string::npos) << out;
  EXPECT_EQ(RunWithoutDisplay("--version", out), 0);
  EXPECT_EQ(out.rfind("pelmira ", 0), 0u) << out;
  EXPECT_EQ(RunWithoutDisplay("", out), 1);
  EXPECT_NE(out.find("X11"), std::string::npos) << out;
  EXPECT_NE(out.find("XWayland"), std::string::npos) << out;
}

TEST(CommandLineNoDisplay, InfoDescribesAFileAndHelpMatchesTheManualPage) {
  auto run = RunWithoutDisplay;
  test::TempFolder dir("info");
  const std::string path = test::WriteWholeFile(dir / "info.mmf",
                                                "[MouseMotionFile]\r\n"
                                                "move,10,20,100\r\n"
                                                "\r\n"
                                                "Left,300,40,250\r\n"
                                                "Wiggle,1,1,1\r\n"
                                                "move,50,400,150\r\n");
  std::string out;
  EXPECT_EQ(run("--info " + path, out), status::kOk) << out;
  for (const char* want : {"move 2, Left 1", "0.500 s", "(10, 20) to (300, 400)", "line 3: blank",
                           "line 5: unknown kind", "Playable: yes"})
    EXPECT_NE(out.find(want), std::string::npos) << want << " in\n" << out;

  ASSERT_EQ(run("--help", out), status::kOk);
  const std::string manual = ReadWholeFile(std::string(PEL_SOURCE_DIR) + "/platform/qt/pelmira.1");
  const std::regex option("--[a-z][a-z-]*");
  std::set<std::string> in_help, in_manual;
  for (std::sregex_iterator i(out.begin(), out.end(), option), end; i != end; ++i)
    in_help.insert(i->str());
  std::string unescaped = std::regex_replace(manual, std::regex(R"(\\-)"), "-");
  for (std::sregex_iterator i(unescaped.begin(), unescaped.end(), option), end; i != end; ++i)
    in_manual.insert(i->str());
  EXPECT_FALSE(in_help.empty());
  EXPECT_EQ(in_help, in_manual);
  for (const char* key : {"F9", "F10", "F12", "Pause"})
    EXPECT_NE(manual.find(key), std::string::npos) << key;
}

}  // namespace
}  // namespace pel::e2e
