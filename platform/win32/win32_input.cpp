#include "platform/win32/win32_input.h"

#include <algorithm>
#include <exception>

#include "platform/win32/win32_diagnostics.h"
#include "platform/win32/win32_foreground.h"

namespace pel {

namespace {

constexpr wchar_t kSinkClass[] = L"PelmiraRawInputSink";

// The codes latched from raw input; the others are only polled.
bool Latched(int vk) {
  switch (vk) {
    case vk::kLButton:
    case vk::kRButton:
    case vk::kMButton:
    case vk::kPause:
    case vk::kF9:
    case vk::kF10:
    case vk::kF12:
      return true;
    default:
      return false;
  }
}

// Raw input's button flags name physical buttons, as GetAsyncKeyState does, so swapped
// buttons change neither.
constexpr struct {
  USHORT down;
  USHORT up;
  int vk;
} kButtons[] = {{RI_MOUSE_LEFT_BUTTON_DOWN, RI_MOUSE_LEFT_BUTTON_UP, vk::kLButton},
                {RI_MOUSE_RIGHT_BUTTON_DOWN, RI_MOUSE_RIGHT_BUTTON_UP, vk::kRButton},
                {RI_MOUSE_MIDDLE_BUTTON_DOWN, RI_MOUSE_MIDDLE_BUTTON_UP, vk::kMButton}};

DWORD ButtonFlag(MouseButton button, bool down) {
  switch (button) {
    case MouseButton::Left:
      return down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    case MouseButton::Middle:
      return down ? MOUSEEVENTF_MIDDLEDOWN : MOUSEEVENTF_MIDDLEUP;
    case MouseButton::Right:
      return down ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP;
    case MouseButton::X1:
    case MouseButton::X2:
      return down ? MOUSEEVENTF_XDOWN : MOUSEEVENTF_XUP;
  }
  return 0;
}

INPUT MouseEvent(DWORD flags, DWORD data) {
  INPUT in = {};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = flags;
  in.mi.mouseData = data;
  in.mi.dwExtraInfo = kInjectedTag;
  return in;
}

INPUT ButtonEvent(MouseButton button, bool down) {
  // The side buttons share one flag; the data says which.
  const DWORD data = button == MouseButton::X1   ? XBUTTON1
                     : button == MouseButton::X2 ? XBUTTON2
                                                 : 0;
  return MouseEvent(ButtonFlag(button, down), data);
}

}  // namespace

Win32Input::Win32Input() {
  static const ATOM atom = [] {
    WNDCLASSEXW wc = {};
    wc.cbSize = sizeof(wc);
    wc.lpfnWndProc = &SinkProc;
    wc.hInstance = GetModuleHandleW(nullptr);
    wc.lpszClassName = kSinkClass;
    return RegisterClassExW(&wc);
  }();
  if (atom != 0)
    sink_ = CreateWindowExW(0, kSinkClass, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr,
                            GetModuleHandleW(nullptr), nullptr);
  if (sink_ == nullptr) {
    Fail(atom == 0 ? "RegisterClassExW(raw input sink) failed"
                   : "CreateWindowExW(raw input sink) failed");
    raw_problem_ = diagnostic_;
    DiagnosticLine("input: presses from GetAsyncKeyState only: " + raw_problem_);
    return;
  }
  SetWindowLongPtrW(sink_, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
  if (!RegisterSink()) {
    Fail("RegisterRawInputDevices failed");
    raw_problem_ = diagnostic_;
    DiagnosticLine("input: presses from GetAsyncKeyState only: " + raw_problem_);
    DestroyWindow(sink_);
    sink_ = nullptr;
    return;
  }
  diagnostic_.clear();
  DiagnosticLine("input: presses latched from raw input");
}

Win32Input::~Win32Input() {
  if (sink_ == nullptr) return;
  // A process has one raw input target per device class: remove ours only while it is still
  // the one registered (a later object may have taken over).
  RAWINPUTDEVICE registered[8];
  UINT count = 8;
  const UINT n = GetRegisteredRawInputDevices(registered, &count, sizeof(RAWINPUTDEVICE));
  if (n != static_cast<UINT>(-1) && n > 0 && registered[0].hwndTarget == sink_) {
    RAWINPUTDEVICE remove[2] = {{0x01, 0x02, RIDEV_REMOVE, nullptr},
                                {0x01, 0x06, RIDEV_REMOVE, nullptr}};
    RegisterRawInputDevices(remove, 2, sizeof(RAWINPUTDEVICE));
  }
  SetWindowLongPtrW(sink_, GWLP_USERDATA, 0);
  DestroyWindow(sink_);
}

bool Win32Input::RegisterSink() {
  // Generic desktop mouse (usage 2) and keyboard (usage 6); INPUTSINK: also while another
  // program has the focus, which is where the user works while recording.
  RAWINPUTDEVICE devices[2] = {{0x01, 0x02, RIDEV_INPUTSINK, sink_},
                               {0x01, 0x06, RIDEV_INPUTSINK, sink_}};
  return RegisterRawInputDevices(devices, 2, sizeof(RAWINPUTDEVICE)) != FALSE;
}

bool Win32Input::KeepRawInputTarget() {
  if (sink_ == nullptr) return false;
  RAWINPUTDEVICE registered[16];
  UINT count = 16;
  const UINT n = GetRegisteredRawInputDevices(registered, &count, sizeof(RAWINPUTDEVICE));
  int ours = 0;
  if (n != static_cast<UINT>(-1)) {
    for (UINT i = 0; i < n; ++i) {
      const RAWINPUTDEVICE& d = registered[i];
      if (d.usUsagePage == 0x01 && (d.usUsage == 0x02 || d.usUsage == 0x06) &&
          d.hwndTarget == sink_ && (d.dwFlags & RIDEV_INPUTSINK))
        ++ours;
    }
  }
  if (ours == 2) return false;
  const bool again = RegisterSink();
  DiagnosticLine(again ? "input: raw input target taken by other code, registered again"
                       : "input: raw input target taken by other code; registering again failed (" +
                             LastErrorText(GetLastError()) + ")");
  return true;
}

LRESULT CALLBACK Win32Input::SinkProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_INPUT) {
    auto* self = reinterpret_cast<Win32Input*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA));
    if (self != nullptr && self->Book(reinterpret_cast<HRAWINPUT>(lp))) {
      if (self->draining_ || !self->on_input_) {
        self->arrived_ = true;
      } else {
        try {
          self->on_input_();
        } catch (...) {
          // An exception must not unwind through the system's dispatch code.
          std::terminate();
        }
      }
    }
  }
  // DefWindowProc also frees the raw input data of WM_INPUT.
  return DefWindowProcW(hwnd, msg, wp, lp);
}

