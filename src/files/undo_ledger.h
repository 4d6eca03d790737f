// What the current undo file already says about registry items, so that it only ever records an
// item's first before-state.
//
// An undo file is merged top to bottom. Each record sets items to the state they had before a
// change: a value line sets a value, "name"=- and [-key] remove a value or a key tree, a key tree
// record adds the values and subkeys the key had (it removes nothing). When one file holds several
// changes of the same item (a value whose data and name were both replaced, a value changed inside
// a key the run renamed a moment before, a key renamed twice), only the first record of the item
// brings back the state from before the file; a later one would bring back an intermediate state,
// or recreate an item the file removes on purpose. So the writer asks the ledger before it writes:
//
// - an item whose state the file already fixes is not written again;
// - the removal of an item the file brings back as present is not written (a value line restores
//   the value's data whatever it holds by then); for a key, whose tree record only adds, the
//   removal is written and followed by the key's recorded contents again, so the key ends exactly
//   as recorded;
// - an item that was absent when a tree record around it was taken is absent before the file; a
//   tree record cannot remove it, so its removal is still written when it is asked for.
//
// Items are named by machine, root and path, letter case ignored as the registry ignores it.
#pragma once

#include <map>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace keyloom::files {

// The ledger's name of a key: machine, root and path (leading and trailing "\" ignored), letter
// case folded.
std::string LedgerKeyId(std::string_view machine, std::string_view root_name,
                        std::string_view key_path);

class UndoLedger {
 public:
  enum class State {
    kUnknown,           // the file says nothing about the item
    kPresent,           // the file brings the item back as it was
    kAbsent,            // the file removes the item
    kAbsentUnenforced,  // the item was absent before the file, yet nothing in it removes the item
  };

  // Forgets everything: a new file starts.
  void Reset(std::string file);
  const std::string& file() const { return file_; }

  State KeyState(const std::string& key_id) const;
  State ValueState(const std::string& key_id, std::string_view value_name) const;

  // A value line (or a value's removal, when `line` is empty) was written below `bracket_line`.
  void AddValue(const std::string& key_id, std::string_view value_name, std::string bracket_line,
                std::string line);
  // A key's removal was written.
  void AddRemoval(const std::string& key_id);

  // A key tree record: BeginTree, then one AddSection per key written, in file order, and Exclude
  // for each subkey left out (its state stays unknown).
  void BeginTree(const std::string& key_id);
  void AddSection(const std::string& key_id, std::string bracket_line,
                  std::vector<std::pair<std::string, std::string>> values);
  void Exclude(const std::string& key_id);

  // The lines that bring back every item at or below the key that the file recorded as present
  // (each group an empty line, a bracket line and value lines).
  std::vector<std::string> RecordedLinesUnder(const std::string& key_id) const;

 private:
  struct Section {
    std::string bracket_line;
    std::vector<std::string> lines;
    std::set<std::string> value_names;  // folded
  };
  struct Tree {
    std::string root_id;
    std::set<std::string> excluded;
  };
  struct ValueEntry {
    bool present = false;
    std::string bracket_line;
    std::string line;
  };

  bool Excluded(const Tree& tree, const std::string& key_id) const;

  std::string file_;
  std::map<std::string, Section> sections_;
  std::vector<Tree> trees_;
  std::unordered_map<std::string, std::vector<std::size_t>> trees_by_root_;
  std::set<std::string> removals_;
  std::map<std::pair<std::string, std::string>, ValueEntry> values_;
};

}  // namespace keyloom::files
