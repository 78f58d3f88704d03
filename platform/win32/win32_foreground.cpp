#include "platform/win32/win32_foreground.h"

#include <utility>

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

std::string_view ElevatedForegroundWatch::AfterTick(bool playing,
                                                    std::optional<bool> press_elevated,
                                                    Control& status) {
  const bool started = playing && !was_playing_;
  was_playing_ = playing;
  if (playing) {
    HWND front = GetForegroundWindow();
    if (started || front != last_) front_above_ = InputBlockedByIntegrity(front);
    last_ = front;
    if (started) press_above_ = false;
    if (press_elevated) press_above_ = *press_elevated;
  } else {
    last_ = nullptr;
    front_above_ = press_above_ = false;
  }
  const std::string_view now = front_above_   ? kElevatedInFront
                               : press_above_ ? kElevatedClicked
                                              : std::string_view();
  if (now == shown_ && !started) return {};
  const std::string_view was = std::exchange(shown_, now);
  if (!now.empty()) {
    const std::string& caption = status.Caption();
    if (caption != kElevatedInFront && caption != kElevatedClicked) replaced_ = caption;
    status.SetCaption(now);
    return was != now || started ? now : std::string_view();
  }
  if (!was.empty() && status.Caption() == was) status.SetCaption(replaced_);
  return {};
}

}  // namespace pel