bool Win32Input::Book(HRAWINPUT handle) {
  RAWINPUT in;
  UINT size = sizeof(in);
  if (GetRawInputData(handle, RID_INPUT, &in, &size, sizeof(RAWINPUTHEADER)) ==
      static_cast<UINT>(-1))
    return false;
  if (in.header.dwType == RIM_TYPEMOUSE) {
    const RAWMOUSE& mouse = in.data.mouse;
    if (mouse_listener_) mouse_listener_(mouse);
    const bool users = mouse.ulExtraInformation != kInjectedTag;
    const USHORT flags = mouse.usButtonFlags;
    bool changed = false;
    for (const auto& b : kButtons) {
      // Both may come in one event: the release belongs to an earlier press.
      if (flags & b.up) latch_.Release(b.vk);
      if (flags & b.down) {
        latch_.Press(b.vk);
        // Recording takes every press; stop on move only those not sent by this program.
        if (users) ++user_button_presses_;
      }
      changed = changed || (flags & (b.down | b.up)) != 0;
    }
    bool moved = false;
    if (mouse.usFlags & MOUSE_MOVE_ABSOLUTE) {
      // Every event of an absolute device carries its position, a button's too.
      moved = absolute_known_ && (mouse.lLastX != absolute_x_ || mouse.lLastY != absolute_y_);
      absolute_known_ = true;
      absolute_x_ = mouse.lLastX;
      absolute_y_ = mouse.lLastY;
    } else {
      moved = mouse.lLastX != 0 || mouse.lLastY != 0;
    }
    if (users && moved) ++user_pointer_moves_;
    return changed;
  }
  if (in.header.dwType != RIM_TYPEKEYBOARD) return false;
  const int key = in.data.keyboard.VKey;
  if (!Latched(key)) return false;
  // Auto-repeat sends downs while a key is held: no new press, no watched input.
  return in.data.keyboard.Flags & RI_KEY_BREAK ? latch_.Release(key) : latch_.Press(key);
}

