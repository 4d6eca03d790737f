// The windows at the screen's DPI: every control inside its parent with its text in full, access
// keys unique in each window, page and menu, the first start's size, the kept place, a resized
// window painted as one opened at its size, and the focus after each dialog. The tests run at the
// prefix's DPI; TheWindowTestsPassAgainAt144Dpi runs them once more in a process at 144 DPI.
#include <windows.h>

#include <commctrl.h>

#include "shell/dpi_scale.h"
#include "shell/options_values.h"
#include "shell/win32/dpi.h"
#include "shell/win32/main_window_fixture.h"
#include "shell/win32/value_editors.h"
#include "shell/win32/window_check.h"

namespace keyloom::shell::testing {
namespace {

using Problems = std::vector<std::string>;

void PumpDialog(HWND dialog, std::chrono::milliseconds time = std::chrono::milliseconds(60)) {
  PumpUntil([] { return false; }, time,
            [dialog](MSG& message) { return IsDialogMessageW(dialog, &message) != FALSE; });
}

RECT WindowRect(HWND window) {
  RECT rect{};
  GetWindowRect(window, &rect);
  return rect;
}

class WindowFitTest : public MainWindowTest {
 protected:
  void SetUp() override {
    if (ExpectedDpi() != 0) {
      ASSERT_EQ(ScreenDpi(), ExpectedDpi());
    }
  }
  // Runs `check` on the first dialog the command `open` shows, then cancels it; the focus must
  // then be on a control of the main window.
  void WithDialog(const std::function<void()>& open, const std::function<void(HWND)>& check) {
    ModalWatcher watcher([&](HWND dialog) {
      PumpDialog(dialog);
      check(dialog);
      PostMessageW(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    open();
    ASSERT_EQ(watcher.seen(), 1);
    PumpFor(std::chrono::milliseconds(50));
    HWND focus = GetFocus();
    EXPECT_TRUE(focus != nullptr && IsChild(window_->hwnd(), focus) && IsWindowVisible(focus));
  }
};

TEST_F(WindowFitTest, TheFirstStartShowsSevenColumnsAndFifteenRowsCentredInTheWorkArea) {
  TfrmMain& window = Open();
  PumpFor(std::chrono::milliseconds(50));
  RECT area{};
  SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
  const RECT rect = WindowRect(window.hwnd());
  EXPECT_GE(rect.left, area.left);
  EXPECT_GE(rect.top, area.top);
  EXPECT_LE(rect.right, area.right);
  EXPECT_LE(rect.bottom, area.bottom);
  EXPECT_LE(std::abs((rect.left - area.left) - (area.right - rect.right)), 1);
  EXPECT_LE(std::abs((rect.top - area.top) - (area.bottom - rect.bottom)), 1);

  HWND list = window.key_list().hwnd();
  EXPECT_GE(SendMessageW(list, LVM_GETCOUNTPERPAGE, 0, 0), TfrmMain::kFirstStartRows);
  // Every column shows beside a full list's scroll bar.
  int columns = 0;
  for (int i = 0; i < kKeyListColumnCount; ++i) {
    columns += static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(i), 0));
  }
  RECT client{};
  GetClientRect(list, &client);
  EXPECT_LE(columns + MetricForDpi(SM_CXVSCROLL, ScreenDpi()), client.right);
  // The current user's root shows in full in the first column.
  HDC dc = GetDC(list);
  HGDIOBJ former = SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0)));
  SIZE root{};
  GetTextExtentPoint32W(dc, L"HKEY_CURRENT_USER", 17, &root);
  SelectObject(dc, former);
  ReleaseDC(list, dc);
  EXPECT_GE(SendMessageW(list, LVM_GETCOLUMNWIDTH, kColumnRoot, 0), root.cx + 12);
  EXPECT_EQ(FitProblems(window.hwnd()), Problems{});
}

