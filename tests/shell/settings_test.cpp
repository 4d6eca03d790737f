#include "shell/settings.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "base/utf8_path.h"
#include "support/temp_folder.h"

namespace keyloom::shell {
namespace {

using base::kPathSeparator;
using keyloom::testing::ReadBytes;
using keyloom::testing::TempFolder;
using keyloom::testing::WriteBytes;

class SettingsFile : public ::testing::Test {
 protected:
  std::filesystem::path IniPath() const { return folder_.path() / "KEYLOOM.INI"; }
  void WriteIni(std::string_view text) { WriteBytes(IniPath(), text); }
  LoadedSettings LoadWith(std::string_view section_body) {
    WriteIni("[Keyloom]\r\n" + std::string(section_body));
    return LoadSettings(folder_.Utf8());
  }
  IniFile Saved() const { return IniFile::FromBytes(ReadBytes(IniPath())); }
  std::string DefaultUndoDir() const { return folder_.Utf8() + "UNDO" + kPathSeparator; }

  TempFolder folder_;
};

TEST_F(SettingsFile, NoFileGivesEveryDefaultAndCreatesTheUndoFolder) {
  const LoadedSettings loaded = LoadSettings(folder_.Utf8());
  Settings expected;
  expected.undodir = DefaultUndoDir();
  EXPECT_EQ(loaded.settings, expected);
  EXPECT_EQ(loaded.window, WindowSettings{});
  EXPECT_TRUE(loaded.status_lines.empty());
  EXPECT_TRUE(std::filesystem::is_directory(folder_.path() / "UNDO"));
  EXPECT_FALSE(std::filesystem::exists(IniPath()));  // first written at exit
}

TEST_F(SettingsFile, ANewFileHoldsTheKeysInTheirOrder) {
  const LoadedSettings loaded = LoadSettings(folder_.Utf8());
  ASSERT_EQ(SaveSettings(folder_.Utf8(), loaded.settings, loaded.window, false), std::nullopt);
  EXPECT_EQ(ReadBytes(IniPath()),
            "[Keyloom]\r\nFIND=\r\nREPLACE=\r\nAUTOSTART=0\r\nAUTOCLOSE=0\r\nAUTOHIDE=0\r\n"
            "UPDATEINI=1\r\nENABLEDEL=0\r\nWHOLENUM=1\r\nSHOWPERMERR=1\r\nSEARCHKEY=0\r\n"
            "USECASE=0\r\nSEARCHKEYS=0\r\nSEARCHVALUES=1\r\nSEARCHTREE=0\r\nREGUNDO=1\r\n"
            "WARN=00\r\nUNDODIR=" +
                DefaultUndoDir() +
                "\r\nCOL_0=140\r\nCOL_1=320\r\nCOL_2=150\r\nUNDO=7\r\nSMUNDO=1\r\nSAUNDO=1\r\n"
                "SEARCHTYPE=0\r\nSCANMETHOD=0\r\nLOGGING=0\r\nDEFAULTUNDO=0\r\nFIXPERMS=0\r\n"
                "COL_3=110\r\nCOL_4=260\r\nCOL_5=80\r\nCOL_6=130\r\nWIN_LEFT=0\r\n"
                "WIN_TOP=0\r\nWIN_WIDTH=0\r\nWIN_HEIGHT=0\r\nWIN_MAXIMIZED=0\r\nCOL_7=60\r\n"
                "COL_8=90\r\nMATCHMODE=text\r\nMODIFIEDAFTER=\r\nMODIFIEDBEFORE=\r\nMINSIZE=\r\n"
                "MAXSIZE=\r\nEXCLUDE=\r\n");
}

// The match mode and the filters are kept after the other keys; a value that does not read
// leaves its own key's default and takes nothing else with it; a long list of exclusions and
// names holding ";" and "%" come back whole.
TEST_F(SettingsFile, TheMatchModeAndTheFiltersSurviveASaveAndGarbledValuesTakeTheirDefaults) {
  WriteIni("[Keyloom]\r\nFIND=old\r\nCOL_7=70\r\n");
  LoadedSettings loaded = LoadSettings(folder_.Utf8());
  engine::MatchRules& rules = loaded.window.rules;
  rules.mode = engine::MatchMode::kRegex;
  rules.modified_after = engine::ParseLocalTime("2026-03-28 14:30:15");
  rules.modified_before = engine::ParseLocalTime("2026-12-08");
  rules.min_size = 0;
  rules.max_size = 18446744073709551615u;
  for (int i = 0; i < 60; ++i)
    rules.exclusions.push_back({3, "\\SOFTWARE\\Vendor" + std::to_string(i)});
  rules.exclusions.push_back({2, "\\Software\\a;b%3B\\c"});
  ASSERT_EQ(SaveSettings(folder_.Utf8(), loaded.settings, loaded.window, false), std::nullopt);
  const std::string saved = ReadBytes(IniPath());
  EXPECT_LT(saved.find("COL_7=70"), saved.find("MATCHMODE=regex")) << "appended after the others";
  EXPECT_GT(saved.find("EXCLUDE="), saved.find("MAXSIZE=18446744073709551615"));
  EXPECT_EQ(LoadSettings(folder_.Utf8()).window, loaded.window);

  for (const char* garbled :
       {"MATCHMODE=grep", "MODIFIEDAFTER=2026-02-30", "MODIFIEDBEFORE=yesterday", "MINSIZE=-1",
        "MAXSIZE=99999999999999999999", "EXCLUDE=HKXX\\x;HKLM;;HKLM\\Software\\Kept"}) {
    SCOPED_TRACE(garbled);
    const LoadedSettings read = LoadWith(std::string(garbled) + "\r\nFIND=old\r\nMINSIZE=5\r\n");
    EXPECT_EQ(read.window.find, "old");
    engine::MatchRules expected;
    expected.min_size = std::string(garbled).starts_with("MINSIZE")
                            ? std::nullopt
                            : std::optional<std::uint64_t>(5);
    if (std::string(garbled).starts_with("EXCLUDE"))
      expected.exclusions = {{3, "\\Software\\Kept"}};
    EXPECT_EQ(read.window.rules, expected);
  }
}

TEST_F(SettingsFile, EveryValueSurvivesASaveAndALoad) {
  Settings s;
  s.autostart = s.autoclose = s.autohide = s.enabledel = s.simulate = s.fixperms = true;
  s.updateini = s.wholenum = s.showpermerr = s.smundo = s.saundo = false;
  s.suppress_key_name_warning = s.warn_second_flag = true;
  s.undodir = folder_.Utf8() + "Undo files" + kPathSeparator;
  s.undo = 5;
  s.logging = 2;
  s.defaultundo = 1;
  s.scanmethod = 1;
  WindowSettings w;
  w.find = " Caf\xC3\xA9 \"x\" ";
  w.replace = "\xE6\x97\xA5\xE6\x9C\xAC";
  w.searchkey = 4;
  w.usecase = w.searchkeys = w.searchtree = true;
  w.searchvalues = false;
  w.col = {1, 1500, 77};
  w.detail_col = {2, 3, 4, 5, 6, 1499};
  w.searchtype = 8;
  w.place = {-1200, -20, 900, 640, true};
  ASSERT_EQ(SaveSettings(folder_.Utf8(), s, w, true), std::nullopt);

  const LoadedSettings loaded = LoadSettings(folder_.Utf8());
  Settings expected = s;
  expected.simulate = false;  // never written
  EXPECT_EQ(loaded.settings, expected);
  EXPECT_EQ(loaded.window, w);
}

TEST_F(SettingsFile, OutOfRangeValuesTakeTheirDefaults) {
  auto loaded = LoadWith(
      "SEARCHKEY=9\r\nSEARCHTYPE=9\r\nSCANMETHOD=2\r\nCOL_0=1500\r\nCOL_1=0\r\n"
      "COL_2=-4\r\n");
  EXPECT_EQ(loaded.window.searchkey, 0);
  EXPECT_EQ(loaded.window.searchtype, 0);
  EXPECT_EQ(loaded.settings.scanmethod, 0);
  EXPECT_EQ(loaded.window.col, (std::array<int, 3>{1500, 320, 150}));

  loaded = LoadWith("SEARCHKEY=6\r\nSEARCHTYPE=8\r\nSCANMETHOD=1\r\nCOL_1=2000\r\nCOL_2=1\r\n");
  EXPECT_EQ(loaded.window.searchkey, 6);
  EXPECT_EQ(loaded.window.searchtype, 8);
  EXPECT_EQ(loaded.settings.scanmethod, 1);
  EXPECT_EQ(loaded.window.col, (std::array<int, 3>{140, 320, 1}));

  // A file from before the "User" column keeps its default width.
  loaded = LoadWith("COL_3=90\r\nCOL_4=0\r\nCOL_5=1501\r\nCOL_6=300\r\nCOL_7=75\r\n");
  EXPECT_EQ(loaded.window.detail_col, (std::array<int, 6>{90, 260, 80, 300, 75, 90}));
  loaded = LoadWith("COL_8=0\r\n");
  EXPECT_EQ(loaded.window.detail_col[5], 90);
  loaded = LoadWith("COL_8=120\r\n");
  EXPECT_EQ(loaded.window.detail_col[5], 120);

  // A size of 0 or a coordinate past 100000 keeps no place; a partial place is none either.
  loaded = LoadWith("WIN_LEFT=100001\r\nWIN_TOP=-5\r\nWIN_WIDTH=0\r\nWIN_HEIGHT=700\r\n");
  EXPECT_EQ(loaded.window.place, (WindowPlace{0, -5, 0, 700, false}));
  EXPECT_FALSE(loaded.window.place.Kept());
}

TEST_F(SettingsFile, BooleansAreIntegersAndNumbersMayBeHexadecimal) {
  auto loaded = LoadWith(
      "AUTOSTART=yes\r\nAUTOCLOSE=2\r\nUPDATEINI=no\r\nWHOLENUM=0\r\n"
      "SEARCHKEY=0x3\r\nSEARCHTYPE=$7\r\nUNDO=0X6\r\nLOGGING=7\r\n");
  EXPECT_FALSE(loaded.settings.autostart);
  EXPECT_TRUE(loaded.settings.autoclose);
  EXPECT_TRUE(loaded.settings.updateini);  // unparsable: the default
  EXPECT_FALSE(loaded.settings.wholenum);
  EXPECT_EQ(loaded.window.searchkey, 3);
  EXPECT_EQ(loaded.window.searchtype, 7);
  EXPECT_EQ(loaded.settings.undo, 6);
  EXPECT_EQ(loaded.settings.logging, 7);  // read as it is
}

TEST_F(SettingsFile, WarnFlagsAreReadAndWrittenAsTwoCharacters) {
  const struct {
    const char* stored;
    bool suppress;
    bool second;
    const char* saved;
  } cases[] = {{"1", true, false, "10"}, {"", false, false, "00"},  {"01", false, true, "01"},
               {"11", true, true, "11"}, {"x1", false, true, "01"}, {"yes", false, false, "00"}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.stored);
    const auto loaded = LoadWith(std::string("WARN=") + c.stored + "\r\n");
    EXPECT_EQ(loaded.settings.suppress_key_name_warning, c.suppress);
    EXPECT_EQ(loaded.settings.warn_second_flag, c.second);
    ASSERT_EQ(SaveSettings(folder_.Utf8(), loaded.settings, loaded.window, false), std::nullopt);
    EXPECT_EQ(Saved().Get("Keyloom", "WARN"), c.saved);
  }
}

TEST_F(SettingsFile, UpdateIniOffSavesOnlyWhenForced) {
  auto loaded = LoadWith("FIND=before\r\n");
  loaded.settings.updateini = false;
  loaded.window.find = "after";
  ASSERT_EQ(SaveSettings(folder_.Utf8(), loaded.settings, loaded.window, true), std::nullopt);
  EXPECT_EQ(Saved().Get("Keyloom", "UPDATEINI"), "0");
  EXPECT_EQ(Saved().Get("Keyloom", "FIND"), "after");

  const std::string file_after_options_save = ReadBytes(IniPath());
  loaded.window.find = "lost at exit";
  loaded.window.col[0] = 99;
  EXPECT_EQ(SaveSettings(folder_.Utf8(), loaded.settings, loaded.window, false), std::nullopt);
  EXPECT_EQ(ReadBytes(IniPath()), file_after_options_save);
}

TEST_F(SettingsFile, UndoDirGetsItsSeparatorOnceAndIsCreated) {
  const std::string with = folder_.Utf8() + "with" + kPathSeparator;
  auto loaded = LoadWith("UNDODIR=" + with + "\r\n");
  EXPECT_EQ(loaded.settings.undodir, with);
  EXPECT_TRUE(std::filesystem::is_directory(folder_.path() / "with"));
  ASSERT_EQ(SaveSettings(folder_.Utf8(), loaded.settings, loaded.window, false), std::nullopt);
  EXPECT_EQ(Saved().Get("Keyloom", "UNDODIR"), with);

  const std::string without = folder_.Utf8() + "without";
  loaded = LoadWith("UNDODIR=" + without + "\r\n");
  EXPECT_EQ(loaded.settings.undodir, without + kPathSeparator);
  EXPECT_TRUE(loaded.status_lines.empty());
  ASSERT_EQ(SaveSettings(folder_.Utf8(), loaded.settings, loaded.window, false), std::nullopt);
  EXPECT_EQ(Saved().Get("Keyloom", "UNDODIR"), without + kPathSeparator);
}

TEST_F(SettingsFile, UndoDirWithAMissingParentIsReportedAndKept) {
  const std::string deep = folder_.Utf8() + "missing" + kPathSeparator + "undo";
  const auto loaded = LoadWith("UNDODIR=" + deep + "\r\n");
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "missing"));
  EXPECT_EQ(loaded.status_lines,
            std::vector<std::string>{"Unable to Create Undo Directory : " + deep});
  EXPECT_EQ(loaded.settings.undodir, deep + kPathSeparator);
}

