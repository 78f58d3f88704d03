#include "shaping/window_shaper.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/error.h"
#include "shaping/region_data.h"
#include "testkit/fake_environment.h"
#include "testkit/fake_files.h"
#include "testkit/fake_shape_target.h"
#include "testkit/pictures.h"
#include "testkit/raised.h"

namespace pel {
namespace {

using Rects = std::vector<Rect>;
using fake::FakeShapeTarget;
using test::Filled;
using test::Put;

constexpr Color kBlue = 0xFF0000;
constexpr Color kGrey = 0x808080;
const std::string kFile = "/tmp/user-temp/recfrm.shp";

class ShapeTest : public ::testing::Test {
 protected:
  Region Applied(const FakeShapeTarget& t) {
    EXPECT_TRUE(t.applied.has_value());
    return t.applied ? Region::FromRects(*t.applied) : Region();
  }
  // Runs Shape and returns the error it raised.
  Error ShapeError(FakeShapeTarget* t, bool load, const std::string& file) {
    return test::Raised([&] { shaper.Shape(t, kBlue, load, file); });
  }

  ShapeTest() { files.read_limit = 7; }  // small pieces, so the reader must loop

  fake::FakeFileSystem files;
  fake::FakeEnvironment env;
  WindowShaper shaper{files, env};
};

// --- The scan ---

TEST(ScanRuns, RunsAreMaximalInScanOrderAndEndInTheirRow) {
  Image img = Filled(4, 3, kGrey);
  Put(img, 2, 0, kBlue);
  Put(img, 3, 0, kBlue);  // reaches the right edge
  Put(img, 0, 1, kBlue);  // starts the next row: a separate run
  Put(img, 3, 2, kBlue);  // bottom-right corner
  ImagePixels px(img);
  std::vector<TransparentRun> runs = ScanRuns(px, 4, 3);
  EXPECT_EQ(runs, (std::vector<TransparentRun>{{0, 2, 3}, {1, 0, 0}, {2, 3, 3}}));
  EXPECT_EQ(RunsRegion(runs).Rects(), (Rects{{2, 0, 4, 1}, {0, 1, 1, 2}, {3, 2, 4, 3}}));
}

TEST(ScanRuns, FormRangeIsOneSignedComparisonNotPerChannel) {
  EXPECT_TRUE(IsKeyColor(0xFA0000));
  EXPECT_TRUE(IsKeyColor(0xFF0200));
  EXPECT_TRUE(IsKeyColor(0xFF0000));
  EXPECT_TRUE(IsKeyColor(0xFB8080));
  EXPECT_FALSE(IsKeyColor(0xF9FFFF));
  EXPECT_FALSE(IsKeyColor(0xFF0201));
  EXPECT_FALSE(IsKeyColor(kInvalidColor));
}

// --- Forms ---

TEST_F(ShapeTest, FormWithoutKeyPixelsKeepsTheWholeRectangle) {
  FakeShapeTarget form(ShapeKind::Form, Filled(7, 4, kGrey));
  shaper.Shape(&form, kBlue, false, "");
  EXPECT_EQ(*form.applied, (Rects{{0, 0, 7, 4}}));
  EXPECT_TRUE(form.auto_redraw);
  EXPECT_EQ(form.scale_mode, kScalePixels);
  EXPECT_FALSE(form.clip_controls);
  EXPECT_EQ(shaper.scan_width(), 7);
  EXPECT_EQ(shaper.scan_height(), 4);
  EXPECT_EQ(shaper.target(), &form);
  EXPECT_EQ(files.opens, 0);  // no file name: no file touched
}

TEST_F(ShapeTest, AllKeyPixelsGiveAnEmptyOutlineNotARectangularWindow) {
  FakeShapeTarget form(ShapeKind::Form, Filled(5, 5, kBlue));
  shaper.Shape(&form, kBlue, false, "");
  ASSERT_TRUE(form.applied.has_value());
  EXPECT_TRUE(form.applied->empty());
  EXPECT_FALSE(form.cleared);
}

TEST_F(ShapeTest, OneKeyPixelRemovesExactlyThatPixel) {
  for (auto [x, y] : {std::pair{0, 0}, {4, 2}, {2, 1}, {0, 2}}) {
    Image img = Filled(5, 3, kGrey);
    Put(img, x, y, kBlue);
    FakeShapeTarget form(ShapeKind::Form, img);
    shaper.Shape(&form, kBlue, false, "");
    EXPECT_EQ(Applied(form),
              Region::FromRect({0, 0, 5, 3}).Difference(Region::FromRect({x, y, x + 1, y + 1})))
        << x << "," << y;
  }
}

TEST_F(ShapeTest, FormKeysOnTheFixedRangeWhateverColourIsPassed) {
  Image img = Filled(6, 1, kGrey);
  Put(img, 0, 0, 0xFA0000);
  Put(img, 1, 0, 0xF9FFFF);
  Put(img, 2, 0, 0xFF0200);
  Put(img, 3, 0, 0xFF0201);
  Put(img, 4, 0, 0xFB8080);
  Put(img, 5, 0, 0xFFFFFF);  // the colour passed
  FakeShapeTarget form(ShapeKind::Form, img);
  shaper.Shape(&form, 0xFFFFFF, false, "");
  EXPECT_EQ(*form.applied, (Rects{{1, 0, 2, 1}, {3, 0, 4, 1}, {5, 0, 6, 1}}));
}

// A picture with holes, worked out by hand (K key-coloured):
//   row 0  ......
//   row 1  .KK...
//   row 2  .KK...    same spans as row 1: one band
//   row 3  .....K
//   row 4  ......    same spans as row 0, but not adjacent to it
//   row 5  KKKKKK    nothing left
TEST_F(ShapeTest, OutlineIsBandedAsThePlatformListsIt) {
  Image img = Filled(6, 6, kGrey);
  for (int y : {1, 2}) {
    Put(img, 1, y, kBlue);
    Put(img, 2, y, kBlue);
  }
  Put(img, 5, 3, kBlue);
  for (int x = 0; x < 6; ++x) Put(img, x, 5, kBlue);
  FakeShapeTarget form(ShapeKind::Form, img);
  shaper.Shape(&form, kBlue, false, kFile);
  Rects want{{0, 0, 6, 1}, {0, 1, 1, 3}, {3, 1, 6, 3}, {0, 3, 5, 4}, {0, 4, 6, 5}};
  EXPECT_EQ(*form.applied, want);
  // The stored file lists the same rectangles after the header, bounds (0, 0, 6, 5).
  std::string bytes = files.Bytes(kFile);
  ASSERT_EQ(bytes.size(), 32u + 16u * want.size());
  EXPECT_EQ(bytes, EncodeRegionData(Region::FromRects(want)));
  EXPECT_EQ(HeaderFor(Region::FromRects(want)), (RegionDataHeader{32, 1, 5, 80, Rect{0, 0, 6, 5}}));
}

// --- Wrong objects ---

TEST_F(ShapeTest, OtherObjectsRaiseTheShapeErrorAndChangeNothing) {
  FakeShapeTarget text_box(ShapeKind::Other, Filled(4, 4, kBlue));
  for (FakeShapeTarget* t : {&text_box, static_cast<FakeShapeTarget*>(nullptr)}) {
    Error e = ShapeError(t, false, kFile);
    EXPECT_EQ(e.Number(), -2147218992);
    EXPECT_EQ(e.Description(),
              "Must pass in the name of a Form, PictureBox, CommandButton, CheckBox or "
              "OptionButton.  TransForm ShapeMe method failed.");
    EXPECT_EQ(e.Source(), "TransForm");
  }
  EXPECT_TRUE(text_box.log.empty());
  EXPECT_TRUE(files.files.empty());
}

// --- The region data file ---

TEST_F(ShapeTest, StoredOutlineIsReadBackWithoutScanning) {
  Image img = Filled(12, 5, kBlue);
  for (int x = 2; x < 9; ++x) Put(img, x, 1 + x % 3, 0x0000FF);
  FakeShapeTarget form(ShapeKind::Form, img);
  shaper.Shape(&form, kBlue, false, kFile);
  Region scanned = Applied(form);
  ASSERT_EQ(files.Bytes(kFile).size(), 32u + 16u * scanned.Count());

  FakeShapeTarget again(ShapeKind::Form, Filled(12, 5, kGrey));  // a different picture
  WindowShaper fresh(files, env);
  fresh.Shape(&again, kBlue, true, kFile);
  EXPECT_EQ(again.reads, 0);
  EXPECT_EQ(Applied(again), scanned);
  EXPECT_EQ(*fresh.shape_region(), scanned);
  EXPECT_TRUE(again.auto_redraw);  // still prepared for a scan
}

TEST_F(ShapeTest, EmptyOutlineIsStoredAndReadAsEmpty) {
  FakeShapeTarget form(ShapeKind::Form, Filled(3, 3, kBlue));
  shaper.Shape(&form, kBlue, false, kFile);
  EXPECT_EQ(files.Bytes(kFile), EncodeRegionData(Region()));
  FakeShapeTarget again(ShapeKind::Form, Filled(3, 3, kGrey));
  shaper.Shape(&again, kBlue, true, kFile);
  ASSERT_TRUE(again.applied.has_value());
  EXPECT_TRUE(again.applied->empty());
}

TEST_F(ShapeTest, SavingReplacesALongerOldFileWhole) {
  files.Put(kFile, std::string(5000, 'x'));
  FakeShapeTarget form(ShapeKind::Form, Filled(3, 3, kGrey));
  shaper.Shape(&form, kBlue, false, kFile);
  EXPECT_EQ(files.Bytes(kFile), EncodeRegionData(Region::FromRect({0, 0, 3, 3})));
}

TEST_F(ShapeTest, FailedSaveKeepsTheOldFileAndAppliesNothing) {
  files.Put(kFile, "old outline");
  files.fail_write_at = 1;  // disk full
  FakeShapeTarget form(ShapeKind::Form, Filled(3, 3, kGrey));
  Error e = ShapeError(&form, false, kFile);
  EXPECT_EQ(e.Number(), err::kDiskFull);
  EXPECT_EQ(e.Description(), "Disk full (" + kFile + ")");
  EXPECT_EQ(e.Source(), "TransForm");
  EXPECT_EQ(files.Bytes(kFile), "old outline");
  EXPECT_FALSE(form.applied.has_value());
  EXPECT_FALSE(form.cleared);
}

TEST_F(ShapeTest, InvalidRegionDataLeavesTheWindowRectangularWithoutError) {
  std::string good = EncodeRegionData(Region::FromRect({1, 1, 2, 2}));
  std::string wrong_type = good;
  wrong_type[4] = 2;
  std::string cut_short = good.substr(0, good.size() - 1);
  for (const std::string& bytes : {wrong_type, cut_short, std::string("x")}) {
    files.Put(kFile, bytes);
    FakeShapeTarget form(ShapeKind::Form, Filled(3, 3, kGrey));
    shaper.Shape(&form, kBlue, true, kFile);
    EXPECT_TRUE(form.cleared);
    EXPECT_FALSE(form.applied.has_value());
    EXPECT_FALSE(shaper.shape_region().has_value());
  }
}

TEST_F(ShapeTest, ZeroLengthFileRaisesSubscriptErrorFromTheReader) {
  // An earlier outline stays in the field when loading fails.
  FakeShapeTarget first(ShapeKind::Form, Filled(3, 3, kGrey));
  shaper.Shape(&first, kBlue, false, "");
  files.Put(kFile, "");
  FakeShapeTarget form(ShapeKind::Form, Filled(3, 3, kGrey));
  Error e = ShapeError(&form, true, kFile);
  EXPECT_EQ(e.Number(), err::kSubscriptOutOfRange);
  EXPECT_EQ(e.Description(), "Subscript out of range");
  EXPECT_EQ(e.Source(), "pelmira.cDIBSectionRegion");
  EXPECT_FALSE(form.applied.has_value());
  EXPECT_FALSE(form.cleared);
  EXPECT_EQ(shaper.shape_region(), Region::FromRect({0, 0, 3, 3}));

  files.files.erase(kFile);
  env.base_name = "other";
  e = ShapeError(&form, true, kFile);
  EXPECT_EQ(e.Number(), err::kFileNotFound);
  EXPECT_EQ(e.Source(), "other.cDIBSectionRegion");
}

TEST_F(ShapeTest, LoadWithoutFileNameScans) {
  FakeShapeTarget form(ShapeKind::Form, Filled(2, 2, kGrey));
  shaper.Shape(&form, kBlue, true, "");
  EXPECT_GT(form.reads, 0);
  EXPECT_EQ(files.opens, 0);
  EXPECT_EQ(*form.applied, (Rects{{0, 0, 2, 2}}));
}

TEST_F(ShapeTest, LoadedOutlineIsCutToTheWindow) {
  // Coordinates beyond 16 bits would wrap around in an X11 shape.
  files.Put(kFile, EncodeRegionData(Region::FromRects(
                       Rects{{-100000, -3, 100000, 1}, {2, 2, 70000, 70000}, {50, 50, 60, 60}})));
  FakeShapeTarget form(ShapeKind::Form, Filled(4, 3, kGrey));
  shaper.Shape(&form, kBlue, true, kFile);
  EXPECT_EQ(*form.applied, (Rects{{0, 0, 4, 1}, {2, 2, 4, 3}}));
}

}  // namespace
}  // namespace pel