void Win32Input::DrainRawInput() {
  const bool outer = draining_;
  draining_ = true;
  MSG msg;
  while (PeekMessageW(&msg, sink_, WM_INPUT, WM_INPUT, PM_REMOVE)) {
    if (msg.message == WM_QUIT) {
      // PeekMessage hands out WM_QUIT whatever the window and message filter say. Dropped
      // here, the main loop would never end: a scripted run quits from inside a tick, whose
      // idle check then reads raw input, and the tick goes to sleep.
      PostQuitMessage(static_cast<int>(msg.wParam));
      break;
    }
    DispatchMessageW(&msg);
  }
  draining_ = outer;
}

bool Win32Input::TakeInput() {
  if (sink_ != nullptr) DrainRawInput();
  const bool arrived = arrived_;
  arrived_ = false;
  return arrived;
}

void Win32Input::ReadRawInput() {
  if (sink_ != nullptr) DrainRawInput();
}

int16_t Win32Input::KeyState(int vk) {
  // Without raw input the system's own latch (bit 0) is the only one there is.
  if (sink_ == nullptr || !Latched(vk)) return GetAsyncKeyState(vk);
  DrainRawInput();
  // Down now comes from the system; only its bit 15 is used. A release raw input did not see
  // (made on the secure desktop, say) then does not block the key's next press.
  return latch_.Query(vk, (GetAsyncKeyState(vk) & 0x8000) != 0);
}

uint32_t Win32Input::UserButtonPresses() {
  if (sink_ != nullptr) DrainRawInput();
  const uint32_t n = user_button_presses_;
  user_button_presses_ = 0;
  return n;
}

uint32_t Win32Input::UserPointerMoves() {
  if (sink_ != nullptr) DrainRawInput();
  const uint32_t n = user_pointer_moves_;
  user_pointer_moves_ = 0;
  return n;
}

void Win32Input::Fail(const std::string& what) {
  diagnostic_ = what + " (" + LastErrorText(GetLastError()) + ")";
}

bool Win32Input::CursorPos(Point& pos) {
  POINT p;
  if (!GetCursorPos(&p)) {
    Fail("GetCursorPos failed");
    return false;
  }
  pos.x = p.x;
  pos.y = p.y;
  diagnostic_.clear();
  return true;
}

bool Win32Input::SetCursorPos(Point pos) {
  placed_.reset();
  placement_denied_ = false;
  placement_missed_ = true;
  // Moving onto a monitor of another scale can land off the asked pixel (the move is mapped
  // through the scale of the monitor the cursor leaves); from the new monitor a second call
  // lands. A position still missed after that is held back: another program confines the
  // cursor (ClipCursor), and a click now would land there instead.
  POINT p = {};
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (!::SetCursorPos(pos.x, pos.y)) {
      const DWORD error = GetLastError();
      placement_denied_ = error == ERROR_ACCESS_DENIED;
      Fail("SetCursorPos failed");
      return false;
    }
    if (!GetCursorPos(&p)) {
      Fail("GetCursorPos failed after SetCursorPos");
      return false;
    }
    if (p.x == pos.x && p.y == pos.y) {
      placed_ = pos;
      placement_missed_ = false;
      diagnostic_.clear();
      return true;
    }
  }
  diagnostic_ = "SetCursorPos left the cursor at " + std::to_string(p.x) + "," +
                std::to_string(p.y) + ", not at " + std::to_string(pos.x) + "," +
                std::to_string(pos.y) + ": another program confines it";
  return false;
}

bool Win32Input::AbsoluteMove(Point pos, INPUT& move) {
  // Normalised coordinates of the whole virtual desktop, 0 to 65535 across its width: rounded
  // up, so that the system's scaling back (times the width over 65536, rounded down) gives the
  // pixel itself.
  const int left = GetSystemMetrics(SM_XVIRTUALSCREEN), top = GetSystemMetrics(SM_YVIRTUALSCREEN);
  const int width = GetSystemMetrics(SM_CXVIRTUALSCREEN),
            height = GetSystemMetrics(SM_CYVIRTUALSCREEN);
  if (width <= 0 || height <= 0 || pos.x < left || pos.y < top || pos.x >= left + width ||
      pos.y >= top + height)
    return false;
  auto normalise = [](int64_t offset, int64_t size) {
    return static_cast<LONG>(std::min<int64_t>((offset * 65536 + size - 1) / size, 65535));
  };
  move = {};
  move.type = INPUT_MOUSE;
  move.mi.dx = normalise(pos.x - left, width);
  move.mi.dy = normalise(pos.y - top, height);
  move.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE | MOUSEEVENTF_VIRTUALDESK;
  move.mi.dwExtraInfo = kInjectedTag;
  return true;
}

