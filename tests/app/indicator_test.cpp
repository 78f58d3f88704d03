// The record and play indicators: creation on first reference, placement, and the outline kept in
// the temporary folder.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <utility>

#include "platform/posix/posix_files.h"
#include "shaping/region_data.h"
#include "testkit/app_rig.h"
#include "testkit/other_user.h"
#include "testkit/real_disk.h"

namespace pel::test {
namespace {

constexpr const char* kRecFile = "/tmp/t/recfrm.shp";

struct Indicators : ::testing::Test {
  AppRig r;
  void SetUp() override { r.env.vars["TEMP"] = "/tmp/t"; }
  IndicatorForms& forms() { return r.form.Indicators(); }
  fake::FakeShapedWindow& Native(IndicatorId id) { return *r.factory.last.at(id); }
};

TEST_F(Indicators, FirstLoadPlacesScansAndStores) {
  forms().Ref(IndicatorId::Rec);
  EXPECT_EQ(r.factory.created, 1);
  EXPECT_EQ(r.At("frmRec.Create"), 0);
  EXPECT_EQ(r.log.calls[0], "frmRec.Create rec.jpg");
  EXPECT_EQ(r.factory.requested[IndicatorId::Rec].width, 146);
  EXPECT_EQ(r.factory.requested[IndicatorId::Rec].height, 32);
  auto& w = Native(IndicatorId::Rec);
  EXPECT_TRUE(w.has_app_icon);
  EXPECT_EQ(w.top, 0);
  EXPECT_EQ(w.left, 1774);
  EXPECT_FALSE(w.visible);  // the poll cycle shows it
  EXPECT_GT(w.picture_reads, 0);
  ASSERT_TRUE(w.region.has_value());
  // The substitute's face: one opaque 16 x 16 square on blue.
  ASSERT_EQ(w.region->size(), 1u);
  EXPECT_EQ((*w.region)[0], (Rect{8, 8, 24, 24}));
  ASSERT_TRUE(r.files.Exists(kRecFile));
  EXPECT_EQ(r.files.Bytes(kRecFile).size(), 32u + 16u);
  EXPECT_TRUE(r.dialogs.boxes.empty());
}

TEST_F(Indicators, LaterLoadsReadTheStoredOutlineWithoutScanning) {
  forms().Ref(IndicatorId::Rec);
  const auto first = *Native(IndicatorId::Rec).region;
  const std::string stored = r.files.Bytes(kRecFile);
  forms().Close(IndicatorId::Rec);
  EXPECT_FALSE(forms().IsOpen(IndicatorId::Rec));

  forms().Ref(IndicatorId::Rec);
  EXPECT_EQ(r.factory.created, 2);
  auto& w = Native(IndicatorId::Rec);
  EXPECT_EQ(w.picture_reads, 0);
  ASSERT_TRUE(w.region.has_value());
  EXPECT_EQ(*w.region, first);
  EXPECT_EQ(r.files.Bytes(kRecFile), stored);
  EXPECT_EQ(r.log.Count("BeginReplace"), 1);
}

TEST_F(Indicators, DeletedFileIsScannedAndStoredAgain) {
  forms().Ref(IndicatorId::Rec);
  forms().Close(IndicatorId::Rec);
  r.files.files.erase(kRecFile);
  forms().Ref(IndicatorId::Rec);
  EXPECT_GT(Native(IndicatorId::Rec).picture_reads, 0);
  EXPECT_TRUE(r.files.Exists(kRecFile));
  EXPECT_EQ(r.log.Count("BeginReplace"), 2);
}

TEST_F(Indicators, StoredOutlineThatCannotServeIsScannedAndStoredAgainWithoutABox) {
  // A valid header and rectangles: none (the window would vanish), or beyond the window.
  auto region_data = [](std::vector<Rect> rects) {
    return EncodeRegionData(Region::FromRects(rects));
  };
  const Rect kSquare{8, 8, 24, 24};  // the substitute face's opaque square
  struct Planted {
    const char* what;
    std::string bytes;
    bool foreign = false;
    bool folder = false;
  };
  const std::vector<Planted> cases = {
      {"a folder", "", false, true},
      {"empty", ""},
      {"another user's", region_data({{0, 0, 1, 1}}), true},
      {"no region data", std::string(48, 'x')},
      {"no rectangles", region_data({})},
      {"made for a bigger picture", region_data({{0, 0, 300, 40}})},
  };
  for (const Planted& c : cases) {
    SCOPED_TRACE(c.what);
    fake::FakeFile& f = r.files.files[kRecFile] = fake::FakeFile{};
    f.bytes = c.bytes;
    f.foreign = c.foreign;
    f.folder = c.folder;
    forms().Ref(IndicatorId::Rec);
    EXPECT_TRUE(r.dialogs.boxes.empty());
    ASSERT_TRUE(Native(IndicatorId::Rec).region.has_value());
    EXPECT_EQ(*Native(IndicatorId::Rec).region, std::vector<Rect>{kSquare});
    if (!c.folder) {
      EXPECT_EQ(r.files.Bytes(kRecFile), region_data({kSquare}));
    } else {
      r.files.files.erase(kRecFile);
    }
    forms().Close(IndicatorId::Rec);
  }
  // The stored file serves the next load.
  forms().Ref(IndicatorId::Rec);
  EXPECT_EQ(Native(IndicatorId::Rec).picture_reads, 0);
}

// A folder that cannot take the outline (unwritable, missing) costs no box, whose closing click
// would be recorded: the outline is made in memory each time and the user told once.
TEST_F(Indicators, OutlineThatCannotBeStoredIsMadeInMemoryAndToldOnce) {
  r.files.fail_open = err::kPathNotFound;
  for (IndicatorId id : {IndicatorId::Play, IndicatorId::Rec, IndicatorId::Play}) {
    forms().Ref(id);
    EXPECT_TRUE(Native(id).region.has_value());
    forms().Close(id);
  }
  EXPECT_TRUE(r.Reports().empty());
  ASSERT_EQ(r.env.notices.size(), 1u);
  EXPECT_NE(r.env.notices[0].find("\"/tmp/t\""), std::string::npos) << r.env.notices[0];
}

TEST_F(Indicators, PlayWindowHasItsOwnFileAndPlace) {
  forms().Ref(IndicatorId::Play);
  EXPECT_EQ(r.log.calls[0], "frmPlay.Create play.jpg");
  EXPECT_EQ(r.factory.requested[IndicatorId::Play].width, 119);
  EXPECT_EQ(Native(IndicatorId::Play).left, 1801);
  EXPECT_EQ(Native(IndicatorId::Play).top, 0);
  EXPECT_TRUE(r.files.Exists("/tmp/t/playfrm.shp"));
  EXPECT_FALSE(r.files.Exists(kRecFile));
}

TEST_F(Indicators, PlacedAtTheTopRightOfThePrimaryScreenWhereverItLies) {
  // A primary screen right of and below another one.
  r.factory.screen = Rect{1920, 300, 3200, 1324};
  IndicatorWindow& w = forms().Ref(IndicatorId::Rec);
  EXPECT_EQ(Native(IndicatorId::Rec).left, 3200 - 146);
  EXPECT_EQ(Native(IndicatorId::Rec).top, 300);
  // The poll cycle's tops count from the screen's top edge.
  w.SetTop(-32);
  EXPECT_EQ(Native(IndicatorId::Rec).top, 300 - 32);
  // The layout changes while the window is open: the next placement follows the primary screen.
  r.factory.screen = Rect{-1280, 0, 0, 1024};
  w.SetTop(0);
  EXPECT_EQ(Native(IndicatorId::Rec).left, -146);
  EXPECT_EQ(Native(IndicatorId::Rec).top, 0);
}

TEST_F(Indicators, ReferenceCreatesOnceAndCloseDestroys) {
  IndicatorWindow& a = forms().Ref(IndicatorId::Rec);
  IndicatorWindow& b = forms().Ref(IndicatorId::Rec);
  EXPECT_EQ(&a, &b);
  EXPECT_EQ(r.factory.created, 1);
  bool closed = false;
  Native(IndicatorId::Rec).closed = &closed;
  a.SetTop(-32);
  EXPECT_EQ(Native(IndicatorId::Rec).top, -32);
  EXPECT_EQ(a.Height(), 32);
  forms().Close(IndicatorId::Rec);
  EXPECT_TRUE(closed);
  forms().Close(IndicatorId::Rec);  // not open: nothing happens
  forms().Close(IndicatorId::Play);
  EXPECT_EQ(r.factory.created, 1);
}

TEST_F(Indicators, RecordingThroughThePollCycleOpensBlinksAndClosesTheWindow) {
  r.form.StartUp();
  r.input.Tap(vk::kF10);
  r.form.OnTimer();
  r.form.OnTimer();
  ASSERT_EQ(r.form.Recorder().mode, Mode::Recording);
  ASSERT_TRUE(forms().IsOpen(IndicatorId::Rec));
  auto& w = Native(IndicatorId::Rec);
  EXPECT_TRUE(w.visible);
  EXPECT_EQ(w.left, 1774);
  EXPECT_TRUE(r.files.Exists(kRecFile));
  r.input.Tap(vk::kPause);
  r.form.OnTimer();
  r.form.OnTimer();
  EXPECT_FALSE(forms().IsOpen(IndicatorId::Rec));
}

// Another user plants outlines in a shared folder named by TEMP: one that would hide the window,
// one that only its owner can read. Neither costs the victim a box or the outline.
TEST(IndicatorsOnDisk, AnotherUsersPlantedOutlinesAreScannedAgainWithoutABox) {
  if (::geteuid() != 0) GTEST_SKIP() << "planting another user's files needs root";
  TempFolder tmp("shared");
  const std::string shared = tmp.Path();
  ::chmod(shared.c_str(), 01777);  // shared and sticky, as /tmp
  const std::string square = EncodeRegionData(Region::FromRect(Rect{8, 8, 24, 24}));
  const std::pair<const char*, std::string> planted[] = {
      {"/recfrm.shp", EncodeRegionData(Region())}, {"/playfrm.shp", square}};
  for (const auto& [name, bytes] : planted) {
    const std::string path = WriteWholeFile(shared + name, bytes);
    ::chmod(path.c_str(), 0600);
    ASSERT_EQ(::chown(path.c_str(), kNobody, kNogroup), 0);
  }
  // The victim: a user that cannot replace the files (sticky folder), then root, which can.
  auto victim = [&] {
    PosixFileSystem disk;
    AppRig r(&disk);
    r.env.vars["TEMP"] = shared;
    for (IndicatorId id : {IndicatorId::Rec, IndicatorId::Play}) {
      r.form.Indicators().Ref(id);
      const auto& region = r.factory.last.at(id)->region;
      if (!region || *region != std::vector<Rect>{{8, 8, 24, 24}}) return 1;
      if (r.factory.last.at(id)->picture_reads == 0) return 2;
    }
    return r.dialogs.boxes.empty() ? 0 : 3;
  };
  EXPECT_EQ(RunAsOtherUser(victim, /*daemon*/ 1, 1), 0);
  EXPECT_EQ(victim(), 0);
  for (const auto& [name, bytes] : planted) {
    struct stat st {};
    ASSERT_EQ(::lstat((shared + name).c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 0u) << name;  // stored again, now root's own
  }
}

}  // namespace
}  // namespace pel::test
