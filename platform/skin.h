#pragma once
// The skin engine that dresses the main window (SkinFramework1 of the main window). The program
// only loads a skin file, sets three options and attaches the skin to the window; what a skin
// looks like and the file's format belong to the engine. On Qt the skin file is a style sheet;
// an engine may ignore the file altogether.

#include <cstdint>
#include <string>

namespace pel {

class SkinEngine {
 public:
  virtual ~SkinEngine() = default;
  // Loads the skin from the file at `path`; `options` is passed as given (the program passes an
  // empty text). A file the engine cannot use is ignored silently.
  virtual void LoadSkin(const std::string& path, const std::string& options) = 0;
  // Option flags; bit 0 (kApplyToWindowFrame) dresses the window frame as well.
  virtual int32_t Flags() = 0;
  virtual void SetFlags(int32_t flags) = 0;
  // Dress the program's message boxes and file dialogs too.
  virtual void SetApplyToDialogs(bool on) = 0;
  // Dress the controls inside frames too.
  virtual void SetApplyToChildren(bool on) = 0;
  // Applies the loaded skin to the window with the native handle `window`.
  virtual void ApplyToWindow(uintptr_t window) = 0;

  static constexpr int32_t kApplyToWindowFrame = 1;
};

}  // namespace pel