UINT Win32Input::Send(INPUT* events, UINT count) {
  SetLastError(ERROR_SUCCESS);
  // A count short of `count` means input was refused (another thread blocked it, or the
  // desktop cannot take it). The reverse does not hold: input that UIPI drops because a
  // window of higher integrity is in front is counted as inserted, with no error code.
  const UINT inserted = send_input_(count, events, sizeof(INPUT));
  if (inserted != count) {
    Fail("SendInput inserted " + std::to_string(inserted) + " of " + std::to_string(count) +
         " events");
  } else {
    diagnostic_.clear();
  }
  return inserted;
}

UINT Win32Input::MoveToPlaced(INPUT& move) const {
  return placed_ && AbsoluteMove(*placed_, move) ? 1 : 0;
}

namespace {

// The name of a desktop; empty when it cannot be read.
std::wstring DesktopName(HDESK desktop) {
  wchar_t name[256] = {};
  DWORD needed = 0;
  if (desktop == nullptr ||
      !GetUserObjectInformationW(desktop, UOI_NAME, name, sizeof(name) - sizeof(wchar_t), &needed))
    return {};
  return name;
}

}  // namespace

bool Win32Input::InputElsewhere() {
  if (desktop_.empty()) desktop_ = DesktopName(GetThreadDesktop(GetCurrentThreadId()));
  // The secure desktop (Winlogon: the lock screen, Ctrl+Alt+Del, a UAC prompt) refuses to be
  // opened; another desktop of this session is opened with another name.
  const HDESK input = OpenInputDesktop(0, FALSE, DESKTOP_READOBJECTS);
  if (input == nullptr) return true;
  const std::wstring name = DesktopName(input);
  CloseDesktop(input);
  if (!desktop_.empty() && !name.empty() && name != desktop_) return true;
  if (!placement_denied_) return false;
  // A minimised remote session keeps its desktop yet refuses placements: it is back once a
  // placement where the cursor stands is taken.
  POINT p;
  if (GetCursorPos(&p) && ::SetCursorPos(p.x, p.y)) {
    placement_denied_ = false;
    return false;
  }
  placement_denied_ = GetLastError() == ERROR_ACCESS_DENIED;
  return placement_denied_;
}

void Win32Input::NotePressTarget() {
  POINT at;
  if (placed_) {
    at = {placed_->x, placed_->y};
  } else if (!GetCursorPos(&at)) {
    return;
  }
  HWND root = GetAncestor(WindowFromPoint(at), GA_ROOT);
  if (root != press_root_) {
    press_root_ = root;
    press_root_elevated_ = InputBlockedByIntegrity(root);
  }
  press_elevated_ = press_root_elevated_;
}

bool Win32Input::InjectButton(MouseButton button, bool down) {
  if (down) NotePressTarget();
  // SendInput inserts its events as one block: the move to where the cursor was placed goes
  // first, so the press or release lands there whatever the user's hand did since.
  INPUT in[2];
  UINT count = MoveToPlaced(in[0]);
  in[count++] = ButtonEvent(button, down);
  return Send(in, count) == count;
}

bool Win32Input::Click(MouseButton button) {
  // A placement that was held back leaves the cursor elsewhere: no click lands there.
  if (placement_missed_) {
    diagnostic_ = "no click: the cursor is not where it was placed";
    return false;
  }
  NotePressTarget();
  // One call, so that no other input comes between: the move to the placed position (always,
  // as the user's hand may move the cursor at any moment), the press and the release.
  INPUT in[3];
  UINT count = MoveToPlaced(in[0]);
  const UINT presses = count;
  in[count++] = ButtonEvent(button, true);
  in[count++] = ButtonEvent(button, false);
  const UINT inserted = Send(in, count);
  if (inserted == count) return true;
  if (inserted == presses + 1) {
    // Events go in in order: the press got in and the release did not. Send the release on
    // its own, so that the button is not left held down.
    const std::string why = diagnostic_;
    InjectButton(button, false);
    diagnostic_ = why;
  }
  return false;
}

bool Win32Input::InjectWheel(WheelAxis axis, int32_t delta) {
  // The delta goes as given: applications take parts of a notch and several notches alike.
  INPUT in = MouseEvent(axis == WheelAxis::Vertical ? MOUSEEVENTF_WHEEL : MOUSEEVENTF_HWHEEL,
                        static_cast<DWORD>(delta));
  return Send(&in, 1) == 1;
}

}  // namespace pel
