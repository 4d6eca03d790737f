#include "shell/main_layout.h"

#include <algorithm>

namespace keyloom::shell {

int MainLayout::Available() const { return std::max(0, client_height_ - statusbar_height_); }

LayoutSize MainLayout::MinimumClientSize(int statusbar_height, int dpi) {
  const int design_height = kPanelMinHeight + 2 * kSplitterSize + kListMinHeight + kKeysMinHeight;
  return {ScaleToDpi(kPanelDesignWidth, dpi),
          ScaleToDpi(design_height, dpi) + std::max(0, statusbar_height)};
}

LayoutSize MainLayout::ClientSizeForList(int list_width, int list_height, int statusbar_height,
                                         int dpi) {
  const int above_list =
      kPanelMinHeight + 2 * kSplitterSize + kStatusDefaultHeight + kFilterHeight + kFilterGap;
  return {std::max(ScaleToDpi(kPanelDesignWidth, dpi), list_width),
          ScaleToDpi(above_list, dpi) + list_height + std::max(0, statusbar_height)};
}

LayoutRect MainLayout::PlaceInPanel(const LayoutRect& designed, PanelAnchor anchor,
                                    int client_width, int dpi) {
  const int extra = std::max(0, client_width - ScaleToDpi(kPanelDesignWidth, dpi));
  LayoutRect placed = {ScaleToDpi(designed.x, dpi), ScaleToDpi(designed.y, dpi),
                       ScaleToDpi(designed.width, dpi), ScaleToDpi(designed.height, dpi)};
  placed.x += extra * anchor.move_halves / 2;
  placed.width += extra * anchor.grow_halves / 2;
  return placed;
}

void MainLayout::SetDpi(int dpi) {
  if (dpi <= 0 || dpi == dpi_) return;
  panel_height_ = std::max(ScaleToDpi(kPanelMinHeight, dpi),
                           ScaleToDpi(ScaleFromDpi(panel_height_, dpi_), dpi));
  status_height_ = std::max(ScaleToDpi(kListMinHeight, dpi),
                            ScaleToDpi(ScaleFromDpi(status_height_, dpi_), dpi));
  dpi_ = dpi;
}

MainLayout::Parts MainLayout::Arrange(int client_width, int client_height, int statusbar_height) {
  client_width_ = std::max(0, client_width);
  client_height_ = std::max(0, client_height);
  statusbar_height_ = std::max(0, statusbar_height);
  const int width = client_width_;
  // What the Key List's least height lacks is taken from the status list, then from the panel.
  int panel = panel_height_;
  int status = status_height_;
  int lacking = panel + 2 * Px(kSplitterSize) + status + Px(kKeysMinHeight) - Available();
  if (lacking > 0) {
    const int from_status = std::min(lacking, status - Px(kListMinHeight));
    status -= from_status;
    lacking -= from_status;
    panel -= std::min(lacking, panel - Px(kPanelMinHeight));
  }
  Parts parts;
  int y = 0;
  parts.panel = {0, y, width, panel};
  y += panel;
  parts.splitter_panel = {0, y, width, Px(kSplitterSize)};
  y += Px(kSplitterSize);
  parts.status = {0, y, width, status};
  y += status;
  parts.splitter_status = {0, y, width, Px(kSplitterSize)};
  y += Px(kSplitterSize);
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
  const int fixed_below = 2 * Px(kSplitterSize) + Px(kKeysMinHeight);
  if (splitter == Splitter::kBelowPanel) {
    const int highest = Available() - fixed_below - status_height_;
    if (highest < Px(kPanelMinHeight)) return;
    panel_height_ = std::clamp(top, Px(kPanelMinHeight), highest);
  } else if (splitter == Splitter::kBelowStatus) {
    const int status_top = panel_height_ + Px(kSplitterSize);
    const int highest = Available() - status_top - Px(kSplitterSize) - Px(kKeysMinHeight);
    if (highest < Px(kListMinHeight)) return;
    status_height_ = std::clamp(top - status_top, Px(kListMinHeight), highest);
  }
  Arrange(client_width_, client_height_, statusbar_height_);
}

}  // namespace keyloom::shell
