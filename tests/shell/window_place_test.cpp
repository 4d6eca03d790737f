#include "shell/window_place.h"

#include <gtest/gtest.h>

#include <array>
#include <vector>

namespace keyloom::shell {
namespace {

constexpr LayoutRect kPrimary{0, 0, 1280, 1000};
constexpr LayoutRect kRightMonitor{1280, 0, 1920, 1040};
constexpr LayoutSize kFirst{1000, 700};

LayoutRect Opening(const WindowPlace& kept) {
  const std::array<LayoutRect, 2> areas = {kPrimary, kRightMonitor};
  return OpeningRect(kept, areas, kFirst, 120);
}

TEST(WindowPlaceTest, AKeptPlaceOnAMonitorOpensThereAndAnyOtherCentresTheFirstSize) {
  const LayoutRect centred{140, 150, 1000, 700};
  const struct {
    WindowPlace kept;
    LayoutRect opens;
  } cases[] = {
      {{}, centred},                                         // first start
      {{10, 20, 800, 600, true}, {10, 20, 800, 600}},        // primary (maximized is shown later)
      {{1500, 100, 900, 500}, {1500, 100, 900, 500}},        // the other monitor
      {{-680, 50, 800, 600}, {-680, 50, 800, 600}},          // 120 px of its top edge show
      {{-750, 50, 800, 600}, centred},                       // only 50 px show
      {{100, -30, 800, 600}, centred},                       // the top edge above every screen
      {{100, 1000, 800, 600}, centred},                      // below the primary's work area
      {{5000, 100, 800, 600}, centred},                      // a monitor no longer there
      {{1300, 10, 3000, 2000}, {1300, 10, 1920, 1040}},     // larger than its monitor
      {{10, 20, 0, 600}, centred},                           // half a place
  };
  for (const auto& c : cases) {
    EXPECT_EQ(Opening(c.kept), c.opens) << c.kept.left << "," << c.kept.top;
  }
  // A first size larger than the work area fills it.
  const std::array<LayoutRect, 1> small = {LayoutRect{0, 0, 800, 600}};
  EXPECT_EQ(OpeningRect({}, small, kFirst, 120), (LayoutRect{0, 0, 800, 600}));
}

TEST(WindowPlaceTest, NarrowToFitTakesTheExcessFromTheFlexibleColumnsByWidth) {
  const std::array<std::size_t, 2> flexible = {1, 4};
  std::vector<int> widths = {140, 330, 150, 110, 260, 80, 130};  // 1200 in all
  NarrowToFit(widths, flexible, 1300, 80);
  EXPECT_EQ(widths, (std::vector<int>{140, 330, 150, 110, 260, 80, 130}));  // fits already
  NarrowToFit(widths, flexible, 1000, 80);
  EXPECT_EQ(widths[0] + widths[1] + widths[2] + widths[3] + widths[4] + widths[5] + widths[6],
            1000);
  EXPECT_EQ(widths[0], 140);
  EXPECT_EQ(widths[1], 330 - 117);  // 250 of 430 spare pixels: 200 * 250 / 430, rounded up
  EXPECT_EQ(widths[4], 260 - 83);
  // Not below the least width: what is left over stays too wide.
  NarrowToFit(widths, flexible, 500, 80);
  EXPECT_EQ(widths[1], 80);
  EXPECT_EQ(widths[4], 80);
}

}  // namespace
}  // namespace keyloom::shell