TEST_F(SettingsFile, AnEmptyUndoDirTakesTheDefaultFolder) {
  EXPECT_EQ(LoadWith("UNDODIR=\r\n").settings.undodir, DefaultUndoDir());
}

TEST_F(SettingsFile, WhatTheProgramDoesNotWriteIsKept) {
  auto loaded = LoadWith("SIMULATE=1\r\nFUTURE=keep me\r\nFIND=old\r\n\r\n[Other]\r\nX=1\r\n");
  EXPECT_TRUE(loaded.settings.simulate);
  loaded.settings.simulate = false;  // not written, whatever memory holds
  loaded.window.find = "new";
  ASSERT_EQ(SaveSettings(folder_.Utf8(), loaded.settings, loaded.window, false), std::nullopt);
  const IniFile saved = Saved();
  EXPECT_EQ(saved.Get("Keyloom", "SIMULATE"), "1");
  EXPECT_EQ(saved.Get("Keyloom", "FUTURE"), "keep me");
  EXPECT_EQ(saved.Get("Keyloom", "FIND"), "new");
  EXPECT_EQ(saved.Get("Other", "X"), "1");
  EXPECT_TRUE(LoadSettings(folder_.Utf8()).settings.simulate);
}

TEST_F(SettingsFile, BinaryAndHugeFilesGiveDefaults) {
  std::string binary;
  for (int i = 0; i < 4096; ++i) binary += static_cast<char>((i * 37) % 256);
  WriteIni(binary);
  LoadedSettings loaded = LoadSettings(folder_.Utf8());
  EXPECT_EQ(loaded.window, WindowSettings{});
  EXPECT_TRUE(loaded.settings.updateini);

  // 10 MB of one endless line, then a real section: the section still counts.
  WriteIni(std::string(10 * 1024 * 1024, 'x') + "\r\n[Keyloom]\r\nSEARCHKEY=2\r\n");
  loaded = LoadSettings(folder_.Utf8());
  EXPECT_EQ(loaded.window.searchkey, 2);
  EXPECT_EQ(loaded.window.find, "");
}

