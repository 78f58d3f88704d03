#pragma once
// Process-level services of the Linux program: the answer of the instance lock, the web browser,
// the end of the program, and the files that later starts hand over.

#include <QSocketNotifier>
#include <QTimer>
#include <deque>
#include <functional>
#include <memory>
#include <string>

#include "app/main_form.h"
#include "platform/posix/posix_handover_channel.h"
#include "platform/shell.h"

namespace pel {

class QtShell : public Shell {
 public:
  // `previous`: whether the instance lock was found held by another process of this user
  // (main takes it before the window exists).
  explicit QtShell(bool previous) : previous_(previous) {}
  bool PreviousInstance() override { return previous_; }
  // Through the desktop's URL handler (xdg-open), detached.
  void OpenUrl(const std::string& url) override;
  // Leaves at once with status 0, without running further events or destructors.
  void EndProgram() override;

 private:
  bool previous_;
};

// Files handed over by later starts, read from the instance lock's socket as the event loop
// finds them ready, so that a slow or silent sender never holds up the window. A file is taken
// unless the window is busy; taken files open one after another in the order they came, each
// as Load would open it, when the window is free.
class QtHandedFiles {
 public:
  // What the main window can do with a file now (MainForm::CanTakeHandedFile).
  using Window = HandedFileWindow;
  QtHandedFiles(std::function<Window()> window, std::function<void(const std::string&)> open)
      : window_(std::move(window)), open_(std::move(open)) {}
  // Serves the lock's listening socket `listener` (not owned). False with `error` when the
  // channel cannot be opened.
  bool Listen(int listener, std::string& error);
  // Files taken and not opened yet.
  size_t Waiting() const { return waiting_.size(); }

 private:
  void Service();
  void OpenWaiting();

  std::function<Window()> window_;
  std::function<void(const std::string&)> open_;
  HandoverChannel channel_;
  std::unique_ptr<QSocketNotifier> ready_;
  QTimer deadline_;  // for connections that stay silent
  QTimer again_;     // for files taken while the window could not open them yet
  std::deque<std::string> waiting_;
  bool opening_ = false;
};

}  // namespace pel
