#include "shell/options_values.h"

#include "base/ascii.h"

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

// The boxes that show a setting as it is, and the UNDO bits: one table for both directions.
struct SameBox {
  bool Settings::*setting;
  bool OptionsValues::*control;
};
constexpr SameBox kSameBoxes[] = {
    {&Settings::saundo, &OptionsValues::separate_auto_undo},
    {&Settings::smundo, &OptionsValues::separate_manual_undo},
    {&Settings::enabledel, &OptionsValues::enable_delete},
    {&Settings::wholenum, &OptionsValues::whole_numbers},
    {&Settings::fixperms, &OptionsValues::fix_permissions},
    {&Settings::autostart, &OptionsValues::auto_start},
    {&Settings::autoclose, &OptionsValues::auto_close},
    {&Settings::autohide, &OptionsValues::auto_hide},
    {&Settings::updateini, &OptionsValues::update_ini},
    {&Settings::showpermerr, &OptionsValues::show_permission_errors},
};

struct UndoBox {
  int bit;
  bool OptionsValues::*control;
};
constexpr UndoBox kUndoBoxes[] = {
    {kUndoEdits, &OptionsValues::undo_edits},
    {kUndoDeletes, &OptionsValues::undo_deletes},
    {kUndoRenames, &OptionsValues::undo_renames},
};

using base::AsciiLower;

}  // namespace

OptionsValues OptionsFromSettings(const Settings& s) {
  OptionsValues v;
  for (const SameBox& box : kSameBoxes) v.*box.control = s.*box.setting;
  for (const UndoBox& box : kUndoBoxes) v.*box.control = (s.undo & box.bit) != 0;
  v.warn_key_names = !s.suppress_key_name_warning;
  v.undo_dir = s.undodir;
  v.logging = s.logging;
  v.default_undo = s.defaultundo;
  return v;
}

void ApplyOptions(const OptionsValues& v, Settings& s) {
  for (const SameBox& box : kSameBoxes) s.*box.setting = v.*box.control;
  s.undo = 0;
  for (const UndoBox& box : kUndoBoxes) s.undo |= v.*box.control ? box.bit : 0;
  s.suppress_key_name_warning = !v.warn_key_names;
  s.undodir = v.undo_dir;
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
    return AsciiLower(caption[i + 1]);
  }
  return 0;
}

std::optional<int> PageWithMnemonic(char letter) {
  if (letter == 0) return std::nullopt;
  for (std::size_t page = 0; page < kOptionsPageTitles.size(); ++page) {
    if (MnemonicOf(kOptionsPageTitles[page]) == AsciiLower(letter)) return static_cast<int>(page);
  }
  return std::nullopt;
}

int NextPage(int page, bool backwards) {
  const int count = static_cast<int>(kOptionsPageTitles.size());
  return (page + (backwards ? count - 1 : 1)) % count;
}

}  // namespace keyloom::shell
