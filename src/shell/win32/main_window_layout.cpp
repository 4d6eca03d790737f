// The main window's controls, their hints and the layout of the lists and splitters.
#include <windowsx.h>

#include "shell/win32/control_helpers.h"
#include "shell/win32/main_window.h"
#include "shell/win32/resource_ids.h"

namespace keyloom::shell {
namespace {

enum class Kind { kLabel, kEdit, kButton, kDefaultButton, kCombo, kCheck };

// The request panel, in tab order (row by row, top to bottom). Client coordinates in pixels.
struct ControlSpec {
  int id;
  Kind kind;
  const wchar_t* text;
  int x, y, width, height;
  const wchar_t* hint;  // null: none
};

constexpr int kRow1 = 8, kRow2 = 38, kRow3 = 68, kChecks1 = 100, kChecks2 = 118;
constexpr int kLabelX = 44, kLabelWidth = 86, kEditX = 132, kEditWidth = 290;
constexpr int kButton1X = 430, kButton2X = 526, kButtonWidth = 90, kButtonHeight = 25;
constexpr int kSmallX = 8, kSmallSize = 26;
constexpr int kCheckX2 = 228, kCheckX3 = 430;

constexpr ControlSpec kPanel[] = {
    {IDC_BTN_ABOUT, Kind::kButton, L"&?", kSmallX, kRow1, kSmallSize, kSmallSize - 1,
     L"About Keyloom"},
    {IDC_LBL_FIND, Kind::kLabel, L"Find :", kLabelX, kRow1 + 1, kLabelWidth, 23, nullptr},
    {IDC_EDT_FIND, Kind::kEdit, L"", kEditX, kRow1 + 1, kEditWidth, 23,
     L"Type in what you want to search for"},
    {IDC_BTN_SEARCH, Kind::kDefaultButton, L"&Search", kButton1X, kRow1, kButtonWidth,
     kButtonHeight, L"Search the Registry"},
    {IDC_BTN_REPLACE, Kind::kButton, L"&Replace", kButton2X, kRow1, kButtonWidth, kButtonHeight,
     L"Search and Replace the Registry"},
    {IDC_BTN_NETWORK, Kind::kButton, L"&N", kSmallX, kRow2, kSmallSize, kSmallSize - 1,
     L"Make a Network Connection to a Remote Registry"},
    {IDC_LBL_REPLACE, Kind::kLabel, L"Replace with :", kLabelX, kRow2 + 1, kLabelWidth, 23,
     nullptr},
    {IDC_EDT_REPLACE, Kind::kEdit, L"", kEditX, kRow2 + 1, kEditWidth, 23,
     L"Type in what you want to replace the searched text with"},
    {IDC_BTN_PAUSE, Kind::kButton, L"&Pause", kButton1X, kRow2, kButtonWidth, kButtonHeight,
     L"Pause the Search Operation"},
    {IDC_BTN_CLOSE, Kind::kButton, L"&Close", kButton2X, kRow2, kButtonWidth, kButtonHeight,
     L"Close Keyloom"},
    {IDC_BTN_OPTIONS, Kind::kButton, L"&O", kSmallX, kRow3, kSmallSize, kSmallSize - 1,
     L"Keyloom Options"},
    {IDC_LBL_KEYS, Kind::kLabel, L"Search Key(s) :", kLabelX, kRow3 + 1, kLabelWidth, 23, nullptr},
    {IDC_CMB_KEYS, Kind::kCombo, L"", kEditX, kRow3 + 1, 170, 200, L"Select the Key to Search"},
    {IDC_LBL_TYPE, Kind::kLabel, L"Type :", 314, kRow3 + 1, 36, 23, nullptr},
    {IDC_CMB_TYPE, Kind::kCombo, L"", 352, kRow3 + 1, 150, 260, nullptr},
    {IDC_LBL_BITS, Kind::kLabel, L"Bits:", 512, kRow3 + 1, 30, 23, nullptr},
    {IDC_CMB_SCAN_METHOD, Kind::kCombo, L"", 544, kRow3 + 1, 72, 120,
     L"Select the Scan Method (A=Auto, 32=32-bit only, 64=64-bit only)"},
    {IDC_CHK_VALUES, Kind::kCheck, L"Include Value Contents in Search", kSmallX, kChecks1, 216, 17,
     L"When Searching check the Contents of the Key Value"},
    {IDC_CHK_NAMES, Kind::kCheck, L"Include Value Names in Search", kCheckX2, kChecks1, 198, 17,
     L"When Searching check the Name of the Key Value"},
    {IDC_CHK_TREE, Kind::kCheck, L"Include Key Names in Search", kCheckX3, kChecks1, 190, 17,
     L"When Searching check the Key Name"},
    {IDC_CHK_CASE, Kind::kCheck, L"Case Sensitive Search", kSmallX, kChecks2, 216, 17,
     L"Make the Search CASE Sensitive"},
    {IDC_CHK_REG_UNDO, Kind::kCheck, L"Create Registry Undo File", kCheckX2, kChecks2, 198, 17,
     nullptr},
};

constexpr const wchar_t* kTypeItems[] = {L"All",        L"Only Strings",  L"Only Numbers",
                                         L"REG_SZ",     L"REG_EXPAND_SZ", L"REG_DWORD",
                                         L"REG_BINARY", L"REG_MULTI_SZ",  L"REG_QWORD"};
constexpr const wchar_t* kStatusHint = L"Status Display, Double Click for Line Zoom.";
constexpr const wchar_t* kKeysHint = L"Double Click to Edit Key";

HWND CreateChild(const ControlSpec& control, HWND parent, HINSTANCE instance) {
  const wchar_t* window_class = L"BUTTON";
  DWORD style = WS_CHILD | WS_VISIBLE;
  DWORD ex_style = 0;
  switch (control.kind) {
    case Kind::kLabel:
      window_class = L"STATIC";
      style |= SS_LEFT | SS_NOPREFIX | SS_CENTERIMAGE;
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

void MoveTo(HWND window, const LayoutRect& rect) {
  MoveWindow(window, rect.x, rect.y, rect.width, rect.height, TRUE);
}

}  // namespace

void TfrmMain::CreateControls() {
  for (const ControlSpec& control : kPanel) CreateChild(control, hwnd(), instance_);
  AddItems(Control(IDC_CMB_TYPE), kTypeItems, std::size(kTypeItems));
  Select(Control(IDC_CMB_TYPE), 0);
  const wchar_t* const bits[] = {L"32", L"64"};
  AddItems(Control(IDC_CMB_SCAN_METHOD), bits, std::size(bits));
  Select(Control(IDC_CMB_SCAN_METHOD), 0);
  EnableWindow(Control(IDC_BTN_PAUSE), FALSE);
  SendMessageW(Control(IDC_EDT_FIND), EM_LIMITTEXT, 0, 0);
  SendMessageW(Control(IDC_EDT_REPLACE), EM_LIMITTEXT, 0, 0);

  status_list_.Create(hwnd(), IDC_LST_STATUS, instance_);
  key_list_.Create(hwnd(), IDC_LST_KEYS, instance_);
  status_bar_ = CreateWindowExW(
      0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE | SBARS_SIZEGRIP, 0, 0, 0, 0, hwnd(),
      reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_STS_BAR)), instance_, nullptr);
  int one_part[] = {-1};  // one panel over the whole width
  SendMessageW(status_bar_, SB_SETPARTS, 1, reinterpret_cast<LPARAM>(one_part));

