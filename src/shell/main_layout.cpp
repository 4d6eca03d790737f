#include "shell/main_layout.h"

#include <algorithm>

namespace keyloom::shell {

int MainLayout::Available() const { return std::max(0, client_height_ - statusbar_height_); }

LayoutSize MainLayout::MinimumClientSize(int statusbar_height) {
  return {kPanelDesignWidth, kPanelMinHeight + 2 * kSplitterSize + kListMinHeight + kKeysMinHeight +
                                 std::max(0, statusbar_height)};
}

LayoutRect MainLayout::PlaceInPanel(const LayoutRect& designed, PanelAnchor anchor,
                                    int client_width) {
  const int extra = std::max(0, client_width - kPanelDesignWidth);
  LayoutRect placed = designed;
  placed.x += extra * anchor.move_halves / 2;
  placed.width += extra * anchor.grow_halves / 2;
  return placed;
}

MainLayout::Parts MainLayout::Arrange(int client_width, int client_height, int statusbar_height) {
  client_width_ = std::max(0, client_width);
  client_height_ = std::max(0, client_height);
  statusbar_height_ = std::max(0, statusbar_height);
  const int width = client_width_;
  // What the Key List's least height lacks is taken from the status list, then from the panel.
  int panel = panel_height_;
  int status = status_height_;
  int lacking = panel + 2 * kSplitterSize + status + kKeysMinHeight - Available();
  if (lacking > 0) {
    const int from_status = std::min(lacking, status - kListMinHeight);
    status -= from_status;
    lacking -= from_status;
    panel -= std::min(lacking, panel - kPanelMinHeight);
  }
  Parts parts;
  int y = 0;
  parts.panel = {0, y, width, panel};
  y += panel;
  parts.splitter_panel = {0, y, width, kSplitterSize};
  y += kSplitterSize;
  parts.status = {0, y, width, status};
  y += status;
  parts.splitter_status = {0, y, width, kSplitterSize};
  y += kSplitterSize;
  parts.keys = {0, y, width, std::max(0, Available() - y)};
  parts_ = parts;
  return parts;
}

Splitter MainLayout::HitTest(int x, int y) const {
  if (parts_.splitter_panel.Contains(x, y)) return Splitter::kBelowPanel;
  if (parts_.splitter_status.Contains(x, y)) return Splitter::kBelowStatus;
  return Splitter::kNone;
}

void MainLayout::Drag(Splitter splitter, int top) {
  const int fixed_below = 2 * kSplitterSize + kKeysMinHeight;
  if (splitter == Splitter::kBelowPanel) {
    const int highest = Available() - fixed_below - status_height_;
    if (highest < kPanelMinHeight) return;
    panel_height_ = std::clamp(top, kPanelMinHeight, highest);
  } else if (splitter == Splitter::kBelowStatus) {
    const int status_top = panel_height_ + kSplitterSize;
    const int highest = Available() - status_top - kSplitterSize - kKeysMinHeight;
    if (highest < kListMinHeight) return;
    status_height_ = std::clamp(top - status_top, kListMinHeight, highest);
  }
  Arrange(client_width_, client_height_, statusbar_height_);
}

}  // namespace keyloom::shell
