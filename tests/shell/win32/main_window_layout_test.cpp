// The main window's keyboard order, sizes and hints, driven through the real window: Tab walks the
// controls in reading order, the least size keeps every control of the request panel in view, a
// wider window stretches the fields, and a disabled button still shows its hint.
#include <vector>

#include "shell/main_layout.h"
#include "shell/win32/control_helpers.h"
#include "shell/win32/main_window_fixture.h"

namespace keyloom::shell::testing {
namespace {

// Every control of the request panel, in reading order (the bits combo and its label only on
// 64-bit Windows, as these tests open the window).
constexpr int kPanelControls[] = {
    IDC_LBL_FIND,    IDC_EDT_FIND,    IDC_CMB_MODE,        IDC_LBL_REPLACE, IDC_EDT_REPLACE,
    IDC_BTN_SEARCH,  IDC_BTN_REPLACE, IDC_BTN_PAUSE,       IDC_BTN_CLOSE,   IDC_BTN_ABOUT,
    IDC_BTN_NETWORK, IDC_BTN_OPTIONS, IDC_LBL_KEYS,        IDC_CMB_KEYS,    IDC_LBL_TYPE,
    IDC_CMB_TYPE,    IDC_LBL_BITS,    IDC_CMB_SCAN_METHOD, IDC_CHK_VALUES,  IDC_CHK_NAMES,
    IDC_CHK_TREE,    IDC_CHK_CASE,    IDC_CHK_REG_UNDO,    IDC_BTN_FILTERS};

class MainWindowLayoutTest : public MainWindowTest {
 protected:
  // The control's rectangle in the window's client coordinates.
  RECT ClientRectOf(HWND control) {
    RECT rect{};
    GetWindowRect(control, &rect);
    MapWindowPoints(nullptr, window_->hwnd(), reinterpret_cast<POINT*>(&rect), 2);
    return rect;
  }
  RECT Client() {
    RECT client{};
    GetClientRect(window_->hwnd(), &client);
    return client;
  }
  // Presses Tab (with Shift when `back`) in the focused control; pumps through the window's
  // keyboard handling until the focus moves. The id of the control that has it then.
  int PressTab(bool back = false) {
    HWND before = GetFocus();
    BYTE keys[256] = {};
    GetKeyboardState(keys);
    keys[VK_SHIFT] = back ? 0x80 : 0;
    SetKeyboardState(keys);
    PostKey(before, VK_TAB);
    PumpUntil([&] { return GetFocus() != before; }, std::chrono::seconds(2),
              [&](MSG& m) { return window_->PreTranslate(m); });
    PumpFor(std::chrono::milliseconds(20));  // the key's release too
    keys[VK_SHIFT] = 0;
    SetKeyboardState(keys);
    return GetDlgCtrlID(GetFocus());
  }
};

TEST_F(MainWindowLayoutTest, TabWalksTheControlsInReadingOrder) {
  TfrmMain& window = Open(true);
  EnableWindow(Control(IDC_BTN_PAUSE), TRUE);  // as during a run
  SetForegroundWindow(window.hwnd());
  SetFocus(Control(IDC_EDT_FIND));
  ASSERT_EQ(GetFocus(), Control(IDC_EDT_FIND));
  std::vector<int> order;
  for (int i = 0; i < 22; ++i) order.push_back(PressTab());
  EXPECT_EQ(order, (std::vector<int>{
                       IDC_CMB_MODE,     IDC_EDT_REPLACE, IDC_BTN_SEARCH, IDC_BTN_REPLACE,
                       IDC_BTN_PAUSE,    IDC_BTN_CLOSE,   IDC_BTN_ABOUT,  IDC_BTN_NETWORK,
                       IDC_BTN_OPTIONS,  IDC_CMB_KEYS,    IDC_CMB_TYPE,   IDC_CMB_SCAN_METHOD,
                       IDC_CHK_VALUES,   IDC_CHK_NAMES,   IDC_CHK_TREE,   IDC_CHK_CASE,
                       IDC_CHK_REG_UNDO, IDC_BTN_FILTERS, IDC_LST_STATUS, IDC_EDT_FILTER,
                       IDC_LST_KEYS,     IDC_EDT_FIND}));
  // Backwards from the find box to the Key List; a disabled button is passed over.
  EXPECT_EQ(PressTab(true), IDC_LST_KEYS);
  EnableWindow(Control(IDC_BTN_PAUSE), FALSE);
  SetFocus(Control(IDC_BTN_REPLACE));
  EXPECT_EQ(PressTab(), IDC_BTN_CLOSE);
}

TEST_F(MainWindowLayoutTest, AtItsLeastSizeEveryPanelControlAndAFewKeyListRowsShow) {
  TfrmMain& window = Open(true);
  RECT initial{};
  GetWindowRect(window.hwnd(), &initial);
  // The system keeps the window at its least size, whatever size is asked for.
  SetWindowPos(window.hwnd(), nullptr, 0, 0, 50, 50, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  PumpFor(std::chrono::milliseconds(50));
  RECT least{};
  GetWindowRect(window.hwnd(), &least);
  EXPECT_LT(least.bottom - least.top, initial.bottom - initial.top);
  EXPECT_LE(least.right - least.left, initial.right - initial.left);

  const RECT client = Client();
  const RECT status = ClientRectOf(window.status_list().hwnd());
  for (int id : kPanelControls) {
    SCOPED_TRACE(id);
    const RECT rect = ClientRectOf(Control(id));
    EXPECT_GE(rect.left, client.left);
    EXPECT_GE(rect.top, client.top);
    EXPECT_LE(rect.right, client.right);
    EXPECT_LE(rect.bottom, status.top) << "above the status list";
  }
  EXPECT_GE(SendMessageW(window.key_list().hwnd(), LVM_GETCOUNTPERPAGE, 0, 0), 3);
  RECT bar{};
  GetWindowRect(window.status_bar(), &bar);
  const RECT keys = ClientRectOf(window.key_list().hwnd());
  EXPECT_LE(keys.bottom, client.bottom - (bar.bottom - bar.top));
}

// A wider window stretches the fields and keeps the buttons at the right edge; the disabled
// Pause button still shows its hint there (the hint's area follows the button to its new place).
TEST_F(MainWindowLayoutTest, AWiderWindowStretchesTheFieldsAndTheDisabledPauseButtonShowsItsHint) {
  TfrmMain& window = Open(true);
  // From the least width, which the first start's size exceeds.
  MINMAXINFO limits{};
  SendMessageW(window.hwnd(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
  SetWindowPos(window.hwnd(), nullptr, 0, 0, limits.ptMinTrackSize.x, limits.ptMinTrackSize.y,
               SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  PumpFor(std::chrono::milliseconds(50));
  const int width_before = Client().right;
  ASSERT_GE(width_before, MainLayout::kPanelDesignWidth);
  const RECT find = ClientRectOf(Control(IDC_EDT_FIND));
  const RECT replace = ClientRectOf(Control(IDC_EDT_REPLACE));
  const RECT mode = ClientRectOf(Control(IDC_CMB_MODE));
  const RECT keys = ClientRectOf(Control(IDC_CMB_KEYS));
  const int margin = width_before - ClientRectOf(Control(IDC_BTN_CLOSE)).right;
  RECT frame{};
  GetWindowRect(window.hwnd(), &frame);
  SetWindowPos(window.hwnd(), nullptr, 0, 0, frame.right - frame.left + 200,
               frame.bottom - frame.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
  PumpFor(std::chrono::milliseconds(50));
  const int wider = Client().right - width_before;
  ASSERT_EQ(wider, 200);
  EXPECT_EQ(ClientRectOf(Control(IDC_EDT_FIND)).right, find.right + wider);
  EXPECT_EQ(ClientRectOf(Control(IDC_EDT_REPLACE)).right, replace.right + wider);
  // The mode's drop-down keeps its width at the right end of the find text's row.
  EXPECT_EQ(ClientRectOf(Control(IDC_CMB_MODE)).left, mode.left + wider);
  EXPECT_EQ(ClientRectOf(Control(IDC_CMB_MODE)).right, replace.right + wider);
  EXPECT_LT(ClientRectOf(Control(IDC_EDT_FIND)).right, ClientRectOf(Control(IDC_CMB_MODE)).left);
  EXPECT_GE(ClientRectOf(Control(IDC_CMB_KEYS)).right, keys.right + wider / 2 - 1);
  for (int id : {IDC_BTN_SEARCH, IDC_BTN_REPLACE, IDC_BTN_PAUSE, IDC_BTN_CLOSE}) {
    EXPECT_EQ(ClientRectOf(Control(id)).right - ClientRectOf(Control(id)).left, 90) << id;
  }
  EXPECT_EQ(Client().right - ClientRectOf(Control(IDC_BTN_CLOSE)).right, margin);
  EXPECT_EQ(Client().right - ClientRectOf(Control(IDC_CMB_SCAN_METHOD)).right, margin);
  EXPECT_LT(ClientRectOf(Control(IDC_EDT_FIND)).right, ClientRectOf(Control(IDC_BTN_SEARCH)).left);
  EXPECT_LT(ClientRectOf(Control(IDC_CMB_TYPE)).right, ClientRectOf(Control(IDC_LBL_BITS)).left);

  ASSERT_FALSE(Enabled(IDC_BTN_PAUSE));
  SetForegroundWindow(window.hwnd());
  auto move_to = [](POINT screen) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = MulDiv(screen.x, 65535, GetSystemMetrics(SM_CXSCREEN) - 1);
    input.mi.dy = MulDiv(screen.y, 65535, GetSystemMetrics(SM_CYSCREEN) - 1);
    input.mi.dwFlags = MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    SendInput(1, &input, sizeof(input));
  };
  RECT pause{};
  GetWindowRect(Control(IDC_BTN_PAUSE), &pause);
  move_to({pause.left - 40, pause.bottom + 40});  // from elsewhere in the window
  PumpFor(std::chrono::milliseconds(100));
  move_to({(pause.left + pause.right) / 2, (pause.top + pause.bottom) / 2});
  PumpFor(std::chrono::milliseconds(30));
  move_to({(pause.left + pause.right) / 2 + 2, (pause.top + pause.bottom) / 2 + 1});
  ASSERT_TRUE(PumpUntil([&] { return IsWindowVisible(window.tooltip()) != FALSE; },
                        std::chrono::seconds(5)))
      << "no hint over the disabled button";
  wchar_t text[128] = {};
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof(tool);
  tool.lpszText = text;
  ASSERT_TRUE(
      SendMessageW(window.tooltip(), TTM_GETCURRENTTOOLW, 0, reinterpret_cast<LPARAM>(&tool)));
  EXPECT_EQ(FromWide(text), "Pause the Search Operation");
}

}  // namespace
}  // namespace keyloom::shell::testing
