#pragma once
// The skin engine of the Linux program: the skin file is a Qt style sheet.

#include <QString>
#include <string>

#include "platform/skin.h"

namespace pel {

class QtSkinEngine : public SkinEngine {
 public:
  // Reads the file as UTF-8 style sheet text; a missing, unreadable or oversized file leaves no
  // skin loaded.
  void LoadSkin(const std::string& path, const std::string& options) override;
  int32_t Flags() override { return flags_; }
  void SetFlags(int32_t flags) override { flags_ = flags; }
  void SetApplyToDialogs(bool on) override { to_dialogs_ = on; }
  void SetApplyToChildren(bool on) override { to_children_ = on; }
  // The window frame belongs to the window manager: flag bit 0 is kept but changes nothing.
  // Puts the style sheet on the window with that native handle, or on the whole application
  // (message boxes and file dialogs too) when dialogs are to be dressed. Without a loaded skin,
  // or for a handle of no window of this program, nothing changes.
  void ApplyToWindow(uintptr_t window) override;

 private:
  QString sheet_;
  int32_t flags_ = 0;
  bool to_dialogs_ = false;
  bool to_children_ = false;
};

}  // namespace pel
