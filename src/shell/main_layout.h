// The main window's vertical layout: the request panel at the top (fixed controls), a splitter, the
// status list, a second splitter and the Key List, which takes the rest above the status bar.
// Dragging the first splitter changes the panel's height, dragging the second the status list's;
// the Key List absorbs the difference. Drags are clamped so that the panel never hides its
// controls and both lists keep a usable height.
#pragma once

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

enum class Splitter { kNone, kBelowPanel, kBelowStatus };

class MainLayout {
 public:
  static constexpr int kPanelMinHeight = 138;  // the request controls' height
  static constexpr int kStatusDefaultHeight = 72;
  static constexpr int kSplitterSize = 5;
  static constexpr int kListMinHeight = 24;

  struct Parts {
    LayoutRect panel;
    LayoutRect splitter_panel;
    LayoutRect status;
    LayoutRect splitter_status;
    LayoutRect keys;
  };

  // The parts for a client area of the given size, with the status bar's height at the bottom. A
  // window too small for everything shortens the Key List first; the stored heights stay.
  Parts Arrange(int client_width, int client_height, int statusbar_height);
  // Which splitter band the client point lies on (after Arrange).
  Splitter HitTest(int x, int y) const;
  // Moves a splitter so that its band starts at client y `top` (after Arrange), within the limits.
  void Drag(Splitter splitter, int top);

  int panel_height() const { return panel_height_; }
  int status_height() const { return status_height_; }

 private:
  int Available() const;

  int panel_height_ = kPanelMinHeight;
  int status_height_ = kStatusDefaultHeight;
  int client_width_ = 0;
  int client_height_ = 0;
  int statusbar_height_ = 0;
  Parts parts_;
};

}  // namespace keyloom::shell
