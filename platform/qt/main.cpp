// pelmira: records mouse motion and plays it back on an X11 desktop. main() only picks the
// backends, hands them to Form1 and runs the event loop.

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <QSocketNotifier>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "app/form1.h"
#include "app/time_random.h"
#include "platform/posix/posix_clock.h"
#include "platform/posix/posix_environment.h"
#include "platform/posix/posix_files.h"
#include "platform/qt/qt_dialogs.h"
#include "platform/qt/qt_indicator.h"
#include "platform/qt/qt_main_window.h"
#include "platform/qt/qt_shell.h"
#include "platform/qt/qt_skin.h"
#include "platform/x11/x11_input.h"

#ifndef PEL_VERSION
#define PEL_VERSION "0"
#endif

namespace {

constexpr const char* kUsage =
    "Usage: pelmira [--help] [--version]\n"
    "\n"
    "Records what you do with the mouse and plays it back.\n"
    "\n"
    "Keys (they work whatever window has the focus):\n"
    "  F10    start recording\n"
    "  F9     start playing\n"
    "  Pause  stop recording or playing\n"
    "  F12    show or hide the main window\n"
    "\n"
    "Recordings are saved as mouse motion files (.mmf). Only one instance runs per user.\n"
    "Needs an X11 session (XWayland will do) with the XInput2 and XTest extensions.\n";

constexpr const char* kNeedsX11 =
    "pelmira: no X11 display (DISPLAY is not set).\n"
    "This is a Wayland session without XWayland, or no graphical session at all.\n"
    "pelmira reads the mouse and the keyboard of the whole desktop and moves the pointer and\n"
    "clicks for you; Wayland does not let a program do that. Without X11 the shortcut keys\n"
    "F9, F10, F12 and Pause, recording and playing back would not work.\n"
    "Log in to an X11 session, or enable XWayland and make sure DISPLAY is set.\n";

bool Has(const char* name) {
  const char* v = std::getenv(name);
  return v && *v;
}

}  // namespace

int main(int argc, char* argv[]) {
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
      std::fputs(kUsage, stdout);
      return 0;
    }
    if (!std::strcmp(argv[i], "--version")) {
      std::printf("pelmira %s\n", PEL_VERSION);
      return 0;
    }
  }
  if (!Has("DISPLAY")) {
    std::fputs(kNeedsX11, stderr);
    return 1;
  }
  // Global input goes through X11, so the windows must be X11 windows too: on a Wayland desktop
  // with XWayland the native Wayland plug-in could neither place the indicator windows nor share
  // coordinates with the input. An explicit choice of the user still wins.
  if (!Has("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "xcb", 1);

  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("pelmira"));
  QApplication::setApplicationVersion(QStringLiteral(PEL_VERSION));
  QApplication::setDesktopFileName(QStringLiteral("pelmira"));
  // Closing the main window ends the program through Form_Unload, never by the last window.
  QApplication::setQuitOnLastWindowClosed(false);
  QIcon icon;
  for (int size : pel::layout::kIconSizes)
    icon.addFile(QStringLiteral(":/pelmira/pelmira-%1.png").arg(size), QSize(size, size));
  QApplication::setWindowIcon(icon);
  pel::InstallFontSubstitutes();

  std::string error;
  std::unique_ptr<pel::X11Input> input = pel::X11Input::Open(nullptr, error);
  if (!input) {
    const std::string text = "pelmira cannot read the mouse and the keyboard: " + error;
    std::fprintf(stderr, "%s\n", text.c_str());
    QMessageBox::critical(nullptr, QStringLiteral("pelmira"), QString::fromStdString(text));
    return 1;
  }

  pel::PosixClock clock;
  pel::PosixFileSystem files;
  pel::PosixEnvironment env;
  pel::QtDialogs dialogs;
  pel::QtEventPump events;
  pel::QtShell shell(pel::InstanceLock::DefaultPath(std::getenv("DISPLAY")));
  pel::TimeSeededRandom random;
  pel::QtSkinEngine skin;
  pel::QtIndicatorFactory indicators({env.ProgramFolder()});
  pel::QtMainWindow window;

  pel::Form1 form(pel::Form1Host{window, *input, clock, dialogs, events, files, env, shell, random,
                                 skin, indicators});
  window.SetHandlers(form.Handlers());

  // Idle, the poll timer sleeps: the raw input events on the input's own connection wake it.
  QSocketNotifier input_events(input->ConnectionFd(), QSocketNotifier::Read);
  QObject::connect(&input_events, &QSocketNotifier::activated, [&] {
    if (input->TakeInput()) form.Poll().Wake();
  });
  form.Poll().SleepWhenIdle([&] { return input->TakeInput(); });

  form.Form_Load();
  window.ShowCentred();
  return QApplication::exec();
}
