#include "shell/options_values.h"

#include <gtest/gtest.h>

#include "support/temp_folder.h"

namespace keyloom::shell {
namespace {

// Every setting the dialog shows, each different from its default.
Settings ChangedSettings() {
  Settings s;
  s.autostart = s.autoclose = s.autohide = s.enabledel = s.fixperms = true;
  s.updateini = s.wholenum = s.showpermerr = s.smundo = s.saundo = false;
  s.suppress_key_name_warning = true;
  s.undodir = "D:\\Undo files\\";
  s.undo = 5;
  s.logging = 2;
  s.defaultundo = 1;
  return s;
}

TEST(OptionsValues, SettingsReachTheControlsAndComeBackUnchanged) {
  // "Hide Window" greyed (AUTOCLOSE off) keeps its mark, and Save stores it.
  Settings greyed_hide;
  greyed_hide.autostart = greyed_hide.autohide = true;
  ASSERT_FALSE(HideWindowEnabled(greyed_hide.autostart, greyed_hide.autoclose));
  for (const Settings& original : {Settings{}, ChangedSettings(), greyed_hide}) {
    const OptionsValues values = OptionsFromSettings(original);
    Settings saved;
    saved.simulate = true;  // not in the dialog: kept
    saved.scanmethod = 1;
    saved.warn_second_flag = true;
    ApplyOptions(values, saved);
    Settings expected = original;
    expected.simulate = true;
    expected.scanmethod = 1;
    expected.warn_second_flag = true;
    EXPECT_EQ(saved, expected);
  }
}

TEST(OptionsValues, BoxesShowTheirSettings) {
  const OptionsValues v = OptionsFromSettings(ChangedSettings());
  EXPECT_EQ(v.undo_dir, "D:\\Undo files\\");
  EXPECT_TRUE(v.undo_edits);
  EXPECT_FALSE(v.undo_deletes);
  EXPECT_TRUE(v.undo_renames);
  EXPECT_FALSE(v.warn_key_names);  // WARN's first flag set: the warning is off
  EXPECT_TRUE(v.auto_hide);
  EXPECT_FALSE(v.show_permission_errors);
  EXPECT_FALSE(v.separate_auto_undo);
  EXPECT_EQ(v.logging, 2);
  EXPECT_EQ(v.default_undo, 1);
  EXPECT_TRUE(OptionsFromSettings(Settings{}).warn_key_names);
}

TEST(OptionsValues, UndoBitsCountOnlyCheckedBoxes) {
  const struct {
    bool edits, deletes, renames;
    int undo;
  } cases[] = {{false, false, false, 0}, {true, false, false, 1}, {false, true, false, 2},
               {false, false, true, 4},  {true, true, false, 3},  {true, true, true, 7}};
  for (const auto& c : cases) {
    OptionsValues v;
    v.undo_edits = c.edits;
    v.undo_deletes = c.deletes;
    v.undo_renames = c.renames;
    Settings s;
    ApplyOptions(v, s);
    EXPECT_EQ(s.undo, c.undo) << c.edits << c.deletes << c.renames;
  }
}

TEST(OptionsValues, UncheckedWarnOnKeyNamesIsSavedAsWarnStartingWithOne) {
  keyloom::testing::TempFolder folder;
  Settings s;
  s.undodir = folder.Utf8();
  OptionsValues v = OptionsFromSettings(s);
  for (const bool warn : {false, true}) {
    v.warn_key_names = warn;
    ApplyOptions(v, s);
    ASSERT_EQ(SaveSettings(folder.Utf8(), s, WindowSettings{}, true), std::nullopt);
    const auto saved = IniFile::Load(folder.path() / "KEYLOOM.INI").Get("Keyloom", "WARN");
    ASSERT_TRUE(saved.has_value());
    EXPECT_EQ(saved->substr(0, 1), warn ? "0" : "1");
    EXPECT_EQ(LoadSettings(folder.Utf8()).settings.suppress_key_name_warning, !warn);
  }
}

TEST(OptionsValues, EachLoggingLevelHasItsNameAndDescription) {
  EXPECT_EQ(kLoggingLevelNames[1], "Informational");
  for (int level = 0; level < 3; ++level) {
    const auto detail = LoggingLevelDetail(level);
    ASSERT_TRUE(detail.has_value());
    EXPECT_EQ(detail->substr(0, detail->find('\r')),
              std::string(kLoggingLevelNames[static_cast<std::size_t>(level)]) + " Logging Level");
    EXPECT_NE(detail->find(" Logging Level\r\rDisplays "), std::string_view::npos);
  }
  EXPECT_EQ(LoggingLevelDetail(-1), std::nullopt);
  EXPECT_EQ(LoggingLevelDetail(3), std::nullopt);
}

TEST(OptionsValues, PagesAreReachedByTheirMnemonicsAndRoundByCtrlTab) {
  const struct {
    char letter;
    std::optional<int> page;
  } cases[] = {{'u', 0},
               {'N', 1},
               {'s', 2},
               {'m', 3},
               {'B', 4},
               {'l', 5},
               {'x', std::nullopt},
               {0, std::nullopt}};
  for (const auto& c : cases) EXPECT_EQ(PageWithMnemonic(c.letter), c.page) << c.letter;
  EXPECT_EQ(MnemonicOf("R&eplace"), 'e');
  EXPECT_EQ(MnemonicOf("A&&B &C"), 'c');
  EXPECT_EQ(MnemonicOf("Logging"), 0);
  EXPECT_EQ(MnemonicOf("&Logging"), 'l');
  EXPECT_EQ(NextPage(0, false), 1);
  EXPECT_EQ(NextPage(5, false), 0);
  EXPECT_EQ(NextPage(0, true), 5);
  EXPECT_EQ(NextPage(3, true), 2);
}

}  // namespace
}  // namespace keyloom::shell
