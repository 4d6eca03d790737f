// The state a run left: when a run ends, the present state of every item its undo files name is
// written beside them, so that taking the run back later can tell exactly which items were
// changed since by anything else (the present state differs from the one the run left), whatever
// their kind.
//
// The file (UTF-16LE) is a line "Keyloom run state (not to be merged)" followed by a registry
// editor file with the undo files' header, and is named after the run's first undo file in its
// folder: "RUNSTATE-yyyymmdd-NNN.TXT" for UNDO-yyyymmdd-NNN.REG. It takes no undo number and is
// never listed as an undo file; and since a registry editor refuses a file that does not begin
// with its signature, it is never merged, not with the folder's other files either: merged, it
// would bring back what the run made. The run journal names it in a block of its
// own that continues the run ("State=", see run_journal.h). For every item, in the order the undo
// files first name it:
//   a value the files set or remove:     [key] and the value's line, or "name"=- when it is gone
//   a key the files name without values: [key]
//   a key tree the files remove:         the key's whole tree, as the undo writer records trees
// and a key that is gone as [-key]. A run killed before its end leaves no such file.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "files/reg_file_import.h"
#include "files/registry_snapshot.h"

namespace keyloom::files {

// One item the undo files of a run name.
struct RunItem {
  enum class Kind { kValue, kKey, kTree };
  Kind kind = Kind::kValue;
  const reg::RootKey* root = nullptr;
  std::string path;        // below the root, without a leading "\"
  std::string value_name;  // kValue only

  // As the take-back dialog lists it: "HKEY_CURRENT_USER\Software\X \"v\"" (the unnamed value
  // as "(Default)"), "HKEY_CURRENT_USER\Software\X", "HKEY_CURRENT_USER\Software\X (tree)".
  std::string Line() const;
  // The item's name for comparisons, letter case folded: the key, then for a value "\x01" and
  // its name, for a tree "\x02".
  std::string Id() const;
};

// The items the records of a run's undo files name (`files`, in any order), each once, letter
// case ignored, in the order first named.
std::vector<RunItem> RunItemsOf(const std::vector<const std::vector<RegRecord>*>& files);

// "RUNSTATE-..." beside `first_undo_file`.
std::string RunStatePath(const std::string& first_undo_file);

// The present state of `items` on `target` as the lines of a state file (without its header).
// "" or why it cannot be read (the machine cannot be reached).
std::string RunStateLines(const RegistryReader& reader, const reg::Target& target,
                          const std::vector<RunItem>& items, std::vector<std::string>* lines);

// Writes the state file of `undo_files` (one run's, in one folder) to `state_file`, replacing it
// only once it is complete. "" or why not.
std::string WriteRunState(const RegistryReader& reader, const reg::Target& target,
                          const std::vector<std::string>& undo_files,
                          const std::string& state_file);

// What a comparison of the registry with a state file found.
struct RunStateChanges {
  std::vector<std::string> changed;  // the items whose present state differs, as RunItem::Line
  // Why the comparison cannot tell (the file cannot be read, is damaged or names not every
  // item); "" when it could.
  std::string unknown;
};

// Compares the present state of `items` with the state files of their run (one per folder).
RunStateChanges CompareRunState(const RegistryReader& reader, const reg::Target& target,
                                const std::vector<RunItem>& items,
                                const std::vector<std::string>& state_files);

}  // namespace keyloom::files
