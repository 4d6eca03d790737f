// The two small interfaces between the engine and the main window. The window implements both;
// tests fake them. The engine calls them from the run's worker thread: an implementation must be
// thread-safe, and RunOutput must deliver what it is given to the window in call order.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "engine/hit_details.h"
#include "engine/match_rules.h"
#include "registry/mounted_hives.h"

namespace keyloom::engine {

// One place a run starts at: a root (index 1 to 5) and a key below it, beginning with "\" ("\"
// alone: the whole root).
struct StartPoint {
  int root_index = 0;
  std::string path = "\\";
  bool operator==(const StartPoint&) const = default;
};

// The cmbKeys item after "All" and the five roots: every user's profile below HKEY_USERS, the
// hives of users not signed in loaded for the run (user_profiles.h).
inline constexpr int kProfilesChoice = 6;

// The options the engine reads from the window's controls while it works. A check box changed
// during a run (typically while paused) affects the rest of the run.
class RunControls {
 public:
  virtual ~RunControls() = default;
  virtual std::string FindText() = 0;     // edtFind exactly as typed
  virtual std::string ReplaceText() = 0;  // edtReplace exactly as typed
  virtual int RootChoice() = 0;  // cmbKeys item index: 0 "All", 1 to 5 one root, kProfilesChoice
  virtual int TypeFilter() = 0;  // cmbType item index, 0 to 8
  virtual bool IncludeKeyNames() = 0;       // chkTree
  virtual bool IncludeValueContents() = 0;  // chkValues
  virtual bool IncludeValueNames() = 0;     // chkNames
  virtual bool CaseSensitive() = 0;         // chkCase
  virtual bool DeleteMode() = 0;            // the Replace button's caption is "&Delete"
  virtual bool WindowVisible() = 0;         // the main window is shown
  // Where the main pass starts, in order; empty (the window) lets RootChoice choose whole roots.
  virtual std::vector<StartPoint> StartPoints() { return {}; }
  // With kProfilesChoice: the Default profile, which new users are made from, too.
  virtual bool IncludeDefaultProfile() { return false; }
  // How the find text is read and which keys and values are considered; read once a run.
  virtual MatchRules Rules() { return {}; }
};

// Everything a run shows. Texts are taken by value: a caller hands over a temporary without a
// copy (a run may show a million rows).
class RunOutput {
 public:
  virtual ~RunOutput() = default;
  // A status log line (TABs already shown as backslashes): appended to the status list, which keeps
  // at most 80 lines, and shown in the status bar.
  virtual void AddStatusLine(std::string line) = 0;
  // Status bar text alone (the walk's progress).
  virtual void SetStatusBarText(const std::string& text) = 0;
  // One Key List row: root name TAB path TAB value name.
  virtual void AddKeyListEntry(std::string row) = 0;
  // A row of a hit with what the list shows of it besides the row. Outputs that show only rows
  // take the row alone.
  virtual void AddKeyListHit(std::string row, const HitDetails& details) {
    (void)details;
    AddKeyListEntry(std::move(row));
  }
  // A change the run made (`made`) or tried and was refused, as it is counted: a replace or delete
  // run's progress shows both.
  virtual void CountChange(bool made) { (void)made; }
  // The users' hives the run loaded for its rows (a run over every user's profile), told before
  // they are unloaded: whatever reads the rows' items later must load them again.
  virtual void HivesLoaded(std::vector<reg::HiveMount> hives) { (void)hives; }
  // Empties the status list and the Key List (the start of a main pass).
  virtual void ClearLists() = 0;
  // The run's worker reached its end: buttons back to idle.
  virtual void RunFinished() = 0;
  // AUTOCLOSE: the application should quit.
  virtual void RequestQuit() = 0;
};

}  // namespace keyloom::engine
