// Where the main window opens: the place it had when the program last ended, when that place is
// still on a monitor, otherwise a first-start size centred in the work area.
#pragma once

#include <cstddef>
#include <span>

#include "shell/main_layout.h"

namespace keyloom::shell {

// The window's place in screen pixels (its normal, not maximized, rectangle) and whether it was
// maximized. A width or height of 0 means that no place was kept.
struct WindowPlace {
  int left = 0;
  int top = 0;
  int width = 0;
  int height = 0;
  bool maximized = false;

  bool Kept() const { return width > 0 && height > 0; }
  bool operator==(const WindowPlace&) const = default;
};

// `wanted`, no larger than `work_area`, centred in it.
LayoutRect CentredIn(const LayoutRect& work_area, LayoutSize wanted);

// Where a window kept at `kept` opens, given the work areas of the monitors there are (the first
// being the primary's): at its place, made no larger than the work area it lies on, when at
// least `least_visible` pixels of its top edge lie within one work area; otherwise `first_size`
// centred in the primary work area. Nothing kept also gives the centred first size.
LayoutRect OpeningRect(const WindowPlace& kept, std::span<const LayoutRect> work_areas,
                       LayoutSize first_size, int least_visible);

// Narrows the columns of `widths` named by `flexible` so that all of them together fit in
// `available`: each of those gives up a share of the excess in proportion to its width, none
// going below `least` (or its width, when narrower). The others keep their widths.
void NarrowToFit(std::span<int> widths, std::span<const std::size_t> flexible, int available,
                 int least);

}  // namespace keyloom::shell
