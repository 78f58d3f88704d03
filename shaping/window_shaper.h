#pragma once
// WindowShaper: gives a window the outline of its picture. Every key-coloured pixel is cut out
// of the window, every other pixel stays; an outline can be stored in a region data file and
// read back instead of scanning again.
//
//   WindowShaper shaper(files, env);
//   shaper.Shape(&target, 0xFF0000, /*Load=*/false, temp + "recfrm.shp");  // scan, store, apply
//   shaper.Shape(&target, 0xFF0000, /*Load=*/true, temp + "recfrm.shp");   // read, apply
//   shaper.Shape(&target, 0xFF0000, /*Load=*/false, "");                   // scan, apply
//
// Errors are thrown as pel::Error with the numbers below (source "TransForm"), or with the
// file system's own number and description (source "TransForm" when storing, the executable's
// base name followed by ".cDIBSectionRegion" when reading). A failing call never applies an
// outline: the window stays rectangular. Outline files are the program's own (FileUse::Own):
// never read or written through a link, never read when another user owns them.

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

// Which pixel values are cut out.
class KeyTest {
 public:
  // Forms: 0xFA0000 <= v <= 0xFF0200 on the signed 32-bit value, whatever colour is passed; a
  // test on the whole number, so 0xFB8080 is key-coloured too.
  static KeyTest FormRange() { return KeyTest(true, 0); }
  // Picture boxes and buttons: v equals `key` exactly.
  static KeyTest Exact(Color key) { return KeyTest(false, key); }
  bool operator()(Color v) const {
    if (!range_) return v == key_;
    int32_t s = static_cast<int32_t>(v);
    return s >= 0xFA0000 && s <= 0xFF0200;
  }

 private:
  KeyTest(bool range, Color key) : range_(range), key_(key) {}
  bool range_;
  Color key_;
};

// The scan of a width x height picture: positions (x, y) for y = 0..height and x = 0..width, in
// that order; the extra column and row lie beyond the picture and are never key-coloured (they
// are not read), so every run ends within its own row. Runs come in scan order.
std::vector<TransparentRun> ScanRuns(PixelSource& pixels, int32_t width, int32_t height,
                                     const KeyTest& key);

// The pixels of all runs: (first, row, last + 1, row + 1) for each.
Region RunsRegion(std::span<const TransparentRun> runs);

class WindowShaper {
 public:
  WindowShaper(FileSystem& files, Environment& env) : files_(files), env_(env) {}

  // Shapes `Name` (nullptr or a kind other than the five: kErrNotShapeable). `Color` is the key
  // colour for picture boxes and buttons; forms key on the fixed range instead. With an empty
  // FileName: scan and apply. Otherwise Load true: read the outline from FileName and apply it
  // (no scan); Load false: scan, store the outline in FileName (replacing it whole), apply it.
  // Settings made on the target (AutoRedraw, scale modes, a button's caption and colour) stay;
  // a command button's parent gets its scale mode back, a check box's or option button's keeps
  // pixels.
  void Shape(ShapeTarget* Name, uint32_t Color, bool Load, const std::string& FileName);

  // The outline built or read by the last Shape; nullopt is "no outline" (data that is not
  // region data), which leaves the window rectangular. A read outline is cut to the window's
  // bounds (OuterSize) as it is read: the window shows nothing beyond them anyway, and hostile
  // data can then neither cost more than the window's size nor wrap around in a window system
  // with 16-bit coordinates.
  std::optional<Region> ShapeRegion;
  // True when the last outline read from a file reached beyond the window's bounds: an outline
  // made for another picture.
  bool ReadBeyondWindow = false;
  // The pixels being cut from ShapeRegion; empty outside Shape.
  Region RunRegion;
  // The object of the last Shape call.
  ShapeTarget* Target = nullptr;
  int32_t ScanHeight = 0;
  int32_t ScanWidth = 0;

 private:
  // Forms and picture boxes: persistent image on, pixel units, ScanWidth/ScanHeight from the
  // inner size.
  void PrepareForScan();
  // Scans `pixels` and sets ShapeRegion to `start` minus the key-coloured runs.
  void ScanAndCut(PixelSource& pixels, const KeyTest& key, const Rect& start);
  void SaveRegionDataToFile(const std::string& FileName);
  void LoadRegionDataFromFile(const std::string& FileName);
  // Hands ShapeRegion, cut to the window's bounds, to the window (or removes any outline).
  void ApplyOutline();

  FileSystem& files_;
  Environment& env_;
};

}  // namespace pel
