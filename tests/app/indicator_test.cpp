// frmRec and frmPlay: creation on first reference, placement, and the outline kept in the
// temporary folder.

#include <gtest/gtest.h>

#include "tests/app/rig.h"

namespace pel::test {
namespace {

constexpr const char* kRecFile = "/tmp/t/recfrm.shp";

struct Indicators : ::testing::Test {
  Rig r;
  void SetUp() override { r.env.vars["TEMP"] = "/tmp/t"; }
  IndicatorForms& forms() { return r.form.Indicators(); }
  fake::FakeNativeIndicator& Native(IndicatorId id) { return *r.factory.last.at(id); }
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

TEST_F(Indicators, UnreadableFileIsReportedAt110AndTheWindowStaysRectangular) {
  r.files.Put(kRecFile, "");
  forms().Ref(IndicatorId::Rec);
  ASSERT_EQ(r.Reports().size(), 1u);
  EXPECT_TRUE(Names(r.Reports()[0].text, "frmRec.Form_Load", 110));
  EXPECT_FALSE(Native(IndicatorId::Rec).region.has_value());
  EXPECT_EQ(Native(IndicatorId::Rec).left, 1774);
  // The same at the next start of a recording while the file stays as it is.
  forms().Close(IndicatorId::Rec);
  forms().Ref(IndicatorId::Rec);
  EXPECT_EQ(r.Reports().size(), 2u);
}

TEST_F(Indicators, OutlineThatCannotBeStoredIsReportedAt108) {
  r.files.fail_open = err::kPathNotFound;
  forms().Ref(IndicatorId::Play);
  ASSERT_EQ(r.Reports().size(), 1u);
  EXPECT_TRUE(Names(r.Reports()[0].text, "frmPlay.Form_Load", 108));
  EXPECT_FALSE(Native(IndicatorId::Play).region.has_value());
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

TEST_F(Indicators, PlacementFollowsTheScreenWidth) {
  r.factory.screen_width = 1280;
  forms().Ref(IndicatorId::Rec);
  EXPECT_EQ(Native(IndicatorId::Rec).left, 1280 - 146);
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

TEST_F(Indicators, StoredFileThatIsNoRegionDataLeavesTheWindowRectangularSilently) {
  std::string bytes(48, '\0');
  bytes[0] = 32;  // dwSize
  bytes[4] = 2;   // iType other than RDH_RECTANGLES
  bytes[8] = 1;   // nCount
  bytes[12] = 16;
  r.files.Put(kRecFile, bytes);
  forms().Ref(IndicatorId::Rec);
  EXPECT_TRUE(r.dialogs.boxes.empty());
  EXPECT_FALSE(Native(IndicatorId::Rec).region.has_value());
}

TEST_F(Indicators, RecordingThroughThePollCycleOpensBlinksAndClosesTheWindow) {
  r.form.Form_Load();
  r.input.Tap(vk::kF10);
  r.form.Timer1_Timer();
  r.form.Timer1_Timer();
  ASSERT_EQ(r.form.Engine().RecorderState, "Recording");
  ASSERT_TRUE(forms().IsOpen(IndicatorId::Rec));
  auto& w = Native(IndicatorId::Rec);
  EXPECT_TRUE(w.visible);
  EXPECT_EQ(w.left, 1774);
  EXPECT_TRUE(r.files.Exists(kRecFile));
  r.input.Tap(vk::kPause);
  r.form.Timer1_Timer();
  r.form.Timer1_Timer();
  EXPECT_FALSE(forms().IsOpen(IndicatorId::Rec));
}

}  // namespace
}  // namespace pel::test
