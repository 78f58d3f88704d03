#include "platform/win32/win32_foreground.h"

#include <vector>

namespace pel {

namespace {

// The integrity level (a SECURITY_MANDATORY_*_RID) of `process`; false when its token cannot
// be read, with GetLastError set.
bool IntegrityLevel(HANDLE process, DWORD& level) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(process, TOKEN_QUERY, &token)) return false;
  DWORD size = 0;
  GetTokenInformation(token, TokenIntegrityLevel, nullptr, 0, &size);
  std::vector<unsigned char> buf(size ? size : 1);
  const bool ok =
      size != 0 && GetTokenInformation(token, TokenIntegrityLevel, buf.data(), size, &size);
  const DWORD code = GetLastError();
  CloseHandle(token);
  if (!ok) {
    SetLastError(code);
    return false;
  }
  PSID sid = reinterpret_cast<TOKEN_MANDATORY_LABEL*>(buf.data())->Label.Sid;
  const UCHAR count = *GetSidSubAuthorityCount(sid);
  if (count == 0) return false;
  level = *GetSidSubAuthority(sid, count - 1);
  return true;
}

}  // namespace

bool RunsAboveThisProcess(HWND window) {
  if (window == nullptr) return false;
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid == 0 || pid == GetCurrentProcessId()) return false;
  static const DWORD own = [] {
    DWORD level = SECURITY_MANDATORY_MEDIUM_RID;
    IntegrityLevel(GetCurrentProcess(), level);
    return level;
  }();
  // Every process may ask this much of another, elevated ones included.
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (process == nullptr)
    return GetLastError() == ERROR_ACCESS_DENIED && own < SECURITY_MANDATORY_HIGH_RID;
  DWORD level = 0;
  const bool read = IntegrityLevel(process, level);
  const DWORD code = GetLastError();
  CloseHandle(process);
  // An elevated process's token refuses an unelevated reader.
  if (!read) return code == ERROR_ACCESS_DENIED && own < SECURITY_MANDATORY_HIGH_RID;
  return level > own;
}

bool ElevatedForegroundWatch::AfterTick(bool playing, Control& status) {
  const bool started = playing && !was_playing_;
  was_playing_ = playing;
  bool now = false;
  if (playing) {
    HWND front = GetForegroundWindow();
    if (!started && front == last_) return false;
    last_ = front;
    now = RunsAboveThisProcess(front);
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