TEST_F(SettingsFile, LongTextsAreReadUpTo2047Characters) {
  std::string find;
  for (int i = 0; i < 3000; ++i) find += "\xC3\xA9";  // two bytes per character
  const auto loaded = LoadWith("FIND=" + find + "\r\n");
  EXPECT_EQ(loaded.window.find, find.substr(0, 2 * 2047));
}

TEST_F(SettingsFile, AnAnsiFileFromEarlierVersionsIsReadAsWindows1252) {
  const auto loaded = LoadWith("FIND=Caf\xE9 \x80\r\nREPLACE=na\xEFve\r\n");
  EXPECT_EQ(loaded.window.find, "Caf\xC3\xA9 \xE2\x82\xAC");
  EXPECT_EQ(loaded.window.replace, "na\xC3\xAFve");
  ASSERT_EQ(SaveSettings(folder_.Utf8(), loaded.settings, loaded.window, false), std::nullopt);
  EXPECT_NE(ReadBytes(IniPath()).find("FIND=Caf\xC3\xA9 \xE2\x82\xAC\r\n"), std::string::npos);
}

TEST_F(SettingsFile, AFolderWithNonAsciiCharactersWorks) {
  const std::filesystem::path sub = base::PathFromUtf8(folder_.Utf8() +
                                                       "Pr\xC3\xBC"
                                                       "fung \xE2\x9C\x93");
  std::filesystem::create_directory(sub);
  const std::string program_folder = base::PathToUtf8(sub) + kPathSeparator;
  WindowSettings w;
  w.find = "\xC3\xBC";
  Settings s;
  s.undodir = program_folder + "UNDO" + kPathSeparator;
  ASSERT_EQ(SaveSettings(program_folder, s, w, true), std::nullopt);
  EXPECT_TRUE(std::filesystem::exists(sub / "KEYLOOM.INI"));
  const auto loaded = LoadSettings(program_folder);
  EXPECT_EQ(loaded.window.find, "\xC3\xBC");
  EXPECT_TRUE(std::filesystem::is_directory(sub / "UNDO"));
}

