#include "platform/win32/win32_input.h"

#include <windows.h>

#include "platform/win32/win32_text.h"

namespace pel::win32 {

void Win32Input::Fail(const char* what) {
  const DWORD code = GetLastError();
  diagnostic_ = std::string(what) + " (GetLastError " + std::to_string(code) + ": " +
                (code == 0 ? std::string("no reason given") : SystemMessage(code)) + ")";
}

int16_t Win32Input::KeyState(int vk) {
  // Bit 15: down now; bit 0: pressed since the previous call (the latch the engine relies on).
  return GetAsyncKeyState(vk);
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
  if (!::SetCursorPos(pos.x, pos.y)) {
    Fail("SetCursorPos failed");
    return false;
  }
  diagnostic_.clear();
  return true;
}

bool Win32Input::InjectButton(MouseButton button, bool down) {
  INPUT in = {};
  in.type = INPUT_MOUSE;
  switch (button) {
    case MouseButton::Left:
      in.mi.dwFlags = down ? MOUSEEVENTF_LEFTDOWN : MOUSEEVENTF_LEFTUP;
      break;
    case MouseButton::Middle:
      in.mi.dwFlags = down ? MOUSEEVENTF_MIDDLEDOWN : MOUSEEVENTF_MIDDLEUP;
      break;
    case MouseButton::Right:
      in.mi.dwFlags = down ? MOUSEEVENTF_RIGHTDOWN : MOUSEEVENTF_RIGHTUP;
      break;
  }
  SetLastError(ERROR_SUCCESS);
  // Input blocked by a window of higher integrity is dropped with no error code, so the count
  // of inserted events is the only reliable sign of failure.
  const UINT inserted = SendInput(1, &in, sizeof(INPUT));
  if (inserted != 1) {
    Fail(("SendInput inserted " + std::to_string(inserted) + " of 1 events").c_str());
    return false;
  }
  diagnostic_.clear();
  return true;
}

}  // namespace pel::win32
