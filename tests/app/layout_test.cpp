// The window layouts as data: what both programs build their windows from.

#include <gtest/gtest.h>

#include <set>

#include "app/layout.h"
#include "engine/recorder.h"
#include "testkit/fake_dialogs.h"

namespace pel::test {
namespace {

using layout::ControlKind;

TEST(Layout, TwipsBecomePixelsThroughTheScreenResolution) {
  EXPECT_EQ(layout::TwipsToPixels(15, 96), 1);
  EXPECT_EQ(layout::TwipsToPixels(8040, 96), 536);
  EXPECT_EQ(layout::TwipsToPixels(3255, 96), 217);
  EXPECT_EQ(layout::TwipsToPixels(2190, 96), 146);
  EXPECT_EQ(layout::TwipsToPixels(1785, 96), 119);
  EXPECT_EQ(layout::TwipsToPixels(1440, 120), 120);
  EXPECT_EQ(layout::TwipsToPixels(1440, 144), 144);
  EXPECT_EQ(layout::TwipsToPixels(-480, 96), -32);
  EXPECT_EQ(layout::TwipsToPixels(1440, 0), 96);  // unknown resolution
  EXPECT_EQ(layout::PixelsToTwips(146, 96), 2190);
  EXPECT_EQ(layout::PixelsToTwips(120, 120), 1440);
}

TEST(Layout, MainWindowFrameAndSize) {
  const auto& f = layout::Form1();
  EXPECT_EQ(f.name, "Form1");
  EXPECT_EQ(f.border, layout::Border::FixedSingle);
  EXPECT_TRUE(f.title_bar && f.control_box && f.min_button);
  EXPECT_FALSE(f.max_button);
  EXPECT_FALSE(f.resizable);
  EXPECT_EQ(f.client_width, 8040);
  EXPECT_EQ(f.client_height, 3255);
  EXPECT_TRUE(f.centred);
  EXPECT_TRUE(f.show_in_taskbar);
  EXPECT_EQ(f.back, color::kWhite);
  EXPECT_EQ(f.font.face, "Arial");
  EXPECT_EQ(f.font.points, 9);
  EXPECT_TRUE(f.font.bold);
}

TEST(Layout, EveryControlOnceWithTheNameTheRestOfTheProgramUses) {
  std::set<ControlId> seen;
  for (const auto& c : layout::Form1().controls) {
    EXPECT_TRUE(seen.insert(c.id).second) << c.name;
    EXPECT_EQ(&layout::Control(c.id), &c);
  }
  EXPECT_EQ(static_cast<int>(seen.size()), kControlCount);
}

TEST(Layout, FocusOrderStartsInTheHiddenTextBoxThenChecksThenButtons) {
  std::vector<std::pair<int, ControlId>> order;
  for (const auto& c : layout::Form1().controls)
    if (c.tab_index > 0) order.emplace_back(c.tab_index, c.id);
  std::sort(order.begin(), order.end());
  const ControlId expected[] = {
      ControlId::Text1,          ControlId::cRecMovement,    ControlId::cRecLeftClick,
      ControlId::cRecRightClick, ControlId::cRecMiddleClick, ControlId::cWndAutoHide,
      ControlId::cWndAutoShow,   ControlId::PushButton1,     ControlId::PushButton6,
      ControlId::PushButton5,    ControlId::PushButton2,     ControlId::PushButton4,
      ControlId::PushButton3};
  ASSERT_EQ(order.size(), std::size(expected));
  for (size_t i = 0; i < order.size(); ++i) {
    EXPECT_EQ(order[i].first, static_cast<int>(i) + 1);
    EXPECT_EQ(order[i].second, expected[i]);
  }
  for (ControlId id : {ControlId::lState, ControlId::Frame1, ControlId::Frame2})
    EXPECT_EQ(layout::Control(id).tab_index, 0);
}

TEST(Layout, TextBoxLiesEntirelyBelowTheClientArea) {
  const auto& t = layout::Control(ControlId::Text1);
  EXPECT_EQ(t.kind, ControlKind::TextBox);
  EXPECT_FALSE(t.container.has_value());
  EXPECT_GE(t.top, layout::Form1().client_height);
}

TEST(Layout, ControlsFitTheirContainersAndContainersComeFirst) {
  std::set<ControlId> built;
  for (const auto& c : layout::Form1().controls) {
    if (c.container) {
      EXPECT_TRUE(built.count(*c.container)) << c.name;
      const auto& frame = layout::Control(*c.container);
      EXPECT_EQ(frame.kind, ControlKind::Frame);
      EXPECT_LE(c.left + c.width, frame.width) << c.name;
      EXPECT_LE(c.top + c.height, frame.height) << c.name;
    } else if (c.id != ControlId::Text1) {
      EXPECT_LE(c.left + c.width, layout::Form1().client_width) << c.name;
      EXPECT_LE(c.top + c.height, layout::Form1().client_height) << c.name;
    }
    built.insert(c.id);
  }
}

TEST(Layout, ButtonsFormATwoColumnGridInBoldArial) {
  const std::tuple<ControlId, int, int, const char*> grid[] = {
      {ControlId::PushButton1, 120, 1320, "Start Recording"},
      {ControlId::PushButton6, 4080, 1320, "Save Recording To File"},
      {ControlId::PushButton5, 120, 1830, "Load Recording From File"},
      {ControlId::PushButton2, 4080, 1830, "Start Playing"},
      {ControlId::PushButton4, 120, 2340, "Hide This Software"},
      {ControlId::PushButton3, 4080, 2340, "Help"}};
  for (const auto& [id, left, top, caption] : grid) {
    const auto& b = layout::Control(id);
    EXPECT_EQ(b.kind, ControlKind::PushButton);
    EXPECT_EQ(b.left, left);
    EXPECT_EQ(b.top, top);
    EXPECT_EQ(b.width, 3840);
    EXPECT_EQ(b.height, 405);
    EXPECT_EQ(b.caption, caption);
    EXPECT_EQ(b.font.points, 11.25);
    EXPECT_EQ(b.fore, color::kButtonText);
    EXPECT_EQ(b.back, color::kWhite);
  }
}

TEST(Layout, CheckBoxesFramesAndStatusLine) {
  for (const auto& c : layout::Form1().controls) {
    if (c.kind == ControlKind::CheckBox || c.kind == ControlKind::Frame) {
      EXPECT_EQ(c.back, color::kWhite) << c.name;
      EXPECT_EQ(c.font.points, 9) << c.name;
    }
  }
  EXPECT_EQ(layout::Control(ControlId::cWndAutoHide).value, 0);
  EXPECT_EQ(layout::Control(ControlId::cWndAutoShow).value, 1);
  EXPECT_EQ(*layout::Control(ControlId::cWndAutoHide).container, ControlId::Frame2);
  EXPECT_EQ(*layout::Control(ControlId::cRecMiddleClick).container, ControlId::Frame1);
  const auto& s = layout::Control(ControlId::lState);
  EXPECT_EQ(s.kind, ControlKind::Label);
  EXPECT_EQ(s.caption, "Status bar");
  EXPECT_EQ(s.border, layout::Border::FixedSingle);
  EXPECT_EQ(s.align, layout::Align::Center);
  EXPECT_EQ(s.fore, color::kWindowText);
  EXPECT_EQ(s.back, color::kWindowBackground);
}

TEST(Layout, TimerAndFileDialog) {
  EXPECT_EQ(layout::Timer1().interval_ms, 10);
  EXPECT_FALSE(layout::Timer1().enabled);
  EXPECT_EQ(layout::CommonDialog1().filter, "Mouse Motion File (*.mmf)|*.mmf");
  fake::FakeDialogs d;
  EXPECT_EQ(CommonDialog(d).Filter, layout::CommonDialog1().filter);
}

TEST(Layout, IndicatorClientAreasEqualTheirPictures) {
  for (IndicatorId id : {IndicatorId::Rec, IndicatorId::Play}) {
    const auto& w = layout::Indicator(id);
    EXPECT_EQ(w.id, id);
    EXPECT_EQ(layout::TwipsToPixels(w.client_width, 96), w.picture_width);
    EXPECT_EQ(layout::TwipsToPixels(w.client_height, 96), w.picture_height);
  }
  EXPECT_EQ(layout::Indicator(IndicatorId::Rec).picture_width, 146);
  EXPECT_EQ(layout::Indicator(IndicatorId::Play).picture_width, 119);
  EXPECT_EQ(layout::Indicator(IndicatorId::Rec).region_file, "recfrm.shp");
  EXPECT_EQ(layout::Indicator(IndicatorId::Play).region_file, "playfrm.shp");
}

}  // namespace
}  // namespace pel::test
