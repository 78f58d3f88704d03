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

#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <csignal>
#include <filesystem>
#include <functional>

#include "tests/e2e/program_on_x.h"

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

class CommandLineE2E : public testing::Test, protected ProgramOnX {
 protected:
  CommandLineE2E() : ProgramOnX("1024x768x24") {}

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
};

// The desktop's way in: the Exec line of the built entry with %f replaced. The file is loaded
// (F9 plays it); a second file opened the same way is handed to the running instance, which
// loads it instead, and the second start ends at once; --play refuses to run beside it.
TEST_F(CommandLineE2E, DesktopEntryOpensAFileAndHandsTheNextToTheRunningInstance) {
  std::ifstream entry(std::string(PEL_SOURCE_DIR) + "/programs/linux/pelmira.desktop");
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
  for (size_t i = 0; i < 4; ++i) started[app_.Start({files[i]})] = 20 + 20 * static_cast<int>(i);

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

// The commands a later start sends to the running window, in turn from a state each row
// leaves: the exit status of its answer, and what the instance shows then (a window that
// appears or goes). A command that does not apply changes nothing.
TEST_F(CommandLineE2E, CommandsActAsTheKeysInTheRunningInstance) {
  x11test::ObserverWindow target(x_.Display(), 100, 100, 300, 200);
  auto command = [&](const std::string& word) {
    return app_.WaitExit(app_.Start({"--command", word}), 15s);
  };
  EXPECT_EQ(command("stop"), status::kNoInstance) << app_.Output();
  const pid_t first = app_.Start();
  ASSERT_TRUE(look_.WaitFor("Pelmira", 10s, first)) << app_.Output();
  struct Row {
    const char* command;
    int status;
    const char* appears;  // a window of the instance that shows after it, if any
    const char* goes;     // one that is gone after it, if any
    const char* said;     // on standard error
  };
  const Row rows[] = {
      {"play", status::kNotNow, nullptr, nullptr, "it has nothing to play"},
      {"stop", status::kNotNow, nullptr, nullptr, "it is neither recording nor playing"},
      {"record", status::kOk, "frmRec", nullptr, ""},
      {"record", status::kOk, nullptr, "frmRec", ""},
      // The take holds no motion: answered, where F9 would bring the "No Data" box.
      {"play", status::kNotNow, nullptr, nullptr, "it has nothing to play"},
      {"toggle-window", status::kOk, nullptr, "Pelmira", ""},
      {"toggle-window", status::kOk, "Pelmira", nullptr, ""},
      {"record", status::kOk, "frmRec", nullptr, ""},
      {"play", status::kNotNow, "frmRec", nullptr, "it is recording"},
      {nullptr, 0, nullptr, nullptr, ""},              // the pointer moves: the take holds moves
      {"record", status::kOk, nullptr, "frmRec", ""},  // stops, the take kept in memory
      {"play", status::kOk, "frmPlay", nullptr, ""},   // plays that take
      {"record", status::kNotNow, "frmPlay", nullptr, "it is playing"},
      {"stop", status::kOk, nullptr, "frmPlay", ""},
      {"record", status::kOk, "frmRec", nullptr, ""},
      {"stop", status::kOk, nullptr, "frmRec", ""},
  };
  for (const Row& row : rows) {
    if (!row.command) {
      for (const char* to : {"mousemove 150 150", "sleep 0.1", "mousemove 300 250", "sleep 0.1"})
        EXPECT_TRUE(app_.Xdo(to));
      continue;
    }
    SCOPED_TRACE(row.command);
    const size_t said = app_.Output().size();
    EXPECT_EQ(command(row.command), row.status);
    EXPECT_NE(app_.Output().find(row.said, said), std::string::npos) << app_.Output();
    if (row.appears) {
      EXPECT_TRUE(look_.WaitFor(row.appears, 10s, first)) << row.appears;
    }
    if (row.goes) {
      EXPECT_TRUE(look_.WaitGone(row.goes)) << row.goes;
    }
  }
  // The file loaded by hand-over plays on the command, as F9 plays it.
  ASSERT_EQ(app_.WaitExit(app_.Start({Write("two.mmf", kTwoClicks)})), status::kOk);
  EXPECT_EQ(command("play"), status::kOk);
  EXPECT_TRUE(target.WaitForEvents(kTwoClicksSeen.size(), 10s)) << "nothing played";
  EXPECT_EQ(command("stop"), status::kOk);
  EXPECT_TRUE(look_.WaitGone("frmPlay"));
  EXPECT_TRUE(app_.Running(first));
}

// The X server under another name (127.0.0.1:N over TCP beside :N) is the same server: a start
// through it hands its file to the instance running there, and --play refuses to run beside it,
// rather than a second instance answering the same keys.
TEST(CommandLineDisplayNames, AStartThroughAnotherNameOfTheServerFindsTheRunningInstance) {
  x11test::Xvfb x({"-listen", "tcp"}, "1024x768x24");
  XLook look(x.Display());
  Pelmira app(x);
  const std::vector<std::string> over_tcp = {"DISPLAY=127.0.0.1" + x.Display()};
  ASSERT_EQ(x.Run("DISPLAY=127.0.0.1" + x.Display() + " xdpyinfo >/dev/null 2>&1"), 0)
      << "the server takes no TCP clients";
  x11test::ObserverWindow target(x.Display(), 100, 100, 300, 200);
  const pid_t first = app.Start();
  ASSERT_TRUE(look.WaitFor("Pelmira", 10s, first)) << app.Output();

  const std::string middle = test::WriteWholeFile(app.Root() + "/middle.mmf",
                                                  "[MouseMotionFile]\r\nMiddle,120,130,300\r\n");
  EXPECT_EQ(app.WaitExit(app.Start({middle}, {}, over_tcp)), status::kOk) << app.Output();
  ASSERT_TRUE(app.Xdo("key F9"));
  ASSERT_TRUE(target.WaitForEvents(2, 10s)) << "the handed file was not loaded";
  ASSERT_TRUE(app.Xdo("key Pause"));
  EXPECT_EQ(target.Events()[0], (E{true, 2, 20, 30}));
  EXPECT_EQ(app.WaitExit(app.Start({"--play", middle}, {}, over_tcp)), status::kFailed);
  EXPECT_TRUE(app.Running(first));
}

// The first client of a new X server that resets when its last client leaves (no -noreset), as
// xvfb-run and xinit start it: every start gets through its instance claim and plays its file.
TEST(CommandLineFirstClient, StartsEveryTimeAsTheFirstClientOfANewServer) {
  struct ResettingXvfb : x11test::Xvfb {
    ResettingXvfb()
        : Xvfb(Command{
              {"Xvfb", "-displayfd", "3", "-screen", "0", "640x480x24", "-nolisten", "tcp"}}) {}
  };
  for (int start = 0; start < 10; ++start) {
    ResettingXvfb x;
    Pelmira app(x);
    const std::string file =
        test::WriteWholeFile(app.Root() + "/one.mmf", "[MouseMotionFile]\r\nmove,10,10,0\r\n");
    EXPECT_EQ(app.WaitExit(app.Start({"--play", file}), 20s), status::kOk)
        << "start " << start << ": " << app.Output();
  }
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

// Every way a --play run ends, with its own status and one line on standard error (none when
// all went well), and no box waiting for an answer.
TEST_F(CommandLineE2E, PlayEndsWithTheStatusOfHowItWent) {
  x11test::ObserverWindow target(x_.Display(), 100, 100, 300, 200);
  struct Case {
    const char* name;
    std::string file;  // written as the file to play; empty: none is written
    std::vector<std::string> args;
    std::vector<std::string> env;
    int status;
    const char* said;  // in the one line on standard error; empty: nothing is said
  };
  const std::string missing = app_.Root() + "/missing.mmf";
  const Case cases[] = {
      {"played", kTwoClicks, {}, {}, status::kOk, ""},
      {"missing file", "", {"--play", missing}, {}, status::kFailed, "missing.mmf"},
      {"header alone", "[MouseMotionFile]\r\n", {}, {}, status::kNotPlayed, "no entries"},
      {"layout alone",
       "[MouseMotionFile]\r\nscreen,0,0,1280x1024,primary,DUMMY0\r\n",
       {},
       {},
       status::kNotPlayed,
       "no entries"},
      {"bad usage", "", {"--speed", "1000", "--play", missing}, {}, status::kUsage, "--speed"},
      {"entry out of range",
       "[MouseMotionFile]\r\nmove,1,1,10\r\nmove,1e300,5,10\r\n",
       {},
       {},
       status::kNotPlayed,
       "Overflow"},
      {"nothing playable",
       "[MouseMotionFile]\r\nWiggle,1,1,1\r\n\r\n",
       {},
       {},
       status::kNotPlayed,
       "no entry that can be played"},
      {"no display", kTwoClicks, {}, {"DISPLAY="}, status::kFailed, "DISPLAY is not set"},
      {"unreachable display", kTwoClicks, {}, {"DISPLAY=:4321"}, status::kFailed, ":4321"},
      {"Wayland session",
       kTwoClicks,
       {},
       {"WAYLAND_DISPLAY=wayland-0"},
       status::kOk,
       "reach only X11 windows"},
  };
  size_t seen = 0;
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    if (!c.file.empty()) args = {"--play", Write("case.mmf", c.file)};
    const pid_t pid = app_.Start(args, {}, c.env);
    EXPECT_EQ(app_.WaitExit(pid, 15s), c.status) << c.name << "\n" << app_.Output();
    const std::string out = app_.Output().substr(seen);
    seen += out.size();
    const std::string said = c.said;
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), said.empty() ? 0 : 1)
        << c.name << ": " << out;
    EXPECT_NE(out.find(said), std::string::npos) << c.name << ": " << out;
  }
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

