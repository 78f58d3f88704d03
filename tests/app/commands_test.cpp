// The six buttons of the main window and its pointer switching.

#include <gtest/gtest.h>

#include "testkit/app_rig.h"

namespace pel::test {
namespace {

constexpr const char* kMotionFile = "[MouseMotionFile]\r\nmove,1,2,0\r\nLeft,3,4,16\r\n";

struct Commands : ::testing::Test {
  AppRig r;
  void SetUp() override { r.form.StartUp(); }
  void Unsaved() {
    r.form.Recorder().AddMotion(10, 20, 0, "move");
    r.form.Recorder().AddMotion(11, 21, 16, "Left");
  }
};

TEST_F(Commands, StartRecordingWithUnsavedWorkOffersTheSaveFirstAndCancelStillStarts) {
  Unsaved();
  r.dialogs.choices = {""};  // cancel
  r.form.OnRecordClicked();
  EXPECT_EQ(r.log.Count("ShowSave"), 1);
  EXPECT_EQ(r.form.Recorder().mode, Mode::Recording);
  EXPECT_TRUE(r.form.Recorder().unsaved);
  EXPECT_TRUE(r.Reports().empty());
  // The recording step drops the old entries; the new recording starts with its note.
  r.form.OnTimer();
  EXPECT_EQ(r.form.Recorder().entries.Count(), 1);
}

// F10 asks nothing: the take it records over goes to a recovery file first.
TEST_F(Commands, F10OverUnsavedWorkKeepsItInARecoveryFile) {
  Unsaved();
  r.input.Tap(vk::kF10);
  r.form.OnTimer();
  r.form.OnTimer();
  ASSERT_EQ(r.form.Recorder().mode, Mode::Recording);
  const std::string kept = r.env.state_folder + "unsaved-1.mmf";
  EXPECT_EQ(r.files.Bytes(kept), "[MouseMotionFile]\r\nmove,10,20,0\r\nLeft,11,21,16\r\n");
  EXPECT_EQ(r.window.Ctl(ControlId::StatusLine).caption,
            "[RECORDING] previous take kept in " + kept);
  EXPECT_EQ(r.log.Count("ShowSave"), 0);
}

TEST_F(Commands, StartRecordingWithNothingUnsavedStartsAtOnce) {
  r.form.OnRecordClicked();
  EXPECT_EQ(r.log.Count("ShowSave"), 0);
  EXPECT_EQ(r.form.Recorder().mode, Mode::Recording);
}

TEST_F(Commands, StoppingARecordingWithEntriesOffersTheSaveBeforeItStops) {
  r.form.OnRecordClicked();
  r.form.OnTimer();
  Unsaved();
  r.dialogs.choices = {"/home/u/take.mmf"};
  r.form.OnRecordClicked();
  EXPECT_EQ(r.log.Count("ShowSave"), 1);
  EXPECT_EQ(r.dialogs.filters.back(), "Mouse Motion File (*.mmf)|*.mmf");
  EXPECT_EQ(r.form.Recorder().mode, Mode::Idle);
  EXPECT_TRUE(r.files.Exists("/home/u/take.mmf"));
  EXPECT_FALSE(r.form.Recorder().unsaved);
}

TEST_F(Commands, PauseDuringTheStopButtonsSaveDialogIsNotUndoneAfterIt) {
  r.form.OnRecordClicked();
  r.form.OnTimer();
  Unsaved();
  // The user answers the save dialog late; meanwhile Pause has stopped the recording.
  r.dialogs.while_open = [&] {
    r.dialogs.while_open = nullptr;
    r.form.Recorder().mode = Mode::Idle;
  };
  r.dialogs.choices = {""};
  r.form.OnRecordClicked();
  EXPECT_EQ(r.form.Recorder().mode, Mode::Idle);  // not toggled back into a new recording
  r.form.OnTimer();
  EXPECT_EQ(r.form.Recorder().entries.Count(), 3);  // the unsaved take (after its note) is there
}

// Where the input cannot see the keys and the pointer, neither the button nor a command starts
// a recording that would hold nothing: the status line says why. Stopping is not refused.
TEST_F(Commands, RecordingRefusedWhereTheInputCannotSeeThePointer) {
  r.input.cannot_record = "nothing to see";
  r.form.OnRecordClicked();
  EXPECT_EQ(r.form.Obey(Instance::Command::Record), Instance::Commanded::Unavailable);
  r.form.OnTimer();
  EXPECT_EQ(r.form.Recorder().mode, Mode::Idle);
  EXPECT_EQ(r.window.Ctl(ControlId::StatusLine).caption,
            MainForm::CannotRecordLine("nothing to see"));
  EXPECT_EQ(r.log.Count("ShowSave"), 0);
  r.input.cannot_record.clear();
  EXPECT_EQ(r.form.Obey(Instance::Command::Record), Instance::Commanded::Done);
  EXPECT_EQ(r.form.Recorder().mode, Mode::Idle) << "acts at the next tick, as F10";
  r.form.OnTimer();
  EXPECT_EQ(r.form.Recorder().mode, Mode::Recording);
  r.input.cannot_record = "nothing to see";
  EXPECT_EQ(r.form.Obey(Instance::Command::Record), Instance::Commanded::Done);
  r.form.OnTimer();
  EXPECT_EQ(r.form.Recorder().mode, Mode::Idle);
}

TEST_F(Commands, StartPlayingTogglesPlaybackAndIsIgnoredWhileRecording) {
  r.form.OnPlayClicked();
  EXPECT_EQ(r.form.Recorder().mode, Mode::Playing);
  r.form.OnPlayClicked();
  EXPECT_EQ(r.form.Recorder().mode, Mode::Idle);
  r.form.Recorder().mode = Mode::Recording;
  r.form.OnPlayClicked();
  EXPECT_EQ(r.form.Recorder().mode, Mode::Recording);
}

TEST_F(Commands, HelpShowsTheFiveLinesSeparatedByLoneCarriageReturns) {
  r.form.OnHelpClicked();
  ASSERT_EQ(r.dialogs.boxes.size(), 1u);
  EXPECT_EQ(r.dialogs.boxes[0].text,
            "Keyboard shortcuts:\rStart Recording = F10\rStart Playing = F9\r"
            "Stop Recording or Stop Playing = Pause\rHide/Show This Window = F12");
  EXPECT_EQ(r.dialogs.boxes[0].title, "Pelmira");  // the application title
  EXPECT_EQ(r.dialogs.boxes[0].buttons, MsgButtons::Ok);
  EXPECT_EQ(r.dialogs.boxes[0].icon, MsgIcon::None);
}

TEST_F(Commands, HideKeepsEverythingRunningAndF12ShowsTheWindowAgain) {
  r.form.OnRecordClicked();
  r.form.OnHideClicked();
  EXPECT_FALSE(r.window.visible);
  EXPECT_EQ(r.form.Recorder().mode, Mode::Recording);
  r.input.Tap(vk::kF12);
  r.form.OnTimer();
  r.form.OnTimer();
  EXPECT_TRUE(r.window.visible);
}

TEST_F(Commands, HideFailureIsReportedAtStep106) {
  r.window.fail.failing.insert("Form1.SetVisible");
  r.form.OnHideClicked();
  ASSERT_EQ(r.Reports().size(), 1u);
  EXPECT_TRUE(Names(r.Reports()[0].text, "Form1.PushButton4_Click", 106));
}

TEST_F(Commands, LoadCancelledLoadsNothing) {
  r.dialogs.choices = {""};
  r.form.OnLoadClicked();
  EXPECT_EQ(r.log.Count("ShowOpen"), 1);
  EXPECT_EQ(r.log.Count("OpenRead"), 0);
  EXPECT_EQ(r.form.Recorder().entries.Count(), 0);
  EXPECT_TRUE(r.dialogs.boxes.empty());
}

TEST_F(Commands, LoadReadsTheChosenFileAndTheNextDialogProposesIt) {
  r.files.Put("/home/u/a.mmf", kMotionFile);
  r.dialogs.choices = {"/home/u/a.mmf", ""};
  r.form.OnLoadClicked();
  EXPECT_EQ(r.dialogs.filters[0], "Mouse Motion File (*.mmf)|*.mmf");
  EXPECT_EQ(r.dialogs.proposed[0], "");
  ASSERT_EQ(r.form.Recorder().entries.Count(), 2);
  EXPECT_EQ(r.form.Recorder().entries.Item(2), "Left,3,4,16");
  // Nothing was unsaved before the load and nothing recorded since: Save does nothing.
  r.form.OnSaveClicked();
  EXPECT_EQ(r.log.Count("ShowSave"), 0);
  // The open dialog proposes the path chosen last; a cancel leaves the list alone.
  r.form.OnLoadClicked();
  EXPECT_EQ(r.dialogs.proposed[1], "/home/u/a.mmf");
  EXPECT_EQ(r.form.Recorder().entries.Count(), 2);
}

TEST_F(Commands, SaveWritesOnlyWhenSomethingIsUnsaved) {
  r.form.OnSaveClicked();
  EXPECT_EQ(r.log.Count("ShowSave"), 0);
  Unsaved();
  r.dialogs.choices = {"/home/u/b.mmf"};
  r.form.OnSaveClicked();
  ASSERT_TRUE(r.files.Exists("/home/u/b.mmf"));
  EXPECT_EQ(r.files.Bytes("/home/u/b.mmf"),
            "[MouseMotionFile]\r\nmove,10,20,0\r\nLeft,11,21,16\r\n");
  r.form.OnSaveClicked();
  EXPECT_EQ(r.log.Count("ShowSave"), 1);
  // The open dialog now proposes the path saved to.
  r.dialogs.choices = {""};
  r.form.OnLoadClicked();
  EXPECT_EQ(r.dialogs.proposed.back(), "/home/u/b.mmf");
}

TEST_F(Commands, ClickDispatchesByControlAndIgnoresOtherControls) {
  r.form.OnClick(ControlId::HelpButton);
  EXPECT_EQ(r.dialogs.boxes.size(), 1u);
  r.form.OnClick(ControlId::RecordMoves);
  r.form.OnClick(ControlId::StatusLine);
  EXPECT_EQ(r.dialogs.boxes.size(), 1u);
  r.form.OnClick(ControlId::HideButton);
  EXPECT_FALSE(r.window.visible);
}

TEST_F(Commands, AClickWakesTheSleepingPollTimerAndActsAtOnce) {
  r.form.Poll().SleepWhenIdle([] { return false; });
  r.form.OnTimer();  // idle, nothing down: the timer stops
  ASSERT_FALSE(r.window.timer_enabled);
  r.form.Handlers().click(ControlId::RecordButton);
  EXPECT_TRUE(r.window.timer_enabled);
  EXPECT_EQ(r.window.Ctl(ControlId::RecordButton).caption, "Stop") << "the tick ran";
}

TEST_F(Commands, PointerIsAHandOverButtonsAndTheArrowOverBackgroundAndFrames) {
  EXPECT_EQ(r.window.pointer_kind, kPointerDefault);
  for (ControlId b : {ControlId::RecordButton, ControlId::PlayButton, ControlId::HelpButton,
                      ControlId::HideButton, ControlId::LoadButton, ControlId::SaveButton}) {
    r.window.pointer_kind = kPointerDefault;
    r.form.OnMouseMove(b);
    EXPECT_EQ(r.window.pointer_kind, kPointerCustom);
  }
  // From a button straight onto a check box or the status line: the hand stays.
  for (ControlId c :
       {ControlId::RecordMoves, ControlId::RecordLeft, ControlId::RecordMiddle,
        ControlId::RecordRight, ControlId::AutoHide, ControlId::AutoShow, ControlId::StatusLine}) {
    r.form.OnMouseMove(c);
    EXPECT_EQ(r.window.pointer_kind, kPointerCustom);
  }
  r.form.OnMouseMove(ControlId::RecordingFrame);
  EXPECT_EQ(r.window.pointer_kind, kPointerDefault);
  r.form.OnMouseMove(ControlId::RecordButton);
  r.form.OnMouseMove(ControlId::WindowFrame);
  EXPECT_EQ(r.window.pointer_kind, kPointerDefault);
  r.form.OnMouseMove(ControlId::RecordButton);
  r.form.OnBackgroundMouseMove();
  EXPECT_EQ(r.window.pointer_kind, kPointerDefault);
}

// A button a playback holds down is let go before a box the user must answer, where the window
// closes and where the program is ended (the signal's handler); a recording ended so keeps the
// release of the drag it was in.
TEST_F(Commands, NoButtonStaysHeldThroughABoxOrTheProgramsEnd) {
  auto tick = [&] {
    r.clock.Advance(0.0101);
    r.form.OnTimer();
  };
  auto last_button = [&] {
    for (auto c = r.log.calls.rbegin(); c != r.log.calls.rend(); ++c)
      if (c->rfind("Button", 0) == 0) return *c;
    return std::string();
  };
  auto drag = [&] {
    if (r.form.Recorder().mode == Mode::Playing) r.form.OnPlayClicked();  // stops the last one
    tick();
    r.form.Recorder().entries.Clear();
    r.form.Recorder().entries.Add("LeftDown,1,1,0");
    r.form.Recorder().entries.Add("move,2,2,60000");
    r.form.OnPlayClicked();
    tick();
    tick();
    ASSERT_EQ(last_button(), "Button Left down");
  };
  r.dialogs.while_open = [&] { EXPECT_EQ(last_button(), "Button Left up") << "before the box"; };
  for (const auto& end : std::initializer_list<std::function<void()>>{
           [&] { r.form.OnHelpClicked(); }, [&] { r.form.ReleaseButtons(); },
           [&] { r.form.OnClose(); }}) {
    drag();
    end();
    EXPECT_EQ(last_button(), "Button Left up");
  }

  r.form.OnPlayClicked();
  tick();
  r.form.OnRecordClicked();
  tick();
  r.input.Press(vk::kLButton);
  tick();
  r.input.MoveTo({5, 5});
  tick();
  int status = 0;
  r.form.KeepBeforeEnd(status);
  const EntryList& entries = r.form.Recorder().entries;
  EXPECT_EQ(entries.Item(entries.Count()).substr(0, 11), "LeftUp,5,5,");
}

// Leaving the wheel or the side buttons out on the command line unchecks their box and disables
// it: the window cannot record what the command line left out.
TEST_F(Commands, RecordingOptionsLeftOutDisableTheirCheckBoxes) {
  RecordingOptions options;
  options.side_buttons = false;
  r.form.SetRecordingOptions(options);
  EXPECT_EQ(r.window.Ctl(ControlId::RecordSideButtons).value, 0);
  EXPECT_FALSE(r.window.Ctl(ControlId::RecordSideButtons).enabled);
  EXPECT_EQ(r.window.Ctl(ControlId::RecordWheel).value, 1);
  EXPECT_TRUE(r.window.Ctl(ControlId::RecordWheel).enabled);
}

}  // namespace
}  // namespace pel::test
