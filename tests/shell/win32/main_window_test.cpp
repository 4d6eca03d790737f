// The main window driven through its controls: start-up, the controls of the request panel, the
// caption, the key-name warning, the Key List's menu, line zoom and the keyboard.
#include "engine/key_list_entry.h"
#include "shell/win32/control_helpers.h"
#include "shell/win32/main_window_fixture.h"

namespace keyloom::shell::testing {
namespace {

TEST_F(MainWindowTest, StartUpLinesFollowTheSettingsLinesInOrder) {
  // The undo folder's parent does not exist, so loading the settings writes a line first.
  const std::string undo = folder_.Utf8() + "missing\\UNDO";
  WriteIni("UNDODIR=" + undo + "\r\nSIMULATE=1\r\n");
  TfrmMain& window = Open(true);
  ASSERT_TRUE(WaitForLastLine("** SIMULATE ENABLED, NO CHANGES WILL BE MADE TO YOUR REGISTRY **"));
  EXPECT_EQ(StatusLines(),
            (std::vector<std::string>{
                "Unable to Create Undo Directory : " + undo, "64-bit Windows Detected",
                "** SIMULATE ENABLED, NO CHANGES WILL BE MADE TO YOUR REGISTRY **"}));
  // The last line is selected and shown in the status bar.
  EXPECT_EQ(window.status_list().SelectedLine(), StatusLines().back());
  wchar_t bar[200] = {};
  SendMessageW(window.status_bar(), SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(bar));
  EXPECT_EQ(FromWide(bar), StatusLines().back());
  EXPECT_TRUE(IsWindowVisible(window.hwnd()));
}

TEST_F(MainWindowTest, WindowHasItsCaptionsItemsColumnsAndHints) {
  WriteIni(
      "ENABLEDEL=1\r\nCOL_0=111\r\nCOL_1=2000\r\nCOL_2=99\r\nSEARCHTYPE=8\r\nSEARCHKEY=3\r\n"
      "WIN_LEFT=0\r\nWIN_TOP=0\r\nWIN_WIDTH=900\r\nWIN_HEIGHT=600\r\n");
  TfrmMain& window = Open();
  EXPECT_EQ(WindowTextUtf8(window.hwnd()), "Keyloom");

  const std::pair<int, const char*> captions[] = {
      {IDC_LBL_FIND, "&Find :"},
      {IDC_LBL_REPLACE, "Replace &with :"},
      {IDC_BTN_REPLACE, "&Delete"},  // ENABLEDEL
      {IDC_BTN_SEARCH, "&Search"},
      {IDC_BTN_PAUSE, "&Pause"},
      {IDC_BTN_CLOSE, "&Close"},
      {IDC_LBL_KEYS, "Search &Key(s) :"},
      {IDC_LBL_TYPE, "T&ype :"},
      {IDC_LBL_BITS, "&Bits:"},
      {IDC_CHK_REG_UNDO, "Create Registry &Undo File"},
      {IDC_CHK_CASE, "Case Sens&itive Search"},
      {IDC_CHK_VALUES, "Include Value Con&tents in Search"},
      {IDC_CHK_NAMES, "Include Value N&ames in Search"},
      {IDC_CHK_TREE, "Include Key Na&mes in Search"},
      {IDC_BTN_ABOUT, "&?"},
      {IDC_BTN_NETWORK, "&N"},
      {IDC_BTN_OPTIONS, "&O"},
  };
  for (const auto& [id, caption] : captions) EXPECT_EQ(Text(id), caption) << id;
  EXPECT_FALSE(Enabled(IDC_BTN_PAUSE));
  EXPECT_EQ(GetWindowLongW(Control(IDC_BTN_SEARCH), GWL_STYLE) & BS_TYPEMASK, BS_DEFPUSHBUTTON);

  auto items = [&](int id) { return ComboItems(Control(id)); };
  EXPECT_EQ(items(IDC_CMB_KEYS),
            (std::vector<std::string>{"All", "HKEY_CLASSES_ROOT", "HKEY_CURRENT_USER",
                                      "HKEY_LOCAL_MACHINE", "HKEY_USERS", "HKEY_CURRENT_CONFIG",
                                      "All user profiles"}));
  EXPECT_EQ(
      items(IDC_CMB_TYPE),
      (std::vector<std::string>{"All", "Only Strings", "Only Numbers", "REG_SZ", "REG_EXPAND_SZ",
                                "REG_DWORD", "REG_BINARY", "REG_MULTI_SZ", "REG_QWORD"}));
  EXPECT_EQ(SendMessageW(Control(IDC_CMB_TYPE), CB_GETCURSEL, 0, 0), 8);
  EXPECT_EQ(SendMessageW(Control(IDC_CMB_KEYS), CB_GETCURSEL, 0, 0), 3);
  EXPECT_EQ(items(IDC_CMB_SCAN_METHOD), (std::vector<std::string>{"32", "64"}));

  HWND header = reinterpret_cast<HWND>(SendMessageW(window.key_list().hwnd(), LVM_GETHEADER, 0, 0));
  std::vector<std::string> titles = ItemTitles(header);
  titles.resize(3);  // the first three columns
  EXPECT_EQ(titles, (std::vector<std::string>{"ROOT", "Registry Key", "Value Name"}));
  EXPECT_EQ(window.key_list().ColumnWidths(), (std::array<int, 3>{111, 320, 99}));
  const LONG_PTR style = GetWindowLongPtrW(window.key_list().hwnd(), GWL_STYLE);
  EXPECT_TRUE(style & LVS_OWNERDATA);
  EXPECT_FALSE(style & LVS_SINGLESEL);
  const auto ex_style = SendMessageW(window.key_list().hwnd(), LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0);
  EXPECT_TRUE(ex_style & LVS_EX_FULLROWSELECT);
  EXPECT_TRUE(ex_style & LVS_EX_HEADERDRAGDROP);

  auto hint = [&](HWND control) {
    wchar_t text[128] = {};
    TTTOOLINFOW tool{};
    tool.cbSize = sizeof(tool);
    tool.hwnd = window.hwnd();
    tool.uId = reinterpret_cast<UINT_PTR>(control);
    tool.lpszText = text;
    SendMessageW(window.tooltip(), TTM_GETTEXTW, 128, reinterpret_cast<LPARAM>(&tool));
    return FromWide(text);
  };
  EXPECT_EQ(hint(Control(IDC_EDT_FIND)), "Type in what you want to search for");
  EXPECT_EQ(hint(Control(IDC_BTN_REPLACE)), "Search and Replace the Registry");
  EXPECT_EQ(hint(Control(IDC_CMB_SCAN_METHOD)),
            "Select the Scan Method (A=Auto, 32=32-bit only, 64=64-bit only)");
  EXPECT_EQ(hint(Control(IDC_BTN_NETWORK)), "Make a Network Connection to a Remote Registry");
  EXPECT_EQ(hint(window.status_list().hwnd()), "Status Display, Double Click for Line Zoom.");
  EXPECT_EQ(hint(window.key_list().hwnd()), "Double Click to Edit Key");
  EXPECT_EQ(hint(Control(IDC_CHK_REG_UNDO)), "");
}

TEST_F(MainWindowTest, BitsComboIsHiddenWithItsLabelWhenWindowsIsNot64Bit) {
  WriteIni("SCANMETHOD=1\r\n");
  Open(false);
  PumpFor(std::chrono::milliseconds(120));
  EXPECT_FALSE(IsWindowVisible(Control(IDC_CMB_SCAN_METHOD)));
  EXPECT_FALSE(Enabled(IDC_CMB_SCAN_METHOD));
  EXPECT_FALSE(IsWindowVisible(Control(IDC_LBL_BITS)));
  EXPECT_TRUE(StatusLines().empty());  // no "64-bit Windows Detected"
  // The stored choice stays selected in the hidden combo and is saved back unchanged.
  EXPECT_EQ(SendMessageW(Control(IDC_CMB_SCAN_METHOD), CB_GETCURSEL, 0, 0), 1);
  CloseWindow();
  EXPECT_EQ(SavedValue("SCANMETHOD"), "1");
}

TEST_F(MainWindowTest, BitsComboFollowsTheSystemsDetectionAndSetsScanMethodAtOnce) {
  BOOL wow64 = FALSE;
  ASSERT_TRUE(IsWow64Process(GetCurrentProcess(), &wow64));
  TfrmMain& window = Open(std::nullopt);
  EXPECT_EQ(window.context().program.is_64bit_windows, wow64 != FALSE);
  EXPECT_EQ(IsWindowVisible(Control(IDC_CMB_SCAN_METHOD)) != FALSE, wow64 != FALSE);
  EXPECT_EQ(IsWindowVisible(Control(IDC_LBL_BITS)) != FALSE, wow64 != FALSE);
  if (wow64) {
    ASSERT_TRUE(WaitForLastLine("64-bit Windows Detected"));
    SelectItem(IDC_CMB_SCAN_METHOD, 1);
    EXPECT_EQ(window.settings().Snapshot().scanmethod, 1);
    CloseWindow();
    EXPECT_EQ(SavedValue("SCANMETHOD"), "1");
  }
}

TEST_F(MainWindowTest, KeyNameWarningShowsUntilSuppressedAndTheChoiceIsSavedInWarn) {
  WriteIni("SEARCHTREE=1\r\nWARN=01\r\n");
  std::vector<std::string> texts;
  bool suppressed_at_once = false;
  TfrmMain* window = nullptr;
  ModalWatcher watcher([&](HWND dialog) {
    texts = ChildTexts(dialog);
    texts.push_back("title:" + WindowTextUtf8(dialog));
    Click(ChildWithText(dialog, "&Don't show me this again"));
    suppressed_at_once = window->settings().Snapshot().suppress_key_name_warning;
    Click(ChildWithText(dialog, "&Close"));
  });
  window = &Open();
  PumpFor(std::chrono::milliseconds(100));
  EXPECT_EQ(watcher.seen(), 0);  // checked from the settings file: no warning
  EXPECT_TRUE(IsChecked(Control(IDC_CHK_TREE)));

  ClickControl(IDC_CHK_TREE);  // unchecking shows nothing
  ClickControl(IDC_CHK_TREE);  // checking shows the warning
  ASSERT_EQ(watcher.seen(), 1);
  EXPECT_TRUE(suppressed_at_once);
  EXPECT_EQ(texts, (std::vector<std::string>{
                       "NOTE: ", "   Searching and Replacing Tree Names is very Dangerous.", "",
                       "   Please be sure that you search using Specific Words to ensure ",
                       "   nothing is accidently renamed in the process.",
                       "&Don't show me this again", "&Close", "title:"}));

  ClickControl(IDC_CHK_TREE);
  ClickControl(IDC_CHK_TREE);
  PumpFor(std::chrono::milliseconds(100));
  EXPECT_EQ(watcher.seen(), 1);  // suppressed
  CloseWindow();
  EXPECT_EQ(SavedValue("WARN"), "11");  // the second flag is kept
}

TEST_F(MainWindowTest, KeyListShowsRowFieldsAndItsMenuFollowsTheSelection) {
  TfrmMain& window = Open();
  window.output().AddKeyListEntry(
      engine::MakeKeyListEntry("HKEY_CURRENT_USER", "\\Software\\A", "(Default)"));
  window.output().AddKeyListEntry(engine::MakeKeyListEntry("HKEY_USERS", "\\S-1\\B", ""));
  window.output().AddKeyListEntry(engine::MakeKeyListEntry("HKEY_LOCAL_MACHINE", "\\C", "v\tw"));
  window.DrainOutput();
  HWND list = window.key_list().hwnd();
  ASSERT_EQ(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0), 3);
  auto cell = [&](int row, int column) {
    wchar_t text[128] = {};
    LVITEMW item{};
    item.iSubItem = column;
    item.pszText = text;
    item.cchTextMax = 128;
    SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
    return FromWide(text);
  };
  EXPECT_EQ(cell(0, 0), "HKEY_CURRENT_USER");
  EXPECT_EQ(cell(0, 1), "\\Software\\A");
  EXPECT_EQ(cell(0, 2), "(Default)");
  EXPECT_EQ(cell(1, 2), "");
  EXPECT_EQ(cell(2, 2), "v\tw");  // everything after the second TAB

