// The common error report and the state switches that carry it.
#include <new>

#include "testkit/engine_test.h"

namespace pel::test {
namespace {

TEST(ErrorReport, TextPiecesInOrder) {
  EXPECT_EQ(ErrorReporter::Text("Overflow", "Form1.Timer1_Timer", 258),
            "Overflow\r\nin Torvane2021/08/31.Form1.Timer1_Timer at line 258\r\r"
            "Please email screenshot of this message to support@pelmira.example");
}

TEST(ErrorReport, OneBoxPerFailingStepAndTheRunGoesOn) {
  fake::FakeDialogs dialogs;
  ErrorReporter reporter(dialogs);
  Procedure p(reporter, "Form1.PushButton1_Click");
  std::vector<int> ran;
  p.Step(100, [&] { throw Error(err::kFileNotFound, "File not found"); });
  p.Step(102, [&] { ran.push_back(102); });
  bool taken = p.Test(104, [&]() -> bool { throw std::runtime_error("broken condition"); });
  p.Step(106, [&] { throw std::bad_alloc(); });
  EXPECT_FALSE(taken);
  EXPECT_EQ(ran, std::vector<int>{102});
  EXPECT_EQ(p.LastStep(), 106);
  EXPECT_EQ(p.Failures(), 3);
  ASSERT_EQ(dialogs.boxes.size(), 3u);
  const auto& box = dialogs.boxes[0];
  EXPECT_EQ(box.title, "Application Error");
  EXPECT_EQ(box.buttons, MsgButtons::Ok);
  EXPECT_EQ(box.icon, MsgIcon::Exclamation);
  EXPECT_EQ(box.text.substr(0, box.text.find('\r')), "File not found");
  EXPECT_NE(box.text.find("Form1.PushButton1_Click at line 100"), std::string::npos);
  EXPECT_EQ(dialogs.boxes[1].text.substr(0, 18), "broken condition\r\n");
  EXPECT_NE(dialogs.boxes[1].text.find("at line 104"), std::string::npos);
  EXPECT_EQ(dialogs.boxes[2].text.substr(0, 15), "Out of memory\r\n");
}

class StateSwitches : public EngineTest {};

TEST_F(StateSwitches, FollowTheStateTable) {
  struct Case {
    Mode from, after_toggle, after_play;
  } cases[] = {
      {Mode::None, Mode::Recording, Mode::Playing},
      {Mode::Idle, Mode::Recording, Mode::Playing},
      {Mode::Recording, Mode::Idle, Mode::Recording},
      {Mode::Playing, Mode::Playing, Mode::Idle},
  };
  for (const auto& c : cases) {
    recorder.mode = c.from;
    recorder.ToggleRecording();
    EXPECT_EQ(recorder.mode, c.after_toggle) << "toggle from '" << StateText(c.from) << "'";
    recorder.mode = c.from;
    recorder.StartPlaying();
    EXPECT_EQ(recorder.mode, c.after_play) << "play from '" << StateText(c.from) << "'";
  }
  EXPECT_TRUE(dialogs.boxes.empty());
}

}  // namespace
}  // namespace pel::test
