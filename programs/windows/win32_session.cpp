#include "programs/windows/win32_session.h"

#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>

#include "platform/win32/win32_dialogs.h"
#include "platform/win32/win32_dpi.h"
#include "platform/win32/win32_text.h"

namespace pel {

std::vector<std::string> CommandLineArguments() {
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  if (argv == nullptr) return args;
  for (int i = 1; i < count; ++i) args.push_back(Narrow(argv[i]));
  LocalFree(argv);
  return args;
}

int RunMessageLoop(HWND window) {
  MSG msg;
  for (;;) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) return static_cast<int>(msg.wParam);
    if (got == -1) return 1;
    Win32EventPump::Dispatch(window, msg);
  }
}

Win32Session::Win32Session() {
  // The manifest declares per-monitor (v2) awareness; this covers a program started without it
  // (for example renamed beside a stale .manifest file). Without awareness, cursor positions are
  // scaled on high-resolution screens and a replay lands elsewhere.
  using SetContextFn = BOOL(WINAPI*)(HANDLE);
  // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2; fails harmlessly when already set.
  if (auto set_context = User32Proc<SetContextFn>("SetProcessDpiAwarenessContext"))
    set_context(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)));
  INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&icc);
  com_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE));
}

Win32Session::~Win32Session() {
  if (com_) CoUninitialize();
}

}  // namespace pel
