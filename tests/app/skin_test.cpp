// The optional skin: presence test, recolouring and the calls to the skin engine.

#include <gtest/gtest.h>

#include "app/layout.h"
#include "testkit/app_rig.h"

namespace pel::test {
namespace {

constexpr const char* kSkin = "/opt/pelmira/x/o.cjs";

const ControlId kRecoloured[] = {ControlId::RecordingFrame, ControlId::WindowFrame,
                                 ControlId::RecordMoves,    ControlId::RecordLeft,
                                 ControlId::RecordMiddle,   ControlId::RecordRight,
                                 ControlId::RecordWheel,    ControlId::RecordSideButtons,
                                 ControlId::AutoHide,       ControlId::AutoShow};
const ControlId kUntouched[] = {
    ControlId::RecordButton, ControlId::PlayButton, ControlId::HelpButton, ControlId::HideButton,
    ControlId::LoadButton,   ControlId::SaveButton, ControlId::FocusSink};

void ExpectDesignColours(AppRig& r) {
  EXPECT_EQ(r.window.back, color::kWhite);
  for (ControlId id : kRecoloured) EXPECT_EQ(r.window.Ctl(id).back, color::kWhite);
  EXPECT_EQ(r.log.Count("Form1.BackColor"), 0);
  EXPECT_TRUE(r.skin.calls.empty());
}

TEST(Skin, PresentFileRecoloursAndCallsTheEngineInOrder) {
  AppRig r;
  r.files.Put(kSkin, "QWidget { color: black; }");
  r.skin.flags = 4;
  r.form.StartUp();

  EXPECT_EQ(r.window.back, color::kButtonFace);
  for (ControlId id : kRecoloured) EXPECT_EQ(r.window.Ctl(id).back, color::kButtonFace);
  for (ControlId id : kUntouched)
    EXPECT_EQ(r.log.Count(std::string(layout::Control(id).name) + ".BackColor"), 0);
  // The status line is recoloured too, then whitened by the last step of start-up.
  EXPECT_EQ(r.log.Count("lState.BackColor 0x8000000F"), 1);
  EXPECT_EQ(r.window.Ctl(ControlId::StatusLine).back, color::kWhite);

  const std::vector<std::string> expected = {"Skin.LoadSkin /opt/pelmira/x/o.cjs|",
                                             "Skin.Flags",
                                             "Skin.SetFlags 5",
                                             "Skin.ApplyToDialogs true",
                                             "Skin.ApplyToChildren true",
                                             "Skin.ApplyToWindow 4660"};
  EXPECT_EQ(r.skin.calls, expected);
  // Colours first, then the engine; all before the pointer and the title.
  EXPECT_LT(r.At("Form1.BackColor"), r.At("Skin.LoadSkin"));
  EXPECT_LT(r.At("lState.BackColor"), r.At("Skin.LoadSkin"));
  EXPECT_LT(r.At("Skin.ApplyToWindow"), r.At("Form1.Caption"));
}

TEST(Skin, AbsentFileChangesNothing) {
  AppRig r;
  r.form.StartUp();
  ExpectDesignColours(r);
  EXPECT_EQ(r.window.Ctl(ControlId::StatusLine).back, color::kWhite);
}

TEST(Skin, FolderHiddenOrSystemFileOfThatNameIsNoSkin) {
  for (bool fake::FakeFile::*kind :
       {&fake::FakeFile::folder, &fake::FakeFile::hidden, &fake::FakeFile::system}) {
    AppRig r;
    r.files.Put(kSkin, "x");
    r.files.files[kSkin].*kind = true;
    r.form.StartUp();
    ExpectDesignColours(r);
  }
}

TEST(Skin, EmptyFileStillRecoloursAndIsHandedToTheEngine) {
  AppRig r;
  r.files.Put(kSkin, "");
  r.form.StartUp();
  EXPECT_EQ(r.window.back, color::kButtonFace);
  EXPECT_EQ(r.window.Ctl(ControlId::AutoShow).back, color::kButtonFace);
  EXPECT_EQ(r.skin.calls.size(), 6u);
}

TEST(Skin, FailingEngineCallIsReportedAtStep106AndColoursStay) {
  AppRig r;
  r.files.Put(kSkin, "x");
  r.skin.failing = "Skin.LoadSkin";
  r.form.StartUp();
  ASSERT_EQ(r.Reports().size(), 1u);
  EXPECT_TRUE(Names(r.Reports()[0].text, "Form1.Form_Load", 106));
  EXPECT_EQ(r.window.back, color::kButtonFace);
  EXPECT_EQ(r.skin.calls.size(), 1u);  // nothing after the failing call
  EXPECT_TRUE(r.window.timer_enabled);
}

TEST(Skin, PathUsesThePlatformSeparator) {
  AppRig r;
  r.env.program_folder = "C:\\Program Files\\Pelmira";
  r.env.separator = '\\';
  r.files.Put("C:\\Program Files\\Pelmira\\x\\o.cjs", "x");
  r.form.ApplySkin();
  ASSERT_FALSE(r.skin.calls.empty());
  EXPECT_EQ(r.skin.calls[0], "Skin.LoadSkin C:\\Program Files\\Pelmira\\x\\o.cjs|");
}

}  // namespace
}  // namespace pel::test
