// pelmira: records mouse motion and plays it back on an X11 desktop. main() picks the Linux
// backends and wires what only this platform has (the X display, the instance lock and its
// channel, signals); the steps both programs share are app/program.h's.

#include <unistd.h>

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QSocketNotifier>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/main_form.h"
#include "app/program.h"
#include "app/time_random.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_environment.h"
#include "platform/posix/posix_files.h"
#include "platform/posix/posix_handover_channel.h"
#include "platform/posix/posix_instance_lock.h"
#include "platform/qt/qt_dialogs.h"
#include "platform/qt/qt_ending.h"
#include "platform/qt/qt_event_pump.h"
#include "platform/qt/qt_indicator.h"
#include "platform/qt/qt_main_window.h"
#include "platform/qt/qt_shell.h"
#include "platform/qt/qt_skin.h"
#include "platform/x11/x11_display.h"
#include "platform/x11/x11_input.h"
#include "platform/x11/x11_screens.h"

#ifndef PEL_VERSION
#define PEL_VERSION "0"
#endif

namespace {

constexpr const char* kProgram = "pelmira";

constexpr const char* kNeedsX11Line =
    "Needs an X11 display with the XInput2 and XTest extensions. Under Wayland, through\n"
    "XWayland, its keys, pointer and clicks reach only the X11 windows.\n";

constexpr const char* kNeedsX11 =
    "pelmira: needs an X11 display with the XInput2 and XTest extensions, and DISPLAY is not "
    "set\n";

constexpr const char* kWaylandNote =
    "This is a Wayland session: pelmira works through XWayland, so the keys F9, F10, F12 and "
    "Pause, the pointer it records and the clicks it plays reach only X11 windows, not the "
    "Wayland ones.";

// How long a later start waits for the running instance to take its file; the instance may be
// starting up itself.
constexpr int kHandTimeoutMs = 10000;

bool Has(const char* name) {
  const char* v = std::getenv(name);
  return v && *v;
}

bool WaylandSession() {
  const char* type = std::getenv("XDG_SESSION_TYPE");
  return Has("WAYLAND_DISPLAY") || (type && std::strcmp(type, "wayland") == 0);
}

// `path` made absolute against this process's working folder, which the running instance that
// receives it does not share.
std::string Absolute(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  std::vector<char> cwd(4096);
  if (!::getcwd(cwd.data(), cwd.size())) return path;
  return std::string(cwd.data()) + "/" + path;
}

// Takes the instance lock, or hands `file` to the instance that holds it. The exit status when
// this start ends here; nullopt when it goes on, with `previous` set when another instance of
// this user runs (StartUp then shows the running-instance message).
std::optional<int> ClaimInstance(pel::InstanceLock& lock, const pel::ProgramConsole& console,
                                 const pel::CommandLine& line, bool& previous) {
  namespace status = pel::exit_status;
  using State = pel::InstanceLock::State;
  using Handed = pel::HandoverChannel::Handed;
  const auto deadline =
      std::chrono::steady_clock::now() + std::chrono::milliseconds(kHandTimeoutMs);
  for (;;) {
    std::string detail;
    switch (lock.Take(detail)) {
      case State::Held:
        previous = false;
        return std::nullopt;
      case State::OtherUser:
      case State::Failed:
        // Running unlocked would let two instances answer the same keys.
        console.Say("cannot make sure that no other instance runs: " + detail);
        return status::kFailed;
      case State::Ours:
        break;
    }
    previous = true;
    if (const std::optional<int> refused = pel::RefuseBesideRunningInstance(console, line))
      return refused;
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                          deadline - std::chrono::steady_clock::now())
                          .count();
    if (!line.file || left <= 0) return std::nullopt;
    switch (pel::HandoverChannel::Hand(lock.Name(), Absolute(*line.file), static_cast<int>(left))) {
      case Handed::Taken:
        return status::kOk;
      case Handed::Refused:
        return std::nullopt;
      case Handed::NoAnswer:
        // It may have ended meanwhile, or had too many connections: the lock is tried again.
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        break;
    }
  }
}

}  // namespace

