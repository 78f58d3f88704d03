// Pelmira.exe: records mouse motion and plays it back on Windows. wWinMain picks the Win32
// backends and wires what only this platform has (work kept when the program is ended from
// outside, the elevated-window watch, the message loop); the steps both programs share are
// app/program.h's.

#include <windows.h>
#undef MessageBox  // the seam has its own

#include <exception>
#include <functional>
#include <optional>
#include <string>
#include <utility>

#include "app/main_form.h"
#include "app/program.h"
#include "app/time_random.h"
#include "platform/win32/win32_clock.h"
#include "platform/win32/win32_diagnostics.h"
#include "platform/win32/win32_dialogs.h"
#include "platform/win32/win32_dpi.h"
#include "platform/win32/win32_environment.h"
#include "platform/win32/win32_files.h"
#include "platform/win32/win32_foreground.h"
#include "platform/win32/win32_indicator.h"
#include "platform/win32/win32_input.h"
#include "platform/win32/win32_input_events.h"
#include "platform/win32/win32_instance.h"
#include "platform/win32/win32_screens.h"
#include "platform/win32/win32_shell.h"
#include "platform/win32/win32_skin.h"
#include "platform/win32/win32_text.h"
#include "platform/win32/win32_windows_on_screen.h"
#include "programs/windows/win32_main_window.h"
#include "programs/windows/win32_session.h"

namespace {

using Action = pel::CommandLine::Action;

int Run(const pel::CommandLine& line, const pel::ProgramConsole& console) {
  // One instance per user session.
  pel::Win32Clock clock;
  pel::Win32Instance instance;
  pel::OtherInstance other;
  if (const std::optional<int> ended = pel::ClaimInstance(instance, clock, console, line, other))
    return *ended;
  pel::Win32Shell shell(other.runs);

  pel::Win32Session session;
  if (const std::string dpi = pel::DpiAwarenessProblem(); !dpi.empty()) console.Say(dpi);
  pel::Win32Input input;
  pel::Win32FileSystem files;
  pel::Win32Environment env;
  pel::Win32SkinEngine skin;
  pel::TimeSeededRandom random;
  pel::Win32MainWindow window;
  pel::Win32Dialogs dialogs{std::string(pel::kProductName)};
  dialogs.SetOwner(window.Handle());
  dialogs.SetAfterFileDialog([&input] { input.KeepRawInputTarget(); });
  pel::Win32EventPump events;
  events.SetDialogWindow(window.Handle());
  pel::Win32IndicatorFactory indicators([&window] { return window.SmallIcon(); });

  pel::MainForm form(pel::MainFormHost{
      {input, clock, dialogs, events, files, env}, window, shell, random, skin, indicators});
  pel::FormHandlers handlers = form.Handlers();
  // Clicks sent to a window of higher integrity are dropped without an error: the status line
  // says so while one is in front or under the latest press during a playback (and standard
  // error once each for --play).
  pel::ElevatedForegroundWatch elevated;
  bool told_front = false, told_clicked = false;
  auto watch_foreground = [&] {
    const bool playing = form.Recorder().mode == pel::Mode::Playing;
    const std::string_view shown = elevated.AfterTick(playing, input.TakePressIntoElevated(),
                                                      window.Get(pel::ControlId::StatusLine));
    if (line.action != Action::Play) return;
    if (shown == pel::kElevatedInFront && !std::exchange(told_front, true))
      console.Say(
          "the window in front runs elevated (at a higher integrity level): clicks into it are "
          "lost while it is in front");
    if (shown == pel::kElevatedClicked && !std::exchange(told_clicked, true))
      console.Say(
          "a window clicked into runs elevated (at a higher integrity level): clicks into it are "
          "lost");
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
  // Ended from outside (the session ends, taskkill, End task): buttons a playback holds are let
  // go and the work is kept, then it ends.
  window.SetEndingWithoutUser([&] {
    form.ReleaseButtons();
    int status = form.Scripted() ? pel::exit_status::kStopped : pel::exit_status::kOk;
    const std::string said = form.KeepBeforeEnd(status);
    if (!said.empty() && form.Scripted()) console.Say(said);
    if (!said.empty()) pel::DiagnosticLine("ending: " + said);
    return status;
  });
  pel::EndOnConsoleControl(window.Handle());
  // The monitors and the windows, for recordings and where their playback goes; the mouse's
  // own events, for recordings.
  pel::Win32Screens screens;
  pel::Win32WindowsOnScreen windows([&form] { form.OnWindowsChanged(); });
  pel::Win32InputEvents pointer_events(input, clock);
  // Idle, the poll tick sleeps: the raw input of the shortcut keys and the buttons wakes it.
  // Without raw input the presses are only seen by polling, so the tick keeps running.
  std::function<bool()> take_input;
  if (input.RawInputProblem().empty()) {
    input.SetOnInput([&form] { form.OnInputArrived(); });
    take_input = [&input] { return input.TakeInput(); };
  }
  form.Attach({&screens, &windows, &pointer_events, take_input});

  pel::ProgramLoop loop;
  loop.show = [&] { window.ShowCentred(); };
  loop.run = [&] { return pel::RunMessageLoop(window.Handle()); };
  loop.quit = [](int code) { PostQuitMessage(code); };
  return pel::RunProgram(form, line, console, loop, instance, other);
}

}  // namespace

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  const pel::ProgramConsole console{
      "Pelmira.exe",
      PEL_VERSION,
      "",
      [](const std::string& text) { pel::WriteStd(STD_OUTPUT_HANDLE, text); },
      [](const std::string& text) { pel::WriteStd(STD_ERROR_HANDLE, text); },
      "--record ended by taskkill without /F or the session end saves as Pause does. Task "
      "Manager's End task may end a --record run (it shows no window) without saving.\n"};
  pel::Win32FileSystem files;
  pel::CommandLine line;
  if (const std::optional<int> ended =
          pel::AnswerCommandLine(console, pel::CommandLineArguments(), files, line))
    return *ended;
  try {
    return Run(line, console);
  } catch (const std::exception& e) {
    // Only the window itself can fail here (the handlers report their own failures).
    std::wstring text = L"Pelmira cannot start: ";
    try {
      text += pel::Widen(e.what());
    } catch (...) {
    }
    if (line.action == Action::Window)
      MessageBoxW(nullptr, text.c_str(), L"Pelmira", MB_OK | MB_ICONERROR);
    else
      console.Say(std::string("cannot start: ") + e.what());
    return pel::exit_status::kFailed;
  }
}
