#include "testkit/fake_windows.h"

#include <cstdio>

#include "app/layout.h"

namespace pel::fake {

namespace {
std::string Hex(Color c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%X", c);
  return buf;
}
std::string Shown(bool b) {
  return b ? "true" : "false";
}
std::string Shown(int v) {
  return std::to_string(v);
}

// Every property of the fakes: a read checks "<name>.<Member>"; a write checks
// "<name>.Set<Member>", stores the value and logs "<name>.<Member> <shown>".
template <class T>
T Read(const FailSwitch& fail, const std::string& name, const char* member, const T& field) {
  fail.Check(name + "." + member);
  return field;
}
template <class T>
void Write(const FailSwitch& fail, CallLog* log, const std::string& name, const char* member,
           T& field, T value, const std::string& shown) {
  fail.Check(name + ".Set" + member);
  field = std::move(value);
  if (log) log->Add(name + "." + member + " " + shown);
}
}  // namespace

std::string FakeControl::Caption() {
  return Read(*fail_, name_, "Caption", caption);
}
void FakeControl::SetCaption(std::string_view text) {
  Write(*fail_, log_, name_, "Caption", caption, std::string(text), std::string(text));
}
bool FakeControl::Enabled() {
  return Read(*fail_, name_, "Enabled", enabled);
}
void FakeControl::SetEnabled(bool e) {
  Write(*fail_, log_, name_, "Enabled", enabled, e, Shown(e));
}
int FakeControl::Value() {
  return Read(*fail_, name_, "Value", value);
}
void FakeControl::SetValue(int v) {
  Write(*fail_, log_, name_, "Value", value, v, Shown(v));
}
Color FakeControl::ForeColor() {
  return Read(*fail_, name_, "ForeColor", fore);
}
void FakeControl::SetForeColor(Color c) {
  Write(*fail_, log_, name_, "ForeColor", fore, c, Hex(c));
}
Color FakeControl::BackColor() {
  return Read(*fail_, name_, "BackColor", back);
}
void FakeControl::SetBackColor(Color c) {
  Write(*fail_, log_, name_, "BackColor", back, c, Hex(c));
}

FakeMainWindow::FakeMainWindow(CallLog* log) : log_(log) {
  for (const layout::ControlLayout& c : layout::MainForm().controls) {
    auto& control = controls_[static_cast<int>(c.id)];
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
  return Read(fail, "Form1", "Visible", visible);
}
void FakeMainWindow::SetVisible(bool v) {
  Write(fail, log_, "Form1", "Visible", visible, v, Shown(v));
}
void FakeMainWindow::SetCaption(std::string_view text) {
  Write(fail, log_, "Form1", "Caption", caption, std::string(text), std::string(text));
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
  Write(fail, log_, "Form1", "BackColor", back, c, Hex(c));
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
  Write(fail, log_, "Timer1", "Enabled", timer_enabled, e, Shown(e));
  next_tick.reset();
}
void FakeMainWindow::SetNextTick(double seconds) {
  fail.Check("Timer1.SetNextTick");
  timer_enabled = false;
  next_tick = seconds;
  ++next_ticks;
}

bool FakeIndicator::Visible() {
  return Read(*fail_, name_, "Visible", visible);
}
void FakeIndicator::SetVisible(bool v) {
  Write(*fail_, log_, name_, "Visible", visible, v, Shown(v));
}
void FakeIndicator::SetTop(int t) {
  Write(*fail_, log_, name_, "Top", top, t, Shown(t));
}
int FakeIndicator::Height() {
  return Read(*fail_, name_, "Height", height_);
}

static std::string IndicatorName(IndicatorId id) {
  return id == IndicatorId::Rec ? "frmRec" : "frmPlay";
}

IndicatorWindow& FakeIndicators::Ref(IndicatorId id) {
  auto& slot = windows_[static_cast<int>(id)];
  if (!slot) {
    const std::string name = IndicatorName(id);
    fail.Check(name + ".Load");
    slot = std::make_unique<FakeIndicator>(name, 32, log_, &fail);
    ++loads;
    if (log_) log_->Add(name + ".Load");
  }
  return *slot;
}

void FakeIndicators::Close(IndicatorId id) {
  auto& slot = windows_[static_cast<int>(id)];
  if (!slot) return;
  if (log_) log_->Add(IndicatorName(id) + ".Close");
  slot.reset();
}

}  // namespace pel::fake
