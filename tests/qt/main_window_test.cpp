// MainForm as Qt widgets: built from the layout tables, controls behave as the seam says, events
// reach the handlers.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QCheckBox>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <algorithm>
#include <optional>
#include <utility>
#include <vector>

#include "app/layout.h"
#include "platform/error.h"
#include "platform/qt/qt_color.h"
#include "programs/linux/qt_main_window.h"

namespace pel {
namespace {

struct Recorded {
  std::vector<ControlId> clicks;
  std::vector<std::optional<ControlId>> moves;
  int ticks = 0;
  int unloads = 0;
};

FormHandlers Handlers(Recorded& r) {
  return FormHandlers{[&r](ControlId id) { r.clicks.push_back(id); },
                      [&r](std::optional<ControlId> id) { r.moves.push_back(id); },
                      [&r] { ++r.ticks; }, [&r] { ++r.unloads; }};
}

QWidget* W(QtMainWindow& w, ControlId id) {
  return w.Ctl(id).Widget();
}

TEST(QtMainWindowTest, GeometryFollowsTheLayoutAtTheScreenResolution) {
  QtMainWindow w;
  const int dpi = w.Dpi();
  auto px = [dpi](int twips) { return layout::TwipsToPixels(twips, dpi); };
  EXPECT_EQ(w.Widget()->size(), QSize(px(8040), px(3255)));
  EXPECT_EQ(w.Widget()->minimumSize(), w.Widget()->maximumSize()) << "fixed size";
  const Qt::WindowFlags flags = w.Widget()->windowFlags();
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);

  for (const layout::ControlLayout& c : layout::MainForm().controls) {
    SCOPED_TRACE(std::string(c.name));
    QWidget* widget = W(w, c.id);
    EXPECT_EQ(widget->objectName().toStdString(), c.name);
    EXPECT_EQ(widget->geometry(), QRect(px(c.left), px(c.top), px(c.width), px(c.height)));
    QWidget* expected_parent = c.container ? W(w, *c.container) : w.Widget();
    EXPECT_EQ(widget->parentWidget(), expected_parent);
    EXPECT_EQ(w.Ctl(c.id).Caption(), c.caption);
    EXPECT_DOUBLE_EQ(widget->font().pointSizeF(), c.font.points);
    EXPECT_TRUE(widget->font().bold());
  }
  if (dpi == 96) {
    EXPECT_EQ(w.Widget()->size(), QSize(536, 217));
    EXPECT_EQ(W(w, ControlId::SaveButton)->geometry(), QRect(272, 88, 256, 27));
  }
  // FocusSink lies wholly below the client area.
  EXPECT_GE(W(w, ControlId::FocusSink)->y(), w.Widget()->height());
  EXPECT_TRUE(qobject_cast<QLineEdit*>(W(w, ControlId::FocusSink)));
  EXPECT_TRUE(qobject_cast<QGroupBox*>(W(w, ControlId::RecordingFrame)));
  auto* label = qobject_cast<QLabel*>(W(w, ControlId::StatusLine));
  ASSERT_TRUE(label);
  EXPECT_TRUE(label->alignment() & Qt::AlignHCenter);
  EXPECT_EQ(label->frameShape(), QFrame::Panel);
}

TEST(QtMainWindowTest, FontsFallBackToTheMetricTwinOfArial) {
  QtMainWindow w;
  const QFont f = W(w, ControlId::RecordButton)->font();
  EXPECT_EQ(f.family(), "Arial");
  EXPECT_TRUE(QFont::substitutes("Arial").contains("liberation sans", Qt::CaseInsensitive));
  const QString drawn = QFontInfo(f).family();
  EXPECT_TRUE(drawn == "Arial" || drawn == "Liberation Sans") << drawn.toStdString();
  EXPECT_DOUBLE_EQ(f.pointSizeF(), 11.25);
  EXPECT_DOUBLE_EQ(W(w, ControlId::RecordMoves)->font().pointSizeF(), 9.0);
}

TEST(QtMainWindowTest, FocusStartsInTheHiddenTextBoxAndTabFollowsTheDesign) {
  QtMainWindow w;
  w.ShowCentred();
  QApplication::setActiveWindow(w.Widget());
  ASSERT_TRUE(QTest::qWaitForWindowActive(w.Widget()));
  QTRY_COMPARE(QApplication::focusWidget(), W(w, ControlId::FocusSink));
  std::vector<const layout::ControlLayout*> order;
  for (const layout::ControlLayout& c : layout::MainForm().controls) {
    if (c.tab_index > 0) {
      order.push_back(&c);
    } else {
      EXPECT_EQ(W(w, c.id)->focusPolicy(), Qt::NoFocus) << c.name;
    }
  }
  std::sort(order.begin(), order.end(),
            [](const auto* a, const auto* b) { return a->tab_index < b->tab_index; });
  ASSERT_EQ(order.front()->id, ControlId::FocusSink);
  for (size_t i = 1; i < order.size(); ++i) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_EQ(QApplication::focusWidget(), W(w, order[i]->id)) << order[i]->name;
  }
}

