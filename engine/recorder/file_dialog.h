#pragma once
// The main window's file dialog as the recorder and the Load button use it: the path proposed
// before a dialog and chosen in it, and the one file type it offers.

#include <string>

#include "platform/dialogs.h"

namespace pel {

class FileDialog {
 public:
  explicit FileDialog(Dialogs& dialogs) : dialogs_(dialogs) {}
  // Proposed before a dialog; afterwards the chosen full path, or empty when cancelled.
  std::string FileName;
  std::string Filter = "Mouse Motion File (*.mmf)|*.mmf";
  void ShowSave() { FileName = dialogs_.ShowSave(FileName, Filter); }
  void ShowOpen() { FileName = dialogs_.ShowOpen(FileName, Filter); }

 private:
  Dialogs& dialogs_;
};

}  // namespace pel
