#include "shell/main_layout.h"

#include <gtest/gtest.h>

namespace keyloom::shell {
namespace {

// The design client area, with room for the Key List's filter field.
constexpr int kWidth = 625, kHeight = 346 + MainLayout::kFilterHeight + MainLayout::kFilterGap,
              kBar = 22;

TEST(MainLayoutTest, StacksPanelStatusListAndKeyListAboveTheStatusBar) {
  MainLayout layout;
  const auto parts = layout.Arrange(kWidth, kHeight, kBar);
  EXPECT_EQ(parts.panel, (LayoutRect{0, 0, kWidth, MainLayout::kPanelMinHeight}));
  EXPECT_EQ(parts.status.y, MainLayout::kPanelMinHeight + MainLayout::kSplitterSize);
  EXPECT_EQ(parts.status.height, MainLayout::kStatusDefaultHeight);
  EXPECT_EQ(parts.keys.y, parts.splitter_status.y + MainLayout::kSplitterSize);
  EXPECT_EQ(parts.keys.y + parts.keys.height, kHeight - kBar);
  EXPECT_EQ(parts.keys.width, kWidth);
}

TEST(MainLayoutTest, HitTestFindsTheSplitterBands) {
  MainLayout layout;
  const auto parts = layout.Arrange(kWidth, kHeight, kBar);
  EXPECT_EQ(layout.HitTest(10, parts.splitter_panel.y), Splitter::kBelowPanel);
  EXPECT_EQ(layout.HitTest(10, parts.splitter_status.y + MainLayout::kSplitterSize - 1),
            Splitter::kBelowStatus);
  EXPECT_EQ(layout.HitTest(10, parts.status.y + 5), Splitter::kNone);
  EXPECT_EQ(layout.HitTest(10, 5), Splitter::kNone);
}

TEST(MainLayoutTest, DraggingTheFirstSplitterMovesThePanelBorderWithinItsLimits) {
  MainLayout layout;
  layout.Arrange(kWidth, kHeight, kBar);
  layout.Drag(Splitter::kBelowPanel, 150);
  auto parts = layout.Arrange(kWidth, kHeight, kBar);
  EXPECT_EQ(parts.panel.height, 150);
  EXPECT_EQ(parts.status.height, MainLayout::kStatusDefaultHeight);  // the Key List gave way

  layout.Drag(Splitter::kBelowPanel, 10);  // never over the panel's controls
  EXPECT_EQ(layout.panel_height(), MainLayout::kPanelMinHeight);

  layout.Drag(Splitter::kBelowPanel, 10000);  // the Key List keeps its least height
  parts = layout.Arrange(kWidth, kHeight, kBar);
  EXPECT_EQ(parts.keys.height, MainLayout::kKeysMinHeight);
}

TEST(MainLayoutTest, DraggingTheSecondSplitterResizesTheStatusListWithinItsLimits) {
  MainLayout layout;
  auto parts = layout.Arrange(kWidth, kHeight, kBar);
  layout.Drag(Splitter::kBelowStatus, parts.status.y + 80);
  parts = layout.Arrange(kWidth, kHeight, kBar);
  EXPECT_EQ(parts.status.height, 80);

  layout.Drag(Splitter::kBelowStatus, 0);
  EXPECT_EQ(layout.status_height(), MainLayout::kListMinHeight);
  layout.Drag(Splitter::kBelowStatus, 10000);
  parts = layout.Arrange(kWidth, kHeight, kBar);
  EXPECT_EQ(parts.keys.height, MainLayout::kKeysMinHeight);
}

TEST(MainLayoutTest, AtItsLeastSizeTheWindowShowsTheWholePanelAndAFewKeyListRows) {
  MainLayout layout;
  auto parts = layout.Arrange(kWidth, kHeight, kBar);
  layout.Drag(Splitter::kBelowStatus, parts.status.y + 80);  // a taller status list
  const LayoutSize least = MainLayout::MinimumClientSize(kBar);
  EXPECT_EQ(least.width, MainLayout::kPanelDesignWidth);
  parts = layout.Arrange(least.width, least.height, kBar);
  EXPECT_EQ(parts.panel.height, MainLayout::kPanelMinHeight);
  EXPECT_EQ(parts.status.height, MainLayout::kListMinHeight) << "the status list gives way";
  EXPECT_EQ(parts.keys.height, MainLayout::kKeysMinHeight);
  EXPECT_EQ(parts.keys.y + parts.keys.height, least.height - kBar);
  // Grown again, the window shows the status list at the height it was given.
  parts = layout.Arrange(kWidth, kHeight, kBar);
  EXPECT_EQ(parts.status.height, 80);
}

TEST(MainLayoutTest, AWiderWindowStretchesFieldsAndKeepsButtonsAtTheRightEdge) {
  const LayoutRect edit{132, 9, 290, 23}, button{526, 8, 90, 25}, half{352, 69, 150, 23};
  const struct {
    LayoutRect designed;
    PanelAnchor anchor;
    int client_width;
    LayoutRect placed;
  } cases[] = {
      {edit, {0, 2}, MainLayout::kPanelDesignWidth, edit},
      {edit, {0, 2}, MainLayout::kPanelDesignWidth + 100, {132, 9, 390, 23}},
      {button, {2, 0}, MainLayout::kPanelDesignWidth + 100, {626, 8, 90, 25}},
      {half, {1, 1}, MainLayout::kPanelDesignWidth + 100, {402, 69, 200, 23}},
      {button, {2, 0}, 300, button},  // never narrower than drawn
  };
  for (const auto& c : cases) {
    EXPECT_EQ(MainLayout::PlaceInPanel(c.designed, c.anchor, c.client_width), c.placed)
        << c.client_width;
  }
  // The right margin stays what it was drawn with.
  const int margin = MainLayout::kPanelDesignWidth - (button.x + button.width);
  const LayoutRect wide = MainLayout::PlaceInPanel(button, {2, 0}, 1000);
  EXPECT_EQ(1000 - (wide.x + wide.width), margin);
}

TEST(MainLayoutTest, ATooSmallWindowShortensTheKeyListToNothingButKeepsTheStoredHeights) {
  MainLayout layout;
  const auto parts = layout.Arrange(300, 150, kBar);
  EXPECT_EQ(parts.keys.height, 0);
  EXPECT_EQ(layout.panel_height(), MainLayout::kPanelMinHeight);
  layout.Drag(Splitter::kBelowPanel, 200);  // no room to move: nothing changes
  EXPECT_EQ(layout.panel_height(), MainLayout::kPanelMinHeight);
}

TEST(MainLayoutTest, At144DpiEveryLengthIsOneAndAHalfTimesItsDesignAndDragsKeepTheirShare) {
  EXPECT_EQ(ScaleToDpi(138, 144), 207);
  EXPECT_EQ(ScaleToDpi(-5, 144), -8);  // halves away from zero
  EXPECT_EQ(ScaleFromDpi(207, 144), 138);
  EXPECT_EQ(MainLayout::MinimumClientSize(33, 144),
            (LayoutSize{936, ScaleToDpi(MainLayout::MinimumClientSize(0).height, 144) + 33}));
  // A panel control keeps its design place scaled; a wider window stretches it as before.
  const LayoutRect find{132, 9, 290, 23};
  EXPECT_EQ(MainLayout::PlaceInPanel(find, {0, 2}, 936, 144), (LayoutRect{198, 14, 435, 35}));
  EXPECT_EQ(MainLayout::PlaceInPanel(find, {0, 2}, 1036, 144), (LayoutRect{198, 14, 535, 35}));

  MainLayout layout;
  layout.Arrange(kWidth, 800, kBar);
  layout.Drag(Splitter::kBelowPanel, 200);
  layout.SetDpi(144);
  EXPECT_EQ(layout.panel_height(), 300);
  EXPECT_EQ(layout.status_height(), ScaleToDpi(MainLayout::kStatusDefaultHeight, 144));
  const auto parts = layout.Arrange(936, 1200, 33);
  EXPECT_EQ(parts.splitter_panel.height, 8);
  EXPECT_EQ(parts.status.y, 308);
  // Back at 96 DPI the heights are what they were.
  layout.SetDpi(96);
  EXPECT_EQ(layout.panel_height(), 200);
}

TEST(MainLayoutTest, TheClientSizeForAListHoldsPanelStatusListFilterAndStatusBar) {
  const int above = MainLayout::kPanelMinHeight + 2 * MainLayout::kSplitterSize +
                    MainLayout::kStatusDefaultHeight + MainLayout::kFilterHeight +
                    MainLayout::kFilterGap;
  EXPECT_EQ(MainLayout::ClientSizeForList(1200, 300, 22, 96), (LayoutSize{1200, above + 322}));
  // Never narrower than the panel.
  EXPECT_EQ(MainLayout::ClientSizeForList(100, 300, 33, 144).width, 936);
  EXPECT_EQ(MainLayout::ClientSizeForList(100, 300, 33, 144).height,
            ScaleToDpi(above, 144) + 333);
}

}  // namespace
}  // namespace keyloom::shell