TEST_F(SettingsFile, AFolderThatCannotBeWrittenGivesTheMessage) {
  // A regular file where the program folder should be: nothing can be created inside it.
  WriteBytes(folder_.path() / "not a folder", "x");
  const std::string program_folder = folder_.Utf8() + "not a folder" + kPathSeparator;
  const auto error = SaveSettings(program_folder, Settings{}, WindowSettings{}, true);
  EXPECT_EQ(error,
            "Error Saving Keyloom INI file [Unable to write to " + program_folder + "KEYLOOM.INI]");
}

TEST_F(SettingsFile, AFolderInTheFilesPlaceIsNotReplaced) {
  std::filesystem::create_directory(IniPath());
  WriteBytes(IniPath() / "inside", "keep");
  const auto error = SaveSettings(folder_.Utf8(), Settings{}, WindowSettings{}, true);
  EXPECT_EQ(error,
            "Error Saving Keyloom INI file [Unable to write to " + folder_.Utf8() + "KEYLOOM.INI]");
  EXPECT_EQ(ReadBytes(IniPath() / "inside"), "keep");
  EXPECT_FALSE(std::filesystem::exists(base::TempPathFor(IniPath())));
}

TEST_F(SettingsFile, ACrashInTheMiddleOfASaveLeavesTheFormerFile) {
  WriteIni("[Keyloom]\r\nFIND=former\r\nCOL_0=200\r\n");
  const std::string before = ReadBytes(IniPath());
  const auto crash_half_way = [](const std::filesystem::path& temp, std::string_view bytes) {
    WriteBytes(temp, bytes.substr(0, bytes.size() / 2));
    return false;
  };
  WindowSettings w;
  w.find = "never saved";
  const auto error = SaveSettings(folder_.Utf8(), Settings{}, w, true, crash_half_way);
  EXPECT_TRUE(error.has_value());
  EXPECT_EQ(ReadBytes(IniPath()), before);
  EXPECT_EQ(LoadSettings(folder_.Utf8()).window.col[0], 200);

  // A temporary file left by a real crash neither disturbs loading nor blocks the next save.
  WriteBytes(base::TempPathFor(IniPath()), "[Keyloom]\r\nFIND=half");
  EXPECT_EQ(LoadSettings(folder_.Utf8()).window.find, "former");
  ASSERT_EQ(SaveSettings(folder_.Utf8(), Settings{}, w, true), std::nullopt);
  EXPECT_EQ(LoadSettings(folder_.Utf8()).window.find, "never saved");
}

