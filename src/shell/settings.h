// The settings file KEYLOOM.INI in the program's folder, section "Keyloom".
//
// Settings (config/settings.h) holds the user's preferences; WindowSettings the last search request
// and the Key List's column widths, which live in the main window's controls while the program
// runs. Every member is named after its INI key in lower case (AUTOSTART -> autostart).
//
// LoadSettings reads the file once at start-up; reading never fails: whatever the file lacks (the
// whole file, a key, a number that does not parse or is out of range) takes its default.
// SaveSettings writes the keys in their fixed order, keeping everything else the file holds (other
// keys such as SIMULATE, which is read but never written, comments and other sections), and
// replaces the file as one step so that a failed save leaves the former file intact.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/file_io.h"
#include "config/settings.h"
#include "engine/match_rules.h"
#include "shell/ini_file.h"
#include "shell/window_place.h"

namespace keyloom::shell {

inline constexpr std::string_view kIniFileName = "KEYLOOM.INI";
inline constexpr std::string_view kIniSection = "Keyloom";

using config::kRunUndoBits;
using config::kUndoDeletes;
using config::kUndoEdits;
using config::kUndoRenames;
using config::RunUndoState;
using config::RunUndoStateOf;
using config::Settings;
using config::SettingsStore;
using config::WithRunUndo;

// The state of the main window's controls that the file keeps.
struct WindowSettings {
  std::string find;          // FIND: edtFind
  std::string replace;       // REPLACE: edtReplace
  int searchkey = 0;  // SEARCHKEY: cmbKeys item, 0 "All", 1..5 a root by root index, 6 profiles
  bool usecase = false;      // USECASE: chkCase
  bool searchkeys = false;   // SEARCHKEYS: chkNames, include value names
  bool searchvalues = true;  // SEARCHVALUES: chkValues, include value contents
  bool searchtree = false;   // SEARCHTREE: chkTree, include key names
  std::array<int, 3> col = {140, 320, 150};  // COL_0, COL_1, COL_2: Key List column widths
  int searchtype = 0;                        // SEARCHTYPE: cmbType item, 0 "All" .. 8 "REG_QWORD"
  // COL_3 .. COL_8: widths of the hit columns "Type", "Data", "Found in", "Modified", "Result"
  // and "User".
  std::array<int, 6> detail_col = {110, 260, 80, 130, 60, 90};
  // WIN_LEFT, WIN_TOP, WIN_WIDTH, WIN_HEIGHT, WIN_MAXIMIZED: the main window's place.
  WindowPlace place;
  // The match mode and the filters of the search request.
  engine::MatchRules rules;

  bool operator==(const WindowSettings&) const = default;
};

struct LoadedSettings {
  Settings settings;
  WindowSettings window;
  // Lines for the status log, in order ("Unable to Create Undo Directory : " + folder).
  std::vector<std::string> status_lines;
};

// program_folder (UTF-8) + "KEYLOOM.INI".
std::string IniFilePath(std::string_view program_folder);

// Reads the settings file in `program_folder` (UTF-8, ending in a path separator, or empty for the
// current folder). Creates the undo folder when it does not exist (one level, no parents).
LoadedSettings LoadSettings(std::string_view program_folder);

// The same for the settings file `ini_path` (UTF-8); an empty UNDODIR takes `program_folder` +
// "UNDO".
LoadedSettings LoadSettingsFile(std::string_view ini_path, std::string_view program_folder);

// The undo folder `folder` ready for use: created when missing (one level, no parents; a failure
// adds the line "Unable to Create Undo Directory : " + folder), then ending in a path separator.
std::string PrepareUndoFolder(std::string folder, std::vector<std::string>& status_lines);

// Writes the settings file if `force` is true or UPDATEINI is on. Returns the status log line
// "Error Saving Keyloom INI file [Unable to write to " + file + "]" when the file could not be
// written (the former file is then unchanged); nothing when it was written or not due. `writer`
// replaces the writing of the temporary file (tests simulate failures with it).
std::optional<std::string> SaveSettings(std::string_view program_folder, const Settings& settings,
                                        const WindowSettings& window, bool force,
                                        const base::TempFileWriter& writer = {});

}  // namespace keyloom::shell
