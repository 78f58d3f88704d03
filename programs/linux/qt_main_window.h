#pragma once
// The main window MainForm as Qt widgets, built from the layout tables: the frames, check boxes,
// push buttons, the status line and the hidden text box that holds the focus, plus the poll
// poll timer. Events go to the handlers the program installs; the window knows nothing of
// what they do.

#include <QCursor>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <array>
#include <functional>
#include <memory>
#include <optional>

#include "app/layout.h"
#include "platform/main_window.h"

namespace pel {

class QtMainWindow;

class QtControl : public Control {
 public:
  QtControl(const layout::ControlLayout& design, QWidget* widget);

  std::string Caption() override;
  void SetCaption(std::string_view text) override;
  bool Enabled() override;
  void SetEnabled(bool enabled) override;
  int Value() override;
  void SetValue(int value) override;
  Color ForeColor() override;
  void SetForeColor(Color c) override;
  Color BackColor() override;
  void SetBackColor(Color c) override;

  QWidget* Widget() const { return widget_; }
  const layout::ControlLayout& Design() const { return design_; }
  // Draws the stored colours again (after a palette or style change).
  void ApplyColors();

 private:
  const layout::ControlLayout& design_;
  QWidget* widget_;
  Color fore_;
  Color back_;
};

class QtMainWindow : public MainWindow {
 public:
  // Builds MainForm hidden, sized for the primary screen's logical resolution (ShowCentred shows
  // it).
  explicit QtMainWindow(FormHandlers handlers = {});
  ~QtMainWindow() override;
  QtMainWindow(const QtMainWindow&) = delete;
  QtMainWindow& operator=(const QtMainWindow&) = delete;

  Control& Get(ControlId id) override;
  bool Visible() override;
  void SetVisible(bool visible) override;
  void SetCaption(std::string_view text) override;
  void SetAppIcon() override;
  Color BackColor() override;
  void SetBackColor(Color c) override;
  void LoadCustomPointer(const std::string& path) override;
  void SetPointerKind(int kind) override;
  void SetTimerEnabled(bool enabled) override;
  void SetNextTick(double seconds) override;
  uintptr_t NativeHandle() override;

  void SetHandlers(FormHandlers handlers) { handlers_ = std::move(handlers); }
  // First showing: centred on the primary screen, the focus in FocusSink.
  void ShowCentred();

  // For tests and the program.
  QWidget* Widget() const;
  QtControl& Ctl(ControlId id) { return *controls_[static_cast<size_t>(id)]; }
  QTimer& Timer() { return timer_; }
  // Dots per inch: the screen's logical resolution the layout's twips are converted with.
  int Dpi() const { return dpi_; }

 private:
  class FormWidget;
  friend class FormWidget;
  void Build();
  void OnMouseMove(QObject* watched);
  void ApplyBackColor();

  FormHandlers handlers_;
  std::unique_ptr<FormWidget> window_;
  std::array<std::unique_ptr<QtControl>, kControlCount> controls_;
  QTimer timer_;
  // One tick at a moment (SetNextTick): a timerfd on CLOCK_MONOTONIC, to the microsecond, read by
  // the event loop (also inside modal boxes and dialogs, as the period's ticks are).
  int once_fd_ = -1;
  std::unique_ptr<QSocketNotifier> once_;
  int dpi_ = 96;
  Color back_ = color::kWhite;
  int pointer_kind_ = kPointerDefault;
  std::optional<QCursor> custom_cursor_;
  bool shown_once_ = false;
};

// The Qt font for a layout font: the face, falling back to a metric-compatible face when the
// named one is missing (see InstallFontSubstitutes).
QFont LayoutFont(const layout::Font& f);
// Maps the layout's Windows faces to metric-compatible faces present on Linux, so that captions
// keep the widths they were designed for.
void InstallFontSubstitutes();

}  // namespace pel
