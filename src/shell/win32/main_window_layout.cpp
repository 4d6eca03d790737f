// The main window's controls, their tab order and hints, and the layout of the panel, the lists
// and the splitters.
#include <windowsx.h>

#include <algorithm>

#include "shell/win32/control_helpers.h"
#include "shell/win32/dpi.h"
#include "shell/win32/hints.h"
#include "shell/win32/main_window.h"
#include "shell/win32/resource_ids.h"

namespace keyloom::shell {
namespace {

enum class Kind { kLabel, kEdit, kButton, kDefaultButton, kCombo, kCheck };

// The request panel, in tab order: the texts, the run buttons, the small buttons on the left, the
// combos and the check boxes, each label just before its control. The status list and the Key
// List follow. Client coordinates in design units for a client area MainLayout::kPanelDesignWidth
// wide; the anchor says how a control follows a wider window.
struct ControlSpec {
  int id;
  Kind kind;
  const wchar_t* text;
  int x, y, width, height;
  const wchar_t* hint;  // null: none
  PanelAnchor anchor;
};

constexpr int kRow1 = 8, kRow2 = 38, kRow3 = 68, kChecks1 = 100, kChecks2 = 118;
constexpr int kLabelX = 44, kLabelWidth = 86, kEditX = 132, kEditWidth = 290;
// The match mode's drop-down takes the right end of the find text's row.
constexpr int kModeWidth = 144, kModeX = kEditX + kEditWidth - kModeWidth;
constexpr int kButton1X = 430, kButton2X = 526, kButtonWidth = 90, kButtonHeight = 25;
constexpr int kSmallX = 8, kSmallSize = 26;
constexpr int kCheckX2 = 228, kCheckX3 = 430;
// A closed combo's field; kPanel gives the drop-down's height.
constexpr int kComboFieldHeight = 23;

constexpr PanelAnchor kStays{0, 0};
constexpr PanelAnchor kStretches{0, 2};
constexpr PanelAnchor kRightEdge{2, 0};
constexpr PanelAnchor kLeftHalf{0, 1};   // grows by half the extra width
constexpr PanelAnchor kRightHalf{1, 1};  // moves by half of it and grows by the other half
constexpr PanelAnchor kMiddle{1, 0};

constexpr ControlSpec kPanel[] = {
    {IDC_LBL_FIND, Kind::kLabel, L"&Find :", kLabelX, kRow1 + 1, kLabelWidth, 23, nullptr, kStays},
    {IDC_EDT_FIND, Kind::kEdit, L"", kEditX, kRow1 + 1, kEditWidth - kModeWidth - 4, 23,
     L"Type in what you want to search for", kStretches},
    {IDC_CMB_MODE, Kind::kCombo, L"", kModeX, kRow1 + 1, kModeWidth, 120,
     L"How the find text is matched: as text, with wildcards (* and ?), as a regular expression "
     L"or as hex bytes",
     kRightEdge},
    {IDC_LBL_REPLACE, Kind::kLabel, L"Replace &with :", kLabelX, kRow2 + 1, kLabelWidth, 23,
     nullptr, kStays},
    {IDC_EDT_REPLACE, Kind::kEdit, L"", kEditX, kRow2 + 1, kEditWidth, 23,
     L"Type in what you want to replace the searched text with", kStretches},
    {IDC_BTN_SEARCH, Kind::kDefaultButton, L"&Search", kButton1X, kRow1, kButtonWidth,
     kButtonHeight, L"Search the Registry", kRightEdge},
    {IDC_BTN_REPLACE, Kind::kButton, L"&Replace", kButton2X, kRow1, kButtonWidth, kButtonHeight,
     L"Search and Replace the Registry", kRightEdge},
    {IDC_BTN_PAUSE, Kind::kButton, L"&Pause", kButton1X, kRow2, kButtonWidth, kButtonHeight,
     L"Pause the Search Operation", kRightEdge},
    {IDC_BTN_CLOSE, Kind::kButton, L"&Close", kButton2X, kRow2, kButtonWidth, kButtonHeight,
     L"Close Keyloom", kRightEdge},
    {IDC_BTN_ABOUT, Kind::kButton, L"&?", kSmallX, kRow1, kSmallSize, kSmallSize - 1,
     L"About Keyloom", kStays},
    {IDC_BTN_NETWORK, Kind::kButton, L"&N", kSmallX, kRow2, kSmallSize, kSmallSize - 1,
     L"Make a Network Connection to a Remote Registry", kStays},
    {IDC_BTN_OPTIONS, Kind::kButton, L"&O", kSmallX, kRow3, kSmallSize, kSmallSize - 1,
     L"Keyloom Options", kStays},
    {IDC_LBL_KEYS, Kind::kLabel, L"Search &Key(s) :", kLabelX, kRow3 + 1, kLabelWidth, 23, nullptr,
     kStays},
    {IDC_CMB_KEYS, Kind::kCombo, L"", kEditX, kRow3 + 1, 170, 200, L"Select the Key to Search",
     kLeftHalf},
    {IDC_LBL_TYPE, Kind::kLabel, L"T&ype :", 314, kRow3 + 1, 36, 23, nullptr, kMiddle},
    {IDC_CMB_TYPE, Kind::kCombo, L"", 352, kRow3 + 1, 150, 260, nullptr, kRightHalf},
    {IDC_LBL_BITS, Kind::kLabel, L"&Bits:", 512, kRow3 + 1, 30, 23, nullptr, kRightEdge},
    {IDC_CMB_SCAN_METHOD, Kind::kCombo, L"", 544, kRow3 + 1, 72, 120,
     L"Select the Scan Method (A=Auto, 32=32-bit only, 64=64-bit only)", kRightEdge},
    {IDC_CHK_VALUES, Kind::kCheck, L"Include Value Con&tents in Search", kSmallX, kChecks1, 216, 17,
     L"When Searching check the Contents of the Key Value", kStays},
    {IDC_CHK_NAMES, Kind::kCheck, L"Include Value N&ames in Search", kCheckX2, kChecks1, 198, 17,
     L"When Searching check the Name of the Key Value", kMiddle},
    {IDC_CHK_TREE, Kind::kCheck, L"Include Key Na&mes in Search", kCheckX3, kChecks1, 190, 17,
     L"When Searching check the Key Name", kRightEdge},
    {IDC_CHK_CASE, Kind::kCheck, L"Case Sens&itive Search", kSmallX, kChecks2, 216, 17,
     L"Make the Search CASE Sensitive", kStays},
    {IDC_CHK_REG_UNDO, Kind::kCheck, L"Create Registry &Undo File", kCheckX2, kChecks2, 198, 17,
     nullptr, kMiddle},
    {IDC_BTN_FILTERS, Kind::kButton, L"Fi&lters...", kButton2X, kChecks2, kButtonWidth, 20,
     L"Filter by the key's time and the value's size, and exclude keys", kRightEdge},
};

LayoutRect Designed(const ControlSpec& control) {
  return {control.x, control.y, control.width, control.height};
}

constexpr const wchar_t* kTypeItems[] = {L"All",        L"Only Strings",  L"Only Numbers",
                                         L"REG_SZ",     L"REG_EXPAND_SZ", L"REG_DWORD",
                                         L"REG_BINARY", L"REG_MULTI_SZ",  L"REG_QWORD"};
// In the order of engine::MatchMode.
constexpr const wchar_t* kModeItems[] = {L"Text", L"Wildcards", L"Regular expression",
                                         L"Hex bytes"};
constexpr const wchar_t* kStatusHint = L"Status Display, Double Click for Line Zoom.";
constexpr const wchar_t* kKeysHint = L"Double Click to Edit Key";

HWND CreateChild(const ControlSpec& control, HWND parent, HINSTANCE instance) {
  const wchar_t* window_class = L"BUTTON";
  DWORD style = WS_CHILD | WS_VISIBLE;
  DWORD ex_style = 0;
  switch (control.kind) {
    case Kind::kLabel:
      window_class = L"STATIC";
      style |= SS_LEFT | SS_CENTERIMAGE;
      break;
    case Kind::kEdit:
      window_class = L"EDIT";
      style |= WS_TABSTOP | ES_AUTOHSCROLL;
      ex_style = WS_EX_CLIENTEDGE;
      break;
    case Kind::kButton:
      style |= WS_TABSTOP | BS_PUSHBUTTON;
      break;
    case Kind::kDefaultButton:
      style |= WS_TABSTOP | BS_DEFPUSHBUTTON;
      break;
    case Kind::kCombo:
      window_class = L"COMBOBOX";
      style |= WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST;
      break;
    case Kind::kCheck:
      style |= WS_TABSTOP | BS_AUTOCHECKBOX;
      break;
  }
  return CreateWindowExW(ex_style, window_class, control.text, style, control.x, control.y,
                         control.width, control.height, parent,
                         reinterpret_cast<HMENU>(static_cast<INT_PTR>(control.id)), instance,
                         nullptr);
}

void AddItems(HWND combo, const wchar_t* const* items, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(items[i]));
  }
}

