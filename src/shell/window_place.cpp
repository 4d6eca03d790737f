#include "shell/window_place.h"

#include <algorithm>

namespace keyloom::shell {
namespace {

// How many pixels of the horizontal line at `y` from `left` to `right` lie in `area`.
int VisibleLength(int left, int right, int y, const LayoutRect& area) {
  if (y < area.y || y >= area.y + area.height) return 0;
  return std::max(0, std::min(right, area.x + area.width) - std::max(left, area.x));
}

}  // namespace

LayoutRect CentredIn(const LayoutRect& work_area, LayoutSize wanted) {
  const int width = std::clamp(wanted.width, 0, std::max(0, work_area.width));
  const int height = std::clamp(wanted.height, 0, std::max(0, work_area.height));
  return {work_area.x + (work_area.width - width) / 2,
          work_area.y + (work_area.height - height) / 2, width, height};
}

LayoutRect OpeningRect(const WindowPlace& kept, std::span<const LayoutRect> work_areas,
                       LayoutSize first_size, int least_visible) {
  if (work_areas.empty()) return {0, 0, first_size.width, first_size.height};
  if (kept.Kept()) {
    for (const LayoutRect& area : work_areas) {
      const int seen = VisibleLength(kept.left, kept.left + kept.width, kept.top, area);
      if (seen < std::min(least_visible, kept.width)) continue;
      return {kept.left, kept.top, std::min(kept.width, area.width),
              std::min(kept.height, area.height)};
    }
  }
  return CentredIn(work_areas.front(), first_size);
}

void NarrowToFit(std::span<int> widths, std::span<const std::size_t> flexible, int available,
                 int least) {
  long long total = 0;
  for (const int width : widths) total += width;
  long long excess = total - available;
  if (excess <= 0) return;
  long long spare = 0;  // what the flexible columns can give up
  for (const std::size_t column : flexible) {
    spare += std::max(0, widths[column] - least);
  }
  if (spare <= 0) return;
  excess = std::min(excess, spare);
  long long given = 0;
  for (std::size_t i = 0; i < flexible.size(); ++i) {
    int& width = widths[flexible[i]];
    const long long own = std::max(0, width - least);
    // The last one gives the rounding's remainder.
    const long long share =
        i + 1 == flexible.size() ? excess - given : (excess * own + spare - 1) / spare;
    const long long taken = std::min(own, std::max(0LL, share));
    width -= static_cast<int>(taken);
    given += taken;
  }
}

}  // namespace keyloom::shell
