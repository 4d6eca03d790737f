#include "shell/replace_selected.h"

#include "engine/key_list_entry.h"
#include "registry/registry.h"

namespace keyloom::shell {
namespace {

// The row's item, when it is a result row of a root the registry knows.
std::optional<engine::OnlyItem> ItemOfRow(const KeyListRows& rows, std::size_t index) {
  const auto entry = engine::ParseKeyListEntry(rows[index]);
  const reg::RootKey* root = entry ? reg::RootByName(entry->root) : nullptr;
  if (root == nullptr) return std::nullopt;
  engine::OnlyItem item{root->index, entry->path, entry->value_name, std::nullopt};
  const RowDetails details = rows.Details(index);
  if (details.present && !entry->value_name.empty()) item.found_in = details.found_in;
  return item;
}

}  // namespace

std::vector<engine::OnlyItem> ItemsOfRows(const KeyListRows& rows,
                                          const std::vector<std::size_t>& indices) {
  std::vector<engine::OnlyItem> items;
  for (const std::size_t index : indices) {
    if (index >= rows.size()) continue;
    if (auto item = ItemOfRow(rows, index)) items.push_back(std::move(*item));
  }
  return items;
}

void ApplyOutcomes(KeyListRows& rows, const std::vector<std::size_t>& indices,
                   const engine::ItemFilter& filter) {
  std::size_t next = 0;  // the filter's item of the next result row
  for (const std::size_t index : indices) {
    if (index >= rows.size() || !ItemOfRow(rows, index)) continue;
    if (next >= filter.outcomes().size()) return;
    const engine::ItemOutcome& outcome = filter.outcomes()[next++];
    if (outcome.reached) rows.Replace(index, outcome.row, outcome.details);
  }
}

}  // namespace keyloom::shell