  HMENU menu = window.key_list_menu();
  ASSERT_NE(menu, nullptr);
  auto grayed = [&](UINT item, UINT by) { return (GetMenuState(menu, item, by) & MF_GRAYED) != 0; };
  const UINT save = KEYLIST_MENU_SAVE_POS;
  window.key_list().Select({1});
  window.lstKeysMouseDown();
  EXPECT_FALSE(grayed(IDM_EDIT, MF_BYCOMMAND));
  EXPECT_FALSE(grayed(IDM_RENAME, MF_BYCOMMAND));
  EXPECT_FALSE(grayed(IDM_OPEN_REGEDIT, MF_BYCOMMAND));
  EXPECT_FALSE(grayed(save, MF_BYPOSITION));
  EXPECT_FALSE(grayed(IDM_DELETE, MF_BYCOMMAND));

  window.key_list().Select({0, 2});
  EXPECT_EQ(window.key_list().SelectedCount(), 2u);
  EXPECT_EQ(window.key_list().SelectedRows(), (std::vector<std::size_t>{0, 2}));
  window.lstKeysMouseDown();
  EXPECT_TRUE(grayed(IDM_EDIT, MF_BYCOMMAND));
  EXPECT_TRUE(grayed(IDM_RENAME, MF_BYCOMMAND));
  EXPECT_TRUE(grayed(IDM_OPEN_REGEDIT, MF_BYCOMMAND));
  EXPECT_TRUE(grayed(save, MF_BYPOSITION));
  EXPECT_FALSE(grayed(IDM_DELETE, MF_BYCOMMAND));  // a multi-row delete stays possible

