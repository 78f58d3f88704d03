// Pelmira.exe: records mouse motion and plays it back on Windows. wWinMain picks the Win32
// backends and wires what only this platform has (COM, work kept when the program is ended
// from outside, the elevated-window watch, the message loop); the steps both programs share
// are app/program.h's.

#include <windows.h>

#include <commctrl.h>
#include <objbase.h>
#include <shellapi.h>
#undef MessageBox  // the seam has its own

#include <exception>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "app/main_form.h"
#include "app/program.h"
#include "app/time_random.h"
#include "platform/error.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_dialogs.h"
#include "platform/win32/win32_dpi.h"
#include "platform/win32/win32_environment.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_foreground.h"
#include "platform/win32/win32_indicator.h"
#include "platform/win32/win32_input.h"
#include "platform/win32/win32_main_window.h"
#include "platform/win32/win32_screens.h"
#include "platform/win32/win32_shell.h"
#include "platform/win32/win32_skin.h"
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

namespace status = pel::exit_status;
using Action = pel::CommandLine::Action;

constexpr const char* kProgram = "Pelmira.exe";
// How long a later start waits for the running instance to take its file.
constexpr UINT kHandTimeoutMs = 5000;

const pel::ProgramConsole& Console() {
  static const pel::ProgramConsole console{
      kProgram,
      PEL_VERSION,
      "",
      [](const std::string& text) { pel::WriteStd(STD_OUTPUT_HANDLE, text); },
      [](const std::string& text) { pel::WriteStd(STD_ERROR_HANDLE, text); },
      "--record closed by taskkill (without /F), End task or the end of the session saves as\n"
      "Pause does.\n"};
  return console;
}

// The arguments after the program name, in UTF-8.
std::vector<std::string> Arguments() {
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  std::vector<std::string> args;
  if (argv == nullptr) return args;
  for (int i = 1; i < count; ++i) args.push_back(pel::Narrow(argv[i]));
  LocalFree(argv);
  return args;
}

// `path` made absolute against this process's working folder, which the running instance that
// receives it does not share.
std::string Absolute(const std::string& path) {
  std::wstring wide;
  try {
    wide = pel::Widen(path);
  } catch (const std::exception&) {
    return path;
  }
  const DWORD size = GetFullPathNameW(wide.c_str(), 0, nullptr, nullptr);
  if (size == 0) return path;
  std::wstring full(size, L'\0');
  const DWORD got = GetFullPathNameW(wide.c_str(), size, full.data(), nullptr);
  if (got == 0 || got >= size) return path;
  full.resize(got);
  return pel::Narrow(full);
}

// Ended without the user's word (the session ends, taskkill, End task): the recording of a
// --record run goes to its file, unsaved work in the window to a recovery file that the next
// start names. Returns the exit status.
int KeepWorkBeforeEnd(pel::MainForm& form) {
  int status = form.Scripted() ? status::kStopped : status::kOk;
  const std::string said = form.KeepBeforeEnd(status);
  if (said.empty()) return status;
  if (form.Scripted()) Console().Say(said);
  pel::DiagnosticLine("ending: " + said);
  return status;
}

