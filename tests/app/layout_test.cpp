// The window layouts as data: what both programs build their windows from.

#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <tuple>
#include <vector>

#include "app/layout.h"

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

TEST(Layout, EveryControlOnceWithTheNameTheRestOfTheProgramUses) {
  std::set<ControlId> seen;
  for (const auto& c : layout::MainForm().controls) {
    EXPECT_TRUE(seen.insert(c.id).second) << c.name;
    EXPECT_EQ(&layout::Control(c.id), &c);
  }
  EXPECT_EQ(static_cast<int>(seen.size()), kControlCount);
}

// The focus starts in the hidden text box, then reads the window: the check boxes frame by frame,
// left frame first, each row by row; then the buttons row by row. Frames and the status line
// take no focus; the tab indexes run 1, 2, 3... without a gap.
TEST(Layout, FocusOrderStartsInTheHiddenTextBoxThenReadsTheWindow) {
  std::vector<const layout::ControlLayout*> order;
  for (const auto& c : layout::MainForm().controls) {
    const bool focusable = c.kind != ControlKind::Frame && c.kind != ControlKind::Label;
    EXPECT_EQ(c.tab_index > 0, focusable) << c.name;
    if (focusable) order.push_back(&c);
  }
  std::sort(order.begin(), order.end(),
            [](const auto* a, const auto* b) { return a->tab_index < b->tab_index; });
  ASSERT_GE(order.size(), 2u);
  EXPECT_EQ(order[0]->id, ControlId::FocusSink);
  auto reading = [](const layout::ControlLayout* c) {
    const int frame = c->container ? layout::Control(*c->container).left : 0;
    return std::tuple{c->kind == ControlKind::PushButton, frame, c->top, c->left};
  };
  for (size_t i = 0; i < order.size(); ++i) {
    EXPECT_EQ(order[i]->tab_index, static_cast<int>(i) + 1) << order[i]->name;
    if (i >= 2) {
      EXPECT_LT(reading(order[i - 1]), reading(order[i])) << order[i]->name;
    }
  }
}

TEST(Layout, TextBoxLiesEntirelyBelowTheClientArea) {
  const auto& t = layout::Control(ControlId::FocusSink);
  EXPECT_EQ(t.kind, ControlKind::TextBox);
  EXPECT_FALSE(t.container.has_value());
  EXPECT_GE(t.top, layout::MainForm().client_height);
}

TEST(Layout, ControlsFitTheirContainersAndContainersComeFirst) {
  std::set<ControlId> built;
  for (const auto& c : layout::MainForm().controls) {
    if (c.container) {
      EXPECT_TRUE(built.count(*c.container)) << c.name;
      const auto& frame = layout::Control(*c.container);
      EXPECT_EQ(frame.kind, ControlKind::Frame);
      EXPECT_LE(c.left + c.width, frame.width) << c.name;
      EXPECT_LE(c.top + c.height, frame.height) << c.name;
    } else if (c.id != ControlId::FocusSink) {
      EXPECT_LE(c.left + c.width, layout::MainForm().client_width) << c.name;
      EXPECT_LE(c.top + c.height, layout::MainForm().client_height) << c.name;
    }
    built.insert(c.id);
  }
}

// Six equal buttons in focus order, two to a row, left column first; check boxes and frames take
// the window's colour and font size.
TEST(Layout, ButtonsFormATwoColumnGridAndChecksTakeTheWindowsLook) {
  const ControlId buttons[] = {ControlId::RecordButton, ControlId::SaveButton,
                               ControlId::LoadButton,   ControlId::PlayButton,
                               ControlId::HideButton,   ControlId::HelpButton};
  const auto& first = layout::Control(buttons[0]);
  for (size_t i = 0; i < std::size(buttons); ++i) {
    const auto& b = layout::Control(buttons[i]);
    SCOPED_TRACE(std::string(b.name));
    EXPECT_EQ(b.kind, ControlKind::PushButton);
    EXPECT_EQ(b.width, first.width);
    EXPECT_EQ(b.height, first.height);
    EXPECT_EQ(b.font.points, first.font.points);
    EXPECT_EQ(b.fore, first.fore);
    EXPECT_EQ(b.back, first.back);
    const auto& row_start = layout::Control(buttons[i - i % 2]);
    EXPECT_EQ(b.top, row_start.top);
    if (i % 2 == 1) {
      EXPECT_GE(b.left, row_start.left + row_start.width);
    } else {
      EXPECT_EQ(b.left, first.left);
    }
    if (i >= 2) {
      EXPECT_GE(b.top, layout::Control(buttons[i - 2]).top + first.height);
    }
  }
  for (const auto& c : layout::MainForm().controls) {
    if (c.kind == ControlKind::CheckBox || c.kind == ControlKind::Frame) {
      EXPECT_EQ(c.back, layout::MainForm().back) << c.name;
      EXPECT_EQ(c.font.points, layout::MainForm().font.points) << c.name;
    }
  }
}

TEST(Layout, IndicatorClientAreasEqualTheirPictures) {
  for (IndicatorId id : {IndicatorId::Rec, IndicatorId::Play}) {
    const auto& w = layout::Indicator(id);
    EXPECT_EQ(w.id, id);
    EXPECT_EQ(layout::TwipsToPixels(w.client_width, 96), w.picture_width);
    EXPECT_EQ(layout::TwipsToPixels(w.client_height, 96), w.picture_height);
  }
}

}  // namespace
}  // namespace pel::test
