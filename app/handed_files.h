#pragma once
// Files that later starts hand to the running instance. A file is taken unless the window is
// busy or a scripted run (HandedFileWindow), which the sender is told; those taken open one
// after another in the order they came, when the window is free: a file handed during a load
// waits for its end. Opening happens from the event loop, never inside the hand-over, so the
// sender has its answer before any box the open may show (MainForm::OpenHandedFile).

#include <cstddef>
#include <deque>
#include <functional>
#include <string>

#include "app/main_form.h"
#include "platform/instance.h"

namespace pel {

class HandedFiles {
 public:
  // `window`: what the main window can do with a file now (MainForm::CanTakeHandedFile);
  // `open`: opens one (MainForm::OpenHandedFile).
  HandedFiles(std::function<HandedFileWindow()> window,
              std::function<void(const std::string&)> open)
      : window_(std::move(window)), open_(std::move(open)) {}
  ~HandedFiles();
  HandedFiles(const HandedFiles&) = delete;
  HandedFiles& operator=(const HandedFiles&) = delete;

  // Receives the files handed to `instance`, which this process has claimed, until this object
  // ends. False with `error` when it cannot.
  bool Listen(Instance& instance, std::string& error);
  // Files taken and not opened yet.
  size_t Waiting() const { return waiting_.size(); }

  // How often files taken while the window could not open them look again.
  static constexpr int kRetryMs = 200;

 private:
  Instance::Handed Take(const std::string& file);
  void OpenWaiting();

  std::function<HandedFileWindow()> window_;
  std::function<void(const std::string&)> open_;
  Instance* instance_ = nullptr;
  std::deque<std::string> waiting_;
  bool opening_ = false;
};

}  // namespace pel
