#include "app/handed_files.h"

namespace pel {

HandedFiles::~HandedFiles() {
  if (instance_) instance_->StopListening();
}

bool HandedFiles::Listen(Instance& instance, std::string& error) {
  instance_ = &instance;
  return instance.Listen([this](const std::string& file) { return Take(file); }, error);
}

Instance::Handed HandedFiles::Take(const std::string& file) {
  switch (window_()) {
    case HandedFileWindow::Busy:
      return Instance::Handed::Refused;
    case HandedFileWindow::ScriptedPlay:
      return Instance::Handed::Playing;
    case HandedFileWindow::ScriptedRecord:
      return Instance::Handed::Recording;
    case HandedFileWindow::Free:
    case HandedFileWindow::Loading:
      break;
  }
  waiting_.push_back(file);
  // While a file is being opened, the loop in OpenWaiting gets to this one when that ends.
  if (!opening_) instance_->CallLater(0, [this] { OpenWaiting(); });
  return Instance::Handed::Taken;
}

void HandedFiles::OpenWaiting() {
  // A load services window events, so this can be called again while it runs.
  if (opening_) return;
  {
    opening_ = true;
    struct Opened {
      bool& opening;
      ~Opened() { opening = false; }
    } opened{opening_};
    while (!waiting_.empty() && window_() == HandedFileWindow::Free) {
      const std::string file = std::move(waiting_.front());
      waiting_.pop_front();
      open_(file);
    }
  }
  // Taken during a load, and the window turned busy since (a box, a recording): they open when
  // it is free again.
  if (!waiting_.empty()) instance_->CallLater(kRetryMs, [this] { OpenWaiting(); });
}

}  // namespace pel