TEST(SettingsStore, ReadersNeverSeeAHalfChangedRecord) {
  Settings a;
  Settings b;
  b.autostart = b.enabledel = b.fixperms = true;
  b.undodir = std::string(200, 'u');
  b.logging = 2;
  b.undo = 0;
  SettingsStore store(a);
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < 20000; ++i) store.Replace(i % 2 ? a : b);
    for (int i = 0; i < 20000; ++i) {
      store.Update([&](Settings& s) { s = (i % 2) ? a : b; });
    }
    done = true;
  });
  int torn = 0;
  while (!done) {
    const Settings seen = store.Snapshot();
    if (!(seen == a) && !(seen == b)) ++torn;
  }
  writer.join();
  EXPECT_EQ(torn, 0);
  EXPECT_EQ(store.LoggingLevel(), a.logging);
}

TEST(RunUndo, TheUndoBoxIsTheEditAndDeleteBits) {
  const struct {
    int undo;
    RunUndoState state;
    int set, cleared;
  } cases[] = {
      {0, RunUndoState::kNone, 3, 0},    {1, RunUndoState::kPartial, 3, 0},
      {2, RunUndoState::kPartial, 3, 0}, {3, RunUndoState::kAll, 3, 0},
      {4, RunUndoState::kNone, 7, 4},    {7, RunUndoState::kAll, 7, 4},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(RunUndoStateOf(c.undo), c.state) << c.undo;
    EXPECT_EQ(WithRunUndo(c.undo, true), c.set) << c.undo;
    EXPECT_EQ(WithRunUndo(c.undo, false), c.cleared) << c.undo;
  }
}

TEST_F(SettingsFile, RegUndoMirrorsTheRunBitsOfUndoAndIsNotRead) {
  const struct {
    const char* stored;
    int undo;
    const char* saved;
  } cases[] = {{"UNDO=7\r\nREGUNDO=0\r\n", 7, "1"},
               {"UNDO=4\r\nREGUNDO=1\r\n", 4, "0"},
               {"UNDO=1\r\nREGUNDO=1\r\n", 1, "0"},
               {"UNDO=3\r\n", 3, "1"}};
  for (const auto& c : cases) {
    const LoadedSettings loaded = LoadWith(c.stored);
    EXPECT_EQ(loaded.settings.undo, c.undo) << c.stored;
    ASSERT_EQ(SaveSettings(folder_.Utf8(), loaded.settings, loaded.window, true), std::nullopt);
    EXPECT_EQ(Saved().Get("Keyloom", "REGUNDO"), c.saved) << c.stored;
  }
}

}  // namespace
}  // namespace keyloom::shell
