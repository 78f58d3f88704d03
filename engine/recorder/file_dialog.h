#pragma once
// The main window's file dialog as the recorder and the Load button use it: the path proposed
// before a dialog and chosen in it, and the one file type it offers ("Label|*.ext", from the
// main window's layout).

#include <string>
#include <string_view>

#include "platform/dialogs.h"

namespace pel {

class FileDialog {
 public:
  FileDialog(Dialogs& dialogs, std::string_view filter) : dialogs_(dialogs), filter_(filter) {}
  // Proposed before a dialog; afterwards the chosen full path, or empty when cancelled.
  std::string file_name;
  void ShowSave() { file_name = dialogs_.ShowSave(file_name, filter_); }
  void ShowOpen() { file_name = dialogs_.ShowOpen(file_name, filter_); }

 private:
  Dialogs& dialogs_;
  std::string filter_;
};

}  // namespace pel
