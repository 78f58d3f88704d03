#include "platform/win32/win32_input_events.h"

namespace pel {

namespace {

// Raw input's button flags name physical buttons, as the injected ones do.
constexpr struct {
  USHORT down, up;
  MouseButton button;
} kButtons[] = {{RI_MOUSE_LEFT_BUTTON_DOWN, RI_MOUSE_LEFT_BUTTON_UP, MouseButton::Left},
                {RI_MOUSE_MIDDLE_BUTTON_DOWN, RI_MOUSE_MIDDLE_BUTTON_UP, MouseButton::Middle},
                {RI_MOUSE_RIGHT_BUTTON_DOWN, RI_MOUSE_RIGHT_BUTTON_UP, MouseButton::Right},
                {RI_MOUSE_BUTTON_4_DOWN, RI_MOUSE_BUTTON_4_UP, MouseButton::X1},
                {RI_MOUSE_BUTTON_5_DOWN, RI_MOUSE_BUTTON_5_UP, MouseButton::X2}};

}  // namespace

Win32InputEvents::~Win32InputEvents() {
  Stop();
}

bool Win32InputEvents::Start(bool moves, std::string& error) {
  Stop();
  if (!input_.RawInputProblem().empty()) {
    error = "no raw input: " + input_.RawInputProblem();
    return false;
  }
  POINT p;
  if (!GetCursorPos(&p)) p = {};
  pos_ = {p.x, p.y};
  moves_ = moves;
  started_ = true;
  // What came before the start is not the recording's.
  input_.ReadRawInput();
  input_.SetMouseListener([this](const RAWMOUSE& mouse) { Received(mouse); });
  return true;
}

void Win32InputEvents::Stop() {
  if (!started_) return;
  input_.SetMouseListener(nullptr);
  started_ = false;
  events_.clear();
}

void Win32InputEvents::MovedTo(Point pos, double time) {
  if (pos == pos_) return;
  pos_ = pos;
  if (moves_)
    events_.push_back(
        {InputEvent::Kind::Move, MouseButton::Left, WheelAxis::Vertical, 0, pos_, time});
}

void Win32InputEvents::Add(InputEvent::Kind kind, MouseButton button, double time) {
  events_.push_back({kind, button, WheelAxis::Vertical, 0, pos_, time});
}

void Win32InputEvents::Received(const RAWMOUSE& mouse) {
  const double now = clock_.Now();
  // Where the cursor stood when the system posted the message: a message read late (the
  // thread busy in a tick) still has its own place. The pointer moves first, then the buttons
  // act where it is.
  const DWORD at = GetMessagePos();
  MovedTo({static_cast<SHORT>(LOWORD(at)), static_cast<SHORT>(HIWORD(at))}, now);
  const USHORT flags = mouse.usButtonFlags;
  for (const auto& b : kButtons) {
    if (flags & b.down) Add(InputEvent::Kind::Press, b.button, now);
    if (flags & b.up) Add(InputEvent::Kind::Release, b.button, now);
  }
  // The wheel's delta is signed, in 1/120 notches: more where a device scrolls finer.
  const auto delta = static_cast<int32_t>(static_cast<SHORT>(mouse.usButtonData));
  if (flags & RI_MOUSE_WHEEL)
    events_.push_back(
        {InputEvent::Kind::Wheel, MouseButton::Left, WheelAxis::Vertical, delta, pos_, now});
  if (flags & RI_MOUSE_HWHEEL)
    events_.push_back(
        {InputEvent::Kind::Wheel, MouseButton::Left, WheelAxis::Horizontal, delta, pos_, now});
}

void Win32InputEvents::Take(std::vector<InputEvent>& out) {
  if (!started_) return;
  input_.ReadRawInput();
  POINT p;
  if (GetCursorPos(&p)) MovedTo({p.x, p.y}, clock_.Now());
  out.insert(out.end(), events_.begin(), events_.end());
  events_.clear();
}

}  // namespace pel
