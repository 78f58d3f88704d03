#pragma once
// The record and play indicator windows: created on first reference, placed at the top-right
// corner of the primary screen and shaped to their pictures by their load handler, destroyed by
// Close. The outline is scanned once and kept in a region data file in the temporary folder;
// later loads read the file, and a file that cannot serve is scanned and stored again. Where no
// file can be stored, the outline is scanned at every load and the user told so once, with a
// notice rather than a box.

#include <array>
#include <functional>
#include <memory>
#include <string>

#include "engine/error_report.h"
#include "engine/recorder/indicator_windows.h"
#include "platform/environment.h"
#include "platform/files.h"
#include "platform/main_window.h"
#include "platform/shaped_window.h"
#include "shaping/window_form.h"
#include "shaping/window_shaper.h"

namespace pel {

struct IndicatorHost {
  // The temporary folder with its trailing separator, looked up at every load; may throw.
  std::function<std::string()> temp_folder;
  FileSystem& files;
  Environment& env;
  ErrorReporter& reporter;
  IndicatorFactory& factory;
};

class IndicatorForms : public IndicatorWindows {
 public:
  explicit IndicatorForms(IndicatorHost host);
  ~IndicatorForms() override;

  // Creates the native window and runs its load handler when it is not open.
  IndicatorWindow& Ref(IndicatorId id) override;
  void Close(IndicatorId id) override;

  // True while the window is open.
  bool IsOpen(IndicatorId id) const { return open_[Index(id)] != nullptr; }
  // The shaping object of an open window (nullptr when closed), as its last load left it.
  WindowShaper* Shaper(IndicatorId id);

 private:
  class Indicator;
  static size_t Index(IndicatorId id) { return id == IndicatorId::Rec ? 0 : 1; }

  IndicatorHost host_;
  std::array<std::unique_ptr<Indicator>, 2> open_;
  bool uncached_told_ = false;
};

}  // namespace pel
