#pragma once
// Where the error report says a failure happened. Users see these names in the "Application
// Error" box and quote them in support mails, so they keep the form earlier versions showed,
// whatever the code that runs the step is called now (docs/internals.md maps them).

#include <string_view>

namespace pel::where {

inline constexpr std::string_view kStartUp = "Form1.Form_Load";
inline constexpr std::string_view kOpenAtStart = "Form1.OpenAtStart";
inline constexpr std::string_view kOpenHandedFile = "Form1.OpenHandedFile";
inline constexpr std::string_view kRecordClicked = "Form1.PushButton1_Click";
inline constexpr std::string_view kPlayClicked = "Form1.PushButton2_Click";
inline constexpr std::string_view kHelpClicked = "Form1.PushButton3_Click";
inline constexpr std::string_view kHideClicked = "Form1.PushButton4_Click";
inline constexpr std::string_view kLoadClicked = "Form1.PushButton5_Click";
inline constexpr std::string_view kSaveClicked = "Form1.PushButton6_Click";
inline constexpr std::string_view kTick = "Form1.Timer1_Timer";
inline constexpr std::string_view kLoadFile = "mVazazEzerev.LoadDataFromFile";
inline constexpr std::string_view kStartPlaying = "mVazazEzerev.StartPlaying";
inline constexpr std::string_view kAddMotion = "mVazazEzerev.AddMotion";
inline constexpr std::string_view kRecIndicatorLoad = "frmRec.Form_Load";
inline constexpr std::string_view kPlayIndicatorLoad = "frmPlay.Form_Load";

}  // namespace pel::where
