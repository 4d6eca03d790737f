#include "shell/options_values.h"

namespace keyloom::shell {
namespace {

constexpr std::array<std::string_view, 3> kLoggingLevelDetails = {
    "Default Logging Level\r\rDisplays basic information about items found.",
    "Informational Logging Level\r\rDisplays additiona information about what is replaced during "
    "the search/replace process.",
    "Debug Logging Level\r\rDisplays detailed information during the search process of what is "
    "being checked and what is found.  This also produces a DBG???.LOG file for debugging "
    "purposes.This option will slow the Keyloom process considerably and the log file may get "
    "very large depending on the type of search being done.",
};

char LowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

}  // namespace

OptionsValues OptionsFromSettings(const Settings& s) {
  OptionsValues v;
  v.undo_dir = s.undodir;
  v.default_undo = s.defaultundo;
  v.separate_auto_undo = s.saundo;
  v.separate_manual_undo = s.smundo;
  v.undo_edits = (s.undo & kUndoEdits) != 0;
  v.undo_deletes = (s.undo & kUndoDeletes) != 0;
  v.undo_renames = (s.undo & kUndoRenames) != 0;
  v.enable_delete = s.enabledel;
  v.whole_numbers = s.wholenum;
  v.fix_permissions = s.fixperms;
  v.auto_start = s.autostart;
  v.auto_close = s.autoclose;
  v.auto_hide = s.autohide;
  v.update_ini = s.updateini;
  v.warn_key_names = !s.suppress_key_name_warning;
  v.show_permission_errors = s.showpermerr;
  v.logging = s.logging;
  return v;
}

void ApplyOptions(const OptionsValues& v, Settings& s) {
  s.undodir = v.undo_dir;
  s.autostart = v.auto_start;
  s.autoclose = v.auto_close;
  s.autohide = v.auto_hide;
  s.showpermerr = v.show_permission_errors;
  s.updateini = v.update_ini;
  s.suppress_key_name_warning = !v.warn_key_names;
  s.undo = (v.undo_edits ? kUndoEdits : 0) | (v.undo_deletes ? kUndoDeletes : 0) |
           (v.undo_renames ? kUndoRenames : 0);
  s.enabledel = v.enable_delete;
  s.wholenum = v.whole_numbers;
  s.smundo = v.separate_manual_undo;
  s.saundo = v.separate_auto_undo;
  s.fixperms = v.fix_permissions;
  s.logging = v.logging;
  s.defaultundo = v.default_undo;
}

std::optional<std::string_view> LoggingLevelDetail(int level) {
  if (level < 0 || level >= static_cast<int>(kLoggingLevelDetails.size())) return std::nullopt;
  return kLoggingLevelDetails[static_cast<std::size_t>(level)];
}

char MnemonicOf(std::string_view caption) {
  for (std::size_t i = 0; i + 1 < caption.size(); ++i) {
    if (caption[i] != '&') continue;
    if (caption[i + 1] == '&') {
      ++i;
      continue;
    }
    return LowerAscii(caption[i + 1]);
  }
  return 0;
}

std::optional<int> PageWithMnemonic(char letter) {
  if (letter == 0) return std::nullopt;
  for (std::size_t page = 0; page < kOptionsPageTitles.size(); ++page) {
    if (MnemonicOf(kOptionsPageTitles[page]) == LowerAscii(letter)) return static_cast<int>(page);
  }
  return std::nullopt;
}

int NextPage(int page, bool backwards) {
  const int count = static_cast<int>(kOptionsPageTitles.size());
  return (page + (backwards ? count - 1 : 1)) % count;
}

}  // namespace keyloom::shell
