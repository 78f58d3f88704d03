#include "platform/qt/qt_shell.h"

#include <QDesktopServices>
#include <QUrl>
#include <cstdio>
#include <cstdlib>

#include "platform/error.h"

namespace pel {

namespace {
// How often files taken while the window was busy look again whether it is free.
constexpr int kRetryMs = 200;
}  // namespace

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

bool QtHandedFiles::Listen(int listener, std::string& error) {
  if (!channel_.Open(listener, error)) return false;
  ready_ = std::make_unique<QSocketNotifier>(channel_.Fd(), QSocketNotifier::Read);
  QObject::connect(ready_.get(), &QSocketNotifier::activated, [this] { Service(); });
  deadline_.setSingleShot(true);
  QObject::connect(&deadline_, &QTimer::timeout, [this] { Service(); });
  again_.setSingleShot(true);
  QObject::connect(&again_, &QTimer::timeout, [this] { OpenWaiting(); });
  return true;
}

void QtHandedFiles::Service() {
  for (HandoverChannel::Request& request : channel_.Service()) {
    const bool taken = window_() != Window::Busy;
    HandoverChannel::Answer(request, taken);
    if (taken) waiting_.push_back(std::move(request.file));
  }
  if (const auto next = channel_.NextDeadline())
    deadline_.start(static_cast<int>(next->count()));
  else
    deadline_.stop();
  // Opened from a timer of its own, not from here: a load services window events, and this
  // socket's next readiness must reach Service while it runs.
  if (!waiting_.empty() && !opening_) again_.start(0);
}

void QtHandedFiles::OpenWaiting() {
  if (opening_) return;
  opening_ = true;
  while (!waiting_.empty() && window_() == Window::Free) {
    const std::string file = std::move(waiting_.front());
    waiting_.pop_front();
    open_(file);
  }
  opening_ = false;
  // Taken while a load ran, and the window turned busy since (a box, a recording): they open
  // when it is free again.
  if (!waiting_.empty()) again_.start(kRetryMs);
}

}  // namespace pel
