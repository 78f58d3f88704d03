#include "platform/win32/win32_screens.h"

#include <algorithm>
#include <string>

#include "platform/win32/win32_diagnostics.h"
#include "platform/win32/win32_text.h"

namespace pel {

namespace {

constexpr wchar_t kClass[] = L"PelmiraScreens";

BOOL CALLBACK AddMonitor(HMONITOR monitor, HDC, LPRECT, LPARAM data) {
  auto& out = *reinterpret_cast<std::vector<Monitor>*>(data);
  MONITORINFOEXW info{};
  info.cbSize = sizeof info;
  if (!GetMonitorInfoW(monitor, &info)) return TRUE;  // gone meanwhile: the rest still count
  Monitor m;
  m.name = Narrow(info.szDevice);
  m.left = info.rcMonitor.left;
  m.top = info.rcMonitor.top;
  m.width = info.rcMonitor.right - info.rcMonitor.left;
  m.height = info.rcMonitor.bottom - info.rcMonitor.top;
  m.primary = (info.dwFlags & MONITORINFOF_PRIMARY) != 0;
  if (m.width > 0 && m.height > 0) out.push_back(std::move(m));
  return TRUE;
}

}  // namespace

Win32Screens::Win32Screens() {
  WNDCLASSEXW wc{};
  wc.cbSize = sizeof wc;
  wc.lpfnWndProc = Proc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kClass;
  const ATOM atom = RegisterClassExW(&wc);
  // Top-level (not message-only): display changes are broadcast to top-level windows. Never
  // shown.
  if (atom)
    hwnd_ = CreateWindowExW(WS_EX_TOOLWINDOW, kClass, L"", WS_POPUP, 0, 0, 0, 0, nullptr, nullptr,
                            wc.hInstance, this);
  if (!hwnd_)
    DiagnosticLine(std::string(atom ? "CreateWindowExW" : "RegisterClassExW") +
                   "(screens) failed: " + SystemMessage(GetLastError()));
}

Win32Screens::~Win32Screens() {
  if (hwnd_) DestroyWindow(hwnd_);
  UnregisterClassW(kClass, GetModuleHandleW(nullptr));
}

std::vector<Monitor> Win32Screens::List() {
  std::vector<Monitor> out;
  if (!EnumDisplayMonitors(nullptr, nullptr, AddMonitor, reinterpret_cast<LPARAM>(&out)))
    out.clear();
  return out;
}

LRESULT CALLBACK Win32Screens::Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* create = reinterpret_cast<CREATESTRUCTW*>(lp);
    SetWindowLongPtrW(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  } else if (msg == WM_DISPLAYCHANGE) {
    if (auto* self = reinterpret_cast<Win32Screens*>(GetWindowLongPtrW(hwnd, GWLP_USERDATA)))
      ++self->generation_;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace pel
