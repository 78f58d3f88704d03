#pragma once
// The main window and its controls held in memory. Every change is logged as
// "<name>.<Property> <value>"; a call named in `failing` throws pel::Error instead.

#include <array>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/main_window.h"
#include "testkit/call_log.h"
#include "testkit/logged_property.h"

namespace pel::fake {

class FakeControl : public Control {
 public:
  FakeControl(std::string name, CallLog* log, FailSwitch* fail)
      : name_(std::move(name)), log_(log), fail_(fail) {}

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

  // Direct access for test set-up, not logged.
  std::string caption;
  bool enabled = true;
  int value = 0;
  Color fore = color::kWindowText;
  Color back = color::kWhite;

 private:
  std::string name_;
  CallLog* log_;
  FailSwitch* fail_;
};

class FakeMainWindow : public MainWindow {
 public:
  // Starts in the design state: names, captions and check values of the layout, and the status
  // line's colour.
  explicit FakeMainWindow(CallLog* log = nullptr);

  FakeControl& Ctl(ControlId id) { return *controls_[static_cast<size_t>(id)]; }
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
  uintptr_t NativeHandle() override { return 0x1234; }

  FailSwitch fail;
  bool visible = true;
  std::string caption;
  Color back = color::kWhite;
  int pointer_kind = kPointerDefault;
  bool timer_enabled = false;
  std::optional<double> next_tick;  // seconds asked for by the last SetNextTick, until the period
  int next_ticks = 0;               // SetNextTick calls
  bool has_app_icon = false;
  std::string custom_pointer;  // path of the loaded pointer image
  // Called by LoadCustomPointer; may throw to model a file that is not a cursor.
  std::function<void(const std::string&)> on_load_pointer;

 private:
  void Log(const std::string& line);
  CallLog* log_;
  std::array<std::unique_ptr<FakeControl>, kControlCount> controls_;
};

}  // namespace pel::fake
