#pragma once
// pel::Input on the user32 calls: key state, cursor query and placement, SendInput buttons.

#include <string>

#include "platform/input.h"

namespace pel::win32 {

class Win32Input : public Input {
 public:
  int16_t KeyState(int vk) override;
  bool CursorPos(Point& pos) override;
  bool SetCursorPos(Point pos) override;
  bool InjectButton(MouseButton button, bool down) override;

  // Why the last call that returned false failed: the call's name and GetLastError, for
  // example "SendInput inserted 0 of 1 events (GetLastError 5: Access is denied.)". Empty
  // after a call that succeeded.
  const std::string& LastDiagnostic() const { return diagnostic_; }

 private:
  void Fail(const char* what);
  std::string diagnostic_;
};

}  // namespace pel::win32