// A long run of clicks without delays, played paced (all due at once): Pause and SIGTERM still
// end it at once rather than after the whole run.
TEST_F(CommandLineE2E, ClicksWithoutDelaysStillStopAtOnce) {
  std::string text = "[MouseMotionFile]\r\n";
  for (int i = 0; i < 30000; ++i) text += "Left,600,500,0\r\n";
  const std::string path = Write("no-delays.mmf", text);
  x11test::ObserverWindow target(x_.Display(), 500, 400, 200, 200);
  for (const bool by_signal : {false, true}) {
    SCOPED_TRACE(by_signal ? "SIGTERM" : "Pause");
    const size_t before = target.Events().size();
    const pid_t pid = app_.Start({"--play", path, "--speed", "2"});
    ASSERT_TRUE(target.WaitForEvents(before + 20, 10s)) << app_.Output();
    const auto asked = std::chrono::steady_clock::now();
    if (by_signal)
      ASSERT_EQ(::kill(pid, SIGTERM), 0);
    else
      ASSERT_TRUE(app_.Xdo("key Pause"));
    EXPECT_EQ(app_.WaitExit(pid, 5s), by_signal ? -1 : status::kStopped) << app_.Output();
    EXPECT_LT(std::chrono::steady_clock::now() - asked, 500ms);
    EXPECT_LT(target.Events().size() - before, 10000u) << "far from the whole run";
  }
}

