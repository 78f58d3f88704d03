#include "platform/win32/win32_input.h"

#include <exception>

#include "platform/win32/win32_text.h"

namespace pel {

namespace {

constexpr wchar_t kSinkClass[] = L"PelmiraRawInputSink";

// Index of a polled code in the latch table, -1 for codes that are not latched.
int LatchIndex(int vk) {
  switch (vk) {
    case vk::kLButton:
      return 0;
    case vk::kRButton:
      return 1;
    case vk::kMButton:
      return 2;
    case vk::kPause:
      return 3;
    case vk::kF9:
      return 4;
    case vk::kF10:
      return 5;
    case vk::kF12:
      return 6;
    default:
      return -1;
  }
}

// Raw input's button flags name physical buttons, as GetAsyncKeyState does, so swapped
// buttons change neither.
constexpr struct {
  USHORT flag;
  int index;
} kButtonDowns[] = {{RI_MOUSE_LEFT_BUTTON_DOWN, 0},
                    {RI_MOUSE_RIGHT_BUTTON_DOWN, 1},
                    {RI_MOUSE_MIDDLE_BUTTON_DOWN, 2}};
constexpr USHORT kButtonChanges = RI_MOUSE_LEFT_BUTTON_DOWN | RI_MOUSE_LEFT_BUTTON_UP |
                                  RI_MOUSE_RIGHT_BUTTON_DOWN | RI_MOUSE_RIGHT_BUTTON_UP |
                                  RI_MOUSE_MIDDLE_BUTTON_DOWN | RI_MOUSE_MIDDLE_BUTTON_UP;

DWORD ButtonFlag(MouseButton button, bool down) {
  switch (button) {
    case MouseButton::Left:
      return down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
    case MouseButton::Middle:
      return down ? MOUSEEVENTF_MIDDLEDOWN : MOUSEEVENTF_MIDDLEUP;
    case MouseButton::Right:
      return down ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP;
  }
  return 0;
}

INPUT ButtonEvent(MouseButton button, bool down) {
  INPUT in = {};
  in.type = INPUT_MOUSE;
  in.mi.dwFlags = ButtonFlag(button, down);
  in.mi.dwExtraInfo = kInjectedTag;
  return in;
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
  // Generic desktop mouse (usage 2) and keyboard (usage 6); INPUTSINK: also while another
  // program has the focus, which is where the user works while recording.
  RAWINPUTDEVICE devices[2] = {{0x01, 0x02, RIDEV_INPUTSINK, sink_},
                               {0x01, 0x06, RIDEV_INPUTSINK, sink_}};
  if (!RegisterRawInputDevices(devices, 2, sizeof(RAWINPUTDEVICE))) {
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
    const bool users = mouse.ulExtraInformation != kInjectedTag;
    const USHORT flags = mouse.usButtonFlags;
    for (const auto& b : kButtonDowns) {
      if (!(flags & b.flag)) continue;
      // Recording takes every press; stop on move only those not sent by this program.
      ++latch_[b.index].presses;
      if (users) ++user_button_presses_;
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
    return (flags & kButtonChanges) != 0;
  }
  if (in.header.dwType != RIM_TYPEKEYBOARD) return false;
  const int i = LatchIndex(in.data.keyboard.VKey);
  if (i < 0) return false;
  const bool down = !(in.data.keyboard.Flags & RI_KEY_BREAK);
  const bool changed = down != latch_[i].down;
  if (down && changed) ++latch_[i].presses;
  latch_[i].down = down;
  return changed;
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

int16_t Win32Input::KeyState(int vk) {
  const int i = LatchIndex(vk);
  // Without raw input the system's own latch (bit 0) is the only one there is.
  if (sink_ == nullptr || i < 0) return GetAsyncKeyState(vk);
  DrainRawInput();
  // Down now comes from the system; only its bit 15 is used.
  const bool down = (GetAsyncKeyState(vk) & 0x8000) != 0;
  Latch& l = latch_[i];
  // A release raw input did not see (made on the secure desktop, say) must not block the
  // key's next press.
  if (!down) l.down = false;
  const bool pressed = l.presses > 0;
  l.presses = 0;
  return static_cast<int16_t>((down ? 0x8000 : 0) | (pressed ? 1 : 0));
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
  // Moving onto a monitor of another scale can land off the asked pixel (the move is mapped
  // through the scale of the monitor the cursor leaves); from the new monitor a second call
  // lands. A position still missed after that (clipped or clamped cursor) is left as it is.
  for (int attempt = 0; attempt < 2; ++attempt) {
    if (!::SetCursorPos(pos.x, pos.y)) {
      Fail("SetCursorPos failed");
      return false;
    }
    POINT p;
    if (!GetCursorPos(&p) || (p.x == pos.x && p.y == pos.y)) break;
  }
  diagnostic_.clear();
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

bool Win32Input::InjectButton(MouseButton button, bool down) {
  INPUT in = ButtonEvent(button, down);
  return Send(&in, 1) == 1;
}

bool Win32Input::Click(MouseButton button) {
  // One call: SendInput inserts its events as one block, so no other input comes between.
  INPUT in[2] = {ButtonEvent(button, true), ButtonEvent(button, false)};
  const UINT inserted = Send(in, 2);
  if (inserted == 2) return true;
  if (inserted == 1) {
    // Events go in in order: the press got in and the release did not. Send the release on
    // its own, so that the button is not left held down.
    const std::string why = diagnostic_;
    InjectButton(button, false);
    diagnostic_ = why;
  }
  return false;
}

}  // namespace pel
