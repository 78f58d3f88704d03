// The open windows a recording's clicks follow.
#include <windows.h>

#include <optional>
#include <string>

#include "platform/win32/win32_text.h"
#include "platform/win32/win32_windows_on_screen.h"
#include "tests/win32/check.h"
#include "tests/win32/selftest.h"

namespace pel::wintest {

// A window shown by a thread that then stops serving its messages, as a hung program would.
struct HungWindow {
  HWND hwnd = nullptr;
  HANDLE shown = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  HANDLE release = CreateEventW(nullptr, TRUE, FALSE, nullptr);
};
DWORD WINAPI ShowThenHang(void* data) {
  auto& w = *static_cast<HungWindow*>(data);
  w.hwnd =
      CreateWindowExW(0, L"PelSelftestFound", L"Gr\u00fc\u00dfe, \"draft\"", WS_OVERLAPPEDWINDOW,
                      200, 150, 420, 300, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
  ShowWindow(w.hwnd, SW_SHOWNOACTIVATE);
  SetEvent(w.shown);
  WaitForSingleObject(w.release, 10000);
  DestroyWindow(w.hwnd);
  return 0;
}

// The window a recording clicked in, found again at a point and among the open windows without
// waiting for its hung thread; a change reported by the system reaches the program.
void TestWindowsOnScreen() {
  RegisterTestClass(L"PelSelftestFound", &DefWindowProcW);
  int told = 0;
  Win32WindowsOnScreen windows([&told] { ++told; });
  HungWindow hung;
  HANDLE thread = CreateThread(nullptr, 0, &ShowThenHang, &hung, 0, nullptr);
  WaitForSingleObject(hung.shown, 5000);
  auto pump_until_told = [&told](int more_than) {
    for (const ULONGLONG end = GetTickCount64() + 500;
         told <= more_than && GetTickCount64() < end;) {
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
  };
  pump_until_told(0);
  // Wine raises no such event itself (Windows does): say whether it came, and check the
  // hooks with one raised as the system would.
  Info("windows: showing a window was " + std::string(told ? "" : "not ") + "reported");
  const int seen = told;
  NotifyWinEvent(EVENT_OBJECT_NAMECHANGE, hung.hwnd, OBJID_WINDOW, CHILDID_SELF);
  pump_until_told(seen);
  Check(told > seen && windows.Generation() > 0, "windows: a rename is a change");

  RECT outer{};
  GetWindowRect(hung.hwnd, &outer);
  const ULONGLONG asked = GetTickCount64();
  const std::optional<TopWindow> at = windows.WindowAt({outer.left + 200, outer.top + 150});
  const ULONGLONG took = GetTickCount64() - asked;
  const std::string title =
      "Gr\xc3\xbc\xc3\x9f"
      "e, \"draft\"";
  Check(at && at->id == reinterpret_cast<uintptr_t>(hung.hwnd) &&
            at->class_name == "PelSelftestFound" && at->title == title && !at->popup && took < 500,
        "windows: the window at a point, its thread hung",
        at ? at->class_name + " \"" + at->title + "\" " + std::to_string(took) + " ms" : "none");
  // Its visible frame: the title bar counts, the invisible resize borders do not.
  Check(at && at->top == outer.top && at->left >= outer.left && at->left - outer.left <= 10 &&
            at->left + at->width <= outer.right && at->top + at->height <= outer.bottom &&
            outer.bottom - (at->top + at->height) <= 10,
        "windows: its area is the visible window",
        at ? std::to_string(at->left) + "," + std::to_string(at->top) + " " +
                 std::to_string(at->width) + "x" + std::to_string(at->height)
           : "");
  bool listed = false;
  for (const TopWindow& w : windows.List()) listed = listed || (at && w == *at);
  Check(listed, "windows: listed as at the point");
  Check(at && windows.Find(at->id) == at, "windows: found again by its handle");
  // The program: our own executable's file name, asked of the process, not of the hung window.
  wchar_t own[MAX_PATH] = L"";
  const std::wstring_view path(own, GetModuleFileNameW(nullptr, own, MAX_PATH));
  const std::string exe = Narrow(path.substr(path.find_last_of(L"\\/") + 1));
  Check(at && !exe.empty() && at->program == exe, "windows: the program is the process's image",
        at ? at->program + " (" + exe + ")" : "");
  SetEvent(hung.release);
  if (thread) {
    WaitForSingleObject(thread, 5000);
    CloseHandle(thread);
  }
  CloseHandle(hung.shown);
  CloseHandle(hung.release);
}

}  // namespace pel::wintest