// --record: recording starts at once without the window; Pause saves the take to the file. With
// no RECORD on the server, --every-event falls back to the poll and says so in one plain line.
TEST_F(CommandLineE2E, RecordWritesTheFileOnPause) {
  const char* asan = std::getenv("ASAN_OPTIONS");
  const struct {
    std::vector<std::string> args, env;
    const char* said;  // the one line on standard error; empty: nothing is said
  } cases[] = {{{}, {}, ""},
               {{"--every-event"},
                {std::string("LD_PRELOAD=") + PEL_NO_RECORD_SHIM,
                 std::string("ASAN_OPTIONS=") + (asan ? asan : "") + ":verify_asan_link_order=0"},
                "every event cannot be recorded without the mouse's event stream: recording "
                "every 10 ms, without the wheel and the side buttons"}};
  size_t seen = 0;
  for (const auto& c : cases) {
    const std::string path = app_.Root() + "/take.mmf";
    ASSERT_TRUE(app_.Xdo("mousemove --sync 20 20"));
    std::vector<std::string> args = {"--record", path};
    args.insert(args.end(), c.args.begin(), c.args.end());
    const pid_t pid = app_.Start(args, {}, c.env);
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
    const std::string out = app_.Output().substr(seen), said = c.said;
    seen += out.size();
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), said.empty() ? 0 : 1) << out;
    EXPECT_NE(out.find(said), std::string::npos) << out;
  }
}

