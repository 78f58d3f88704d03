#include "programs/linux/qt_session.h"

#include <QApplication>
#include <QIcon>
#include <QMessageBox>
#include <cstdlib>
#include <cstring>

#include "app/layout.h"
#include "platform/x11/x11_display.h"
#include "programs/linux/qt_main_window.h"

namespace pel {

namespace {

constexpr const char* kWaylandNote =
    "This is a Wayland session: pelmira works through XWayland, so the keys F9, F10, F12 and "
    "Pause, the pointer it records and the clicks it plays reach only X11 windows, not the "
    "Wayland ones.";

bool Has(const char* name) {
  const char* v = std::getenv(name);
  return v && *v;
}

}  // namespace

bool CheckX11Session(const ProgramConsole& console, DisplayHold& held, bool& wayland) {
  if (!Has("DISPLAY")) {
    console.Say(
        "needs an X11 display with the XInput2 and XTest extensions, and DISPLAY is not set");
    return false;
  }
  std::string error;
  if (!held.Open(nullptr, error)) {
    console.Say(std::string("cannot reach the X11 display \"") + std::getenv("DISPLAY") + "\" (" +
                error + "); it needs one with the XInput2 and XTest extensions");
    return false;
  }
  const char* type = std::getenv("XDG_SESSION_TYPE");
  wayland = Has("WAYLAND_DISPLAY") || (type && std::strcmp(type, "wayland") == 0);
  if (wayland) console.Say(kWaylandNote);
  // Global input goes through X11, so the windows must be X11 windows too: on a Wayland desktop
  // with XWayland the native Wayland plug-in could neither place the indicator windows nor share
  // coordinates with the input. An explicit choice of the user still wins.
  if (!Has("QT_QPA_PLATFORM")) ::setenv("QT_QPA_PLATFORM", "xcb", 1);
  return true;
}

void SetUpApplication(const std::string& version) {
  QApplication::setApplicationName(QStringLiteral("pelmira"));
  QApplication::setApplicationVersion(QString::fromStdString(version));
  QApplication::setDesktopFileName(QStringLiteral("pelmira"));
  QApplication::setQuitOnLastWindowClosed(false);
  QIcon icon;
  for (int size : layout::kIconSizes)
    icon.addFile(QStringLiteral(":/pelmira/pelmira-%1.png").arg(size), QSize(size, size));
  QApplication::setWindowIcon(icon);
  InstallFontSubstitutes();
}

void ShowWaylandNote(const char* text) {
  auto* note = new QMessageBox(QMessageBox::Information, QStringLiteral("pelmira"),
                               QString::fromUtf8(text ? text : kWaylandNote), QMessageBox::Ok);
  note->setAttribute(Qt::WA_DeleteOnClose);
  note->setModal(false);
  note->show();
}

}  // namespace pel
