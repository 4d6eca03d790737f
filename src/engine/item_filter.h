// The items a run is restricted to: the rows the user selected in the Key List ("Replace
// Selected"), or the items a hit list names (the command line's /only). Such a run walks only the
// keys on the way to its items and changes only their hits, through the walk's own matching and
// replacement: what it writes is what a whole run would write for them.
//
// Items are told apart as the registry tells names apart (letter case ignored). A key-name item
// names the key itself (its value name is empty); a value item names one value of a key, hit by
// its data or by its name (`found_in`), or by either when its row does not say.
//
// A key the run renames moves the items below it: the follow-up pass under the new name finds
// them by their new paths (Renamed).
#pragma once

#include <map>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/hit_details.h"
#include "registry/mounted_hives.h"

namespace keyloom::engine {

struct OnlyItem {
  int root_index = 0;      // 1 to 5
  std::string path;        // below the root, beginning with "\" as Key List rows spell it
  std::string value_name;  // as rows show it ("(Default)" for the unnamed value); "" for the key
  std::optional<FoundIn> found_in;  // which hit of the item; none: any
  // An empty value name names the key's unnamed value as well (a hit list's line that does not
  // tell the two apart).
  bool or_unnamed_value = false;
  bool operator==(const OnlyItem&) const = default;
};

// What the run did about one item: whether it came upon the item as a hit, and the item's row
// and details as the walk made them (its new name after a rename).
struct ItemOutcome {
  bool reached = false;
  std::string row;
  HitDetails details;
};

class ItemFilter {
 public:
  // `lists_rows`: the run shows its hits in the Key List as usual (the command line); otherwise it
  // leaves the list as it is and keeps each item's outcome instead (the rows are there already).
  ItemFilter(std::vector<OnlyItem> items, bool lists_rows);

  // Whether the walk must enter the key at `path`: an item is the key or lies below it.
  bool Enters(int root_index, std::string_view path) const;
  // The index of the key-name item naming the key at `path`, or -1.
  int KeyItem(int root_index, std::string_view path) const;
  // The index of the item naming value `shown_name` (as rows show it) of the key at `path`, hit by
  // `found_in`, or -1.
  int ValueItem(int root_index, std::string_view path, std::string_view shown_name,
                FoundIn found_in) const;
  // The key at `old_path` now lives at `new_path`.
  void Renamed(int root_index, std::string_view old_path, std::string_view new_path);
  // The walk came upon item `index` as a hit; `row` and `details` are what it made of it.
  void Reach(int index, std::string row, const HitDetails& details);

  // The roots of the items, ascending.
  std::vector<int> Roots() const;
  bool lists_rows() const { return lists_rows_; }
  // The users' hives the items lie in, which the run that listed them loaded and unloaded: the
  // run loads them again.
  void SetHives(std::vector<reg::HiveMount> hives) { hives_ = std::move(hives); }
  const std::vector<reg::HiveMount>& hives() const { return hives_; }
  const std::vector<OnlyItem>& items() const { return items_; }
  const std::vector<ItemOutcome>& outcomes() const { return outcomes_; }

 private:
  // The key `path` under the name it had when the items were named, folded.
  std::string Original(int root_index, std::string_view path) const;

  std::vector<OnlyItem> items_;
  std::vector<ItemOutcome> outcomes_;
  std::vector<reg::HiveMount> hives_;
  bool lists_rows_;
  std::multimap<std::string, int> by_name_;  // folded root, path and value name -> item
  std::set<std::string> entered_;            // folded root and path of every key on the way
  struct Move {
    int root_index;
    std::string from;  // folded
    std::string to;    // folded
  };
  std::vector<Move> moves_;  // newest last
};

// The line that says why the run passed over an item it was told to change: "Skipped, the key is
// gone [...]", "Skipped, the value is gone [...]" or "Skipped, it no longer holds the find text
// [...]", from whether the key and the value are there now.
std::string SkippedLine(const OnlyItem& item, bool key_there, bool value_there);

}  // namespace keyloom::engine
