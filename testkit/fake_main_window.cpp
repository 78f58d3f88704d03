#include "testkit/fake_main_window.h"

#include <cstdio>

#include "app/layout.h"

namespace pel::fake {

namespace {
std::string Hex(Color c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%X", c);
  return buf;
}
}  // namespace

std::string FakeControl::Caption() {
  return ReadProperty(*fail_, name_, "Caption", caption);
}
void FakeControl::SetCaption(std::string_view text) {
  WriteProperty(*fail_, log_, name_, "Caption", caption, std::string(text), std::string(text));
}
bool FakeControl::Enabled() {
  return ReadProperty(*fail_, name_, "Enabled", enabled);
}
void FakeControl::SetEnabled(bool e) {
  WriteProperty(*fail_, log_, name_, "Enabled", enabled, e, Shown(e));
}
int FakeControl::Value() {
  return ReadProperty(*fail_, name_, "Value", value);
}
void FakeControl::SetValue(int v) {
  WriteProperty(*fail_, log_, name_, "Value", value, v, Shown(v));
}
Color FakeControl::ForeColor() {
  return ReadProperty(*fail_, name_, "ForeColor", fore);
}
void FakeControl::SetForeColor(Color c) {
  WriteProperty(*fail_, log_, name_, "ForeColor", fore, c, Hex(c));
}
Color FakeControl::BackColor() {
  return ReadProperty(*fail_, name_, "BackColor", back);
}
void FakeControl::SetBackColor(Color c) {
  WriteProperty(*fail_, log_, name_, "BackColor", back, c, Hex(c));
}

FakeMainWindow::FakeMainWindow(CallLog* log) : log_(log) {
  for (const layout::ControlLayout& c : layout::MainForm().controls) {
    auto& control = controls_[static_cast<size_t>(c.id)];
    control = std::make_unique<FakeControl>(std::string(c.name), log, &fail);
    control->caption = c.caption;
    control->value = c.value;
  }
  Ctl(ControlId::StatusLine).back = layout::Control(ControlId::StatusLine).back;
}

void FakeMainWindow::Log(const std::string& line) {
  if (log_) log_->Add(line);
}
Control& FakeMainWindow::Get(ControlId id) {
  return Ctl(id);
}
bool FakeMainWindow::Visible() {
  return ReadProperty(fail, "Form1", "Visible", visible);
}
void FakeMainWindow::SetVisible(bool v) {
  WriteProperty(fail, log_, "Form1", "Visible", visible, v, Shown(v));
}
void FakeMainWindow::SetCaption(std::string_view text) {
  WriteProperty(fail, log_, "Form1", "Caption", caption, std::string(text), std::string(text));
}
void FakeMainWindow::SetAppIcon() {
  fail.Check("Form1.SetAppIcon");
  has_app_icon = true;
  Log("Form1.Icon");
}
Color FakeMainWindow::BackColor() {
  return back;
}
void FakeMainWindow::SetBackColor(Color c) {
  WriteProperty(fail, log_, "Form1", "BackColor", back, c, Hex(c));
}
void FakeMainWindow::LoadCustomPointer(const std::string& path) {
  fail.Check("Form1.LoadCustomPointer");
  if (on_load_pointer) on_load_pointer(path);
  custom_pointer = path;
  Log("Form1.LoadCustomPointer " + path);
}
void FakeMainWindow::SetPointerKind(int kind) {
  fail.Check("Form1.SetPointerKind");
  pointer_kind = kind;
  Log("Form1.MousePointer " + std::to_string(kind));
}
void FakeMainWindow::SetTimerEnabled(bool e) {
  WriteProperty(fail, log_, "Timer1", "Enabled", timer_enabled, e, Shown(e));
  next_tick.reset();
}
void FakeMainWindow::SetNextTick(double seconds) {
  fail.Check("Timer1.SetNextTick");
  timer_enabled = false;
  next_tick = seconds;
  ++next_ticks;
}

}  // namespace pel::fake
