// The main window's layout: the request panel at the top, a splitter, the status list, a second
// splitter and the Key List, which takes the rest above the status bar. Dragging the first
// splitter changes the panel's height, dragging the second the status list's; the Key List absorbs
// the difference. Drags are clamped so that the panel never hides its controls, the status list
// keeps a usable height and the Key List a few rows.
//
// The panel's controls are drawn for a client area kPanelDesignWidth wide, the least width the
// window can be given; a wider window stretches the edit fields and combos and keeps the buttons
// at the right edge (PlaceInPanel).
//
// The constants are design units (pixels at 96 DPI); the layout scales them to the window's DPI
// (SetDpi), and the heights it keeps follow a change of DPI.
#pragma once

#include "shell/dpi_scale.h"

namespace keyloom::shell {

struct LayoutRect {
  int x = 0;
  int y = 0;
  int width = 0;
  int height = 0;
  bool Contains(int px, int py) const {
    return px >= x && px < x + width && py >= y && py < y + height;
  }
  bool operator==(const LayoutRect&) const = default;
};

struct LayoutSize {
  int width = 0;
  int height = 0;
  bool operator==(const LayoutSize&) const = default;
};

enum class Splitter { kNone, kBelowPanel, kBelowStatus };

// How a panel control follows the width beyond the panel's design width: it moves right by
// `move_halves` halves of that extra width and grows by `grow_halves` halves.
struct PanelAnchor {
  int move_halves = 0;
  int grow_halves = 0;
};

class MainLayout {
 public:
  static constexpr int kPanelMinHeight = 138;  // the request controls' height
  static constexpr int kStatusDefaultHeight = 72;
  static constexpr int kSplitterSize = 5;
  static constexpr int kListMinHeight = 24;  // the status list's least height
  // The Key List's filter field above it, and the gap between them.
  static constexpr int kFilterHeight = 23;
  static constexpr int kFilterGap = 2;
  // The filter field, the Key List's header and at least three rows.
  static constexpr int kKeysMinHeight = kFilterHeight + kFilterGap + 88;
  static constexpr int kPanelDesignWidth = 624;

  struct Parts {
    LayoutRect panel;
    LayoutRect splitter_panel;
    LayoutRect status;
    LayoutRect splitter_status;
    LayoutRect keys;
  };

  // The least client area at `dpi`: the whole panel, the status list's least height and the Key
  // List's.
  static LayoutSize MinimumClientSize(int statusbar_height, int dpi = kDesignDpi);
  // The client area at `dpi` whose Key List part (filter field included) is at least
  // `list_width` by `list_height` pixels with the panel and the status list at their first
  // heights.
  static LayoutSize ClientSizeForList(int list_width, int list_height, int statusbar_height,
                                      int dpi);
  // Where a panel control drawn at `designed` (design units) goes in a client area
  // `client_width` pixels wide at `dpi`.
  static LayoutRect PlaceInPanel(const LayoutRect& designed, PanelAnchor anchor, int client_width,
                                 int dpi = kDesignDpi);

  // The DPI the layout is for; the kept heights are scaled from the former one.
  void SetDpi(int dpi);
  int dpi() const { return dpi_; }

  // The parts for a client area of the given size, with the status bar's height at the bottom. A
  // window too small for everything shortens the Key List down to its least height first, then the
  // status list and the panel down to theirs, then the Key List further; the stored heights stay.
  Parts Arrange(int client_width, int client_height, int statusbar_height);
  // Which splitter band the client point lies on (after Arrange).
  Splitter HitTest(int x, int y) const;
  // Moves a splitter so that its band starts at client y `top` (after Arrange), within the limits.
  void Drag(Splitter splitter, int top);

  // The parts of the last Arrange.
  const Parts& parts() const { return parts_; }
  int panel_height() const { return panel_height_; }
  int status_height() const { return status_height_; }

 private:
  int Available() const;
  int Px(int design) const { return ScaleToDpi(design, dpi_); }

  int dpi_ = kDesignDpi;
  int panel_height_ = kPanelMinHeight;
  int status_height_ = kStatusDefaultHeight;
  int client_width_ = 0;
  int client_height_ = 0;
  int statusbar_height_ = 0;
  Parts parts_;
};

}  // namespace keyloom::shell
