// pelmira: records mouse motion and plays it back on an X11 desktop, and plays it on a wlroots
// Wayland desktop. main() picks the Linux backends and wires what only this platform has (the X
// display, signals); the steps both programs share are app/program.h's.

#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/main_form.h"
#include "app/program.h"
#include "app/time_random.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_environment.h"
#include "platform/posix/posix_files.h"
#include "platform/qt/qt_dialogs.h"
#include "platform/qt/qt_ending.h"
#include "platform/qt/qt_event_pump.h"
#include "platform/qt/qt_indicator.h"
#include "platform/qt/qt_instance.h"
#include "platform/qt/qt_shell.h"
#include "platform/qt/qt_skin.h"
#include "platform/x11/x11_display.h"
#include "platform/x11/x11_input.h"
#include "programs/linux/linux_desktop.h"
#include "programs/linux/qt_main_window.h"
#include "programs/linux/qt_session.h"
#include "programs/linux/wayland_session.h"

#ifndef PEL_VERSION
#define PEL_VERSION "0"
#endif

int main(int argc, char* argv[]) {
  namespace status = pel::exit_status;
  pel::ProgramConsole console{"pelmira", PEL_VERSION, pel::kLinuxHelpNote,
                              [](const std::string& text) { std::fputs(text.c_str(), stdout); },
                              [](const std::string& text) { std::fputs(text.c_str(), stderr); }};
  pel::PosixFileSystem files;
  pel::CommandLine line;
  std::vector<std::string> args(argv + 1, argv + argc);
  pel::Backend backend = pel::Backend::Auto;
  if (const std::optional<int> ended = pel::TakeBackendOption(console, args, backend))
    return *ended;
  console.backend = [backend] { return pel::ProbeBackend(backend); };
  if (const std::optional<int> ended = pel::AnswerCommandLine(console, args, files, line))
    return *ended;
  // One instance per user and X server, or Wayland compositor where no X display is set. A
  // command goes to it before any display is opened.
  pel::PosixClock clock;
  const char* display = std::getenv("DISPLAY");
  const char* compositor_socket = std::getenv("WAYLAND_DISPLAY");
  const char* runtime_dir = std::getenv("XDG_RUNTIME_DIR");
  pel::QtInstance instance(
      display || !compositor_socket || !*compositor_socket
          ? pel::InstanceLock::NameFor(display)
          : pel::InstanceLock::NameForWayland(compositor_socket, runtime_dir ? runtime_dir : ""),
      display ? std::optional<std::string>(display) : std::nullopt);
  pel::OtherInstance other;
  if (line.action == pel::CommandLine::Action::Command)
    return *pel::ClaimInstance(instance, clock, console, line, other);
  // Through the Wayland compositor where it is chosen, else through X11.
  std::unique_ptr<pel::WaylandDisplay> compositor;
  std::unique_ptr<pel::WaylandInput> wayland_input;
  bool use_portal = false;
  if (const std::optional<int> ended =
          pel::OpenWayland(console, line, backend, compositor, wayland_input, use_portal))
    return *ended;
  bool wayland = false;
  // Held until the program ends: as the first client of a server that resets when its last
  // client leaves, closing it would have the instance guard's or Qt's connection find the
  // server resetting.
  pel::DisplayHold held_display;
  if (!wayland_input && !use_portal && !pel::CheckX11Session(console, held_display, wayland))
    return status::kFailed;

  if (const std::optional<int> ended = pel::ClaimInstance(instance, clock, console, line, other))
    return *ended;
  pel::QtShell shell(other.runs);

  QApplication app(argc, argv);
  pel::SetUpApplication(PEL_VERSION);
  pel::PosixEnvironment env;
  std::string error;
  // The desktop portal: whether it is there is known now. Its consent is asked before --play,
  // and in the window once the window shows, with the status line saying so; a session it ends
  // later ends the program.
  pel::PendingInput pending_input;
  std::unique_ptr<pel::PortalInput> portal_input;
  std::function<void(const std::string&)> portal_closed;
  auto open_portal = [&](std::string& said) {
    return pel::OpenPortal(
        console, env.StateFolder(), [&](const std::string& reason) { portal_closed(reason); },
        portal_input, said);
  };
  if (use_portal && !pel::PortalInput::Offered(error)) {
    if (backend == pel::Backend::Portal) {
      console.Say("cannot play through the desktop portal: " + error);
      return status::kFailed;
    }
    console.Say(error + ": playing through X11");
    use_portal = false;
    compositor.reset();
    if (!pel::CheckX11Session(console, held_display, wayland)) return status::kFailed;
  } else if (use_portal && pel::IsScripted(line)) {
    std::string said;
    if (const std::optional<int> ended = open_portal(said)) return *ended;
    pending_input.Set(portal_input.get());
  }
  std::unique_ptr<pel::X11Input> x11_input;
  if (!wayland_input && !use_portal) x11_input = pel::X11Input::Open(nullptr, error);
  if (!x11_input && !wayland_input && !use_portal) {
    const std::string text = "pelmira cannot read the mouse and the keyboard: " + error;
    std::fprintf(stderr, "%s\n", text.c_str());
    // A script gets its one line; only the window's user gets a box.
    if (!pel::IsScripted(line))
      QMessageBox::critical(nullptr, QStringLiteral("pelmira"), QString::fromStdString(text));
    return status::kFailed;
  }

  pel::QtDialogs dialogs;
  pel::QtEventPump events;
  pel::TimeSeededRandom random;
  pel::QtSkinEngine skin;
  pel::QtIndicatorFactory indicators({env.ProgramFolder()});
  pel::QtMainWindow window;

  dialogs.SetOwner(window.Widget());
  pel::Input& input = wayland_input ? static_cast<pel::Input&>(*wayland_input)
                      : use_portal  ? static_cast<pel::Input&>(pending_input)
                                    : *x11_input;
  pel::MainForm form(pel::MainFormHost{
      {input, clock, dialogs, events, files, env}, window, shell, random, skin, indicators});
  window.SetHandlers(form.Handlers());
  // A --record --every-event run says the missing mouse events once, as its recording begins.
  const bool recording_every_event =
      line.action == pel::CommandLine::Action::Record && line.recording.every_event;
  pel::LinuxDesktop desktop(compositor.get(), x11_input.get(), clock, console,
                            !recording_every_event);
  desktop.AttachTo(form);

  // Ended by a signal or by the loss of the display, the work in memory is kept first: a
  // --record run saves its file as Pause would, the window keeps unsaved changes for the next
  // start. A run with nothing to keep ends as the signal would have ended it.
  // Nothing reaches the desktop once its portal has ended the session: the program ends.
  portal_closed = [&](const std::string& reason) {
    form.ReleaseButtons();
    int code = status::kFailed;
    const std::string said = form.KeepBeforeEnd(code);
    console.Say(reason + ", so playing stopped" + (said.empty() ? "" : "; ") + said);
    std::fflush(stderr);
    QCoreApplication::exit(pel::kInputRefused);
  };
  const bool recording = line.action == pel::CommandLine::Action::Record;
  pel::SignalWatch ended_by_signal([&](int signo) {
    form.ReleaseButtons();
    // The compositor drops what it has not handled when the program goes.
    if (compositor) compositor->Sync();
    int code = status::kFailed;
    const std::string said = form.KeepBeforeEnd(code);
    if (!said.empty()) console.Say(std::string(strsignal(signo)) + ": " + said);
    if (!recording) pel::SignalWatch::DieBy(signo);
    std::fflush(stderr);
    QCoreApplication::exit(code);
  });
  pel::OnLastWords([&] {
    int code = status::kFailed;
    const std::string said = form.KeepBeforeEnd(code);
    console.Say(std::string("the X display went away") + (said.empty() ? "" : "; ") + said);
  });
  pel::ProgramLoop loop;
  loop.show = [&] {
    window.ShowCentred();
    window.Get(pel::ControlId::StatusLine)
        .SetCaption("Backend: " + pel::BackendName(wayland_input ? pel::Backend::Wayland
                                                   : use_portal  ? pel::Backend::Portal
                                                                 : pel::Backend::X11,
                                                   wayland));
    // Said once, not in the way of the window.
    if (wayland_input)
      pel::ShowWaylandNote(pel::kWaylandBackendNote);
    else if (use_portal)
      pel::ShowWaylandNote(pel::kPortalBackendNote);
    if (use_portal && !portal_input) {
      pel::Control& status_line = window.Get(pel::ControlId::StatusLine);
      const std::string before = status_line.Caption();
      status_line.SetCaption(pel::kPortalWaitingNote);
      std::string said;
      const std::optional<int> ended = open_portal(said);
      status_line.SetCaption(before);
      if (ended) {
        QMessageBox::critical(window.Widget(), QStringLiteral("pelmira"),
                              QString::fromStdString(said));
        QTimer::singleShot(0, [code = *ended] { QCoreApplication::exit(code); });
        return;
      }
      pending_input.Set(portal_input.get());
    } else if (wayland)
      pel::ShowWaylandNote();
  };
  loop.run = [] {
    const int code = QApplication::exec();
    pel::OnLastWords(nullptr);  // MainForm goes before the toolkit
    return code;
  };
  loop.quit = [](int code) {
    std::fflush(stderr);
    QCoreApplication::exit(code);
  };
  return pel::RunProgram(form, line, console, loop, instance, other);
}
