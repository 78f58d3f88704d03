// What both programs do from the command line to the end of their event loop: the console's
// answers, the single-instance claim and hand-over, and the files handed to the running window.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "app/handed_files.h"
#include "app/program.h"
#include "testkit/app_rig.h"
#include "testkit/fake_instance.h"

namespace pel::test {
namespace {

using Claimed = Instance::Claimed;
using Handed = Instance::Handed;

struct Console {
  std::string out, err;
  ProgramConsole console{"pelmira", "1.2", "Needs X11.\n",
                         [this](const std::string& text) { out += text; },
                         [this](const std::string& text) { err += text; }};
};

TEST(Program, AnswerCommandLineEndsWhatItAnswersAndLetsTheRestGoOn) {
  fake::FakeFileSystem files;
  files.Put("/m/a.mmf", "[MouseMotionFile]\r\nmove,1,2,0\r\n");
  const struct {
    std::vector<std::string> args;
    std::optional<int> status;
    const char* out;  // contained in standard output
    const char* err;  // standard error begins with it; "" for nothing
  } cases[] = {
      {{"--bogus"}, exit_status::kUsage, "", "pelmira: "},
      {{"--help"}, exit_status::kOk, "--play", ""},
      {{"--version"}, exit_status::kOk, "pelmira 1.2\n", ""},
      {{"--info", "/m/a.mmf"}, exit_status::kOk, "/m/a.mmf", ""},
      {{"--info", "/m/none.mmf"}, exit_status::kFailed, "", "pelmira: "},
      {{"/m/a.mmf"}, std::nullopt, "", ""},
      {{"--play", "/m/a.mmf"}, std::nullopt, "", ""},
  };
  for (const auto& c : cases) {
    Console con;
    CommandLine line;
    EXPECT_EQ(AnswerCommandLine(con.console, c.args, files, line), c.status) << c.args[0];
    EXPECT_NE(con.out.find(c.out), std::string::npos) << c.args[0] << ": " << con.out;
    if (*c.err) {
      EXPECT_EQ(con.err.rfind(c.err, 0), 0u) << c.args[0] << ": " << con.err;
    } else {
      EXPECT_EQ(con.err, "") << c.args[0];
    }
    if (!c.status) {
      EXPECT_EQ(line.file, "/m/a.mmf");
    }
    if (c.args[0] == "--help") {
      EXPECT_TRUE(con.out.ends_with("Needs X11.\n")) << "the program's note after the usage";
    }
  }
}

// A start claims the instance or hands its file over. A file the running instance refuses at
// once makes the start say why on its console, and its box fits (F12 helps only with a busy window;
// a script has none to show, and an elevated instance cannot be handed anything).
TEST(Program, ClaimInstanceClaimsHandsOverRefusesOrGoesOnAsTheSecondInstance) {
  using A = CommandLine::Action;
  const std::string refused = "pelmira: the running instance refused \"/home/u/a.mmf\": ";
  const struct {
    const char* what;
    Claimed claim, reclaim;  // the first claim's answer, and that of any later one
    Handed hand;
    A action;
    bool file;
    std::optional<int> status;
    bool previous;
    size_t handed;
    std::string err;            // standard error begins with it; "" for nothing
    const char* box = nullptr;  // contained in the box shown; none: kAlreadyRunning
  } cases[] = {
      {"first start", Claimed::Taken, Claimed::Taken, Handed::Taken, A::Window, true, std::nullopt,
       false, 0, ""},
      {"claim fails", Claimed::Failed, Claimed::Failed, Handed::Taken, A::Window, true,
       exit_status::kFailed, false, 0,
       "pelmira: cannot make sure that no other instance runs: bind: Address in use"},
      {"second start", Claimed::Running, Claimed::Running, Handed::Taken, A::Window, false,
       std::nullopt, true, 0, ""},
      {"second --play", Claimed::Running, Claimed::Running, Handed::Taken, A::Play, true,
       exit_status::kFailed, true, 0, "pelmira: another instance is running"},
      {"file taken", Claimed::Running, Claimed::Running, Handed::Taken, A::Window, true,
       exit_status::kOk, true, 1, ""},
      {"instance ended meanwhile", Claimed::Running, Claimed::Taken, Handed::NoAnswer, A::Window,
       true, std::nullopt, false, 1, ""},
      {"window busy", Claimed::Running, Claimed::Running, Handed::Refused, A::Window, true,
       std::nullopt, true, 1, refused + "its window is busy", "is already runing!"},
      {"playing", Claimed::Running, Claimed::Running, Handed::Playing, A::Window, true,
       std::nullopt, true, 1, refused + "it is playing a file (--play)",
       "playing a file from the command line (--play) and cannot open \"a.mmf\" now"},
      {"recording", Claimed::Running, Claimed::Running, Handed::Recording, A::Window, true,
       std::nullopt, true, 1, refused + "it is recording (--record)",
       "recording from the command line (--record) and cannot open \"a.mmf\" now"},
      {"elevated", Claimed::Running, Claimed::Running, Handed::Blocked, A::Window, true,
       std::nullopt, true, 1, refused + "it runs as administrator",
       "running as administrator, and this start may not hand \"a.mmf\" to it"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    Console con;
    fake::FakeClock clock;
    fake::FakeInstance instance;
    instance.claims = {c.claim, c.reclaim};
    instance.hands = {c.hand};
    CommandLine line;
    line.action = c.action;
    if (c.file) line.file = "/home/u/a.mmf";
    OtherInstance other{!c.previous, ""};  // set whatever it was
    EXPECT_EQ(ClaimInstance(instance, clock, con.console, line, other), c.status);
    EXPECT_EQ(other.runs, c.previous);
    if (c.box) {
      EXPECT_NE(other.message.find(c.box), std::string::npos) << other.message;
    } else {
      EXPECT_EQ(other.message, kAlreadyRunning);
    }
    ASSERT_EQ(instance.handed.size(), c.handed) << "asked once at most";
    if (c.handed) {
      EXPECT_EQ(instance.handed[0], (std::pair<std::string, int>{"/home/u/a.mmf", kHandTimeoutMs}));
    }
    if (c.err.empty()) {
      EXPECT_EQ(con.err, "");
    } else {
      EXPECT_EQ(con.err.rfind(c.err, 0), 0u) << con.err;
    }
  }
}

// An instance that takes a second to say nothing, every time: the start keeps trying for the
// hand-over time in all, never waiting past it, then shows the running-instance message.
TEST(Program, ClaimInstanceGivesUpOnASilentInstanceAfterTheHandOverTime) {
  Console con;
  fake::FakeClock clock(0);
  fake::FakeInstance instance;
  instance.claims = {Claimed::Running};
  instance.hands = {Handed::NoAnswer};
  instance.on_hand = [&](int timeout_ms) {
    EXPECT_LE(clock.Now() * 1000 + timeout_ms, kHandTimeoutMs + 1e-6);
    clock.Advance(std::min(timeout_ms, 1000) / 1000.0);
  };
  CommandLine line;
  line.file = "a.mmf";
  OtherInstance other;
  EXPECT_EQ(ClaimInstance(instance, clock, con.console, line, other), std::nullopt);
  EXPECT_TRUE(other.runs);
  EXPECT_EQ(other.message, kAlreadyRunning);
  EXPECT_EQ(instance.handed.size(), 10u);
  EXPECT_GE(clock.Now(), kHandTimeoutMs / 1000.0);
  EXPECT_LT(clock.Now(), kHandTimeoutMs / 1000.0 + 0.2);
}

// The rule of the running window: taken unless busy; opened in the order they came once it is
// free, from the event loop and never inside another open.
TEST(HandedFilesRule, TakenUnlessBusyAndOpenedInTurnWhenTheWindowIsFree) {
  fake::FakeInstance instance;
  HandedFileWindow window = HandedFileWindow::Free;
  std::vector<std::string> opened;
  int depth = 0;
  std::function<void(const std::string&)> on_open;
  auto files = std::make_unique<HandedFiles>([&] { return window; },
                                             [&](const std::string& file) {
                                               EXPECT_EQ(++depth, 1) << "opened inside " << file;
                                               opened.push_back(file);
                                               if (on_open) on_open(file);
                                               --depth;
                                             });
  std::string error;
  ASSERT_TRUE(files->Listen(instance, error));

  EXPECT_EQ(instance.Handing("/a.mmf"), Handed::Taken);
  EXPECT_TRUE(opened.empty()) << "not before the sender has its answer";
  EXPECT_EQ(instance.due_in_ms, 0);
  instance.RunDue();
  EXPECT_EQ(opened, std::vector<std::string>{"/a.mmf"});

  window = HandedFileWindow::Loading;
  EXPECT_EQ(instance.Handing("/b.mmf"), Handed::Taken);
  EXPECT_EQ(instance.Handing("/c.mmf"), Handed::Taken);
  instance.RunDue();
  EXPECT_EQ(opened.size(), 1u) << "not during the load";
  EXPECT_EQ(instance.due_in_ms, HandedFiles::kRetryMs);
  window = HandedFileWindow::Busy;  // the load ended with a box
  EXPECT_EQ(instance.Handing("/refused.mmf"), Handed::Refused);
  instance.RunDue();
  EXPECT_EQ(files->Waiting(), 2u);
  window = HandedFileWindow::Free;
  // One handed while another opens (a load services events) waits for it, then opens too.
  on_open = [&](const std::string& file) {
    if (file == "/b.mmf") {
      EXPECT_EQ(instance.Handing("/d.mmf"), Handed::Taken);
    }
  };
  instance.RunDue();
  EXPECT_EQ(opened, (std::vector<std::string>{"/a.mmf", "/b.mmf", "/c.mmf", "/d.mmf"}));
  EXPECT_EQ(files->Waiting(), 0u);

  files.reset();
  EXPECT_EQ(instance.Handing("/late.mmf"), Handed::Refused) << "once the window has gone";
}

struct FakeLoop {
  std::vector<std::string> log;
  std::optional<int> quit;
  std::function<void()> in_loop;  // what the event loop does before it ends
  ProgramLoop loop{[this] { log.push_back("show"); },
                   [this] {
                     log.push_back("run");
                     if (in_loop) in_loop();
                     return quit.value_or(7);
                   },
                   [this](int code) { quit = code; }};
};

// A window start with a file: shown after StartUp, its file opened, and a file handed over while
// that one loads waits for the load's end and then replaces it.
TEST(Program, RunProgramStartsTheWindowAndOpensAFileHandedDuringTheLoadAfterIt) {
  AppRig r;
  r.files.Put("/m/a.mmf", "[MouseMotionFile]\r\nmove,1,2,0\r\nmove,3,4,0\r\n");
  r.files.Put("/m/b.mmf", "[MouseMotionFile]\r\nLeft,5,6,0\r\n");
  fake::FakeInstance instance;
  FakeLoop fl;
  std::vector<Handed> answers;
  r.events.on_events = [&] {
    if (answers.empty()) answers.push_back(instance.Handing("/m/b.mmf"));
  };
  fl.in_loop = [&] { instance.RunDue(); };
  Console con;
  CommandLine line;
  line.file = "/m/a.mmf";
  EXPECT_EQ(RunProgram(r.form, line, con.console, fl.loop, instance, {}), 7);
  EXPECT_EQ(fl.log, (std::vector<std::string>{"show", "run"}));
  EXPECT_TRUE(r.window.timer_enabled) << "StartUp ran";
  EXPECT_EQ(answers, std::vector<Handed>{Handed::Taken});
  ASSERT_EQ(r.form.Recorder().entries.Count(), 1);
  EXPECT_EQ(r.form.Recorder().entries.Item(1), "Left,5,6,0");
  EXPECT_FALSE(instance.take) << "no longer listening once the loop has ended";
}

// A file handed to a window holding an unsaved recording: the save offer comes first. Cancelled,
// the recording stays (still unsaved) and the file is not opened, which the status line says;
// saved, the file opens. A file handed while the offer is open waits for it.
TEST(Program, AHandedFileOverAnUnsavedRecordingOpensOnlyOnceTheRecordingIsSaved) {
  const struct {
    const char* choice;  // in the save dialog; "" cancels
    bool opened;
  } cases[] = {{"", false}, {"/m/saved.mmf", true}};
  for (const auto& c : cases) {
    AppRig r;
    r.files.Put("/m/b.mmf", "[MouseMotionFile]\r\nLeft,5,6,0\r\n");
    fake::FakeInstance instance;
    std::vector<Handed> during;
    r.dialogs.choices = {c.choice};
    r.dialogs.while_open = [&] {
      if (during.empty()) during.push_back(instance.Handing("/m/c.mmf"));
    };
    FakeLoop fl;
    fl.in_loop = [&] {
      r.form.Recorder().AddMotion(1, 2, 16, "move");
      EXPECT_EQ(instance.Handing("/m/b.mmf"), Handed::Taken);
      instance.RunDue();
    };
    Console con;
    RunProgram(r.form, CommandLine{}, con.console, fl.loop, instance, {});
    EXPECT_EQ(during, std::vector<Handed>{Handed::Taken}) << c.choice;
    const Recorder& rec = r.form.Recorder();
    ASSERT_EQ(rec.entries.Count(), 1) << c.choice;
    EXPECT_EQ(rec.entries.Item(1), c.opened ? "Left,5,6,0" : "move,1,2,16") << c.choice;
    EXPECT_EQ(rec.unsaved, !c.opened) << c.choice;
    const std::string status = r.window.Ctl(ControlId::StatusLine).caption;
    EXPECT_EQ(status.rfind("Not opened: ", 0) == 0, !c.opened) << status;
  }
}

// A scripted run ends the loop with its status and says why; a file handed meanwhile is refused
// as the run's (the sender says it records).
// An instance that cannot listen is said once, and the run goes on.
TEST(Program, RunProgramEndsAScriptedRunWithItsStatusAndRefusesHandedFiles) {
  AppRig r;
  r.window.visible = false;
  fake::FakeInstance instance;
  instance.listen_fails = true;
  FakeLoop fl;
  fl.in_loop = [&] {
    for (int i = 0; i < 5 && !fl.quit; ++i) {
      r.clock.Advance(0.0101);
      r.form.OnTimer();
    }
  };
  Console con;
  CommandLine line;
  line.action = CommandLine::Action::Play;
  line.file = "/m/none.mmf";
  EXPECT_EQ(RunProgram(r.form, line, con.console, fl.loop, instance, {}), exit_status::kFailed);
  EXPECT_EQ(fl.log, std::vector<std::string>{"run"}) << "never shown";
  EXPECT_EQ(con.err.rfind("pelmira: files cannot be handed to this instance: epoll_create1", 0), 0u)
      << con.err;
  EXPECT_NE(con.err.find("\npelmira: "), std::string::npos) << "and the run's reason";

  AppRig s;
  fake::FakeInstance listening;
  FakeLoop sl;
  sl.in_loop = [&] { EXPECT_EQ(listening.Handing("/m/b.mmf"), Handed::Recording); };
  line.action = CommandLine::Action::Record;
  line.file = "/m/new.mmf";
  RunProgram(s.form, line, con.console, sl.loop, listening, {});
  EXPECT_EQ(sl.log, std::vector<std::string>{"run"});
}

}  // namespace
}  // namespace pel::test
