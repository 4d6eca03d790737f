#include "shell/main_layout.h"

#include <gtest/gtest.h>

namespace keyloom::shell {
namespace {

constexpr int kWidth = 625, kHeight = 346, kBar = 22;

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
  layout.Drag(Splitter::kBelowPanel, 160);
  auto parts = layout.Arrange(kWidth, kHeight, kBar);
  EXPECT_EQ(parts.panel.height, 160);
  EXPECT_EQ(parts.status.height, MainLayout::kStatusDefaultHeight);  // the Key List gave way

  layout.Drag(Splitter::kBelowPanel, 10);  // never over the panel's controls
  EXPECT_EQ(layout.panel_height(), MainLayout::kPanelMinHeight);

  layout.Drag(Splitter::kBelowPanel, 10000);  // the Key List keeps its least height
  parts = layout.Arrange(kWidth, kHeight, kBar);
  EXPECT_EQ(parts.keys.height, MainLayout::kListMinHeight);
}

TEST(MainLayoutTest, DraggingTheSecondSplitterResizesTheStatusListWithinItsLimits) {
  MainLayout layout;
  auto parts = layout.Arrange(kWidth, kHeight, kBar);
  layout.Drag(Splitter::kBelowStatus, parts.status.y + 100);
  parts = layout.Arrange(kWidth, kHeight, kBar);
  EXPECT_EQ(parts.status.height, 100);

  layout.Drag(Splitter::kBelowStatus, 0);
  EXPECT_EQ(layout.status_height(), MainLayout::kListMinHeight);
  layout.Drag(Splitter::kBelowStatus, 10000);
  parts = layout.Arrange(kWidth, kHeight, kBar);
  EXPECT_EQ(parts.keys.height, MainLayout::kListMinHeight);
}

TEST(MainLayoutTest, ATooSmallWindowShortensTheKeyListToNothingButKeepsTheStoredHeights) {
  MainLayout layout;
  const auto parts = layout.Arrange(300, 150, kBar);
  EXPECT_EQ(parts.keys.height, 0);
  EXPECT_EQ(layout.panel_height(), MainLayout::kPanelMinHeight);
  layout.Drag(Splitter::kBelowPanel, 200);  // no room to move: nothing changes
  EXPECT_EQ(layout.panel_height(), MainLayout::kPanelMinHeight);
}

}  // namespace
}  // namespace keyloom::shell
