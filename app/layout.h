#pragma once
// The design of the three windows as data. The Qt and Win32 programs build their native windows
// from these tables, so both show the same captions, places, fonts, colours and focus order.
// Positions and sizes are twips (1/1440 inch); a control's position is measured from the top-left
// corner of the client area of its container (the window or a frame).

#include <optional>
#include <span>
#include <string_view>

#include "platform/main_window.h"
#include "platform/shaped_window.h"

namespace pel::layout {

inline constexpr int kTwipsPerInch = 1440;

// Twips to pixels at `dpi` dots per inch, rounded to the nearest pixel (15 twips per pixel at
// 96 dpi). `dpi` is the screen's real resolution; values below 1 count as 96.
int TwipsToPixels(int twips, int dpi);
// Pixels to twips, the inverse.
int PixelsToTwips(int pixels, int dpi);

enum class ControlKind { TextBox, CheckBox, PushButton, Label, Frame };
enum class Border { None, FixedSingle };
enum class Align { Left, Center };

struct Font {
  std::string_view face;
  double points;
  bool bold;
};

struct ControlLayout {
  ControlId id;
  std::string_view name;
  ControlKind kind;
  // The frame that holds the control; nullopt: the window's client area.
  std::optional<ControlId> container;
  std::string_view caption;
  int left, top, width, height;  // twips
  // Place in the keyboard focus order from 1; 0 for controls that take no focus.
  int tab_index;
  // Initial value of a check box (0 unchecked, 1 checked); 0 for other kinds.
  int value;
  Color fore, back;
  Font font;
  Border border;
  Align align;
};

struct WindowLayout {
  std::string_view name;
  // Caption in the layout; the start-up sequence replaces it with the product name.
  std::string_view caption;
  Border border;
  bool title_bar, control_box, min_button, max_button, resizable;
  int client_width, client_height;  // twips
  bool centred;                     // first position centred on the primary screen
  bool show_in_taskbar;
  Color back;
  Font font;
  // Containers come before the controls they hold.
  std::span<const ControlLayout> controls;
};

struct TimerLayout {
  std::string_view name;
  int interval_ms;
  bool enabled;
};

struct FileDialogLayout {
  std::string_view name;
  std::string_view filter;  // "Label|*.ext"
};

// An indicator window: borderless, not in the task bar, its client area the size of its
// picture, which is its face and the source of its shape.
struct IndicatorLayout {
  IndicatorId id;
  std::string_view name;
  int client_width, client_height;    // twips
  int picture_width, picture_height;  // pixels
  std::string_view picture;           // JPEG file name among the program's assets
  std::string_view region_file;       // outline cache in the temporary folder
  std::string_view location;          // error report location of its load handler
};

// Main window MainForm and its controls.
const WindowLayout& MainForm();
// The layout entry of one control of MainForm.
const ControlLayout& Control(ControlId id);
// The poll timer: 10 ms, disabled until start-up enables it.
const TimerLayout& PollTimer();
// The file dialog of MainForm.
const FileDialogLayout& MotionFileDialog();
// The record and play indicators.
const IndicatorLayout& Indicator(IndicatorId id);

// The application icon's image sizes in pixels, and its file names among the assets
// ("pelmira-32.png" ... and "pelmira.ico").
inline constexpr int kIconSizes[] = {32, 48, 128, 256};
inline constexpr std::string_view kIconFile = "pelmira.ico";

}  // namespace pel::layout
