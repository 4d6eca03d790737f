// The main window's size and place: the first start's size, which shows every Key List column and
// kFirstStartRows rows, and the place kept in the settings from the last run.
#include <windows.h>

#include <commctrl.h>

#include <array>
#include <vector>

#include "shell/key_list_cells.h"

#include "shell/win32/dpi.h"
#include "shell/win32/main_window.h"

namespace keyloom::shell {
namespace {

// A kept place opens where it was when this much of its top edge shows (design units).
constexpr int kLeastVisibleTop = 120;
// A first start on a screen too narrow for every column narrows these, down to kLeastFlexible.
constexpr std::size_t kFlexibleColumns[] = {kColumnPath, kColumnValueName, kColumnData, kColumnResult,
                                            kColumnUser};
constexpr int kLeastFlexible = 60;

LayoutRect RectOf(const RECT& rect) {
  return {rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top};
}

BOOL CALLBACK AddWorkArea(HMONITOR monitor, HDC, RECT*, LPARAM areas) {
  MONITORINFO info{};
  info.cbSize = sizeof(info);
  if (!GetMonitorInfoW(monitor, &info)) return TRUE;
  auto& list = *reinterpret_cast<std::vector<LayoutRect>*>(areas);
  if ((info.dwFlags & MONITORINFOF_PRIMARY) != 0) {
    list.insert(list.begin(), RectOf(info.rcWork));
  } else {
    list.push_back(RectOf(info.rcWork));
  }
  return TRUE;
}

// The monitors' work areas, the primary's first.
std::vector<LayoutRect> WorkAreas() {
  std::vector<LayoutRect> areas;
  EnumDisplayMonitors(nullptr, nullptr, AddWorkArea, reinterpret_cast<LPARAM>(&areas));
  if (areas.empty()) {
    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    areas.push_back(RectOf(area));
  }
  return areas;
}

int FontHeight(HWND window, HFONT font) {
  HDC dc = GetDC(window);
  if (dc == nullptr) return 0;
  HGDIOBJ former = SelectObject(dc, font);
  TEXTMETRICW metrics{};
  GetTextMetricsW(dc, &metrics);
  SelectObject(dc, former);
  ReleaseDC(window, dc);
  return metrics.tmHeight;
}

int HeaderHeight(HWND list) {
  HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  if (header == nullptr) return 0;
  RECT bounds{0, 0, 10000, 10000};
  WINDOWPOS position{};
  HDLAYOUT layout{&bounds, &position};
  SendMessageW(header, HDM_LAYOUT, 0, reinterpret_cast<LPARAM>(&layout));
  return position.cy;
}

}  // namespace

LayoutSize TfrmMain::FirstStartSize() const {
  const int dpi = layout_.dpi();
  HWND list = key_list_.hwnd();
  const int edges = 2 * MetricForDpi(SM_CXEDGE, dpi);
  int columns = 0;
  for (int i = 0; i < kKeyListColumnCount; ++i) {
    columns += static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(i), 0));
  }
  // A full list shows its vertical scroll bar beside the columns.
  const int list_width = columns + MetricForDpi(SM_CXVSCROLL, dpi) + edges;
  // A row is the font's height and a few pixels more on every system.
  const int row_height = FontHeight(list, font_.get()) + ScaleToDpi(4, dpi);
  const int list_height = HeaderHeight(list) + kFirstStartRows * row_height + edges;
  RECT bar{};
  GetWindowRect(status_bar_, &bar);
  const LayoutSize client =
      MainLayout::ClientSizeForList(list_width, list_height, bar.bottom - bar.top, dpi);
  const SIZE frame = FrameSizeForClient(hwnd(), client.width, client.height, dpi);
  return {frame.cx, frame.cy};
}

void TfrmMain::PlaceOnStart(const WindowPlace& kept) {
  const std::vector<LayoutRect> areas = WorkAreas();
  const LayoutRect opening =
      OpeningRect(kept, areas, FirstStartSize(), ScaleToDpi(kLeastVisibleTop, layout_.dpi()));
  SetWindowPos(hwnd(), nullptr, opening.x, opening.y, opening.width, opening.height,
               SWP_NOZORDER | SWP_NOACTIVATE);
  open_maximized_ = kept.Kept() && kept.maximized;
  // The place may lie on a monitor of another scale.
  const int dpi = WindowDpi(hwnd());
  if (dpi != layout_.dpi()) ApplyDpi(dpi);
  if (!kept.Kept()) FitColumnsToList();
}

// Every column in view beside a full list's scroll bar, where the work area allows the window
// less than FirstStartSize.
void TfrmMain::FitColumnsToList() {
  HWND list = key_list_.hwnd();
  RECT client{};
  GetClientRect(list, &client);
  const int dpi = layout_.dpi();
  const int available = client.right - MetricForDpi(SM_CXVSCROLL, dpi);
  std::array<int, kKeyListColumnCount> widths{};
  for (int i = 0; i < kKeyListColumnCount; ++i) {
    widths[static_cast<std::size_t>(i)] =
        static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(i), 0));
  }
  NarrowToFit(widths, kFlexibleColumns, available, ScaleToDpi(kLeastFlexible, dpi));
  for (int i = 0; i < kKeyListColumnCount; ++i) {
    SendMessageW(list, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(i),
                 MAKELPARAM(widths[static_cast<std::size_t>(i)], 0));
  }
}

WindowPlace TfrmMain::CurrentPlace() const {
  WINDOWPLACEMENT placement{};
  placement.length = sizeof(placement);
  GetWindowPlacement(hwnd(), &placement);
  const bool iconic = IsIconic(hwnd()) != FALSE;
  const bool zoomed = IsZoomed(hwnd()) != FALSE;
  RECT normal{};
  if (zoomed || iconic) {
    // The normal rectangle is in workspace coordinates: from the primary work area's corner.
    normal = placement.rcNormalPosition;
    RECT work{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &work, 0);
    OffsetRect(&normal, work.left, work.top);
  } else {
    GetWindowRect(hwnd(), &normal);
  }
  WindowPlace place;
  place.left = normal.left;
  place.top = normal.top;
  place.width = normal.right - normal.left;
  place.height = normal.bottom - normal.top;
  place.maximized = zoomed || (iconic && (placement.flags & WPF_RESTORETOMAXIMIZED) != 0) ||
                    (!ever_shown_ && open_maximized_);
  return place;
}

int TfrmMain::ShowCommandFor(int requested) const {
  const bool plain =
      requested == SW_SHOWNORMAL || requested == SW_SHOWDEFAULT || requested == SW_SHOW;
  return open_maximized_ && plain ? SW_SHOWMAXIMIZED : requested;
}

}  // namespace keyloom::shell
