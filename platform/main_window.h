#pragma once
// The main window and its controls, as the portable code drives them.
// Positions and sizes are pixels unless a name says otherwise. Every method may throw pel::Error
// when the window system refuses; the caller's error report shows it.

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "platform/color.h"

namespace pel {

// Every control of the main window. The layout table gives each one's kind, place and design.
enum class ControlId : int {
  RecordButton,  // Start Recording
  PlayButton,    // Start Playing
  HelpButton,    // Help
  HideButton,    // Hide This Software
  LoadButton,    // Load Recording From File
  SaveButton,    // Save Recording To File
  RecordMoves,
  RecordLeft,
  RecordMiddle,
  RecordRight,
  RecordWheel,
  RecordSideButtons,
  AutoHide,
  AutoShow,
  StatusLine,
  RecordingFrame,
  WindowFrame,
  FocusSink,
};
constexpr int kControlCount = static_cast<int>(ControlId::FocusSink) + 1;

class Control {
 public:
  virtual ~Control() = default;
  // Text on the control: the text last set, or the layout caption before any change.
  virtual std::string Caption() = 0;
  virtual void SetCaption(std::string_view text) = 0;
  // A disabled control is drawn greyed and delivers no click.
  virtual bool Enabled() = 0;
  virtual void SetEnabled(bool enabled) = 0;
  // Check box value: 0 unchecked, 1 checked, 2 greyed; 0 for other kinds.
  virtual int Value() = 0;
  virtual void SetValue(int value) = 0;
  // Text colour and background colour.
  virtual Color ForeColor() = 0;
  virtual void SetForeColor(Color c) = 0;
  virtual Color BackColor() = 0;
  virtual void SetBackColor(Color c) = 0;
};

// Mouse pointer kinds of the main window.
constexpr int kPointerDefault = 0;
constexpr int kPointerCustom = 99;

class MainWindow {
 public:
  virtual ~MainWindow() = default;
  // The control named `id`; always exists while the window does.
  virtual Control& Get(ControlId id) = 0;
  // Shown on screen (possibly minimised) or hidden; hiding keeps the program and the timer running.
  virtual bool Visible() = 0;
  virtual void SetVisible(bool visible) = 0;
  // Title-bar text.
  virtual void SetCaption(std::string_view text) = 0;
  // Puts the application icon on the window.
  virtual void SetAppIcon() = 0;
  // Background of the client area.
  virtual Color BackColor() = 0;
  virtual void SetBackColor(Color c) = 0;
  // Loads a cursor image file as the custom pointer; throws pel::Error when it is not a cursor.
  virtual void LoadCustomPointer(const std::string& path) = 0;
  // kPointerDefault (arrow) or kPointerCustom (the loaded image, or the arrow if none).
  virtual void SetPointerKind(int kind) = 0;
  // Starts or stops the poll timer.
  virtual void SetTimerEnabled(bool enabled) = 0;
  // The poll timer ticks once `seconds` from now instead of its period; SetTimerEnabled ends that.
  virtual void SetNextTick(double seconds) = 0;
  // Native handle (HWND or X window id) of the window, 0 before it exists.
  virtual uintptr_t NativeHandle() = 0;
};

// What a native main window passes on to the portable handlers, on the user-interface thread.
// A handler may be empty; none throws.
struct FormHandlers {
  // A completed click on an enabled push button.
  std::function<void(ControlId)> click;
  // The mouse moved over a push button or a frame (`id`), or over the window's own background
  // (nullopt). Moves over check boxes, the status line and the text box are not reported.
  std::function<void(std::optional<ControlId>)> mouse_move;
  // One tick of the poll timer.
  std::function<void()> timer;
  // The user closed the window (the program ends).
  std::function<void()> unload;
};

}  // namespace pel