  menu_resource_ = LoadMenuW(instance_, MAKEINTRESOURCEW(IDR_KEYLIST_MENU));
  key_menu_ = menu_resource_ != nullptr ? GetSubMenu(menu_resource_, 0) : nullptr;

  font_ = CreateMessageFont();
  SetFontOnChildren(hwnd(), font_.get());
  AddHints();
  LayoutLists();
}

void TfrmMain::AddHints() {
  tooltip_ = CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                             WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, CW_USEDEFAULT, hwnd(), nullptr, instance_, nullptr);
  if (tooltip_ == nullptr) return;
  SendMessageW(tooltip_, TTM_SETMAXTIPWIDTH, 0, 400);
  auto add = [&](HWND control, const wchar_t* hint) {
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = hwnd();
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = const_cast<wchar_t*>(hint);
    SendMessageW(tooltip_, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
  };
  for (const ControlSpec& control : kPanel) {
    if (control.hint != nullptr) add(Control(control.id), control.hint);
  }
  add(status_list_.hwnd(), kStatusHint);
  add(key_list_.hwnd(), kKeysHint);
}

void TfrmMain::LayoutLists() {
  if (status_bar_ == nullptr) return;
  SendMessageW(status_bar_, WM_SIZE, 0, 0);
  RECT bar{}, client{};
  GetWindowRect(status_bar_, &bar);
  GetClientRect(hwnd(), &client);
  const MainLayout::Parts parts =
      layout_.Arrange(client.right - client.left, client.bottom - client.top, bar.bottom - bar.top);
  MoveTo(status_list_.hwnd(), parts.status);
  MoveTo(key_list_.hwnd(), parts.keys);
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
  const int top =
      dragging_ == Splitter::kBelowPanel
          ? layout_.panel_height()
          : layout_.panel_height() + MainLayout::kSplitterSize + layout_.status_height();
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
