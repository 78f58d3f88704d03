#include "platform/win32/win32_windows_on_screen.h"

#include <dwmapi.h>

#include <string>

#include "platform/win32/win32_diagnostics.h"
#include "platform/win32/win32_text.h"

namespace pel {

namespace {

Win32WindowsOnScreen* g_instance = nullptr;

// Longer titles are cut here, the same way at recording and at playback.
constexpr int kTitleChars = 1024;

// The event ranges that open, close, rename, hide or show a window.
constexpr DWORD kEventRanges[][2] = {
    {EVENT_OBJECT_DESTROY, EVENT_OBJECT_HIDE},  // destroy, show, hide
    {EVENT_OBJECT_NAMECHANGE, EVENT_OBJECT_NAMECHANGE},
    {EVENT_SYSTEM_MINIMIZESTART, EVENT_SYSTEM_MINIMIZEEND},
    {EVENT_OBJECT_CLOAKED, EVENT_OBJECT_UNCLOAKED},
};

bool IsDesktop(HWND hwnd) {
  // The icons live in a SHELLDLL_DefView inside the shell's window or a WorkerW behind it.
  return hwnd == GetDesktopWindow() || hwnd == GetShellWindow() ||
         FindWindowExW(hwnd, nullptr, L"SHELLDLL_DefView", nullptr) != nullptr;
}

bool Cloaked(HWND hwnd) {
  DWORD cloaked = 0;
  return SUCCEEDED(DwmGetWindowAttribute(hwnd, DWMWA_CLOAKED, &cloaked, sizeof cloaked)) &&
         cloaked != 0;
}

bool IsPopup(HWND hwnd, const wchar_t* class_name) {
  if (std::wstring_view(class_name) == L"#32768") return true;  // a menu
  const LONG_PTR style = GetWindowLongPtrW(hwnd, GWL_STYLE);
  return GetWindow(hwnd, GW_OWNER) != nullptr && (style & WS_POPUP) != 0 &&
         (style & WS_CAPTION) != WS_CAPTION;
}

// The file name of the executable of the process that owns `hwnd`; empty when it cannot be read
// (a protected process, say). Limited access suffices for processes of any integrity level.
std::string ProgramOf(HWND hwnd) {
  DWORD pid = 0;
  if (!GetWindowThreadProcessId(hwnd, &pid) || pid == 0) return {};
  HANDLE process = OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid);
  if (!process) return {};
  wchar_t path[MAX_PATH * 4] = L"";
  DWORD length = MAX_PATH * 4;
  const BOOL ok = QueryFullProcessImageNameW(process, 0, path, &length);
  CloseHandle(process);
  if (!ok) return {};
  const std::wstring_view full(path, length);
  const size_t slash = full.find_last_of(L"\\/");
  return Narrow(slash == full.npos ? full : full.substr(slash + 1));
}

// The window as the seam describes it; nullopt when it is not shown or is gone.
std::optional<TopWindow> Describe(HWND hwnd) {
  if (!IsWindowVisible(hwnd) || IsIconic(hwnd) || Cloaked(hwnd)) return std::nullopt;
  RECT r{};
  // Without the invisible resize borders that GetWindowRect counts on Windows 10 and later.
  if (FAILED(DwmGetWindowAttribute(hwnd, DWMWA_EXTENDED_FRAME_BOUNDS, &r, sizeof r)) &&
      !GetWindowRect(hwnd, &r))
    return std::nullopt;
  wchar_t class_name[257] = L"";
  if (GetClassNameW(hwnd, class_name, 257) == 0 || r.right <= r.left || r.bottom <= r.top)
    return std::nullopt;
  // Read from the window's own record, not asked of its thread (WM_GETTEXT could hang).
  wchar_t title[kTitleChars] = L"";
  const int length = InternalGetWindowText(hwnd, title, kTitleChars);
  TopWindow w;
  w.id = reinterpret_cast<uintptr_t>(hwnd);
  w.class_name = Narrow(class_name);
  w.title = Narrow(std::wstring_view(title, length > 0 ? static_cast<size_t>(length) : 0));
  w.left = r.left;
  w.top = r.top;
  w.width = r.right - r.left;
  w.height = r.bottom - r.top;
  w.popup = IsPopup(hwnd, class_name);
  w.program = ProgramOf(hwnd);
  return w;
}

BOOL CALLBACK AddWindow(HWND hwnd, LPARAM data) {
  if (IsDesktop(hwnd)) return TRUE;
  if (std::optional<TopWindow> w = Describe(hwnd); w && !w->popup)
    reinterpret_cast<std::vector<TopWindow>*>(data)->push_back(std::move(*w));
  return TRUE;
}

}  // namespace

Win32WindowsOnScreen::Win32WindowsOnScreen(std::function<void()> on_change)
    : on_change_(std::move(on_change)) {
  g_instance = this;
  for (const auto& range : kEventRanges) {
    // Out of context: the events come to this thread's message loop, no DLL is injected.
    if (HWINEVENTHOOK hook =
            SetWinEventHook(range[0], range[1], nullptr, OnEvent, 0, 0, WINEVENT_OUTOFCONTEXT))
      hooks_.push_back(hook);
    else
      DiagnosticLine(
          "SetWinEventHook(windows) failed: a playback waiting for a window sees it "
          "only when its wait runs out");
  }
}

Win32WindowsOnScreen::~Win32WindowsOnScreen() {
  for (HWINEVENTHOOK hook : hooks_) UnhookWinEvent(hook);
  g_instance = nullptr;
}

void CALLBACK Win32WindowsOnScreen::OnEvent(HWINEVENTHOOK, DWORD event, HWND hwnd, LONG object,
                                            LONG child, DWORD, DWORD) {
  if (!g_instance || !hwnd || object != OBJID_WINDOW || child != CHILDID_SELF) return;
  // A destroyed window can no longer be asked whether it was a top-level one.
  if (event != EVENT_OBJECT_DESTROY && GetAncestor(hwnd, GA_ROOT) != hwnd) return;
  ++g_instance->generation_;
  if (g_instance->on_change_) g_instance->on_change_();
}

std::optional<TopWindow> Win32WindowsOnScreen::WindowAt(Point at) {
  HWND hwnd = WindowFromPoint(POINT{at.x, at.y});
  HWND top = hwnd ? GetAncestor(hwnd, GA_ROOT) : nullptr;
  if (!top || IsDesktop(top)) return std::nullopt;
  return Describe(top);
}

std::optional<TopWindow> Win32WindowsOnScreen::Find(uint64_t id) {
  const HWND hwnd = reinterpret_cast<HWND>(static_cast<uintptr_t>(id));
  if (!IsWindow(hwnd)) return std::nullopt;
  return Describe(hwnd);
}

std::vector<TopWindow> Win32WindowsOnScreen::List() {
  std::vector<TopWindow> out;
  if (!EnumWindows(AddWindow, reinterpret_cast<LPARAM>(&out))) out.clear();
  return out;
}

}  // namespace pel
