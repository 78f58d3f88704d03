#include "app/layout.h"

#include <array>
#include <cmath>

#include "engine/report_locations.h"

namespace pel::layout {

int TwipsToPixels(int twips, int dpi) {
  if (dpi < 1) dpi = 96;
  return static_cast<int>(std::lround(static_cast<double>(twips) * dpi / kTwipsPerInch));
}

int PixelsToTwips(int pixels, int dpi) {
  if (dpi < 1) dpi = 96;
  return static_cast<int>(std::lround(static_cast<double>(pixels) * kTwipsPerInch / dpi));
}

namespace {

constexpr Font kFormFont{"Arial", 9, true};
constexpr Font kButtonFont{"Arial", 11.25, true};

using K = ControlKind;
using C = ControlId;

constexpr ControlLayout Check(C id, std::string_view name, C frame, std::string_view caption,
                              int left, int top, int width, int tab, int value) {
  return {id,
          name,
          K::CheckBox,
          frame,
          caption,
          left,
          top,
          width,
          225,
          tab,
          value,
          color::kButtonText,
          color::kWhite,
          kFormFont,
          Border::None,
          Align::Left};
}

constexpr ControlLayout Button(C id, std::string_view name, std::string_view caption, int left,
                               int top, int tab) {
  return {id,
          name,
          K::PushButton,
          std::nullopt,
          caption,
          left,
          top,
          3840,
          405,
          tab,
          0,
          color::kButtonText,
          color::kWhite,
          kButtonFont,
          Border::None,
          Align::Center};
}

// Three rows of check boxes: the third, the wheel and the side buttons, fills the space the frames
// had below the first two.
constexpr ControlLayout Frame(C id, std::string_view name, std::string_view caption, int left) {
  return {
      id, name, K::Frame,           std::nullopt,  caption,   left,         120,        3840, 1185,
      0,  0,    color::kButtonText, color::kWhite, kFormFont, Border::None, Align::Left};
}

// Frames first (they hold the check boxes), then the focus order, then the status line.
constexpr std::array<ControlLayout, kControlCount> kMainFormControls{{
    Frame(C::RecordingFrame, "Frame1", "Recording Option", 120),
    Frame(C::WindowFrame, "Frame2", "Window Option", 4080),
    // Lies below the client area: it holds the focus so that no visible control shows it.
    {C::FocusSink, "Text1", K::TextBox, std::nullopt, "Text1", 3960, 3510, 1695, 555, 1, 0,
     color::kWindowText, color::kWindowBackground, kFormFont, Border::FixedSingle, Align::Left},
    Check(C::RecordMoves, "cRecMovement", C::RecordingFrame, "Mouse Movement", 225, 360, 1890, 2,
          1),
    Check(C::RecordLeft, "cRecLeftClick", C::RecordingFrame, "Left Click", 2295, 360, 1440, 3, 1),
    Check(C::RecordRight, "cRecRightClick", C::RecordingFrame, "Right Click", 225, 675, 1890, 4, 1),
    Check(C::RecordMiddle, "cRecMiddleClick", C::RecordingFrame, "Middle Click", 2295, 675, 1440, 5,
          1),
    Check(C::RecordSideButtons, "cRecSideButtons", C::RecordingFrame, "Side Buttons", 225, 930,
          1890, 6, 1),
    Check(C::RecordWheel, "cRecWheel", C::RecordingFrame, "Mouse Wheel", 2295, 930, 1440, 7, 1),
    Check(C::AutoHide, "cWndAutoHide", C::WindowFrame, "Auto Hide", 225, 360, 1410, 8, 0),
    Check(C::AutoShow, "cWndAutoShow", C::WindowFrame, "Auto Show", 225, 675, 1350, 9, 1),
    Button(C::RecordButton, "PushButton1", "Start Recording", 120, 1320, 10),
    Button(C::SaveButton, "PushButton6", "Save Recording To File", 4080, 1320, 11),
    Button(C::LoadButton, "PushButton5", "Load Recording From File", 120, 1830, 12),
    Button(C::PlayButton, "PushButton2", "Start Playing", 4080, 1830, 13),
    Button(C::HideButton, "PushButton4", "Hide This Software", 120, 2340, 14),
    Button(C::HelpButton, "PushButton3", "Help", 4080, 2340, 15),
    {C::StatusLine, "lState", K::Label, std::nullopt, "Status bar", 120, 2865, 7800, 270, 0, 0,
     color::kWindowText, color::kWindowBackground, kFormFont, Border::FixedSingle, Align::Center},
}};

constexpr WindowLayout kMainForm{"Form1",       "Pelmira", Border::FixedSingle,
                                 true,          true,      true,
                                 false,         false,     8040,
                                 3255,          true,      true,
                                 color::kWhite, kFormFont, kMainFormControls};

constexpr TimerLayout kPollTimer{"Timer1", 10, false};
constexpr FileDialogLayout kFileDialog{"CommonDialog1", "Mouse Motion File (*.mmf)|*.mmf"};

constexpr IndicatorLayout kRec{
    IndicatorId::Rec,        "frmRec", 2190, 480, 146, 32, "rec.jpg", "recfrm.shp",
    where::kRecIndicatorLoad};
constexpr IndicatorLayout kPlay{
    IndicatorId::Play,        "frmPlay", 1785, 480, 119, 32, "play.jpg", "playfrm.shp",
    where::kPlayIndicatorLoad};

}  // namespace

const WindowLayout& MainForm() {
  return kMainForm;
}

const ControlLayout& Control(ControlId id) {
  for (const ControlLayout& c : kMainFormControls)
    if (c.id == id) return c;
  return kMainFormControls.front();  // unreachable: every ControlId has an entry
}

const TimerLayout& PollTimer() {
  return kPollTimer;
}
const FileDialogLayout& MotionFileDialog() {
  return kFileDialog;
}
const IndicatorLayout& Indicator(IndicatorId id) {
  return id == IndicatorId::Rec ? kRec : kPlay;
}

}  // namespace pel::layout
