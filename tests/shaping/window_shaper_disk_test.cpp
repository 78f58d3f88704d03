// Stored outlines on a real disk, through the POSIX file system.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <iterator>
#include <string>

#include "platform/error.h"
#include "platform/posix/posix_files.h"
#include "shaping/region_data.h"
#include "shaping/window_shaper.h"
#include "testkit/fake_environment.h"
#include "testkit/fake_shape_target.h"
#include "testkit/pictures.h"
#include "testkit/raised.h"
#include "testkit/real_disk.h"

namespace pel {
namespace {

namespace fs = std::filesystem;
using fake::FakeShapeTarget;
using test::Filled;
using test::Put;

class DiskTest : public ::testing::Test {
 protected:
  FakeShapeTarget Picture() {
    Image img = Filled(9, 4, 0xFF0000);
    for (int x = 1; x < 8; ++x) Put(img, x, 1 + x % 2, 0x0000FF);
    return FakeShapeTarget(ShapeKind::Form, img);
  }

  test::TempFolder tmp{"shaping"};
  const fs::path dir = tmp.Path();
  PosixFileSystem files;
  fake::FakeEnvironment env;
  WindowShaper shaper{files, env};
};

TEST_F(DiskTest, StoreReplaceAndReadBack) {
  fs::path file = dir / "recfrm.shp";
  test::WriteWholeFile(file, std::string(4096, 'x'));
  FakeShapeTarget form = Picture();
  shaper.Shape(&form, 0xFF0000, false, file.string());
  Region scanned = Region::FromRects(*form.applied);
  EXPECT_EQ(test::ReadWholeFile(file), EncodeRegionData(scanned));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);

  FakeShapeTarget again(ShapeKind::Form, Filled(9, 4, 0));
  shaper.Shape(&again, 0xFF0000, true, file.string());
  EXPECT_EQ(again.reads, 0);
  EXPECT_EQ(Region::FromRects(*again.applied), scanned);
}

TEST_F(DiskTest, LinkPlantedAtTheNameIsReplacedNotWrittenThrough) {
  fs::path victim = dir / "victim";
  test::WriteWholeFile(victim, "precious");
  fs::path file = dir / "playfrm.shp";
  fs::create_symlink(victim, file);
  FakeShapeTarget form = Picture();
  shaper.Shape(&form, 0xFF0000, false, file.string());
  EXPECT_EQ(test::ReadWholeFile(victim), "precious");
  EXPECT_FALSE(fs::is_symlink(file));
  EXPECT_EQ(test::ReadWholeFile(file), EncodeRegionData(Region::FromRects(*form.applied)));
}

TEST_F(DiskTest, FileErrorsCarryTheirSources) {
  FakeShapeTarget form = Picture();
  auto shape = [&](bool load, const fs::path& file) {
    return test::Raised([&] { shaper.Shape(&form, 0xFF0000, load, file.string()); });
  };
  Error e = shape(false, dir / "no-such-folder" / "x.shp");
  EXPECT_EQ(e.Number(), err::kPathNotFound);
  EXPECT_EQ(e.Source(), "TransForm");
  EXPECT_FALSE(form.applied.has_value());

  e = shape(true, dir / "missing.shp");
  EXPECT_EQ(e.Number(), err::kFileNotFound);
  EXPECT_EQ(e.Source(), "pelmira.cDIBSectionRegion");

  e = shape(true, test::WriteWholeFile(dir / "empty.shp", ""));
  EXPECT_EQ(e.Number(), err::kSubscriptOutOfRange);
  EXPECT_EQ(e.Description(), "Subscript out of range");
  EXPECT_EQ(e.Source(), "pelmira.cDIBSectionRegion");
  EXPECT_FALSE(form.applied.has_value());
  EXPECT_FALSE(form.cleared);
}

}  // namespace
}  // namespace pel
