// The settings file KEYLOOM.INI in the program's folder, section "Keyloom".
//
// Settings holds the user's preferences; WindowSettings the last search request and the Key List's
// column widths, which live in the main window's controls while the program runs. Every member is
// named after its INI key in lower case (AUTOSTART -> autostart).
//
// LoadSettings reads the file once at start-up; reading never fails: whatever the file lacks (the
// whole file, a key, a number that does not parse or is out of range) takes its default.
// SaveSettings writes the keys in their fixed order, keeping everything else the file holds (other
// keys such as SIMULATE, which is read but never written, comments and other sections), and
// replaces the file as one step so that a failed save leaves the former file intact.
//
// The run's worker reads the settings while the Options dialog may change them: SettingsStore hands
// out whole copies under a lock, so no reader ever sees a half-changed record.
#pragma once

#include <array>
#include <mutex>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "base/file_io.h"
#include "engine/match_rules.h"
#include "files/change_settings.h"
#include "shell/ini_file.h"
#include "shell/window_place.h"

namespace keyloom::shell {

inline constexpr std::string_view kIniFileName = "KEYLOOM.INI";
inline constexpr std::string_view kIniSection = "Keyloom";

using files::kUndoDeletes;
using files::kUndoEdits;
using files::kUndoRenames;

// Whether runs record their changes: the UNDO bits for edits and deletes, which runs use. The main
// window's "Create Registry Undo File" box shows it (greyed when only one of the two is set) and
// REGUNDO mirrors it in the file ("1" for all, else "0"); UNDO alone decides.
enum class RunUndoState { kNone, kAll, kPartial };
inline constexpr int kRunUndoBits = kUndoEdits | kUndoDeletes;

constexpr RunUndoState RunUndoStateOf(int undo) {
  const int bits = undo & kRunUndoBits;
  if (bits == 0) return RunUndoState::kNone;
  return bits == kRunUndoBits ? RunUndoState::kAll : RunUndoState::kPartial;
}

// UNDO after the box is checked (`on`) or cleared: both run bits change, the renames bit stays.
constexpr int WithRunUndo(int undo, bool on) {
  return on ? (undo | kRunUndoBits) : (undo & ~kRunUndoBits);
}

struct Settings {
  bool autostart = false;   // AUTOSTART: start a replace run by itself at start-up
  bool autoclose = false;   // AUTOCLOSE: quit when a run ends
  bool autohide = false;    // AUTOHIDE: with AUTOSTART and AUTOCLOSE, the silent unattended mode
  bool updateini = true;    // UPDATEINI: save the settings when the program exits
  bool enabledel = false;   // ENABLEDEL: search and delete instead of search and replace
  bool wholenum = true;     // WHOLENUM: numbers match only as whole numbers
  bool showpermerr = true;  // SHOWPERMERR: kept and shown in Options
  // WARN, first flag: the key-name warning is not shown.
  bool suppress_key_name_warning = false;
  bool warn_second_flag = false;  // WARN, second flag: kept and written back, nothing reads it
  std::string undodir;            // UNDODIR: folder of the undo files, ending in a path separator
  int undo = kUndoEdits | kUndoDeletes | kUndoRenames;  // UNDO: bit mask, see kUndo*
  bool smundo = true;                                   // SMUNDO: kept and shown in Options
  bool saundo = true;     // SAUNDO: a separate undo file for each automatic change
  int logging = 0;        // LOGGING: 0 Default, 1 Informational, 2 Debug
  int defaultundo = 0;    // DEFAULTUNDO: 0 REG undo files, 1 INF undo files
  int scanmethod = 0;     // SCANMETHOD: registry view on 64-bit Windows, 0 32-bit, 1 64-bit;
                          // also the item index of the main window's cmbScanMethod
  bool simulate = false;  // SIMULATE: change nothing; read, never written
  bool fixperms = false;  // FIXPERMS: repair the security of keys that refuse access

  bool operator==(const Settings&) const = default;
};

// The state of the main window's controls that the file keeps.
struct WindowSettings {
  std::string find;          // FIND: edtFind
  std::string replace;       // REPLACE: edtReplace
  int searchkey = 0;         // SEARCHKEY: cmbKeys item, 0 "All", 1..5 a root by root index
  bool usecase = false;      // USECASE: chkCase
  bool searchkeys = false;   // SEARCHKEYS: chkNames, include value names
  bool searchvalues = true;  // SEARCHVALUES: chkValues, include value contents
  bool searchtree = false;   // SEARCHTREE: chkTree, include key names
  std::array<int, 3> col = {140, 320, 150};  // COL_0, COL_1, COL_2: Key List column widths
  int searchtype = 0;                        // SEARCHTYPE: cmbType item, 0 "All" .. 8 "REG_QWORD"
  // COL_3 .. COL_7: widths of the hit columns "Type", "Data", "Found in", "Modified" and "Result".
  std::array<int, 5> detail_col = {110, 260, 80, 130, 60};
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

// The process-wide settings record, shared by the GUI thread and the run's worker.
class SettingsStore {
 public:
  SettingsStore() = default;
  explicit SettingsStore(Settings initial) : settings_(std::move(initial)) {}

  SettingsStore(const SettingsStore&) = delete;
  SettingsStore& operator=(const SettingsStore&) = delete;

  // A copy of the whole record as it is now.
  Settings Snapshot() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return settings_;
  }

  // Changes the record under the lock: fn(Settings&). Readers see all of the change or none of it.
  template <typename Fn>
  void Update(Fn&& fn) {
    std::lock_guard<std::mutex> lock(mutex_);
    std::forward<Fn>(fn)(settings_);
  }

  void Replace(Settings settings) {
    std::lock_guard<std::mutex> lock(mutex_);
    settings_ = std::move(settings);
  }

  // fn(const Settings&) under the lock, for readers that want a few fields rather than a copy of
  // the whole record (the walk asks at every key, the status log at every line).
  template <typename Fn>
  auto Read(Fn&& fn) const {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::forward<Fn>(fn)(std::as_const(settings_));
  }

  int LoggingLevel() const {
    return Read([](const Settings& s) { return s.logging; });
  }

 private:
  mutable std::mutex mutex_;
  Settings settings_;
};

}  // namespace keyloom::shell