TEST_F(WindowFitTest, TheMainWindowFitsAtItsLeastSizeAndItsAccessKeysAreUnique) {
  TfrmMain& window = Open(true);  // the 64-bit Windows' "Bits" box shows
  MINMAXINFO limits{};
  SendMessageW(window.hwnd(), WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
  SetWindowPos(window.hwnd(), nullptr, 0, 0, limits.ptMinTrackSize.x, limits.ptMinTrackSize.y,
               SWP_NOZORDER | SWP_NOMOVE);
  PumpFor(std::chrono::milliseconds(50));
  EXPECT_EQ(FitProblems(window.hwnd()), Problems{});
  EXPECT_EQ(AccessKeyProblems(window.hwnd()), Problems{});
  // Alt and a label's letter puts the focus on the control after the label.
  for (const auto& [letter, id] : {std::pair{L'w', IDC_EDT_REPLACE}, std::pair{L'y', IDC_CMB_TYPE},
                                   std::pair{L'f', IDC_EDT_FIND}}) {
    PostMessageW(GetFocus(), WM_SYSCHAR, letter, static_cast<LPARAM>(1 | (1u << 29)));
    PumpUntil([] { return false; }, std::chrono::milliseconds(60),
              [&](MSG& message) { return window.PreTranslate(message); });
    EXPECT_EQ(GetFocus(), Control(id)) << static_cast<char>(letter);
  }
  // While a run is paused, "Resume" takes the place of "Pause".
  SetWindowTextW(Control(IDC_BTN_PAUSE), L"R&esume");
  EXPECT_EQ(AccessKeyProblems(window.hwnd()), Problems{});
  EXPECT_EQ(MenuAccessKeyProblems(window.key_list_menu()), Problems{});
  HMENU status = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_STATUS_MENU));
  EXPECT_EQ(MenuAccessKeyProblems(GetSubMenu(status, 0)), Problems{});
  DestroyMenu(status);
}

// Wine shows every window at the system's DPI, so the test sends what Windows sends when the
// window moves to a monitor of another scale.
TEST_F(WindowFitTest, AMoveToAMonitorOfAnotherScaleLaysTheWindowOutAtOnce) {
  TfrmMain& window = Open(true);
  const int former = ScreenDpi(), dpi = former == 96 ? 144 : 96;
  // Sizes within the screen before and after.
  SetWindowPos(window.hwnd(), nullptr, 0, 0, former == 96 ? 820 : 1050, former == 96 ? 560 : 700,
               SWP_NOZORDER);
  const RECT before = WindowRect(window.hwnd());
  RECT suggested{0, 0, MulDiv(before.right, dpi, former), MulDiv(before.bottom, dpi, former)};
  SendMessageW(window.hwnd(), kMsgDpiChanged, MAKEWPARAM(dpi, dpi),
               reinterpret_cast<LPARAM>(&suggested));
  PumpFor(std::chrono::milliseconds(50));
  const RECT after = WindowRect(window.hwnd());
  EXPECT_EQ(after.right - after.left, suggested.right - suggested.left);
  const RECT search = WindowRect(Control(IDC_BTN_SEARCH));
  EXPECT_EQ(search.bottom - search.top, ScaleToDpi(25, dpi));
  EXPECT_EQ(window.key_list().ColumnWidths()[0], 140);  // kept in design units
  EXPECT_EQ(SendMessageW(window.key_list().hwnd(), LVM_GETCOLUMNWIDTH, 0, 0), ScaleToDpi(140, dpi));
  EXPECT_EQ(FitProblems(window.hwnd(), dpi), Problems{});
}

TEST_F(WindowFitTest, EveryOptionsPageFitsWithAccessKeysUniqueAmongTheTitlesAndButtons) {
  Open();
  const std::vector<std::string> titles(kOptionsPageTitles.begin(), kOptionsPageTitles.end());
  WithDialog([&] { ClickControl(IDC_BTN_OPTIONS); },
             [&](HWND dialog) {
               for (std::size_t page = 0; page < titles.size(); ++page) {
                 SCOPED_TRACE(titles[page]);
                 // Alt and the page's letter, from the focused control, turns to the page.
                 PostMessageW(GetFocus(), WM_SYSCHAR, static_cast<WPARAM>(MnemonicOf(titles[page])),
                              static_cast<LPARAM>(1 | (1u << 29)));
                 PumpDialog(dialog);
                 ASSERT_EQ(SendMessageW(GetDlgItem(dialog, IDC_OPT_PAGES), TCM_GETCURSEL, 0, 0),
                           static_cast<LRESULT>(page));
                 EXPECT_EQ(FitProblems(dialog), Problems{});
                 EXPECT_EQ(AccessKeyProblems(dialog, titles), Problems{});
               }
             });
}

