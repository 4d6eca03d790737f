// Which runs a take-back must include, and which items changed since a run.
//
// Runs of one undo folder change the same registry items one after the other: a value a run
// changed may be changed again by a later run. Taking back the earlier run alone would bring back
// its before-state under the later change and leave a mix of both; so a run is taken back only
// after the later runs (not taken back yet) that changed any of its items, newest first. The
// later runs join in a chain: a run that changed an item of a run that joins, joins too.
//
// An item is a value (its key and name), a key (a record of a key without values) or a key tree
// (a removal of a key, which reaches everything below it). Names are compared as the registry
// compares them, letter case ignored.
#pragma once

#include <cstddef>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "files/reg_file_import.h"
#include "files/run_journal.h"
#include "registry/reg_api.h"

namespace keyloom::edit {

// How a take-back names itself in the journal's Find: "(taking back the run of <date>)".
inline constexpr std::string_view kTakeBackFind = "(taking back the run of ";

// One undo file of a run, read.
struct ParsedRunFile {
  std::string path;
  std::string error;  // the file could not be read, or where it stops
  std::vector<files::RegRecord> records;
};

// One file read and parsed.
ParsedRunFile ParseRunFile(const std::string& path);
// The run's files, newest first.
std::vector<ParsedRunFile> ParseRunFiles(const files::JournalRun& run);

// The items the records of `files` name, as "HKEY_CURRENT_USER\Software\X", "...\X \"v\"" and
// "...\X (tree)" lines, each once.
class RunItems {
 public:
  explicit RunItems(const std::vector<ParsedRunFile>& files);
  // The items of `other` that this run's items name or reach, as lines.
  std::vector<std::string> Shared(const RunItems& other) const;
  std::size_t size() const { return values_.size() + keys_.size() + trees_.size(); }

 private:
  bool Reaches(const std::string& folded_key) const;               // at or below one of the trees
  std::vector<std::string> values_, keys_, trees_;                 // folded ids, sorted
  std::vector<std::string> value_lines_, key_lines_, tree_lines_;  // as shown, same order
};

// The runs (indices into `runs`, which is newest first) that must be taken back before
// runs[chosen]: later, not taken back, no take-back of runs[chosen] itself, and sharing items with
// it or with another run that joins.
// Newest first.
std::vector<std::size_t> LaterRunsToTakeBackFirst(const std::vector<files::JournalRun>& runs,
                                                  std::size_t chosen);

// The items the run changed whose present state differs from the state the run left: changed
// since by something else. A run that left its state (see files/run_state.h) is compared with it,
// item by item, every kind alike. Without it (older runs, a run killed midway, a state file
// deleted or damaged) only values are checked: changed since when their present state is neither
// what the run's undo files bring back nor what its replacement made of that (string kinds only:
// the run's find and replace texts are applied to the recorded data, with and without letter
// case); runs without a replacement to follow (take-backs, single files) are not checked then.
// A state file the journal names that cannot be used sets `unknown` to a line saying so, so that
// nobody takes an empty list for "nothing changed".
// As "HKEY_CURRENT_USER\Software\X \"v\"" lines (a key's, a tree's with " (tree)"). Items in
// `newer` (the ids of items a newer run of the same take-back changed after this one, see
// files::RunItem::Id) are left to that run; this run's are added.
std::vector<std::string> ItemsChangedSince(reg::RegApi& api, const reg::Target& target,
                                           const files::JournalRun& run,
                                           const std::vector<ParsedRunFile>& files,
                                           std::set<std::string>* newer, std::string* unknown);

}  // namespace keyloom::edit
