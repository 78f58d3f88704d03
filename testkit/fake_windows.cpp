#include "testkit/fake_windows.h"

#include <cstdio>

namespace pel::fake {

namespace {
std::string Hex(Color c) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "0x%X", c);
  return buf;
}
}  // namespace

const char* ControlName(ControlId id) {
  static const char* const names[kControlCount] = {
      "PushButton1",     "PushButton2",    "PushButton3",  "PushButton4",
      "PushButton5",     "PushButton6",    "cRecMovement", "cRecLeftClick",
      "cRecMiddleClick", "cRecRightClick", "cWndAutoHide", "cWndAutoShow",
      "lState",          "Frame1",         "Frame2",       "Text1"};
  return names[static_cast<int>(id)];
}

void FakeControl::Log(const std::string& member, const std::string& value) {
  if (log_) log_->Add(name_ + "." + member + " " + value);
}

std::string FakeControl::Caption() {
  fail_->Check(name_ + ".Caption");
  return caption;
}
void FakeControl::SetCaption(std::string_view text) {
  fail_->Check(name_ + ".SetCaption");
  caption = std::string(text);
  Log("Caption", caption);
}
bool FakeControl::Enabled() {
  fail_->Check(name_ + ".Enabled");
  return enabled;
}
void FakeControl::SetEnabled(bool e) {
  fail_->Check(name_ + ".SetEnabled");
  enabled = e;
  Log("Enabled", e ? "true" : "false");
}
int FakeControl::Value() {
  fail_->Check(name_ + ".Value");
  return value;
}
void FakeControl::SetValue(int v) {
  fail_->Check(name_ + ".SetValue");
  value = v;
  Log("Value", std::to_string(v));
}
Color FakeControl::ForeColor() {
  fail_->Check(name_ + ".ForeColor");
  return fore;
}
void FakeControl::SetForeColor(Color c) {
  fail_->Check(name_ + ".SetForeColor");
  fore = c;
  Log("ForeColor", Hex(c));
}
Color FakeControl::BackColor() {
  fail_->Check(name_ + ".BackColor");
  return back;
}
void FakeControl::SetBackColor(Color c) {
  fail_->Check(name_ + ".SetBackColor");
  back = c;
  Log("BackColor", Hex(c));
}

FakeMainWindow::FakeMainWindow(CallLog* log) : log_(log) {
  for (int i = 0; i < kControlCount; ++i)
    controls_[i] =
        std::make_unique<FakeControl>(ControlName(static_cast<ControlId>(i)), log, &fail);
  const std::pair<ControlId, const char*> captions[] = {
      {ControlId::PushButton1, "Start Recording"},
      {ControlId::PushButton2, "Start Playing"},
      {ControlId::PushButton3, "Help"},
      {ControlId::PushButton4, "Hide This Software"},
      {ControlId::PushButton5, "Load Recording From File"},
      {ControlId::PushButton6, "Save Recording To File"},
      {ControlId::cRecMovement, "Mouse Movement"},
      {ControlId::cRecLeftClick, "Left Click"},
      {ControlId::cRecMiddleClick, "Middle Click"},
      {ControlId::cRecRightClick, "Right Click"},
      {ControlId::cWndAutoHide, "Auto Hide"},
      {ControlId::cWndAutoShow, "Auto Show"},
      {ControlId::lState, "Status bar"},
      {ControlId::Frame1, "Recording Option"},
      {ControlId::Frame2, "Window Option"},
      {ControlId::Text1, "Text1"},
  };
  for (const auto& [id, text] : captions) Ctl(id).caption = text;
  for (ControlId id :
       {ControlId::cRecMovement, ControlId::cRecLeftClick, ControlId::cRecMiddleClick,
        ControlId::cRecRightClick, ControlId::cWndAutoShow})
    Ctl(id).value = 1;
  Ctl(ControlId::lState).back = color::kWindowBackground;
}

void FakeMainWindow::Log(const std::string& line) {
  if (log_) log_->Add(line);
}
Control& FakeMainWindow::Get(ControlId id) {
  return Ctl(id);
}
bool FakeMainWindow::Visible() {
  fail.Check("Form1.Visible");
  return visible;
}
void FakeMainWindow::SetVisible(bool v) {
  fail.Check("Form1.SetVisible");
  visible = v;
  Log(std::string("Form1.Visible ") + (v ? "true" : "false"));
}
void FakeMainWindow::SetCaption(std::string_view text) {
  fail.Check("Form1.SetCaption");
  caption = std::string(text);
  Log("Form1.Caption " + caption);
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
  fail.Check("Form1.SetBackColor");
  back = c;
  Log("Form1.BackColor " + Hex(c));
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
  fail.Check("Timer1.SetEnabled");
  timer_enabled = e;
  Log(std::string("Timer1.Enabled ") + (e ? "true" : "false"));
}

bool FakeIndicator::Visible() {
  fail_->Check(name_ + ".Visible");
  return visible;
}
void FakeIndicator::SetVisible(bool v) {
  fail_->Check(name_ + ".SetVisible");
  visible = v;
  if (log_) log_->Add(name_ + ".Visible " + (v ? "true" : "false"));
}
void FakeIndicator::SetTop(int t) {
  fail_->Check(name_ + ".SetTop");
  top = t;
  if (log_) log_->Add(name_ + ".Top " + std::to_string(t));
}
int FakeIndicator::Height() {
  fail_->Check(name_ + ".Height");
  return height_;
}

IndicatorWindow& FakeIndicators::Ref(IndicatorId id) {
  auto& slot = windows_[static_cast<int>(id)];
  if (!slot) {
    const char* name = id == IndicatorId::Rec ? "frmRec" : "frmPlay";
    fail.Check(std::string(name) + ".Load");
    slot = std::make_unique<FakeIndicator>(name, 32, log_, &fail);
    ++loads;
    if (log_) log_->Add(std::string(name) + ".Load");
  }
  return *slot;
}

void FakeIndicators::Close(IndicatorId id) {
  auto& slot = windows_[static_cast<int>(id)];
  if (!slot) return;
  if (log_) log_->Add(std::string(id == IndicatorId::Rec ? "frmRec" : "frmPlay") + ".Close");
  slot.reset();
}

}  // namespace pel::fake