TEST_F(WindowFitTest, TheNetworkMachineFiltersValueEditorAndUndoARunDialogsFit) {
  TfrmMain& window = Open();
  auto check = [](HWND dialog) {
    SCOPED_TRACE(WindowTextUtf8(dialog));
    EXPECT_EQ(FitProblems(dialog), Problems{});
    EXPECT_EQ(AccessKeyProblems(dialog), Problems{});
  };
  WithDialog([&] { ClickControl(IDC_BTN_NETWORK); }, check);
  WithDialog([&] { Command(IDM_UNDO_RUN); }, check);
  WithDialog([&] { ClickControl(IDC_BTN_FILTERS); }, check);
  WindowEditDialogs editors(GetModuleHandleW(nullptr), window.hwnd());
  WithDialog([&] { editors.ShowEditReg("Edit Registry Key", "HKEY_CURRENT_USER\\Software", "x"); },
             check);
  WithDialog([&] { editors.ShowEditDword("HKEY_CURRENT_USER\\Software", "7", false); }, check);
  WithDialog([&] { editors.ShowMultiEdit("HKEY_CURRENT_USER\\Software\\list", "a\r\nb"); }, check);
}

// ---- The kept place ----

TEST_F(WindowFitTest, ThePlaceAndTheMaximizedStateAreKeptAndAPlaceOffEveryMonitorIsCentred) {
  TfrmMain& first = Open();
  const RECT centred = WindowRect(first.hwnd());
  SetWindowPos(first.hwnd(), nullptr, 40, 50, 1100, 700, SWP_NOZORDER);
  CloseWindow();
  EXPECT_EQ(SavedValue("WIN_LEFT"), "40");
  EXPECT_EQ(SavedValue("WIN_HEIGHT"), "700");
  EXPECT_EQ(SavedValue("WIN_MAXIMIZED"), "0");

  TfrmMain& second = Open();
  RECT rect = WindowRect(second.hwnd());
  EXPECT_EQ(rect.left, 40);
  EXPECT_EQ(rect.top, 50);
  EXPECT_EQ(rect.right - rect.left, 1100);
  EXPECT_EQ(rect.bottom - rect.top, 700);
  ShowWindow(second.hwnd(), SW_MAXIMIZE);
  CloseWindow();
  EXPECT_EQ(SavedValue("WIN_MAXIMIZED"), "1");
  EXPECT_EQ(SavedValue("WIN_WIDTH"), "1100");  // the normal place, not the maximized one

  TfrmMain& third = Open();
  EXPECT_EQ(third.ShowCommandFor(SW_SHOWNORMAL), SW_SHOWMAXIMIZED);
  ShowWindow(third.hwnd(), third.ShowCommandFor(SW_SHOWNORMAL));
  EXPECT_TRUE(IsZoomed(third.hwnd()));
  ShowWindow(third.hwnd(), SW_RESTORE);
  rect = WindowRect(third.hwnd());
  EXPECT_EQ(rect.left, 40);
  EXPECT_EQ(rect.right - rect.left, 1100);
  CloseWindow();

  WriteIni("WIN_LEFT=-5000\r\nWIN_TOP=50\r\nWIN_WIDTH=1100\r\nWIN_HEIGHT=700\r\n");
  TfrmMain& fourth = Open();
  rect = WindowRect(fourth.hwnd());
  EXPECT_EQ(rect.left, centred.left);
  EXPECT_EQ(rect.top, centred.top);
}

}  // namespace
}  // namespace keyloom::shell::testing
