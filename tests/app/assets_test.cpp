// The indicator pictures as made by scripts/make-assets.sh: format, size, and an outline that
// keeps the whole symbol and word and cuts away the whole blue background (the outline taken as
// the indicators take it, through Shape).

#include <gtest/gtest.h>

#include "app/layout.h"
#include "shaping/window_shaper.h"
#include "testkit/fake_environment.h"
#include "testkit/fake_files.h"
#include "testkit/fake_shape_target.h"
#include "testkit/pictures.h"
#include "testkit/real_disk.h"

namespace pel::test {
namespace {

std::string Asset(std::string_view name) {
  return std::string(PEL_ASSET_DIR) + "/" + std::string(name);
}

// Frame header of a JPEG: marker (0xC0 baseline, 0xC2 progressive, ...), size, components.
struct JpegFrame {
  int marker = 0, width = 0, height = 0, components = 0;
};
JpegFrame ReadFrame(const std::string& d) {
  JpegFrame f;
  size_t i = 2;
  while (i + 9 < d.size() && static_cast<unsigned char>(d[i]) == 0xFF) {
    const int m = static_cast<unsigned char>(d[i + 1]);
    const size_t len = size_t{static_cast<unsigned char>(d[i + 2])} << 8 |
                       size_t{static_cast<unsigned char>(d[i + 3])};
    if (m >= 0xC0 && m <= 0xCF && m != 0xC4 && m != 0xC8 && m != 0xCC) {
      f.marker = m;
      f.height = static_cast<unsigned char>(d[i + 5]) << 8 | static_cast<unsigned char>(d[i + 6]);
      f.width = static_cast<unsigned char>(d[i + 7]) << 8 | static_cast<unsigned char>(d[i + 8]);
      f.components = static_cast<unsigned char>(d[i + 9]);
      return f;
    }
    i += 2 + len;
  }
  return f;
}

TEST(Assets, IndicatorPicturesAreBaselineColourJpegsOfTheLayoutSize) {
  for (IndicatorId id : {IndicatorId::Rec, IndicatorId::Play}) {
    const auto& design = layout::Indicator(id);
    const std::string data = ReadWholeFile(Asset(design.picture));
    ASSERT_GT(data.size(), 4u) << design.picture;
    EXPECT_EQ(static_cast<unsigned char>(data[0]), 0xFF);
    EXPECT_EQ(static_cast<unsigned char>(data[1]), 0xD8);
    const JpegFrame f = ReadFrame(data);
    EXPECT_EQ(f.marker, 0xC0) << design.picture;
    EXPECT_EQ(f.components, 3);
    EXPECT_EQ(f.width, design.picture_width);
    EXPECT_EQ(f.height, design.picture_height);
  }
}

TEST(Assets, OutlineKeepsTheSymbolAndWordAndCutsTheBlue) {
  for (IndicatorId id : {IndicatorId::Rec, IndicatorId::Play}) {
    const auto& design = layout::Indicator(id);
    const std::string stem(design.picture.substr(0, design.picture.find('.')));
    const Image face = test::ReadPnm(Asset(stem + ".ppm"));
    const Image mask = test::ReadPnm(Asset(stem + "-mask.pgm"));
    ASSERT_EQ(face.w, design.picture_width);
    ASSERT_EQ(face.h, design.picture_height);
    ASSERT_EQ(mask.w, face.w);

    fake::FakeFileSystem files;
    fake::FakeEnvironment env;
    fake::FakeShapeTarget form(ShapeKind::Form, face);
    WindowShaper{files, env}.Shape(&form, 0xFF0000, false, "");
    ASSERT_TRUE(form.applied.has_value()) << stem;
    const Region outline = Region::FromRects(*form.applied);
    auto glyph = [&](int x, int y) {
      return x >= 0 && y >= 0 && x < mask.w && y < mask.h &&
             mask.px[static_cast<size_t>(y * mask.w + x)] != 0;
    };
    int kept = 0;
    for (int y = 0; y < face.h; ++y) {
      for (int x = 0; x < face.w; ++x) {
        bool near = false;
        for (int dy = -1; dy <= 1; ++dy)
          for (int dx = -1; dx <= 1; ++dx) near |= glyph(x + dx, y + dy);
        if (glyph(x, y)) {
          EXPECT_TRUE(outline.Contains(x, y)) << stem << " symbol pixel " << x << "," << y;
          ++kept;
        } else if (!near) {
          EXPECT_FALSE(outline.Contains(x, y)) << stem << " background " << x << "," << y;
        }
      }
    }
    EXPECT_GT(kept, 500) << stem;
  }
}

TEST(Assets, ApplicationIconInEverySize) {
  for (int size : layout::kIconSizes) {
    const std::string png = ReadWholeFile(Asset("pelmira-" + std::to_string(size) + ".png"));
    ASSERT_GT(png.size(), 24u) << size;
    EXPECT_EQ(png.substr(1, 3), "PNG");
    auto be32 = [&](size_t at) {
      return static_cast<unsigned char>(png[at]) << 24 |
             static_cast<unsigned char>(png[at + 1]) << 16 |
             static_cast<unsigned char>(png[at + 2]) << 8 | static_cast<unsigned char>(png[at + 3]);
    };
    EXPECT_EQ(be32(16), size);
    EXPECT_EQ(be32(20), size);
    // Colour type: 2 (RGB) for the smallest, 6 (RGBA) for the others.
    EXPECT_EQ(static_cast<int>(png[25]), size == 32 ? 2 : 6) << size;
  }
  const std::string ico = ReadWholeFile(Asset(layout::kIconFile));
  ASSERT_GT(ico.size(), 6u);
  EXPECT_EQ(ico.substr(0, 4), std::string("\0\0\1\0", 4));
  EXPECT_EQ(static_cast<int>(ico[4]), 4);  // four images
}

}  // namespace
}  // namespace pel::test