// Children move without their old pixels being copied: every moved control paints itself anew.
constexpr UINT kMoveFlags = SWP_NOZORDER | SWP_NOACTIVATE | SWP_NOCOPYBITS;

HDWP DeferMove(HDWP moves, HWND window, const LayoutRect& rect) {
  if (moves == nullptr) {
    SetWindowPos(window, nullptr, rect.x, rect.y, rect.width, rect.height, kMoveFlags);
    return nullptr;
  }
  return DeferWindowPos(moves, window, nullptr, rect.x, rect.y, rect.width, rect.height,
                        kMoveFlags);
}

}  // namespace

void TfrmMain::CreateControls() {
  for (const ControlSpec& control : kPanel) CreateChild(control, hwnd(), instance_);
  AddItems(Control(IDC_CMB_MODE), kModeItems, std::size(kModeItems));
  Select(Control(IDC_CMB_MODE), 0);
  AddItems(Control(IDC_CMB_TYPE), kTypeItems, std::size(kTypeItems));
  Select(Control(IDC_CMB_TYPE), 0);
  const wchar_t* const bits[] = {L"32", L"64"};
  AddItems(Control(IDC_CMB_SCAN_METHOD), bits, std::size(bits));
  Select(Control(IDC_CMB_SCAN_METHOD), 0);
  EnableWindow(Control(IDC_BTN_PAUSE), FALSE);
  SendMessageW(Control(IDC_EDT_FIND), EM_LIMITTEXT, 0, 0);
  SendMessageW(Control(IDC_EDT_REPLACE), EM_LIMITTEXT, 0, 0);

  status_list_.Create(hwnd(), IDC_LST_STATUS, instance_);
  HWND filter = CreateWindowExW(
      WS_EX_CLIENTEDGE, L"EDIT", L"", WS_CHILD | WS_VISIBLE | WS_TABSTOP | ES_AUTOHSCROLL, 0, 0, 0,
      0, hwnd(), reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_EDT_FILTER)), instance_, nullptr);
  SendMessageW(filter, EM_SETCUEBANNER, TRUE,
               reinterpret_cast<LPARAM>(L"Filter the Key List (Ctrl+F)"));
  key_list_.Create(hwnd(), IDC_LST_KEYS, instance_);
  status_bar_ = CreateWindowExW(
      0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, hwnd(),
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_STS_BAR)), instance_, nullptr);
  int parts[] = {0, -1};  // the latest status line, and a run's progress (see LayoutLists)
  SendMessageW(status_bar_, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(parts));

  menu_resource_ = LoadMenuW(instance_, MAKEINTRESOURCEW(IDR_KEYLIST_MENU));
  key_menu_ = menu_resource_ != nullptr ? GetSubMenu(menu_resource_, 0) : nullptr;

  AddHints();
  ApplyDpi(WindowDpi(hwnd()));
}

