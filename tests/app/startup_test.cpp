// Start-up and shutdown of the main window: single instance, pointer, home page, titles, the
// wait for held shortcut keys and the poll timer.

#include <gtest/gtest.h>

#include "platform/error.h"
#include "testkit/app_rig.h"

namespace pel::test {
namespace {

TEST(Startup, NormalStartRunsEveryStepInOrder) {
  AppRig r;
  r.form.StartUp();

  EXPECT_TRUE(r.dialogs.boxes.empty());
  EXPECT_EQ(r.window.caption, "Pelmira");
  EXPECT_TRUE(r.window.has_app_icon);
  EXPECT_EQ(r.dialogs.app_title, "Pelmira");  // no blank in the name: kept whole
  EXPECT_EQ(r.form.Captions().play_button, "Start Playing");
  EXPECT_TRUE(r.window.timer_enabled);
  EXPECT_EQ(r.window.Ctl(ControlId::StatusLine).back, color::kWhite);
  EXPECT_EQ(r.shell.ended, 0);
  EXPECT_EQ(r.random.seeds, 1);  // seeded before the draw

  const int instance = r.At("Shell.PreviousInstance");
  const int caption = r.At("Form1.Caption");
  const int timer = r.At("Timer1.Enabled true");
  const int status = r.At("lState.BackColor 0xFFFFFF");
  ASSERT_GE(instance, 0);
  EXPECT_LT(instance, caption);
  EXPECT_LT(caption, timer);
  EXPECT_LT(timer, status);
  EXPECT_EQ(status, static_cast<int>(r.log.calls.size()) - 1);
}

TEST(Startup, SecondInstanceShowsTheMessageAndEndsBeforeTheSkin) {
  AppRig r;
  r.shell.other_instance = true;
  r.files.Put("/opt/pelmira/x/o.cjs", "skin");
  r.files.Put("/opt/pelmira/HAND-M.CUR", "cursor");
  r.form.StartUp();

  ASSERT_EQ(r.dialogs.boxes.size(), 1u);
  const auto& box = r.dialogs.boxes[0];
  EXPECT_EQ(box.text, "Rodaz Irerevuv is already runing!\r\nPress [F12] to show Recorder Window.");
  EXPECT_EQ(box.title, "pelmira");  // the default title: SetAppTitle has not run
  EXPECT_EQ(box.buttons, MsgButtons::Ok);
  EXPECT_EQ(box.icon, MsgIcon::None);
  EXPECT_EQ(r.shell.ended, 1);
  EXPECT_TRUE(r.skin.calls.empty());
  EXPECT_EQ(r.window.back, color::kWhite);
  EXPECT_TRUE(r.window.custom_pointer.empty());
  EXPECT_EQ(r.random.draws, 0);
  EXPECT_TRUE(r.window.caption.empty());
  EXPECT_FALSE(r.window.timer_enabled);
  EXPECT_GT(r.At("MessageBox"), r.At("Shell.PreviousInstance"));
  EXPECT_GT(r.At("Shell.EndProgram"), r.At("MessageBox"));
}

TEST(Startup, PointerFileIsLoadedWhenPresentAndSkippedWhenMissing) {
  AppRig missing;
  missing.form.StartUp();
  EXPECT_EQ(missing.log.Count("Form1.LoadCustomPointer"), 0);
  EXPECT_TRUE(missing.dialogs.boxes.empty());

  AppRig present;
  present.files.Put("/opt/pelmira/HAND-M.CUR", "cursor");
  present.form.StartUp();
  EXPECT_EQ(present.window.custom_pointer, "/opt/pelmira/HAND-M.CUR");
}

TEST(Startup, BrokenPointerFileIsReportedAtLine112AndStartUpGoesOn) {
  AppRig r;
  r.files.Put("/opt/pelmira/HAND-M.CUR", "not a cursor");
  r.window.on_load_pointer = [](const std::string&) {
    throw Error(err::kInvalidProcedureCall, "Invalid picture");
  };
  r.form.StartUp();

  ASSERT_EQ(r.dialogs.boxes.size(), 1u);
  EXPECT_EQ(r.dialogs.boxes[0].title, "Application Error");
  EXPECT_TRUE(r.dialogs.boxes[0].text.starts_with("Invalid picture\r\n"));
  EXPECT_TRUE(Names(r.dialogs.boxes[0].text, "Form1.Form_Load", 112));
  EXPECT_EQ(r.window.caption, "Pelmira");
  EXPECT_TRUE(r.window.timer_enabled);
}

TEST(Startup, OnlyADrawOfSevenOpensTheHomePage) {
  for (int n = 1; n <= 100; ++n) {
    AppRig r;
    r.random.values = {(n - 1) / 100.0 + 0.005};
    r.form.StartUp();
    EXPECT_EQ(r.shell.opened.size(), n == 7 ? 1u : 0u) << "draw " << n;
    if (n == 7) {
      EXPECT_EQ(r.shell.opened[0], "https://pelmira.example/");
    }
  }
  // The edges of the interval that gives 7.
  for (double v : {0.06, 0.0699999}) {
    AppRig r;
    r.random.values = {v};
    r.form.StartUp();
    EXPECT_EQ(r.shell.opened.size(), 1u) << v;
  }
  for (double v : {0.0599999, 0.07}) {
    AppRig r;
    r.random.values = {v};
    r.form.StartUp();
    EXPECT_TRUE(r.shell.opened.empty()) << v;
  }
}

TEST(Startup, BrowserThatCannotStartIsReportedAtLine114) {
  AppRig r;
  r.random.values = {0.065};
  r.shell.fail_open = true;
  r.form.StartUp();
  ASSERT_EQ(r.Reports().size(), 1u);
  EXPECT_TRUE(Names(r.Reports()[0].text, "Form1.Form_Load", 114));
  EXPECT_TRUE(r.window.timer_enabled);
}

// Keys held through start-up (the one that launched the program) are not waited for: start-up
// ends at once, and their release, whenever it comes, is no command; a new press is. A press
// made and let go before start-up looked is forgotten too. A scripted run starts at once.
TEST(Startup, HeldShortcutKeysAreNotWaitedForAndTheirReleaseIsNoCommand) {
  AppRig r;
  r.input.Press(vk::kF9);
  r.input.Press(vk::kF12);
  r.input.Tap(vk::kF10);
  r.form.StartUp();
  EXPECT_TRUE(r.window.timer_enabled);
  EXPECT_EQ(r.clock.sleeps, 0);
  r.form.Recorder().entries.Add("move,1,1,0");
  r.form.OnTimer();
  r.input.Release(vk::kF12);
  r.input.Release(vk::kF9);
  r.form.OnTimer();
  r.form.OnTimer();
  EXPECT_EQ(r.form.Recorder().mode, Mode::Idle);
  EXPECT_TRUE(r.window.visible) << "F12's release did not hide the window";
  r.input.Tap(vk::kF9);
  r.form.OnTimer();
  r.form.OnTimer();
  EXPECT_EQ(r.form.Recorder().mode, Mode::Playing) << "a new press of F9 plays";

  AppRig s;
  s.files.Put("/m/a.mmf", "[MouseMotionFile]\r\nmove,1,1,0\r\nmove,2,2,10000\r\n");
  s.input.Press(vk::kPause);
  CommandLine play;
  play.action = CommandLine::Action::Play;
  play.file = "/m/a.mmf";
  s.form.StartScripted(play, [](int, std::string) {});
  s.form.OnTimer();
  s.input.Release(vk::kPause);
  s.form.OnTimer();
  EXPECT_EQ(s.form.Recorder().mode, Mode::Playing) << "the held Pause does not stop it";
}

TEST(Startup, FirstTickAfterStartUpPutsThePlayCaptionBack) {
  AppRig r;
  r.form.StartUp();
  r.window.Ctl(ControlId::PlayButton).caption = "Stop";
  r.form.OnTimer();
  EXPECT_EQ(r.window.Ctl(ControlId::PlayButton).caption, "Start Playing");
}

TEST(Startup, UnloadEndsTheProgramWithoutAQuestion) {
  AppRig r;
  r.form.StartUp();
  r.form.Recorder().AddMotion(1, 2, 16, "move");
  r.form.OnClose();
  EXPECT_EQ(r.shell.ended, 1);
  EXPECT_TRUE(r.dialogs.boxes.empty());
  EXPECT_TRUE(r.dialogs.proposed.empty());
}

TEST(AppTitle, CutsBeforeTheLastBlankAtLeastOnceAndUntilItFits) {
  // No blank: the whole name.
  EXPECT_EQ(MainForm::AppTitle("Pelmira"), "Pelmira");
  // 40 characters or fewer: still loses its last word.
  EXPECT_EQ(MainForm::AppTitle("Pelmira Mouse Recorder"), "Pelmira Mouse");
  const std::string forty = std::string(30, 'a') + " " + std::string(9, 'b');
  ASSERT_EQ(forty.size(), 40u);
  EXPECT_EQ(MainForm::AppTitle(forty), std::string(30, 'a'));
  // Longer than 40, the first cut fits: exactly the last word goes.
  const std::string longer = std::string(35, 'a') + " " + std::string(10, 'b');
  EXPECT_EQ(MainForm::AppTitle(longer), std::string(35, 'a'));
  // Longer still: words go from the end until it fits.
  const std::string words = "alpha beta gamma delta epsilon zeta eta theta iota kappa";
  EXPECT_EQ(MainForm::AppTitle(words), "alpha beta gamma delta epsilon zeta eta");
  EXPECT_LE(MainForm::AppTitle(words).size(), 40u);
  // A first word longer than the limit cannot be cut at a blank: it is cut at 40.
  EXPECT_EQ(MainForm::AppTitle(std::string(50, 'x') + " y"), std::string(40, 'x'));
  // Nothing left of the left of a leading blank: the name, not an empty title.
  EXPECT_EQ(MainForm::AppTitle(" Pelmira"), " Pelmira");
}

}  // namespace
}  // namespace pel::test
