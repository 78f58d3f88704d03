#include "platform/qt/qt_shell.h"

#include <QDesktopServices>
#include <QUrl>
#include <cstdio>
#include <cstdlib>

#include "platform/error.h"

namespace pel {

void QtShell::OpenUrl(const std::string& url) {
  if (!QDesktopServices::openUrl(QUrl(QString::fromStdString(url))))
    throw Error(err::kFileNotFound, "File not found: no web browser could be started for " + url);
}

void QtShell::EndProgram() {
  std::fflush(nullptr);
  // Ending here, in the middle of a handler, must not run the toolkit's destructors under the
  // handler's feet; the kernel closes the display connection and releases the instance lock.
  std::_Exit(0);
}

}  // namespace pel