  wchar_t label[32] = {};
  GetMenuStringW(menu, save, label, 32, MF_BYPOSITION);
  EXPECT_EQ(FromWide(label), "&Save List to..");
  HMENU submenu = GetSubMenu(menu, static_cast<int>(save));
  ASSERT_EQ(GetMenuItemCount(submenu), 2);  // no INF entry: there is no INF row format
  GetMenuStringW(submenu, 0, label, 32, MF_BYPOSITION);
  EXPECT_EQ(FromWide(label), "&CSV Text File");
  GetMenuStringW(submenu, 1, label, 32, MF_BYPOSITION);
  EXPECT_EQ(FromWide(label), "&REG File");
}

TEST_F(MainWindowTest, LineZoomShowsTheSelectedLineAndNothingForAnEmptyList) {
  TfrmMain& window = Open();
  std::string zoomed;
  ModalWatcher watcher([&](HWND box) {
    zoomed = MessageBoxText(box);
    SendMessageW(box, WM_COMMAND, IDOK, 0);
  });
  auto double_click = [&] {
    SendMessageW(window.hwnd(), WM_COMMAND, MAKEWPARAM(IDC_LST_STATUS, LBN_DBLCLK),
                 reinterpret_cast<LPARAM>(window.status_list().hwnd()));
  };
  double_click();
  PumpFor(std::chrono::milliseconds(100));
  EXPECT_EQ(watcher.seen(), 0);

  const std::string line(300, 'x');
  window.Log("Unable to open key [\\" + line + "], Access denied");
  ASSERT_TRUE(WaitForLastLine("Unable to open key [\\" + line + "], Access denied"));
  double_click();
  EXPECT_EQ(watcher.seen(), 1);
  EXPECT_EQ(zoomed, "Unable to open key [\\" + line + "], Access denied");
}

TEST_F(MainWindowTest, EnterSearchesAndAReplaceWithoutReplacementTextWarns) {
  WriteIni("SEARCHKEY=2\r\n");
  TfrmMain& window = Open();
  SetText(IDC_EDT_FIND, "KeyloomNoSuchText");
  SetFocus(Control(IDC_EDT_FIND));
  PostMessageW(Control(IDC_EDT_FIND), WM_KEYDOWN, VK_RETURN, 1);
  PostMessageW(Control(IDC_EDT_FIND), WM_KEYUP, VK_RETURN, static_cast<LPARAM>(0xC0000001u));
  ASSERT_TRUE(PumpUntil(
      [&] {
        return !StatusLines().empty() && StatusLines().back() == "Finished, Replaced [0] Entries.";
      },
      std::chrono::seconds(10), [&](MSG& m) { return window.PreTranslate(m); }));
  EXPECT_EQ(StatusLines(),
            (std::vector<std::string>{"Checking Key : HKEY_CURRENT_USER", "Search Matched 0 Keys.",
                                      "Finished, Replaced [0] Entries."}));
  ASSERT_TRUE(WaitForIdle());
  EXPECT_TRUE(Enabled(IDC_BTN_SEARCH));

  std::string warning;
  ModalWatcher watcher([&](HWND box) {
    warning = MessageBoxText(box);
    SendMessageW(box, WM_COMMAND, IDOK, 0);
  });
  SetText(IDC_EDT_REPLACE, "   ");
  ClickControl(IDC_BTN_REPLACE);
  EXPECT_EQ(watcher.seen(), 1);
  EXPECT_EQ(warning,
            "For Confirmation please enter any Text in the Replace String for the Search and "
            "Delete function to start.");
  EXPECT_EQ(window.controller().state(), engine::RunState::kIdle);
}

}  // namespace
}  // namespace keyloom::shell::testing
