// The Options dialog's values without its windows: what its controls hold, how they are filled from
// the settings and how Save puts them back, the rule for "Hide Window" and the texts of the
// logging levels. The dialog (win32/options_dialog.*) only moves these values in and out of its
// controls.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

#include "shell/settings.h"

namespace keyloom::shell {

struct OptionsValues {
  // "&Undo"
  std::string undo_dir;  // edtUndoDir: UNDODIR
  int default_undo = 0;  // cmbDefaultUndo: DEFAULTUNDO
  // "U&ndo File Options"
  bool separate_auto_undo = true;    // chkSAUndo: SAUNDO
  bool separate_manual_undo = true;  // chkSMUndo: SMUNDO
  bool undo_edits = true;            // chkUndoEdt: UNDO bit 1
  bool undo_deletes = true;          // chkUndoDel: UNDO bit 2
  bool undo_renames = true;          // chkUndoRen: UNDO bit 4
  // "&Search"
  bool enable_delete = false;    // chkEnableDelete: ENABLEDEL
  bool whole_numbers = true;     // chkWholeNumbers: WHOLENUM
  bool fix_permissions = false;  // chkRegErrors: FIXPERMS
  // "&Misc"
  bool auto_start = false;             // chkAutoStart: AUTOSTART
  bool auto_close = false;             // chkAutoClose: AUTOCLOSE
  bool auto_hide = false;              // chkAutoHide: AUTOHIDE (its mark, also while disabled)
  bool update_ini = true;              // chkUpdateINI: UPDATEINI
  bool warn_key_names = true;          // chkWarn: the opposite of WARN's first flag
  bool show_permission_errors = true;  // chkShowPermErrors: SHOWPERMERR
  // "Logging"
  int logging = 0;  // cmbLoggingLevel: LOGGING

  bool operator==(const OptionsValues&) const = default;
};

// The dialog's values for these settings.
OptionsValues OptionsFromSettings(const Settings& settings);

// Save: the settings the dialog shows take the dialog's values; the others (SIMULATE, SCANMETHOD,
// WARN's second flag) are left as they are.
void ApplyOptions(const OptionsValues& values, Settings& settings);

// "Hide Window" can be changed only when both auto boxes are checked; disabled, it keeps its mark.
constexpr bool HideWindowEnabled(bool auto_start, bool auto_close) {
  return auto_start && auto_close;
}

// cmbLoggingLevel's items, by LOGGING.
inline constexpr std::array<std::string_view, 3> kLoggingLevelNames = {"Default", "Informational",
                                                                       "Debug"};

// The description lblLogLevelDetail shows for a logging level; nothing for any other index.
std::optional<std::string_view> LoggingLevelDetail(int level);

// ---- Pages and keys ----

// The dialog's pages, in order.
inline constexpr std::array<std::string_view, 6> kOptionsPageTitles = {
    "&Undo", "U&ndo File Options", "&Search", "&Misc", "&Backup/Restore", "&Logging"};

// The letter a caption marks with "&", in lower case ("&&" is a plain "&"); 0 when none.
char MnemonicOf(std::string_view caption);

// The page whose title's mnemonic is `letter` (any case); nothing when no title has it.
std::optional<int> PageWithMnemonic(char letter);

// The page Ctrl+Tab (or Ctrl+Shift+Tab, `backwards`) goes to from `page`: round the pages.
int NextPage(int page, bool backwards);

}  // namespace keyloom::shell