// The texts the user reads on the window, exactly as they stand.
TEST(QtMainWindowTest, ButtonsAndStatusLineReadAsDesigned) {
  QtMainWindow w;
  const std::pair<ControlId, const char*> captions[] = {
      {ControlId::RecordButton, "Start Recording"},
      {ControlId::SaveButton, "Save Recording To File"},
      {ControlId::LoadButton, "Load Recording From File"},
      {ControlId::PlayButton, "Start Playing"},
      {ControlId::HideButton, "Hide This Software"},
      {ControlId::HelpButton, "Help"}};
  for (const auto& [id, caption] : captions)
    EXPECT_EQ(qobject_cast<QPushButton*>(W(w, id))->text(), caption);
  EXPECT_EQ(qobject_cast<QLabel*>(W(w, ControlId::StatusLine))->text(), "Status bar");
  EXPECT_EQ(w.Widget()->objectName(), "Form1");
}

TEST(QtMainWindowTest, ShownCentredOnThePrimaryScreenAndHiddenOnRequest) {
  QtMainWindow w;
  EXPECT_FALSE(w.Visible());
  w.SetVisible(true);
  EXPECT_TRUE(w.Visible());
  const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
  // Within the window frame's few pixels, which are unknown until the window is shown.
  EXPECT_LE(std::abs(w.Widget()->geometry().center().x() - area.center().x()), 4);
  EXPECT_LE(std::abs(w.Widget()->geometry().center().y() - area.center().y()), 4);
  w.Widget()->move(10, 20);
  w.SetVisible(false);
  EXPECT_FALSE(w.Visible());
  w.SetVisible(true);
  EXPECT_EQ(w.Widget()->pos(), QPoint(10, 20)) << "shown again in its former place";
}

TEST(QtMainWindowTest, ControlPropertiesReadBackWhatWasWritten) {
  QtMainWindow w;
  Control& play = w.Get(ControlId::PlayButton);
  play.SetCaption("Stop");
  EXPECT_EQ(play.Caption(), "Stop");
  EXPECT_EQ(qobject_cast<QPushButton*>(W(w, ControlId::PlayButton))->text(), "Stop");
  play.SetEnabled(false);
  EXPECT_FALSE(play.Enabled());
  EXPECT_EQ(play.Value(), 0);

  Control& hide = w.Get(ControlId::AutoHide);
  EXPECT_EQ(hide.Value(), 0);
  EXPECT_EQ(w.Get(ControlId::AutoShow).Value(), 1);
  hide.SetValue(2);
  EXPECT_EQ(hide.Value(), 2);
  EXPECT_EQ(qobject_cast<QCheckBox*>(W(w, ControlId::AutoHide))->checkState(),
            Qt::PartiallyChecked);
  EXPECT_THROW(hide.SetValue(3), Error);
  hide.SetValue(1);
  EXPECT_EQ(hide.Value(), 1);

  Control& state = w.Get(ControlId::StatusLine);
  state.SetCaption("[RECORDING]");
  state.SetForeColor(color::kRed);
  EXPECT_EQ(state.Caption(), "[RECORDING]");
  EXPECT_EQ(state.ForeColor(), color::kRed);
  EXPECT_EQ(W(w, ControlId::StatusLine)->palette().color(QPalette::WindowText), QColor(255, 0, 0));
  state.SetBackColor(color::kWhite);
  EXPECT_EQ(W(w, ControlId::StatusLine)->palette().color(QPalette::Window), QColor(255, 255, 255));
}

