#pragma once
// WindowShaper: gives a window the outline of its picture, every key-coloured pixel cut out.
// Shape(&target, key, load, path) scans, stores to `path` and applies (load false), reads and
// applies (load true), or only scans and applies (empty path). Errors are pel::Error (numbers
// below; sources in docs/design-notes.md, "Indicator windows"); a failing call never applies an
// outline. Outline files are the program's own (FileUse::Own).

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "platform/environment.h"
#include "platform/files.h"
#include "shaping/region.h"
#include "shaping/shape_target.h"

namespace pel {

// Object-defined errors of the class: 0x80040000 plus 2512, 2513, 2514.
constexpr int32_t kErrNotShapeable = static_cast<int32_t>(0x800409D0u);
constexpr int32_t kErrRegionData = static_cast<int32_t>(0x800409D1u);
constexpr int32_t kErrRegionSize = static_cast<int32_t>(0x800409D2u);
inline constexpr const char* kTransFormSource = "TransForm";
inline constexpr const char* kNotShapeableText =
    "Must pass in the name of a Form, PictureBox, CommandButton, CheckBox or OptionButton.  "
    "TransForm ShapeMe method failed.";
inline constexpr const char* kRegionDataText = "Unable to get region data in SaveRegionDataToFile";
inline constexpr const char* kRegionSizeText =
    "Unable to determine size of region in SaveRegionDataToFile";
// Appended to the executable's base name as the source of reading errors.
inline constexpr const char* kLoadSourceSuffix = ".cDIBSectionRegion";

// One maximal stretch of key-coloured pixels within one row; both columns inclusive.
struct TransparentRun {
  int32_t row = 0;
  int32_t first = 0;
  int32_t last = 0;
  friend bool operator==(const TransparentRun&, const TransparentRun&) = default;
};

// The key of a form, whatever colour is passed: 0xFA0000 <= v <= 0xFF0200 on the signed 32-bit
// value. A test on the whole number, not per channel, so 0xFB8080 is key-coloured too.
constexpr bool IsKeyColor(Color v) {
  const auto s = static_cast<int32_t>(v);
  return s >= 0xFA0000 && s <= 0xFF0200;
}

// The scan of a width x height picture: positions (x, y) for y = 0..height and x = 0..width, in
// that order; the extra column and row lie beyond the picture and are never key-coloured (they
// are not read), so every run ends within its own row. Runs come in scan order.
std::vector<TransparentRun> ScanRuns(PixelSource& pixels, int32_t width, int32_t height);

// The pixels of all runs: (first, row, last + 1, row + 1) for each.
Region RunsRegion(std::span<const TransparentRun> runs);

class WindowShaper {
 public:
  WindowShaper(FileSystem& files, Environment& env) : files_(files), env_(env) {}

  // Shapes `target`, a form (nullptr or anything else: kErrNotShapeable). A form keys on the
  // fixed range of IsKeyColor; `key_color` is not consulted. With an empty `file_name`: scan
  // and apply. Otherwise `load` true: read the outline from `file_name` and apply it (no scan);
  // `load` false: scan, store the outline in `file_name` (replacing it whole), apply it. The
  // settings made on the target (AutoRedraw, scale mode, ClipControls) stay.
  void Shape(ShapeTarget* target, Color key_color, bool load, const std::string& file_name);

  // The outline built or read by the last Shape; nullopt is "no outline" (data that is not
  // region data), which leaves the window rectangular. A read outline is cut to the window's
  // bounds (OuterSize) as it is read: the window shows nothing beyond them anyway, and hostile
  // data can then neither cost more than the window's size nor wrap around in a window system
  // with 16-bit coordinates.
  const std::optional<Region>& shape_region() const { return shape_region_; }
  // True when the last outline read from a file reached beyond the window's bounds: an outline
  // made for another picture.
  bool read_beyond_window() const { return read_beyond_window_; }
  // The object of the last Shape call.
  ShapeTarget* target() const { return target_; }
  // The size of the picture last scanned (or prepared for a scan), in pixels.
  int32_t scan_width() const { return scan_width_; }
  int32_t scan_height() const { return scan_height_; }

 private:
  // Persistent image on, pixel units, the scan size from the inner size.
  void PrepareForScan();
  // Scans `pixels` and sets shape_region_ to the scan area minus the key-coloured runs.
  void ScanAndCut(PixelSource& pixels);
  void SaveRegionDataToFile(const std::string& file_name);
  void LoadRegionDataFromFile(const std::string& file_name);
  // Hands shape_region_, cut to the window's bounds, to the window (or removes any outline).
  void ApplyOutline();

  FileSystem& files_;
  Environment& env_;
  std::optional<Region> shape_region_;
  bool read_beyond_window_ = false;
  ShapeTarget* target_ = nullptr;
  int32_t scan_height_ = 0;
  int32_t scan_width_ = 0;
};

}  // namespace pel
