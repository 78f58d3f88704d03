// Indicator windows and the skin engine.
#include <gtest/gtest.h>

#include <QApplication>
#include <QScreen>
#include <QTemporaryDir>
#include <fstream>
#include <vector>

#include "platform/error.h"
#include "platform/qt/qt_indicator.h"
#include "platform/qt/qt_skin.h"
#include "programs/linux/qt_main_window.h"

namespace pel {
namespace {

TEST(QtIndicatorTest, WindowIsAFramelessToolThatNeverTakesFocusOrInput) {
  QtIndicatorFactory factory;
  auto rec = factory.Create(IndicatorId::Rec, "frmRec", "rec.jpg", PixelSize{146, 32});
  auto* q = static_cast<QtIndicator*>(rec.get());
  const Qt::WindowFlags f = q->Widget()->windowFlags();
  for (Qt::WindowType flag : {Qt::Tool, Qt::FramelessWindowHint, Qt::WindowStaysOnTopHint,
                              Qt::WindowDoesNotAcceptFocus, Qt::WindowTransparentForInput})
    EXPECT_TRUE(f.testFlag(flag)) << flag;
  EXPECT_TRUE(q->Widget()->testAttribute(Qt::WA_ShowWithoutActivating));
  EXPECT_EQ(rec->Width(), 146);
  EXPECT_EQ(rec->Height(), 32);
  EXPECT_EQ(rec->OuterSize().width, 146);
  EXPECT_EQ(rec->OuterSize().height, 32);
  EXPECT_FALSE(rec->Visible());
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  EXPECT_EQ(q->Widget()->geometry().center(), screen.center()) << "first place: centred";
}

TEST(QtIndicatorTest, PicturePixelsAreRedGreenBlueInColourValueOrder) {
  QtIndicatorFactory factory;
  const QImage picture = factory.LoadPicture("play.jpg");
  ASSERT_EQ(picture.size(), QSize(119, 32)) << "embedded picture";
  auto play = factory.Create(IndicatorId::Play, "frmPlay", "play.jpg", PixelSize{119, 32});
  // The corner is background: pure blue, within the keyed range 0xFA0000..0xFF0200.
  const Color corner = play->Picture().Pixel(0, 0);
  EXPECT_GE(corner & 0xFF0000u, 0xFA0000u);
  EXPECT_LE(corner & 0xFFu, 2u);
  EXPECT_EQ(play->Picture().Pixel(119, 0), kInvalidColor);

  QImage tiny(2, 1, QImage::Format_RGB32);
  tiny.setPixel(0, 0, qRgb(1, 2, 3));
  tiny.setPixel(1, 0, qRgb(0, 0, 255));
  const Image img = ToPelImage(tiny);
  EXPECT_EQ(img.px, (std::vector<uint32_t>{0x030201, color::kBlue}));
}

TEST(QtIndicatorTest, PositionVisibilityAndOutline) {
  QtIndicatorFactory factory;
  auto rec = factory.Create(IndicatorId::Rec, "frmRec", "rec.jpg", PixelSize{146, 32});
  auto* w = static_cast<QtIndicator*>(rec.get())->Widget();
  const QRect screen = QGuiApplication::primaryScreen()->geometry();
  const Rect primary = factory.PrimaryScreen();
  EXPECT_EQ(primary, (Rect{screen.left(), screen.top(), screen.right() + 1, screen.bottom() + 1}));
  rec->SetTop(0);
  rec->SetLeft(primary.right - rec->Width());
  EXPECT_EQ(w->pos(), QPoint(screen.left() + screen.width() - 146, 0));
  rec->SetTop(-rec->Height());
  EXPECT_EQ(w->y(), -32);
  rec->SetVisible(true);
  EXPECT_TRUE(rec->Visible());

  const Rect rects[] = {{2, 0, 10, 4}, {0, 4, 20, 8}};
  rec->ApplyRegion(rects);
  EXPECT_EQ(w->mask(), QRegion(2, 0, 8, 4) + QRegion(0, 4, 20, 4));
  rec->ApplyRegion({});
  EXPECT_FALSE(w->mask().isEmpty()) << "an empty outline must not mean 'no mask'";
  EXPECT_FALSE(w->mask().intersects(w->rect()));
  rec->ClearRegion();
  EXPECT_TRUE(w->mask().isEmpty());

  // Hidden once shown, the window stays mapped and is cut to nothing; shown again, it gets the
  // latest outline back, also one installed while it was hidden.
  rec->ApplyRegion(rects);
  rec->SetVisible(false);
  EXPECT_FALSE(rec->Visible());
  EXPECT_TRUE(w->isVisible());
  EXPECT_FALSE(w->mask().intersects(w->rect()));
  const Rect corner[] = {{0, 0, 5, 5}};
  rec->ApplyRegion(corner);
  EXPECT_FALSE(w->mask().intersects(w->rect())) << "a new outline does not show it";
  rec->SetVisible(true);
  EXPECT_EQ(w->mask(), QRegion(0, 0, 5, 5));
  rec->ClearRegion();
  rec->SetVisible(false);
  rec->SetVisible(true);
  EXPECT_TRUE(w->mask().isEmpty()) << "without an outline, a plain rectangle again";
}

TEST(QtIndicatorTest, MissingPictureThrows) {
  QtIndicatorFactory factory;
  EXPECT_THROW(factory.Create(IndicatorId::Rec, "frmRec", "nothing.jpg", PixelSize{1, 1}), Error);
}

TEST(QtIndicatorTest, PictureBesideTheProgramWinsOverTheBuiltInOne) {
  QTemporaryDir dir;
  QImage own(146, 32, QImage::Format_RGB32);
  own.fill(Qt::red);
  ASSERT_TRUE(own.save(dir.filePath("rec.jpg"), "JPEG", 100));
  QtIndicatorFactory factory({dir.path().toStdString()});
  auto rec = factory.Create(IndicatorId::Rec, "frmRec", "rec.jpg", PixelSize{146, 32});
  EXPECT_LT((rec->Picture().Pixel(0, 0) >> 16) & 0xFF, 10u) << "red, not blue";
}

TEST(QtSkinEngineTest, StyleSheetGoesOnTheWindowOrTheWholeProgram) {
  QTemporaryDir dir;
  const std::string sheet = dir.filePath("o.cjs").toStdString();
  std::ofstream(sheet) << "QPushButton { color: red; }";
  QtMainWindow w;
  QtSkinEngine skin;
  skin.LoadSkin(sheet, "");
  skin.SetFlags(skin.Flags() | SkinEngine::kApplyToWindowFrame);
  EXPECT_EQ(skin.Flags(), 1);
  skin.ApplyToWindow(w.NativeHandle());
  EXPECT_EQ(w.Widget()->styleSheet(), "QPushButton { color: red; }");
  EXPECT_TRUE(qApp->styleSheet().isEmpty());

  skin.SetApplyToDialogs(true);
  skin.ApplyToWindow(w.NativeHandle());
  EXPECT_EQ(qApp->styleSheet(), "QPushButton { color: red; }");
  qApp->setStyleSheet(QString());
}

TEST(QtSkinEngineTest, UnusableFileOrUnknownWindowChangesNothing) {
  QtMainWindow w;
  QtSkinEngine skin;
  skin.LoadSkin("/nonexistent/o.cjs", "");
  skin.ApplyToWindow(w.NativeHandle());
  EXPECT_TRUE(w.Widget()->styleSheet().isEmpty());
  QTemporaryDir dir;
  const std::string sheet = dir.filePath("o.cjs").toStdString();
  std::ofstream(sheet) << "QWidget { color: blue; }";
  skin.LoadSkin(sheet, "");
  skin.ApplyToWindow(0xDEAD);
  EXPECT_TRUE(w.Widget()->styleSheet().isEmpty());
}

}  // namespace
}  // namespace pel
