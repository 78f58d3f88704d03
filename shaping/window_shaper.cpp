#include "shaping/window_shaper.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <new>
#include <utility>

#include "platform/error.h"
#include "shaping/region_data.h"

namespace pel {

namespace {

int32_t Clamp32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

// A rectangle as the platform's rectangle-region call takes it: corners given the wrong way
// round are put in order (a button narrower than its 4-pixel frame still gets a region).
Rect RectRgn(int64_t left, int64_t top, int64_t right, int64_t bottom) {
  if (left > right) std::swap(left, right);
  if (top > bottom) std::swap(top, bottom);
  return Rect{Clamp32(left), Clamp32(top), Clamp32(right), Clamp32(bottom)};
}

bool IsButton(ShapeKind k) {
  return k == ShapeKind::OptionButton || k == ShapeKind::CommandButton || k == ShapeKind::CheckBox;
}

}  // namespace

std::vector<TransparentRun> ScanRuns(PixelSource& pixels, int32_t width, int32_t height,
                                     const KeyTest& key) {
  std::vector<TransparentRun> runs;
  bool open = false;
  TransparentRun run;
  // 64-bit counters: the scan goes one past each size, which may be INT32_MAX.
  for (int64_t y = 0; y <= height; ++y) {
    for (int64_t x = 0; x <= width; ++x) {
      bool keyed = x < width && y < height &&
                   key(pixels.Pixel(static_cast<int32_t>(x), static_cast<int32_t>(y)));
      if (keyed) {
        if (!open) {
          open = true;
          run.row = static_cast<int32_t>(y);
          run.first = static_cast<int32_t>(x);
        }
        run.last = static_cast<int32_t>(x);
      } else if (open) {
        runs.push_back(run);
        open = false;
      }
    }
  }
  return runs;
}

Region RunsRegion(std::span<const TransparentRun> runs) {
  std::vector<Rect> rects;
  rects.reserve(runs.size());
  for (const TransparentRun& r : runs) {
    rects.push_back(
        Rect{r.first, r.row, Clamp32(int64_t{r.last} + 1), Clamp32(int64_t{r.row} + 1)});
  }
  return Region::FromRects(rects);
}

void WindowShaper::Shape(ShapeTarget* Name, uint32_t Color, bool Load,
                         const std::string& FileName) {
  Target = Name;
  ShapeKind kind = Name != nullptr ? Name->Kind() : ShapeKind::Other;
  bool from_file = !FileName.empty() && Load;
  std::unique_ptr<PixelSource> window_pixels;  // released after the outline is applied
  int16_t parent_mode = 0;

  if (kind == ShapeKind::Form || kind == ShapeKind::PictureBox) {
    PrepareForScan();
    if (from_file) {
      LoadRegionDataFromFile(FileName);
    } else {
      ScanAndCut(Target->Picture(),
                 kind == ShapeKind::Form ? KeyTest::FormRange() : KeyTest::Exact(Color),
                 RectRgn(0, 0, ScanWidth, ScanHeight));
    }
  } else if (IsButton(kind)) {
    parent_mode = Target->ParentScaleMode();
    Target->SetParentScaleMode(kScalePixels);
    // The face shows the key colour wherever the picture does not cover it.
    Target->SetCaption("");
    Target->SetBackColor(Color);
    Target->Refresh();
    window_pixels = Target->OpenWindowPixels();
    PixelSize size = Target->OuterSize();
    ScanHeight = size.height;
    ScanWidth = size.width;
    if (from_file) {
      LoadRegionDataFromFile(FileName);
    } else {
      // A button also loses a 2-pixel frame on every side.
      ScanAndCut(*window_pixels, KeyTest::Exact(Color),
                 RectRgn(2, 2, int64_t{ScanWidth} - 2, int64_t{ScanHeight} - 2));
    }
  } else {
    throw Error(kErrNotShapeable, kNotShapeableText, kTransFormSource);
  }

  // Stored before it is applied: once applied, the outline belongs to the window.
  if (!FileName.empty() && !Load) SaveRegionDataToFile(FileName);
  ApplyOutline();
  window_pixels.reset();
  if (kind == ShapeKind::CommandButton) Target->SetParentScaleMode(parent_mode);
}

void WindowShaper::PrepareForScan() {
  Target->SetAutoRedraw(true);
  Target->SetScaleMode(kScalePixels);
  Target->SetClipControls(false);
  PixelSize size = Target->InnerSize();
  ScanHeight = size.height;
  ScanWidth = size.width;
}

void WindowShaper::ScanAndCut(PixelSource& pixels, const KeyTest& key, const Rect& start) {
  std::vector<TransparentRun> runs = ScanRuns(pixels, ScanWidth, ScanHeight, key);
  ShapeRegion = Region::FromRect(start);
  // All runs cut at once: the same pixels as one subtraction per run, without the cost.
  RunRegion = RunsRegion(runs);
  ShapeRegion = ShapeRegion->Difference(RunRegion);
  RunRegion = Region();
}

void WindowShaper::SaveRegionDataToFile(const std::string& FileName) {
  try {
    // The platform reports the size as a positive 32-bit number; beyond that it has none.
    constexpr size_t kMaxRects =
        (std::numeric_limits<int32_t>::max() - kRegionHeaderSize) / kRegionRectSize;
    if (!ShapeRegion || ShapeRegion->Count() > kMaxRects) {
      throw Error(kErrRegionSize, kRegionSizeText);
    }
    size_t size = kRegionHeaderSize + kRegionRectSize * ShapeRegion->Count();
    std::string data = EncodeRegionData(*ShapeRegion);
    if (data.size() != size) throw Error(kErrRegionData, kRegionDataText);
    // A new file renamed over the old one: a failure leaves the old file whole, never a partial
    // one that a later start would read as an outline, and a symbolic link planted at the name
    // is replaced rather than written through.
    std::unique_ptr<ReplaceFile> out = files_.BeginReplace(FileName, FileUse::Own);
    out->Write(data);
    out->Commit();
  } catch (const Error& e) {
    throw Error(e.Number(), e.Description(), kTransFormSource);
  } catch (const std::bad_alloc&) {
    throw Error(err::kOutOfMemory, DescribeError(err::kOutOfMemory), kTransFormSource);
  }
}

void WindowShaper::LoadRegionDataFromFile(const std::string& FileName) {
  ReadBeyondWindow = false;
  try {
    // Never through a link, never another user's file: an outline decides what the user sees.
    std::unique_ptr<ReadFile> in = files_.OpenRead(FileName, FileUse::Own);
    uint64_t length = in->Size();
    // The whole file goes into a buffer indexed 0 to length - 1, which cannot exist when empty.
    if (length == 0) {
      throw Error(err::kSubscriptOutOfRange, DescribeError(err::kSubscriptOutOfRange));
    }
    if (length > kMaxRegionDataBytes) {
      ShapeRegion = std::nullopt;  // not region data this program ever wrote
      return;
    }
    std::string bytes(static_cast<size_t>(length), '\0');
    size_t got = 0;
    while (got < bytes.size()) {
      size_t n = in->Read(bytes.data() + got, bytes.size() - got);
      if (n == 0) break;  // shrank since it was opened: what is there is judged as it is
      got += n;
    }
    bytes.resize(got);
    PixelSize size = Target->OuterSize();
    Rect window{0, 0, size.width, size.height};
    ShapeRegion = DecodeRegionData(bytes, &window, &ReadBeyondWindow);
  } catch (const Error& e) {
    throw Error(e.Number(), e.Description(), env_.ExecutableBaseName() + kLoadSourceSuffix);
  } catch (const std::bad_alloc&) {
    throw Error(err::kOutOfMemory, DescribeError(err::kOutOfMemory),
                env_.ExecutableBaseName() + kLoadSourceSuffix);
  }
}

void WindowShaper::ApplyOutline() {
  if (!ShapeRegion) {
    Target->ClearRegion();
    return;
  }
  // Window systems hold outline coordinates in fewer bits (X11: 16); values beyond the window
  // would wrap around into it.
  PixelSize size = Target->OuterSize();
  Region shown = ShapeRegion->Intersect(Region::FromRect(Rect{0, 0, size.width, size.height}));
  Target->ApplyRegion(shown.Rects());
}

}  // namespace pel