void TfrmMain::ApplyDpi(int dpi) {
  layout_.SetDpi(dpi);
  key_list_.SetDpi(dpi);
  font_ = CreateMessageFont(dpi);
  SetFontOnChildren(hwnd(), font_.get());
  Relayout();
}

void TfrmMain::OnDpiChanged(int dpi, const RECT& suggested) {
  ApplyDpi(dpi);
  SetWindowPos(hwnd(), nullptr, suggested.left, suggested.top, suggested.right - suggested.left,
               suggested.bottom - suggested.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

// Every part placed for the client area, then the whole window painted anew: controls that moved
// or grew show no pixels of where they were.
void TfrmMain::Relayout() {
  RECT client{};
  GetClientRect(hwnd(), &client);
  LayoutPanel(client.right - client.left);
  LayoutLists();
  RedrawWindow(hwnd(), nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

void TfrmMain::AddHints() {
  tooltip_ = CreateHintWindow(hwnd(), instance_);
  if (tooltip_ == nullptr) return;
  for (const ControlSpec& control : kPanel) {
    if (control.hint == nullptr) continue;
    AddHint(tooltip_, hwnd(), Control(control.id), control.hint);
    // The same hint over the control's area (LayoutPanel keeps it there), for a disabled control.
    AddAreaHint(tooltip_, hwnd(), control.id, control.hint);
  }
  AddHint(tooltip_, hwnd(), status_list_.hwnd(), kStatusHint);
  AddHint(tooltip_, hwnd(), key_list_.hwnd(), kKeysHint);
}

void TfrmMain::LayoutPanel(int client_width) {
  HDWP moves = BeginDeferWindowPos(static_cast<int>(std::size(kPanel)));
  for (const ControlSpec& control : kPanel) {
    const LayoutRect placed =
        MainLayout::PlaceInPanel(Designed(control), control.anchor, client_width, layout_.dpi());
    moves = DeferMove(moves, Control(control.id), placed);
    if (tooltip_ != nullptr && control.hint != nullptr) {
      TTTOOLINFOW area{};
      area.cbSize = sizeof(area);
      area.hwnd = hwnd();
      area.uId = static_cast<UINT_PTR>(control.id);
      const int height = control.kind == Kind::kCombo ? ScaleToDpi(kComboFieldHeight, layout_.dpi())
                                                      : placed.height;
      area.rect = {placed.x, placed.y, placed.x + placed.width, placed.y + height};
      SendMessageW(tooltip_, TTM_NEWTOOLRECTW, 0, reinterpret_cast<LPARAM>(&area));
    }
  }
  if (moves != nullptr) EndDeferWindowPos(moves);
}

void TfrmMain::OnNextControl(WPARAM wparam, bool is_control) {
  HWND target = is_control ? reinterpret_cast<HWND>(wparam)
                           : GetNextDlgTabItem(hwnd(), GetFocus(), wparam != 0 ? TRUE : FALSE);
  if (target == nullptr || !IsChild(hwnd(), target)) return;
  if ((SendMessageW(target, WM_GETDLGCODE, 0, 0) & DLGC_HASSETSEL) != 0) {
    SendMessageW(target, EM_SETSEL, 0, -1);
  }
  SetFocus(target);
}

void TfrmMain::OnGetMinMaxInfo(MINMAXINFO& info) const {
  int statusbar_height = 0;
  if (status_bar_ != nullptr) {
    RECT bar{};
    GetWindowRect(status_bar_, &bar);
    statusbar_height = bar.bottom - bar.top;
  }
  const LayoutSize least = MainLayout::MinimumClientSize(statusbar_height, layout_.dpi());
  const SIZE frame = FrameSizeForClient(hwnd(), least.width, least.height, layout_.dpi());
  info.ptMinTrackSize = {frame.cx, frame.cy};
}

void TfrmMain::LayoutLists() {
  if (status_bar_ == nullptr) return;
  SendMessageW(status_bar_, WM_SIZE, 0, 0);
  RECT bar{}, client{};
  GetWindowRect(status_bar_, &bar);
  GetClientRect(hwnd(), &client);
  const int progress_width = ScaleToDpi(kProgressPartWidth, layout_.dpi());
  int bar_parts[] = {std::max(0, static_cast<int>(client.right - client.left) - progress_width),
                     -1};
  SendMessageW(status_bar_, SB_SETPARTS, 2, reinterpret_cast<LPARAM>(bar_parts));
  const MainLayout::Parts parts =
      layout_.Arrange(client.right - client.left, client.bottom - client.top, bar.bottom - bar.top);
  HDWP moves = BeginDeferWindowPos(3);
  moves = DeferMove(moves, status_list_.hwnd(), parts.status);
  // The filter field over the Key List's full width, the list below it.
  const int dpi = layout_.dpi();
  const int filter_height = std::min(ScaleToDpi(MainLayout::kFilterHeight, dpi), parts.keys.height);
  moves = DeferMove(moves, Control(IDC_EDT_FILTER),
                    {parts.keys.x, parts.keys.y, parts.keys.width, filter_height});
  const int list_top =
      std::min(parts.keys.height, filter_height + ScaleToDpi(MainLayout::kFilterGap, dpi));
  moves = DeferMove(
      moves, key_list_.hwnd(),
      {parts.keys.x, parts.keys.y + list_top, parts.keys.width, parts.keys.height - list_top});
  if (moves != nullptr) EndDeferWindowPos(moves);
}

bool TfrmMain::OnSetCursor(LPARAM lparam) {
  if (LOWORD(lparam) != HTCLIENT) return false;
  POINT cursor{};
  GetCursorPos(&cursor);
  ScreenToClient(hwnd(), &cursor);
  if (dragging_ == Splitter::kNone && layout_.HitTest(cursor.x, cursor.y) == Splitter::kNone) {
    return false;
  }
  SetCursor(LoadCursorW(nullptr, MAKEINTRESOURCEW(32645)));  // IDC_SIZENS
  return true;
}

void TfrmMain::OnMouseDown(int x, int y) {
  dragging_ = layout_.HitTest(x, y);
  if (dragging_ == Splitter::kNone) return;
  const int top = dragging_ == Splitter::kBelowPanel ? layout_.parts().splitter_panel.y
                                                     : layout_.parts().splitter_status.y;
  drag_offset_ = y - top;
  SetCapture(hwnd());
}

void TfrmMain::OnMouseMove(int y) {
  if (dragging_ == Splitter::kNone) return;
  layout_.Drag(dragging_, y - drag_offset_);
  LayoutLists();
  UpdateWindow(hwnd());
}

void TfrmMain::OnMouseUp() {
  if (dragging_ == Splitter::kNone) return;
  dragging_ = Splitter::kNone;
  if (GetCapture() == hwnd()) ReleaseCapture();
}

}  // namespace keyloom::shell
