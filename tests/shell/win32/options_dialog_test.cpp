// The Options dialog driven through the real window: opened by the main window's "&O" button,
// acted on from inside its modal loop, its settings read back from memory and from KEYLOOM.INI.
#include "shell/win32/options_dialog.h"

#include <commctrl.h>
#include <commdlg.h>

#include "base/utf8_path.h"
#include "shell/dpi_scale.h"
#include "shell/options_values.h"
#include "shell/win32/control_helpers.h"
#include "shell/win32/dpi.h"
#include "shell/win32/main_window_fixture.h"

namespace keyloom::shell::testing {
namespace {

void PressOk(HWND dialog) { PostMessageW(dialog, WM_COMMAND, IDOK, 0); }

// Dispatches the dialog's messages as its modal loop does, the dialog manager included.
void PumpDialog(HWND dialog, std::chrono::milliseconds time = std::chrono::milliseconds(60)) {
  PumpUntil([] { return false; }, time,
            [dialog](MSG& message) { return IsDialogMessageW(dialog, &message) != FALSE; });
}

bool Checked(HWND dialog, int id) { return IsChecked(GetDlgItem(dialog, id)); }
bool ItemEnabled(HWND dialog, int id) { return IsWindowEnabled(GetDlgItem(dialog, id)) != FALSE; }
int Page(HWND dialog) {
  return static_cast<int>(SendMessageW(GetDlgItem(dialog, IDC_OPT_PAGES), TCM_GETCURSEL, 0, 0));
}

// A key pressed on the focused control, with Ctrl and Shift as given.
void PressKey(HWND dialog, UINT key, bool control, bool shift = false) {
  WithModifiers(control, shift, [&] {
    PostMessageW(GetFocus(), WM_KEYDOWN, key, 1);
    PumpDialog(dialog);
  });
}

void PressAlt(HWND dialog, wchar_t letter) {
  PostMessageW(GetFocus(), WM_SYSCHAR, letter, static_cast<LPARAM>(1 | (1u << 29)));
  PumpDialog(dialog);
}

class OptionsDialogTest : public MainWindowTest {
 protected:
  // Opens Options with the main window's "&O" button and runs `act` on the dialog, which must
  // close it. False when no dialog was shown.
  bool WithOptions(const std::function<void(HWND)>& act) {
    ModalWatcher watcher([&](HWND dialog) {
      PumpDialog(dialog);  // shown and idle
      act(dialog);
    });
    ClickControl(IDC_BTN_OPTIONS);
    return watcher.seen() == 1;
  }
  std::string IniBytes() { return keyloom::testing::ReadBytes(folder_.path() / "KEYLOOM.INI"); }
};

TEST_F(OptionsDialogTest, HasItsTitleSizePagesControlsAndHints) {
  Open();
  ASSERT_TRUE(WithOptions([&](HWND dialog) {
    EXPECT_EQ(WindowTextUtf8(dialog), "Keyloom Options");
    EXPECT_FALSE(GetWindowLongPtrW(dialog, GWL_STYLE) & WS_SYSMENU);
    RECT client{};
    GetClientRect(dialog, &client);
    EXPECT_EQ(client.right, ScaleToDpi(398, WindowDpi(dialog)));
    EXPECT_EQ(client.bottom, ScaleToDpi(235, WindowDpi(dialog)));

    HWND pages = GetDlgItem(dialog, IDC_OPT_PAGES);
    EXPECT_EQ(ItemTitles(pages),
              (std::vector<std::string>(kOptionsPageTitles.begin(), kOptionsPageTitles.end())));
    EXPECT_EQ(Page(dialog), 0);

    // Each page shows its own controls only; check boxes have their text on the left.
    const struct {
      int page;
      int id;
      const char* text;
    } controls[] = {
        {0, IDC_OPT_LBL_UNDO_DIR, "Undo &Directory : "},
        {0, IDC_OPT_BTN_BROWSE, "B&rowse"},
        {0, IDC_OPT_LBL_DEFAULT_UNDO, "Default Undo &Type:"},
        {1, IDC_OPT_CHK_SA_UNDO, "Create a Separate Undo for each AU&TOMATIC change"},
        {1, IDC_OPT_CHK_SM_UNDO, "Create a Separate Undo for each MANUAL c&hange"},
        {1, IDC_OPT_CHK_UNDO_EDT, "Create undo's for MANUAL &Edits"},
        {1, IDC_OPT_CHK_UNDO_DEL, "Create undo's for MANUAL &Deletes"},
        {1, IDC_OPT_CHK_UNDO_REN, "Create undo's for MANUAL &Renames"},
        {2, IDC_OPT_CHK_ENABLE_DELETE, "Search and &Delete instead of Search and Replace"},
        {2, IDC_OPT_CHK_WHOLE_NUMBERS, "Search &Whole Numbers ONLY"},
        {2, IDC_OPT_CHK_REG_ERRORS, "Modify registry security for keys I cannot &access"},
        {3, IDC_OPT_CHK_AUTO_START, "Auto S&tart Keyloom"},
        {3, IDC_OPT_CHK_AUTO_CLOSE, "&Auto Close Keyloom"},
        {3, IDC_OPT_CHK_AUTO_HIDE, "&Hide Window"},
        {3, IDC_OPT_CHK_UPDATE_INI, "Update &INI file"},
        {3, IDC_OPT_CHK_WARN, "&Warn on Key Names"},
        {3, IDC_OPT_CHK_SHOW_PERM_ERRORS, "Show &Permission Errors"},
        {4, IDC_OPT_LBL_ROOT, "Select &Root Key to Backup/Restore :"},
        {4, IDC_OPT_BTN_BACKUP, "Bac&kup"},
        {4, IDC_OPT_BTN_RESTORE, "R&estore"},
        {4, IDC_OPT_BTN_REPLACE, "Re&place"},
        {4, IDC_OPT_BTN_LOAD, "Loa&d"},
        {4, IDC_OPT_BTN_UNLOAD, "Unl&oad"},
        {5, IDC_OPT_LBL_LOGGING, "Logging Lev&el:"},
    };
    for (int page = 0; page < 6; ++page) {
      SendMessageW(pages, TCM_SETCURFOCUS, static_cast<WPARAM>(page), 0);
      PumpDialog(dialog);
      for (const auto& c : controls) {
        HWND control = GetDlgItem(dialog, c.id);
        EXPECT_EQ(IsWindowVisible(control) != FALSE, c.page == page) << c.text << " " << page;
        if (page != 0) continue;
        EXPECT_EQ(WindowTextUtf8(control), c.text);
        const LONG_PTR style = GetWindowLongPtrW(control, GWL_STYLE);
        if ((style & BS_TYPEMASK) == BS_AUTOCHECKBOX) {
          EXPECT_TRUE(style & BS_LEFTTEXT) << c.text;
        }
      }
    }
    // The hive maintenance's buttons are wired.
    for (int id = IDC_OPT_BTN_BACKUP; id <= IDC_OPT_BTN_UNLOAD; ++id) {
      EXPECT_TRUE(ItemEnabled(dialog, id)) << id;
    }
    HWND roots = GetDlgItem(dialog, IDC_OPT_CMB_KEY_ROOT_LIST);
    EXPECT_EQ(SendMessageW(roots, CB_GETCOUNT, 0, 0), 6);
    EXPECT_EQ(WindowTextUtf8(roots), "<none selected>");
    SendMessageW(roots, CB_SETCURSEL, 3, 0);
    EXPECT_EQ(WindowTextUtf8(roots), "HKEY_LOCAL_MACHINE");
    EXPECT_FALSE(ItemEnabled(dialog, IDC_OPT_CMB_DEFAULT_UNDO));
    EXPECT_TRUE(GetWindowLongPtrW(GetDlgItem(dialog, IDC_OPT_EDT_UNDO_DIR), GWL_STYLE) &
                ES_READONLY);

    EXPECT_EQ(DialogHint(dialog, IDC_OPT_BTN_BROWSE), "Browse to the Required Undo Directory");
    EXPECT_EQ(DialogHint(dialog, IDC_OPT_CHK_WHOLE_NUMBERS),
              "Enable this option to search Whole Numbers when the Key is a Binary or Dword Type");
    EXPECT_EQ(DialogHint(dialog, IDC_OPT_CHK_UPDATE_INI),
              "Specify if you want the INI file to be updated automatically or not.");
    EXPECT_EQ(DialogHint(dialog, IDC_OPT_BTN_REPLACE),
              "Replace a Registry Hive on next boot with one of your backups");
    EXPECT_EQ(DialogHint(dialog, IDC_OPT_CHK_REG_ERRORS), "");
    EXPECT_EQ(WindowTextUtf8(GetDlgItem(dialog, IDOK)), "Sa&ve");
    EXPECT_EQ(WindowTextUtf8(GetDlgItem(dialog, IDCANCEL)), "&Cancel");
    Click(GetDlgItem(dialog, IDCANCEL));
  }));
}

TEST_F(OptionsDialogTest,
       DangerWarningsComeOncePerUserCheckNeverOnOpeningAndAFailedSaveIsReported) {
  WriteIni("FIXPERMS=1\r\n");
  Open();
  ASSERT_EQ(Text(IDC_BTN_REPLACE), "&Replace");
  ASSERT_TRUE(WithOptions([&](HWND dialog) {
    ModalWatcher boxes(PressOk, dialog);
    PumpDialog(dialog, std::chrono::milliseconds(150));
    EXPECT_TRUE(boxes.texts().empty());  // FIXPERMS was on already: no warning on opening
    HWND remove = GetDlgItem(dialog, IDC_OPT_CHK_ENABLE_DELETE);
    Click(remove);  // checked: one warning
    Click(remove);  // cleared: none
    Click(remove);  // checked again: one more
    HWND security = GetDlgItem(dialog, IDC_OPT_CHK_REG_ERRORS);
    Click(security);  // cleared
    Click(security);  // checked
    EXPECT_EQ(boxes.texts(),
              (std::vector<std::string>{
                  "This is an EXTREMELY DANGEROUS option.  Please be careful when using this.",
                  "This is an EXTREMELY DANGEROUS option.  Please be careful when using this.",
                  "This option will attempt to change the security of your registry.  Please use "
                  "at your own risk."}));
    EXPECT_TRUE(Checked(dialog, IDC_OPT_CHK_ENABLE_DELETE));  // the box stays checked
    Click(GetDlgItem(dialog, IDOK));
  }));
  EXPECT_EQ(Text(IDC_BTN_REPLACE), "&Delete");
  EXPECT_TRUE(window_->settings().Snapshot().enabledel);
  EXPECT_EQ(SavedValue("ENABLEDEL"), "1");
  // Opening again with the option on shows no warning. A settings file that cannot be written
  // is reported, and the dialog still closes with its change taken.
  std::filesystem::remove(folder_.path() / "KEYLOOM.INI");
  std::filesystem::create_directory(folder_.path() / "KEYLOOM.INI");  // no file can go there
  const bool whole = window_->settings().Snapshot().wholenum;
  ASSERT_TRUE(WithOptions([&](HWND dialog) {
    ModalWatcher boxes(PressOk, dialog);
    PumpDialog(dialog, std::chrono::milliseconds(150));
    EXPECT_TRUE(boxes.texts().empty());
    EXPECT_TRUE(Checked(dialog, IDC_OPT_CHK_ENABLE_DELETE));
    Click(GetDlgItem(dialog, IDC_OPT_CHK_WHOLE_NUMBERS));
    Click(GetDlgItem(dialog, IDOK));
  }));
  EXPECT_TRUE(WaitForLastLine("Error Saving Keyloom INI file [Unable to write to " +
                              folder_.Utf8() + "KEYLOOM.INI]"));
  EXPECT_EQ(window_->settings().Snapshot().wholenum, !whole);
  EXPECT_EQ(Text(IDC_BTN_REPLACE), "&Delete");
}

TEST_F(OptionsDialogTest, CancelLeavesTheSettingsAndTheFileUntouched) {
  WriteIni("LOGGING=2\r\nUNDO=5\r\n");
  Open();
  const Settings before = window_->settings().Snapshot();
  const std::string file = IniBytes();
  for (const bool by_escape : {false, true}) {
    ASSERT_TRUE(WithOptions([&](HWND dialog) {
      ModalWatcher boxes(PressOk, dialog);
      for (int id : {IDC_OPT_CHK_ENABLE_DELETE, IDC_OPT_CHK_UNDO_EDT, IDC_OPT_CHK_AUTO_START,
                     IDC_OPT_CHK_WARN, IDC_OPT_CHK_UPDATE_INI}) {
        Click(GetDlgItem(dialog, id));
      }
      SendMessageW(GetDlgItem(dialog, IDC_OPT_CMB_LOGGING_LEVEL), CB_SETCURSEL, 0, 0);
      if (by_escape) {
        PressKey(dialog, VK_ESCAPE, false);
      } else {
        Click(GetDlgItem(dialog, IDCANCEL));
      }
    }));
    EXPECT_EQ(window_->settings().Snapshot(), before);
    EXPECT_EQ(IniBytes(), file);
    EXPECT_EQ(Text(IDC_BTN_REPLACE), "&Replace");
  }
}

TEST_F(OptionsDialogTest, SaveWritesEveryChangeAndTheFileReadsBack) {
  WriteIni("SIMULATE=1\r\nFIND=kept\r\nLOGGING=1\r\nAUTOCLOSE=1\r\nAUTOHIDE=1\r\n");
  Open();
  ASSERT_TRUE(WithOptions([&](HWND dialog) {
    // The logging level shows its name and its description, which follows the choice.
    HWND levels = GetDlgItem(dialog, IDC_OPT_CMB_LOGGING_LEVEL);
    HWND detail = GetDlgItem(dialog, IDC_OPT_LBL_LOG_LEVEL_DETAIL);
    EXPECT_EQ(WindowTextUtf8(levels), "Informational");
    EXPECT_EQ(WindowTextUtf8(detail),
              "Informational Logging Level\r\rDisplays additiona information about what is "
              "replaced during the search/replace process.");
    SendMessageW(levels, CB_SETCURSEL, 2, 0);
    SendMessageW(dialog, WM_COMMAND, MAKEWPARAM(IDC_OPT_CMB_LOGGING_LEVEL, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(levels));
    EXPECT_EQ(WindowTextUtf8(detail), std::string(*LoggingLevelDetail(2)));
    // Hide Window is enabled only with both auto boxes checked, and keeps its mark.
    EXPECT_FALSE(ItemEnabled(dialog, IDC_OPT_CHK_AUTO_HIDE));
    EXPECT_TRUE(Checked(dialog, IDC_OPT_CHK_AUTO_HIDE));
    Click(GetDlgItem(dialog, IDC_OPT_CHK_AUTO_START));
    EXPECT_TRUE(ItemEnabled(dialog, IDC_OPT_CHK_AUTO_HIDE));
    Click(GetDlgItem(dialog, IDC_OPT_CHK_AUTO_CLOSE));
    EXPECT_FALSE(ItemEnabled(dialog, IDC_OPT_CHK_AUTO_HIDE));
    Click(GetDlgItem(dialog, IDC_OPT_CHK_AUTO_START));  // neither box
    EXPECT_FALSE(ItemEnabled(dialog, IDC_OPT_CHK_AUTO_HIDE));
    Click(GetDlgItem(dialog, IDC_OPT_CHK_AUTO_START));
    EXPECT_TRUE(Checked(dialog, IDC_OPT_CHK_AUTO_HIDE));
    for (int id : {IDC_OPT_CHK_UNDO_EDT, IDC_OPT_CHK_UNDO_DEL, IDC_OPT_CHK_UNDO_REN,
                   IDC_OPT_CHK_WARN, IDC_OPT_CHK_SA_UNDO, IDC_OPT_CHK_WHOLE_NUMBERS,
                   IDC_OPT_CHK_UPDATE_INI, IDC_OPT_CHK_SHOW_PERM_ERRORS}) {
      Click(GetDlgItem(dialog, id));
    }
    PressKey(dialog, VK_RETURN, false);  // Enter is Save
  }));
  EXPECT_EQ(SavedValue("UNDO"), "0");  // all three undo boxes cleared
  EXPECT_EQ(SavedValue("WARN"), "10");
  EXPECT_EQ(SavedValue("UPDATEINI"), "0");
  EXPECT_EQ(SavedValue("SIMULATE"), "1");  // never written, kept
  EXPECT_EQ(SavedValue("FIND"), "kept");   // the main window's controls are saved too
  const LoadedSettings loaded = LoadSettings(folder_.Utf8());
  EXPECT_EQ(loaded.settings, window_->settings().Snapshot());
  EXPECT_EQ(loaded.settings.logging, 2);
  EXPECT_FALSE(loaded.settings.saundo);
  EXPECT_FALSE(loaded.settings.wholenum);
  EXPECT_FALSE(loaded.settings.showpermerr);
  EXPECT_TRUE(loaded.settings.suppress_key_name_warning);
  EXPECT_TRUE(loaded.settings.autostart);
  EXPECT_FALSE(loaded.settings.autoclose);
  EXPECT_TRUE(loaded.settings.autohide);  // the mark of the disabled box is saved
  EXPECT_EQ(SavedValue("AUTOHIDE"), "1");
  // UPDATEINI is off now: closing the program writes nothing more.
  const std::string file = IniBytes();
  SetText(IDC_EDT_FIND, "changed");
  CloseWindow();
  EXPECT_EQ(IniBytes(), file);
}

TEST_F(OptionsDialogTest, KeyboardGoesRoundThePagesAndOpensThemByTheirLetters) {
  Open();
  ASSERT_TRUE(WithOptions([&](HWND dialog) {
    PressKey(dialog, VK_TAB, true);
    EXPECT_EQ(Page(dialog), 1);
    EXPECT_TRUE(IsWindowVisible(GetDlgItem(dialog, IDC_OPT_CHK_SA_UNDO)));
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_OPT_CHK_SA_UNDO));
    PressKey(dialog, VK_TAB, true, true);
    PressKey(dialog, VK_TAB, true, true);
    EXPECT_EQ(Page(dialog), 5);
    PressAlt(dialog, L'm');
    EXPECT_EQ(Page(dialog), 3);
    EXPECT_EQ(GetFocus(), GetDlgItem(dialog, IDC_OPT_CHK_AUTO_START));
    PressAlt(dialog, L'N');
    EXPECT_EQ(Page(dialog), 1);
    PressAlt(dialog, L'b');  // no control on this page has "b": the Backup/Restore page
    EXPECT_EQ(Page(dialog), 4);
    PressAlt(dialog, L'n');  // no control on this page has "n": the undo file options' page
    EXPECT_EQ(Page(dialog), 1);
    PressKey(dialog, VK_ESCAPE, false);
  }));
}

// Wine's picker selects its start folder only some of the time while it fills its tree, so the test
// proves that a folder picker opens, that its answer comes back and gets its backslash.
TEST_F(OptionsDialogTest, BrowseOpensAFolderPickerWhoseAnswerGetsABackslash) {
  const std::string undo = folder_.Utf8() + "Undo";
  WriteIni("UNDODIR=" + undo + "\r\n");
  Open();
  ASSERT_TRUE(WithOptions([&](HWND dialog) {
    HWND edit = GetDlgItem(dialog, IDC_OPT_EDT_UNDO_DIR);
    EXPECT_EQ(WindowTextUtf8(edit), undo + "\\");
    SetWindowTextUtf8(edit, undo);  // without its backslash: shows whether an answer came back
    bool has_tree = false;
    {
      ModalWatcher picker(
          [&](HWND browse) {
            PumpFor(std::chrono::milliseconds(300));
            has_tree = FindWindowExW(browse, nullptr, WC_TREEVIEWW, nullptr) != nullptr;
            PressOk(browse);
          },
          dialog);
      Click(GetDlgItem(dialog, IDC_OPT_BTN_BROWSE));
      EXPECT_EQ(picker.texts().size(), 1u);
    }
    EXPECT_TRUE(has_tree);
    const std::string chosen = WindowTextUtf8(edit);
    EXPECT_NE(chosen, undo);
    ASSERT_GE(chosen.size(), 4u);
    EXPECT_EQ(chosen.back(), '\\');
    EXPECT_NE(chosen[chosen.size() - 2], '\\');
    EXPECT_TRUE(std::filesystem::is_directory(base::PathFromUtf8(chosen))) << chosen;
    Click(GetDlgItem(dialog, IDCANCEL));  // nothing of it reaches the settings
  }));
  EXPECT_EQ(window_->settings().Snapshot().undodir, undo + "\\");
}

TEST(OptionsHiveFileTest, TheOpenFileDialogStartsInRegBackBesideTheProgram) {
  keyloom::testing::TempFolder folder;
  SettingsStore store;
  const std::unique_ptr<reg::RegApi> api = reg::NewWin32RegApi();
  engine::RunContext context;
  context.api = api.get();
  context.settings = &store;
  context.program.folder = folder.Utf8();
  TfrmOptions options(store, context, {});
  std::string shown_folder;
  std::optional<std::string> picked = "not asked";
  ModalWatcher watcher([&](HWND dialog) {
    EXPECT_EQ(options.hive_folder(), folder.Utf8() + "RegBack");
    ModalWatcher file(
        [&](HWND open) {
          PumpFor(std::chrono::milliseconds(200));
          wchar_t path[MAX_PATH] = {};
          SendMessageW(open, CDM_GETFOLDERPATH, MAX_PATH, reinterpret_cast<LPARAM>(path));
          shown_folder = FromWide(path);
          PostMessageW(open, WM_COMMAND, IDCANCEL, 0);
        },
        dialog);
    picked = options.OpenHiveFile("Restore Registry");
    Click(GetDlgItem(dialog, IDCANCEL));
  });
  options.Show(GetModuleHandleW(nullptr), nullptr);
  ASSERT_EQ(watcher.seen(), 1);
  EXPECT_EQ(picked, std::nullopt);  // cancelled
  EXPECT_EQ(shown_folder, folder.Utf8() + "RegBack");
  EXPECT_TRUE(std::filesystem::is_directory(folder.path() / "RegBack"));
}

}  // namespace
}  // namespace keyloom::shell::testing