int Run(const pel::CommandLine& line) {
  const pel::ProgramConsole& console = Console();
  // One instance per user session. A later start with a file hands it to the running window and
  // ends; --play and --record refuse. Otherwise StartUp shows the running-instance message.
  pel::Win32Shell shell;
  if (shell.PreviousInstance()) {
    if (const std::optional<int> refused = pel::RefuseBesideRunningInstance(console, line))
      return *refused;
    if (line.file && pel::HandFileToRunningInstance(pel::Win32MainWindow::ClassName(),
                                                    Absolute(*line.file), kHandTimeoutMs))
      return status::kOk;
  }

  EnsureDpiAwareness();
  if (const std::string dpi = pel::DpiAwarenessProblem(); !dpi.empty()) console.Say(dpi);
  INITCOMMONCONTROLSEX icc = {sizeof(icc), ICC_STANDARD_CLASSES | ICC_WIN95_CLASSES};
  InitCommonControlsEx(&icc);
  // The picture decoder and the file dialogs want COM on this thread.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);

  pel::Win32Input input;
  pel::Win32Clock clock;
  pel::Win32FileSystem files;
  pel::Win32Environment env;
  pel::Win32SkinEngine skin;
  pel::TimeSeededRandom random;
  pel::Win32MainWindow window;
  pel::Win32Dialogs dialogs{std::string(pel::kProductName)};
  dialogs.SetOwner(window.Handle());
  pel::Win32EventPump events;
  events.SetDialogWindow(window.Handle());
  pel::Win32IndicatorFactory indicators([&window] { return window.SmallIcon(); });

  pel::MainForm form(pel::MainFormHost{window, input, clock, dialogs, events, files, env, shell,
                                       random, skin, indicators});
  pel::FormHandlers handlers = form.Handlers();
  // Clicks sent to a window of higher integrity are dropped without an error: the status line
  // says so while one is in front during a playback (and standard error once for --play).
  pel::ElevatedForegroundWatch elevated;
  bool told_stderr = false;
  auto watch_foreground = [&] {
    const bool playing = form.Recorder().mode == pel::Mode::Playing;
    if (elevated.AfterTick(playing, window.Get(pel::ControlId::StatusLine)) &&
        line.action == Action::Play && !std::exchange(told_stderr, true))
      console.Say(
          "the window in front runs elevated (at a higher integrity level): clicks into it are "
          "lost while it is in front");
  };
  handlers.timer = [&, tick = handlers.timer] {
    if (tick) tick();
    try {
      watch_foreground();
    } catch (const std::exception& e) {
      pel::DiagnosticLine(std::string("foreground check: ") + e.what());
    }
  };
  window.SetHandlers(std::move(handlers));
  window.SetEndingWithoutUser([&] { return KeepWorkBeforeEnd(form); });
  // The monitors, for the screen layout of recordings.
  pel::Win32Screens screens;
  form.Poll().Screens.Attach(&screens);

  // Idle, the poll tick sleeps: the raw input of the shortcut keys and the buttons wakes it.
  // Without raw input the presses are only seen by polling, so the tick keeps running.
  if (input.RawInputProblem().empty()) {
    input.SetOnInput([&form] { form.Poll().Wake(); });
    form.Poll().SleepWhenIdle([&input] { return input.TakeInput(); });
  }

  pel::ProgramLoop loop;
  loop.show = [&] {
    // Files handed over by later starts load as if given here when the window is free for it.
    // Not during a load either: a load lets window messages run, and a second one then does
    // nothing.
    window.SetFileReceiver([&] { return form.CanTakeHandedFile() == pel::HandedFileWindow::Free; },
                           [&](const std::string& file) { form.OpenAtStart(file); });
    window.ShowCentred();
  };
  loop.run = [&] {
    MSG msg;
    for (;;) {
      const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
      if (got == 0) return static_cast<int>(msg.wParam);
      if (got == -1) return 1;
      pel::Win32EventPump::Dispatch(window.Handle(), msg);
    }
  };
  loop.quit = [](int code) { PostQuitMessage(code); };
  const int rc = pel::RunProgram(form, line, console, loop);
  if (SUCCEEDED(com)) CoUninitialize();
  return rc;
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  pel::Win32FileSystem files;
  pel::CommandLine line;
  if (const std::optional<int> ended = pel::AnswerCommandLine(Console(), Arguments(), files, line))
    return *ended;
  try {
    return Run(line);
  } catch (const std::exception& e) {
    // Only the window itself can fail here (the handlers report their own failures).
    std::wstring text = L"Pelmira cannot start: ";
    try {
      text += pel::Widen(e.what());
    } catch (...) {
    }
    if (line.action == pel::CommandLine::Action::Window)
      MessageBoxW(nullptr, text.c_str(), L"Pelmira", MB_OK | MB_ICONERROR);
    else
      Console().Say(std::string("cannot start: ") + e.what());
    return status::kFailed;
  }
}
