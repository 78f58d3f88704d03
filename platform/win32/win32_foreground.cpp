#include "platform/win32/win32_foreground.h"

namespace pel {

namespace {

// How long the check waits for the window's thread; one that takes longer counts as open.
constexpr UINT kProbeTimeoutMs = 100;

}  // namespace

bool InputBlockedByIntegrity(HWND window) {
  if (window == nullptr) return false;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == 0 || pid == GetCurrentProcessId()) return false;
  // UIPI filters messages above WM_USER from a lower integrity level as it drops injected input:
  // a refused message (error 5) is the same refusal. A message nobody knows goes to the
  // window's default handling, which does nothing with it. Only the refusal counts: another
  // account's window that this process may not open, or a slow one, takes its input.
  static const UINT probe = RegisterWindowMessageW(L"PelmiraIntegrityProbe");
  if (probe == 0) return false;
  DWORD_PTR result = 0;
  SetLastError(ERROR_SUCCESS);
  if (SendMessageTimeoutW(window, probe, 0, 0, SMTO_BLOCK | SMTO_ABORTIFHUNG, kProbeTimeoutMs,
                          &result) != 0)
    return false;
  return GetLastError() == ERROR_ACCESS_DENIED;
}

bool ElevatedForegroundWatch::AfterTick(bool playing, Control& status) {
  const bool started = playing && !was_playing_;
  was_playing_ = playing;
  bool now = false;
  if (playing) {
    HWND front = GetForegroundWindow();
    if (!started && front == last_) return false;
    last_ = front;
    now = InputBlockedByIntegrity(front);
  } else {
    last_ = nullptr;
  }
  const bool was = above_;
  above_ = now;
  if (now) {
    if (status.Caption() != kElevatedInFront) replaced_ = status.Caption();
    status.SetCaption(kElevatedInFront);
    return !was || started;
  }
  if (was && status.Caption() == kElevatedInFront) status.SetCaption(replaced_);
  return false;
}

}  // namespace pel
