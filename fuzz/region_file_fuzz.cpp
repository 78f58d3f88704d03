// Region data files are read from the temporary folder, where anything may have put them. The
// input is taken twice: as a region data file (decoded, re-encoded, read through WindowShaper)
// and as a small picture (scanned, stored, read back).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <string_view>

#include "fuzz/fuzz_check.h"
#include "platform/error.h"
#include "shaping/region_data.h"
#include "shaping/window_shaper.h"
#include "testkit/fake_environment.h"
#include "testkit/fake_files.h"
#include "testkit/fake_shape_target.h"
#include "testkit/pictures.h"

namespace {

using namespace pel;

using pel::fuzz::Check;

void AsRegionFile(std::string_view bytes) {
  std::optional<Region> r = DecodeRegionData(bytes);
  if (r) {
    Check(IsCanonical(r->Rects()), "decoded region canonical");
    std::string enc = EncodeRegionData(*r);
    Check(enc.size() == kRegionHeaderSize + kRegionRectSize * r->Count(), "encoded size");
    std::optional<Region> back = DecodeRegionData(enc);
    Check(back && *back == *r, "round trip");
    Check(EncodeRegionData(*back) == enc, "encoding stable");
  }

  // A window of up to 64 x 64 pixels, sized by bytes the reader does not consult (rcBound).
  int32_t w = bytes.size() > 16 ? static_cast<unsigned char>(bytes[16]) % 65 : 7;
  int32_t h = bytes.size() > 20 ? static_cast<unsigned char>(bytes[20]) % 65 : 5;
  Rect window{0, 0, w, h};
  std::optional<Region> clipped = DecodeRegionData(bytes, &window);
  Check(clipped.has_value() == r.has_value(), "clip keeps validity");
  if (clipped) Check(*clipped == r->Intersect(Region::FromRect(window)), "clip is intersection");

  fake::FakeFileSystem files;
  fake::FakeEnvironment env;
  files.Put("f", std::string(bytes));
  fake::FakeShapeTarget form(ShapeKind::Form, test::Filled(w, h, 0));
  WindowShaper shaper(files, env);
  try {
    shaper.Shape(&form, 0xFF0000, true, "f");
  } catch (const Error& e) {
    Check(bytes.empty() && e.Number() == err::kSubscriptOutOfRange, "only an empty file fails");
    return;
  }
  if (clipped) {
    Check(form.applied && Region::FromRects(*form.applied) == *clipped, "applied outline");
  } else {
    Check(form.cleared && !form.applied, "no outline");
  }
}

void AsPicture(std::string_view bytes) {
  if (bytes.empty()) return;
  int32_t w = 1 + static_cast<unsigned char>(bytes[0]) % 24;
  int32_t h = static_cast<int32_t>((bytes.size() - 1) * 8 / static_cast<size_t>(w));
  if (h > 24) h = 24;
  Image img = test::Filled(w, h, 0x808080);
  auto key = [&](int32_t x, int32_t y) {
    size_t bit = static_cast<size_t>(y) * static_cast<size_t>(w) + static_cast<size_t>(x);
    return (static_cast<unsigned char>(bytes[1 + bit / 8]) >> (bit % 8)) & 1;
  };
  for (int32_t y = 0; y < h; ++y) {
    for (int32_t x = 0; x < w; ++x) {
      if (key(x, y)) test::Put(img, x, y, 0xFF0000);
    }
  }
  fake::FakeFileSystem files;
  fake::FakeEnvironment env;
  fake::FakeShapeTarget form(ShapeKind::Form, img);
  WindowShaper shaper(files, env);
  shaper.Shape(&form, 0xFF0000, false, "f");
  Check(form.applied.has_value() && IsCanonical(*form.applied), "scanned outline canonical");
  Region scanned = Region::FromRects(*form.applied);
  for (int32_t y = -1; y <= h; ++y) {
    for (int32_t x = -1; x <= w; ++x) {
      bool inside = x >= 0 && y >= 0 && x < w && y < h;
      Check(scanned.Contains(x, y) == (inside && !key(x, y)), "outline is the opaque pixels");
    }
  }
  fake::FakeShapeTarget again(ShapeKind::Form, test::Filled(w, h, 0));
  shaper.Shape(&again, 0xFF0000, true, "f");
  Check(again.applied && Region::FromRects(*again.applied) == scanned, "stored and read back");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::string_view bytes(reinterpret_cast<const char*>(data), size);
  AsRegionFile(bytes);
  AsPicture(bytes);
  return 0;
}
