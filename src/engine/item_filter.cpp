#include "engine/item_filter.h"

#include <utility>

#include "base/text.h"
#include "engine/key_list_entry.h"
#include "registry/registry.h"

namespace keyloom::engine {
namespace {

// Paths are kept without a trailing backslash: "\A\B" (the root itself is "").
std::string_view Trimmed(std::string_view path) {
  while (!path.empty() && path.back() == '\\') path.remove_suffix(1);
  return path;
}

std::string KeyId(int root_index, std::string_view folded_path) {
  return text::Cat({std::to_string(root_index), "\x01", folded_path});
}

std::string ItemId(int root_index, std::string_view folded_path, std::string_view value_name) {
  return text::Cat({KeyId(root_index, folded_path), "\x01", text::FoldName(value_name)});
}

}  // namespace

ItemFilter::ItemFilter(std::vector<OnlyItem> items, bool lists_rows)
    : items_(std::move(items)), outcomes_(items_.size()), lists_rows_(lists_rows) {
  for (std::size_t i = 0; i < items_.size(); ++i) {
    const OnlyItem& item = items_[i];
    const std::string path = text::FoldName(Trimmed(item.path));
    by_name_.emplace(ItemId(item.root_index, path, item.value_name), static_cast<int>(i));
    // The key and every key above it.
    for (std::size_t end = path.size(); end != 0 && end != std::string::npos;
         end = path.rfind('\\', end - 1)) {
      entered_.insert(KeyId(item.root_index, std::string_view(path).substr(0, end)));
    }
  }
}

std::string ItemFilter::Original(int root_index, std::string_view path) const {
  std::string folded = text::FoldName(Trimmed(path));
  for (auto move = moves_.rbegin(); move != moves_.rend(); ++move) {
    if (move->root_index != root_index || folded.compare(0, move->to.size(), move->to) != 0) {
      continue;
    }
    if (folded.size() == move->to.size() || folded[move->to.size()] == '\\') {
      return move->from + folded.substr(move->to.size());
    }
  }
  return folded;
}

bool ItemFilter::Enters(int root_index, std::string_view path) const {
  return entered_.count(KeyId(root_index, Original(root_index, path))) != 0;
}

int ItemFilter::KeyItem(int root_index, std::string_view path) const {
  const auto found = by_name_.find(ItemId(root_index, Original(root_index, path), ""));
  return found == by_name_.end() ? -1 : found->second;
}

int ItemFilter::ValueItem(int root_index, std::string_view path, std::string_view shown_name,
                          FoundIn found_in) const {
  if (shown_name.empty()) return -1;  // the rows of key names
  const auto [first, last] =
      by_name_.equal_range(ItemId(root_index, Original(root_index, path), shown_name));
  for (auto it = first; it != last; ++it) {
    const auto& wanted = items_[static_cast<std::size_t>(it->second)].found_in;
    if (!wanted || *wanted == found_in) return it->second;
  }
  if (shown_name != kDefaultValueName) return -1;
  const auto [key_first, key_last] =
      by_name_.equal_range(ItemId(root_index, Original(root_index, path), ""));
  for (auto it = key_first; it != key_last; ++it) {
    if (items_[static_cast<std::size_t>(it->second)].or_unnamed_value) return it->second;
  }
  return -1;
}

void ItemFilter::Renamed(int root_index, std::string_view old_path, std::string_view new_path) {
  moves_.push_back({root_index, Original(root_index, old_path), text::FoldName(Trimmed(new_path))});
}

void ItemFilter::Reach(int index, std::string row, const HitDetails& details) {
  if (index < 0 || static_cast<std::size_t>(index) >= outcomes_.size()) return;
  ItemOutcome& outcome = outcomes_[static_cast<std::size_t>(index)];
  outcome.reached = true;
  outcome.row = std::move(row);
  outcome.details = details;
}

std::vector<int> ItemFilter::Roots() const {
  std::set<int> roots;
  for (const OnlyItem& item : items_) roots.insert(item.root_index);
  return {roots.begin(), roots.end()};
}

std::string SkippedLine(const OnlyItem& item, bool key_there, bool value_there) {
  const reg::RootKey* root = reg::RootByIndex(item.root_index);
  std::string name = text::Cat({root != nullptr ? root->name : "", item.path});
  if (!item.value_name.empty()) name += text::Cat({"\\", item.value_name});
  if (!key_there) return "Skipped, the key is gone [" + name + "]";
  if (!item.value_name.empty() && !value_there) return "Skipped, the value is gone [" + name + "]";
  return "Skipped, it no longer holds the find text [" + name + "]";
}

}  // namespace keyloom::engine
