// Pelmira.exe: records mouse motion and plays it back on Windows. wWinMain only picks the
// backends, hands them to Form1 and runs the message loop.

#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#undef MessageBox  // the seam has its own

#include <exception>
#include <string>

#include "app/form1.h"
#include "app/time_random.h"
#include "platform/error.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_dialogs.h"
#include "platform/win32/win32_environment.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_indicator.h"
#include "platform/win32/win32_input.h"
#include "platform/win32/win32_main_window.h"
#include "platform/win32/win32_shell.h"
#include "platform/win32/win32_text.h"

namespace {

// The manifest declares per-monitor (v2) awareness; this covers a program started without it
// (for example renamed beside a stale .manifest file). Without awareness, cursor positions are
// scaled on high-resolution screens and a replay lands elsewhere.
void EnsureDpiAwareness() {
  HMODULE user32 = GetModuleHandleW(L"user32.dll");
  if (user32 == nullptr) return;
  using SetContextFn = BOOL(WINAPI*)(HANDLE);
  auto set_context = reinterpret_cast<SetContextFn>(
      reinterpret_cast<void*>(GetProcAddress(user32, "SetProcessDpiAwarenessContext")));
  // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2; fails harmlessly when already set.
  if (set_context != nullptr) set_context(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)));
}

int Run() {
  EnsureDpiAwareness();
  INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&icc);
  // The picture decoder and the file dialogs want COM on this thread.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

  pel::win32::Win32Input input;
  pel::win32::Win32Clock clock;
  pel::win32::Win32FileSystem files;
  pel::win32::Win32Environment env;
  pel::win32::Win32Shell shell;
  pel::win32::Win32SkinEngine skin;
  pel::TimeSeededRandom random;
  pel::win32::Win32MainWindow window;
  pel::win32::Win32Dialogs dialogs{std::string(pel::kProductName)};
  dialogs.SetOwner(window.Handle());
  pel::win32::Win32EventPump events;
  events.SetDialogWindow(window.Handle());
  pel::win32::Win32IndicatorFactory indicators(window.SmallIcon());

  pel::Form1 form(pel::Form1Host{window, input, clock, dialogs, events, files, env, shell, random,
                                 skin, indicators});
  window.SetHandlers(form.Handlers());

  // Idle, the poll tick sleeps: the raw input of the shortcut keys and the buttons wakes it.
  // Without raw input the presses are only seen by polling, so the tick keeps running.
  if (input.RawInputProblem().empty()) {
    input.SetOnInput([&form] { form.Poll().Wake(); });
    form.Poll().SleepWhenIdle([&input] { return input.TakeInput(); });
  }

  form.Form_Load();
  window.ShowCentred();

  MSG msg;
  int rc = 0;
  for (;;) {
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == 0) {
      rc = static_cast<int>(msg.wParam);
      break;
    }
    if (got == -1) {
      rc = 1;
      break;
    }
    pel::win32::Win32EventPump::Dispatch(window.Handle(), msg);
  }
  if (SUCCEEDED(com)) CoUninitialize();
  return rc;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  try {
    return Run();
  } catch (const std::exception& e) {
    // Only the window itself can fail here (the handlers report their own failures).
    std::wstring text = L"Pelmira cannot start: ";
    try {
      text += pel::win32::Widen(e.what());
    } catch (...) {
    }
    MessageBoxW(nullptr, text.c_str(), L"Pelmira", MB_OK | MB_ICONERROR);
    return 1;
  }
}
