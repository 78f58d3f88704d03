#include "shaping/window_shaper.h"

#include <algorithm>
#include <limits>
#include <memory>
#include <new>

#include "platform/error.h"
#include "shaping/region_data.h"

namespace pel {

namespace {

int32_t Clamp32(int64_t v) {
  return static_cast<int32_t>(std::clamp<int64_t>(v, std::numeric_limits<int32_t>::min(),
                                                  std::numeric_limits<int32_t>::max()));
}

}  // namespace

std::vector<TransparentRun> ScanRuns(PixelSource& pixels, int32_t width, int32_t height) {
  std::vector<TransparentRun> runs;
  bool open = false;
  TransparentRun run;
  // 64-bit counters: the scan goes one past each size, which may be INT32_MAX.
  for (int64_t y = 0; y <= height; ++y) {
    for (int64_t x = 0; x <= width; ++x) {
      bool keyed = x < width && y < height &&
                   IsKeyColor(pixels.Pixel(static_cast<int32_t>(x), static_cast<int32_t>(y)));
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

// Forms key on a fixed range; the passed colour is not consulted.
void WindowShaper::Shape(ShapeTarget* target, Color /*key_color*/, bool load,
                         const std::string& file_name) {
  target_ = target;
  if (target == nullptr || target->Kind() != ShapeKind::Form) {
    throw Error(kErrNotShapeable, kNotShapeableText, kTransFormSource);
  }
  PrepareForScan();
  if (!file_name.empty() && load) {
    LoadRegionDataFromFile(file_name);
  } else {
    ScanAndCut(target_->Picture());
  }
  // Stored before it is applied: once applied, the outline belongs to the window.
  if (!file_name.empty() && !load) SaveRegionDataToFile(file_name);
  ApplyOutline();
}

void WindowShaper::PrepareForScan() {
  target_->SetAutoRedraw(true);
  target_->SetScaleMode(kScalePixels);
  target_->SetClipControls(false);
  PixelSize size = target_->InnerSize();
  scan_height_ = size.height;
  scan_width_ = size.width;
}

void WindowShaper::ScanAndCut(PixelSource& pixels) {
  std::vector<TransparentRun> runs = ScanRuns(pixels, scan_width_, scan_height_);
  // All runs cut at once: the same pixels as one subtraction per run, without the cost.
  shape_region_ =
      Region::FromRect(Rect{0, 0, scan_width_, scan_height_}).Difference(RunsRegion(runs));
}

void WindowShaper::SaveRegionDataToFile(const std::string& file_name) {
  try {
    // The platform reports the size as a positive 32-bit number; beyond that it has none.
    constexpr size_t kMaxRects =
        (std::numeric_limits<int32_t>::max() - kRegionHeaderSize) / kRegionRectSize;
    if (!shape_region_ || shape_region_->Count() > kMaxRects) {
      throw Error(kErrRegionSize, kRegionSizeText);
    }
    size_t size = kRegionHeaderSize + kRegionRectSize * shape_region_->Count();
    std::string data = EncodeRegionData(*shape_region_);
    if (data.size() != size) throw Error(kErrRegionData, kRegionDataText);
    // A new file renamed over the old one: a failure leaves the old file whole, never a partial
    // one that a later start would read as an outline, and a symbolic link planted at the name
    // is replaced rather than written through.
    std::unique_ptr<ReplaceFile> out = files_.BeginReplace(file_name, FileUse::Own);
    out->Write(data);
    out->Commit();
  } catch (const Error& e) {
    throw Error(e.Number(), e.Description(), kTransFormSource);
  } catch (const std::bad_alloc&) {
    throw Error(err::kOutOfMemory, DescribeError(err::kOutOfMemory), kTransFormSource);
  }
}

void WindowShaper::LoadRegionDataFromFile(const std::string& file_name) {
  read_beyond_window_ = false;
  try {
    // Never through a link, never another user's file: an outline decides what the user sees.
    std::unique_ptr<ReadFile> in = files_.OpenRead(file_name, FileUse::Own);
    uint64_t length = in->Size();
    // The whole file goes into a buffer indexed 0 to length - 1, which cannot exist when empty.
    if (length == 0) {
      throw Error(err::kSubscriptOutOfRange, DescribeError(err::kSubscriptOutOfRange));
    }
    if (length > kMaxRegionDataBytes) {
      shape_region_ = std::nullopt;  // not region data this program ever wrote
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
    PixelSize size = target_->OuterSize();
    Rect window{0, 0, size.width, size.height};
    shape_region_ = DecodeRegionData(bytes, &window, &read_beyond_window_);
  } catch (const Error& e) {
    throw Error(e.Number(), e.Description(), env_.ExecutableBaseName() + kLoadSourceSuffix);
  } catch (const std::bad_alloc&) {
    throw Error(err::kOutOfMemory, DescribeError(err::kOutOfMemory),
                env_.ExecutableBaseName() + kLoadSourceSuffix);
  }
}

void WindowShaper::ApplyOutline() {
  if (!shape_region_) {
    target_->ClearRegion();
    return;
  }
  // Window systems hold outline coordinates in fewer bits (X11: 16); values beyond the window
  // would wrap around into it.
  PixelSize size = target_->OuterSize();
  Region shown = shape_region_->Intersect(Region::FromRect(Rect{0, 0, size.width, size.height}));
  target_->ApplyRegion(shown.Rects());
}

}  // namespace pel