TEST(QtMainWindowTest, SystemColourReferencesFollowThePalette) {
  const QPalette p = QApplication::palette();
  EXPECT_EQ(ResolveColor(color::kButtonFace, p), p.color(QPalette::Button));
  EXPECT_EQ(ResolveColor(color::kButtonText, p), p.color(QPalette::ButtonText));
  EXPECT_EQ(ResolveColor(color::kWindowText, p), p.color(QPalette::WindowText));
  EXPECT_EQ(ResolveColor(color::kWindowBackground, p), p.color(QPalette::Base));
  EXPECT_EQ(ResolveColor(color::kBlue, p), QColor(0, 0, 255)) << "0x00BBGGRR";
  EXPECT_EQ(ResolveColor(65280, p), QColor(0, 255, 0));

  QtMainWindow w;
  w.SetBackColor(color::kButtonFace);
  EXPECT_EQ(w.BackColor(), color::kButtonFace) << "the reference is kept, not its value";
  EXPECT_EQ(w.Widget()->palette().color(QPalette::Window), p.color(QPalette::Button));
  Control& check = w.Get(ControlId::RecordMoves);
  EXPECT_EQ(check.BackColor(), color::kWhite);
  check.SetBackColor(color::kButtonFace);
  EXPECT_EQ(check.BackColor(), color::kButtonFace);
  QWidget* box = W(w, ControlId::RecordMoves);
  EXPECT_EQ(box->palette().color(box->backgroundRole()), p.color(QPalette::Button));
  // Recolouring the window leaves the controls' own colours in place.
  w.SetBackColor(color::kWhite);
  EXPECT_EQ(box->palette().color(box->backgroundRole()), p.color(QPalette::Button));
}

TEST(QtMainWindowTest, ClicksReachTheHandlerOnlyFromEnabledButtons) {
  Recorded r;
  QtMainWindow w(Handlers(r));
  w.ShowCentred();
  QTest::mouseClick(W(w, ControlId::LoadButton), Qt::LeftButton);
  w.Get(ControlId::PlayButton).SetEnabled(false);
  QTest::mouseClick(W(w, ControlId::PlayButton), Qt::LeftButton);
  QTest::mouseClick(W(w, ControlId::HelpButton), Qt::LeftButton);
  EXPECT_EQ(r.clicks, (std::vector<ControlId>{ControlId::LoadButton, ControlId::HelpButton}));
  // A click on a check box toggles it and is no command.
  QTest::mouseClick(W(w, ControlId::RecordLeft), Qt::LeftButton);
  EXPECT_EQ(w.Get(ControlId::RecordLeft).Value(), 0);
  EXPECT_EQ(r.clicks.size(), 2u);
}

TEST(QtMainWindowTest, MouseMovesAreReportedForButtonsFramesAndBackgroundOnly) {
  Recorded r;
  QtMainWindow w(Handlers(r));
  w.ShowCentred();
  QTest::mouseMove(W(w, ControlId::HideButton), QPoint(5, 5));
  QTest::mouseMove(W(w, ControlId::RecordMoves), QPoint(5, 5));
  QTest::mouseMove(W(w, ControlId::StatusLine), QPoint(5, 5));
  QTest::mouseMove(W(w, ControlId::WindowFrame), QPoint(200, 60));
  QTest::mouseMove(w.Widget(), QPoint(2, 215));
  QApplication::processEvents();
  EXPECT_EQ(r.moves, (std::vector<std::optional<ControlId>>{ControlId::HideButton,
                                                            ControlId::WindowFrame, std::nullopt}));
}

TEST(QtMainWindowTest, TimerTicksEveryTenMillisecondsOnceEnabled) {
  Recorded r;
  QtMainWindow w(Handlers(r));
  EXPECT_EQ(w.Timer().interval(), 10);
  EXPECT_EQ(w.Timer().timerType(), Qt::PreciseTimer);
  EXPECT_FALSE(w.Timer().isActive()) << "disabled in the layout";
  w.SetTimerEnabled(true);
  QTRY_VERIFY_WITH_TIMEOUT(r.ticks >= 3, 5000);
  w.SetTimerEnabled(false);
  const int seen = r.ticks;
  QTest::qWait(50);
  EXPECT_EQ(r.ticks, seen);
}

TEST(QtMainWindowTest, ClosingTheWindowUnloadsIt) {
  Recorded r;
  QtMainWindow w(Handlers(r));
  w.ShowCentred();
  w.Widget()->close();
  EXPECT_EQ(r.unloads, 1);
}

TEST(QtMainWindowTest, CaptionIconAndNativeHandle) {
  QtMainWindow w;
  w.SetCaption("Pelmira");
  EXPECT_EQ(w.Widget()->windowTitle(), "Pelmira");
  QPixmap pm(16, 16);
  pm.fill(Qt::red);
  QApplication::setWindowIcon(QIcon(pm));
  w.SetAppIcon();
  EXPECT_FALSE(w.Widget()->windowIcon().isNull());
  EXPECT_NE(w.NativeHandle(), 0u);
  EXPECT_EQ(QWidget::find(static_cast<WId>(w.NativeHandle())), w.Widget());
}

}  // namespace
}  // namespace pel
