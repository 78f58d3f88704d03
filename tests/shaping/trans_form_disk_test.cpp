// Stored outlines on a real disk, through the POSIX file system.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "platform/error.h"
#include "platform/posix/posix_files.h"
#include "shaping/region_data.h"
#include "shaping/trans_form.h"
#include "testkit/fake_misc.h"
#include "testkit/fake_shape_target.h"
#include "testkit/pictures.h"

namespace pel {
namespace {

namespace fs = std::filesystem;
using fake::FakeShapeTarget;
using test::Filled;
using test::Put;

std::string Slurp(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

class DiskTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string tmpl = (fs::temp_directory_path() / "pel-shaping-XXXXXX").string();
    ASSERT_NE(mkdtemp(tmpl.data()), nullptr);
    dir = tmpl;
  }
  void TearDown() override { fs::remove_all(dir); }

  FakeShapeTarget Picture() {
    Image img = Filled(9, 4, 0xFF0000);
    for (int x = 1; x < 8; ++x) Put(img, x, 1 + x % 2, 0x0000FF);
    return FakeShapeTarget(ShapeKind::Form, img);
  }

  fs::path dir;
  PosixFileSystem files;
  fake::FakeEnvironment env;
  clsTransForm shaper{files, env};
};

TEST_F(DiskTest, StoreReplaceAndReadBack) {
  fs::path file = dir / "recfrm.shp";
  {
    std::ofstream old(file, std::ios::binary);
    old << std::string(4096, 'x');
  }
  FakeShapeTarget form = Picture();
  shaper.ShapeMe(&form, 0xFF0000, false, file.string());
  Region scanned = Region::FromRects(*form.applied);
  EXPECT_EQ(Slurp(file), EncodeRegionData(scanned));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 1);

  FakeShapeTarget again(ShapeKind::Form, Filled(9, 4, 0));
  shaper.ShapeMe(&again, 0xFF0000, true, file.string());
  EXPECT_EQ(again.reads, 0);
  EXPECT_EQ(Region::FromRects(*again.applied), scanned);
}

TEST_F(DiskTest, LinkPlantedAtTheNameIsReplacedNotWrittenThrough) {
  fs::path victim = dir / "victim";
  {
    std::ofstream v(victim, std::ios::binary);
    v << "precious";
  }
  fs::path file = dir / "playfrm.shp";
  fs::create_symlink(victim, file);
  FakeShapeTarget form = Picture();
  shaper.ShapeMe(&form, 0xFF0000, false, file.string());
  EXPECT_EQ(Slurp(victim), "precious");
  EXPECT_FALSE(fs::is_symlink(file));
  EXPECT_EQ(Slurp(file), EncodeRegionData(Region::FromRects(*form.applied)));
}

TEST_F(DiskTest, FileErrorsCarryTheirSources) {
  FakeShapeTarget form = Picture();
  try {
    shaper.ShapeMe(&form, 0xFF0000, false, (dir / "no-such-folder" / "x.shp").string());
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), err::kPathNotFound);
    EXPECT_EQ(e.Source(), "TransForm");
  }
  EXPECT_FALSE(form.applied.has_value());

  try {
    shaper.ShapeMe(&form, 0xFF0000, true, (dir / "missing.shp").string());
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), err::kFileNotFound);
    EXPECT_EQ(e.Source(), "pelmira.cDIBSectionRegion");
  }

  fs::path empty = dir / "empty.shp";
  std::ofstream(empty).close();
  try {
    shaper.ShapeMe(&form, 0xFF0000, true, empty.string());
    ADD_FAILURE() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.Number(), err::kSubscriptOutOfRange);
    EXPECT_EQ(e.Description(), "Subscript out of range");
    EXPECT_EQ(e.Source(), "pelmira.cDIBSectionRegion");
  }
  EXPECT_FALSE(form.applied.has_value());
  EXPECT_FALSE(form.cleared);
}

}  // namespace
}  // namespace pel