int main(int argc, char* argv[]) {
  namespace status = pel::exit_status;
  const pel::ProgramConsole console{
      kProgram, PEL_VERSION, kNeedsX11Line,
      [](const std::string& text) { std::fputs(text.c_str(), stdout); },
      [](const std::string& text) { std::fputs(text.c_str(), stderr); }};
  pel::PosixFileSystem files;
  pel::CommandLine line;
  if (const std::optional<int> ended = pel::AnswerCommandLine(
          console, std::vector<std::string>(argv + 1, argv + argc), files, line))
    return *ended;
  const bool scripted = pel::IsScripted(line);

  std::string error;
  if (!Has("DISPLAY")) {
    std::fputs(kNeedsX11, stderr);
    return status::kFailed;
  }
  // Qt would abort with several lines on a display it cannot open.
  if (!pel::DisplayReachable(nullptr, error)) {
    console.Say(std::string("cannot reach the X11 display \"") + std::getenv("DISPLAY") + "\" (" +
                error + "); it needs one with the XInput2 and XTest extensions");
    return status::kFailed;
  }
  const bool wayland = WaylandSession();
  if (wayland) console.Say(kWaylandNote);
  // Global input goes through X11, so the windows must be X11 windows too: on a Wayland desktop
  // with XWayland the native Wayland plug-in could neither place the indicator windows nor share
  // coordinates with the input. An explicit choice of the user still wins.
  if (!Has("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "xcb", 1);

  // One instance per user and display. A later start with a file hands it to the running window
  // and ends; --play and --record refuse. Otherwise StartUp shows the running-instance message.
  pel::InstanceLock lock(pel::InstanceLock::NameFor(std::getenv("DISPLAY")));
  bool previous = false;
  if (const std::optional<int> ended = ClaimInstance(lock, console, line, previous)) return *ended;
  pel::QtShell shell(previous);

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("pelmira"));
  QApplication::setApplicationVersion(QStringLiteral(PEL_VERSION));
  QApplication::setDesktopFileName(QStringLiteral("pelmira"));
  // Closing the main window ends the program through OnClose, never by the last window.
  QApplication::setQuitOnLastWindowClosed(false);
  QIcon icon;
  for (int size : pel::layout::kIconSizes)
    icon.addFile(QStringLiteral(":/pelmira/pelmira-%1.png").arg(size), QSize(size, size));
  QApplication::setWindowIcon(icon);
  pel::InstallFontSubstitutes();

  std::unique_ptr<pel::X11Input> input = pel::X11Input::Open(nullptr, error);
  if (!input) {
    const std::string text = "pelmira cannot read the mouse and the keyboard: " + error;
    std::fprintf(stderr, "%s\n", text.c_str());
    // A script gets its one line; only the window's user gets a box.
    if (!scripted)
      QMessageBox::critical(nullptr, QStringLiteral("pelmira"), QString::fromStdString(text));
    return status::kFailed;
  }

  pel::PosixClock clock;
  pel::PosixEnvironment env;
  pel::QtDialogs dialogs;
  pel::QtEventPump events;
  pel::TimeSeededRandom random;
  pel::QtSkinEngine skin;
  pel::QtIndicatorFactory indicators({env.ProgramFolder()});
  pel::QtMainWindow window;

  pel::MainForm form(pel::MainFormHost{window, *input, clock, dialogs, events, files, env, shell,
                                       random, skin, indicators});
  window.SetHandlers(form.Handlers());
  // The monitors, for the screen layout of recordings; without RandR 1.5 there is none.
  std::unique_ptr<pel::X11Screens> screens = pel::X11Screens::Open(nullptr, error);
  if (screens) form.Poll().Screens.Attach(screens.get());

  // Idle, the poll timer sleeps: the raw input events on the input's own connection wake it.
  QSocketNotifier input_events(input->ConnectionFd(), QSocketNotifier::Read);
  QObject::connect(&input_events, &QSocketNotifier::activated, [&] {
    if (input->TakeInput()) form.Poll().Wake();
  });
  form.Poll().SleepWhenIdle([&] { return input->TakeInput(); });

  // Files handed over by later starts open as if given here, one after another, when the window
  // is free for it; those handed during a load wait for its end.
  pel::QtHandedFiles handed([&] { return form.CanTakeHandedFile(); },
                            [&](const std::string& file) { form.OpenAtStart(file); });
  if (lock.Fd() >= 0 && !handed.Listen(lock.Fd(), error))
    console.Say("files cannot be handed to this instance: " + error);

  // Ended by a signal or by the loss of the display, the work in memory is kept first: a
  // --record run saves its file as Pause would, the window keeps unsaved changes for the next
  // start. A run with nothing to keep ends as the signal would have ended it.
  const bool recording = line.action == pel::CommandLine::Action::Record;
  pel::SignalWatch ended_by_signal([&](int signo) {
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
    if (!wayland) return;
    // Said once, in a box that does not hold up the window.
    auto* note = new QMessageBox(QMessageBox::Information, QStringLiteral("pelmira"),
                                 QString::fromUtf8(kWaylandNote), QMessageBox::Ok);
    note->setAttribute(Qt::WA_DeleteOnClose);
    note->setModal(false);
    note->show();
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
  return pel::RunProgram(form, line, console, loop);
}