// The ends of a --record run: however it ends, the take is not lost.
class RecordEnds : public CommandLineE2E {
 protected:
  // Starts --record `path` and, once `recording` says it records, makes three moves; the take
  // ends in "move,200,140,...".
  static pid_t StartAndMove(const std::string& path, Pelmira& app,
                            const std::function<bool(pid_t)>& recording) {
    EXPECT_TRUE(app.Xdo("mousemove --sync 20 20"));
    const pid_t pid = app.Start({"--record", path});
    EXPECT_TRUE(recording(pid)) << app.Output();
    for (const char* to : {"100 100", "150 120", "200 140"})
      EXPECT_TRUE(app.Xdo(std::string("mousemove --sync ") + to + " sleep 0.05"));
    return pid;
  }
  pid_t StartAndMove(const std::string& path) {
    return StartAndMove(path, app_,
                        [&](pid_t pid) { return look_.WaitFor("frmRec", 10s, pid).has_value(); });
  }
  static bool HoldsTheTake(const std::string& path) {
    const std::string text = ReadWholeFile(path);
    return text.rfind("[MouseMotionFile]\r\n", 0) == 0 && text.find("move,200,140,") != text.npos;
  }
};

// Ctrl+C, Ctrl+\, `timeout` or a log-out (SIGTERM) and a closed terminal (SIGHUP) save as Pause
// does.
TEST_F(RecordEnds, ASignalSavesTheFileAsPauseDoes) {
  for (int signo : {SIGINT, SIGQUIT, SIGTERM, SIGHUP}) {
    const std::string path = app_.Root() + "/signal-" + std::to_string(signo) + ".mmf";
    const size_t before = app_.Output().size();
    const pid_t pid = StartAndMove(path);
    ASSERT_EQ(::kill(pid, signo), 0);
    EXPECT_EQ(app_.WaitExit(pid), status::kOk) << signo << app_.Output();
    EXPECT_TRUE(HoldsTheTake(path)) << signo << ": " << ReadWholeFile(path);
    const std::string out = app_.Output().substr(before);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
  }
}

// The X server ends under the program. Its own input connection notices first while a
// recording runs; Qt's connection first while the window sits idle. Either way what was recorded
// is kept before the program goes: --record saves its file, the window a recovery file.
TEST_F(RecordEnds, TheXServerGoingAwayKeepsTheTakeFirst) {
  for (const bool window : {false, true}) {
    auto x = std::make_unique<x11test::Xvfb>(std::vector<std::string>{}, "1024x768x24");
    Pelmira app(*x);
    // No connection of the test's own to that server: its loss would end the test too.
    auto shows = [&](const char* name) {
      return x11test::WaitUntil(
          [&] {
            return x->Run(std::string("xdotool search --onlyvisible --name ") + name +
                          " >/dev/null") == 0;
          },
          10s);
    };
    std::string path = app.Root() + "/lost.mmf";
    pid_t pid = 0;
    if (window) {
      pid = app.Start();
      ASSERT_TRUE(shows("Pelmira")) << app.Output();
      ASSERT_TRUE(app.Xdo("mousemove --sync 20 20 key F10"));
      ASSERT_TRUE(shows("frmRec"));
      for (const char* to : {"100 100", "150 120", "200 140"})
        ASSERT_TRUE(app.Xdo(std::string("mousemove --sync ") + to + " sleep 0.05"));
      ASSERT_TRUE(app.Xdo("key Pause sleep 0.5"));
      path = app.Root() + "/home/.local/state/pelmira/unsaved-1.mmf";
    } else {
      pid = StartAndMove(path, app, [&](pid_t) { return shows("frmRec"); });
    }
    ASSERT_EQ(::kill(x->Pid(), SIGKILL), 0);
    EXPECT_EQ(app.WaitExit(pid), status::kFailed) << app.Output();
    EXPECT_TRUE(HoldsTheTake(path)) << window << ReadWholeFile(path);
    const std::string out = app.Output();
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    EXPECT_NE(out.find("display went away"), std::string::npos) << out;
  }
}

// A file that could never take the recording is found out before anything is recorded.
TEST_F(RecordEnds, ATargetThatCannotBeWrittenIsRefusedBeforeRecording) {
  const std::string root = app_.Root();
  std::filesystem::create_directory(root + "/folder.mmf");
  ASSERT_EQ(::mkfifo((root + "/fifo.mmf").c_str(), 0600), 0);
  std::vector<std::pair<std::string, const char*>> targets = {
      {root + "/folder.mmf", "is a folder"},
      {root + "/no-such-folder/take.mmf", "nothing was recorded"},
      {root + "/fifo.mmf", "not an ordinary file"},
  };
  if (::geteuid() == 0) {
    ASSERT_EQ(::mknod((root + "/null.mmf").c_str(), S_IFCHR | 0666, ::makedev(1, 3)), 0);
    targets.emplace_back(root + "/null.mmf", "not an ordinary file");
  }
  for (const auto& [path, said] : targets) {
    const size_t before = app_.Output().size();
    const pid_t pid = app_.Start({"--record", path});
    EXPECT_EQ(app_.WaitExit(pid), status::kFailed) << path;
    const std::string out = app_.Output().substr(before);
    EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 1) << out;
    EXPECT_NE(out.find(said), std::string::npos) << out;
  }
  struct stat st {};
  ASSERT_EQ(::lstat((root + "/fifo.mmf").c_str(), &st), 0);
  EXPECT_TRUE(S_ISFIFO(st.st_mode));
  EXPECT_FALSE(look_.Find("frmRec"));
}

// The folder goes while recording: the take goes to a recovery file of the user's, which the
// line names.
TEST_F(RecordEnds, ATakeThatCannotBeSavedGoesToARecoveryFile) {
  const std::string folder = app_.Root() + "/gone";
  std::filesystem::create_directory(folder);
  const pid_t pid = StartAndMove(folder + "/take.mmf");
  std::filesystem::remove_all(folder);
  ASSERT_TRUE(app_.Xdo("key Pause"));
  EXPECT_EQ(app_.WaitExit(pid), status::kFailed) << app_.Output();
  const std::string kept = app_.Root() + "/home/.local/state/pelmira/unsaved-1.mmf";
  EXPECT_TRUE(HoldsTheTake(kept)) << app_.Output();
  EXPECT_NE(app_.Output().find(kept), std::string::npos) << app_.Output();
}

// The window ended by SIGTERM with unsaved work keeps it, and the next start says where.
TEST_F(RecordEnds, TheWindowEndedBySigtermKeepsUnsavedWorkForTheNextStart) {
  const pid_t pid = app_.Start();
  ASSERT_TRUE(look_.WaitFor("Pelmira", 10s, pid)) << app_.Output();
  ASSERT_TRUE(app_.Xdo("mousemove --sync 20 20 key F10"));
  ASSERT_TRUE(look_.WaitFor("frmRec", 10s, pid));
  for (const char* to : {"100 100", "150 120", "200 140"})
    ASSERT_TRUE(app_.Xdo(std::string("mousemove --sync ") + to + " sleep 0.05"));
  ASSERT_TRUE(app_.Xdo("key Pause"));
  ASSERT_TRUE(look_.WaitGone("frmRec"));
  ASSERT_EQ(::kill(pid, SIGTERM), 0);
  app_.WaitExit(pid);
  const std::string state = app_.Root() + "/home/.local/state/pelmira/";
  EXPECT_TRUE(HoldsTheTake(state + "unsaved-1.mmf")) << app_.Output();

  // The next start names the file in a box, before its window shows, and only once.
  const pid_t next = app_.Start();
  EXPECT_TRUE(x11test::WaitUntil([&] {
    for (const TopWindow& w : look_.Windows())
      if (w.pid == next && w.viewable) return true;
    return false;
  }));
  EXPECT_FALSE(look_.Find("Pelmira", next));
  EXPECT_TRUE(ReadWholeFile(state + "unsaved.txt").empty());
  EXPECT_TRUE(HoldsTheTake(state + "unsaved-1.mmf"));
}

// --info needs no display; --help names every option the manual page documents, and the manual
// page every option --help names.
// Runs the program with `args` and no display; its exit status and what it printed.
int RunWithoutDisplay(const std::string& args, std::string& out) {
  return test::RunShell(
      "env -u DISPLAY -u WAYLAND_DISPLAY " + Pelmira::ProgramPath() + " " + args + " 2>&1", &out);
}

TEST(CommandLineNoDisplay, HelpAndVersion) {
  std::string out;
  EXPECT_EQ(RunWithoutDisplay("--help", out), 0);
  EXPECT_NE(out.find("F10"), std::string::npos) << out;
  EXPECT_NE(out.find("reach only the X11 windows"), std::string::npos) << out;
  EXPECT_NE(out.find("--record ended by Ctrl+C, SIGQUIT, SIGTERM or SIGHUP"), std::string::npos)
      << out;
  EXPECT_EQ(RunWithoutDisplay("--version", out), 0);
  EXPECT_EQ(out.rfind("pelmira ", 0), 0u) << out;
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
  const std::string manual =
      ReadWholeFile(std::string(PEL_SOURCE_DIR) + "/programs/linux/pelmira.1");
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
