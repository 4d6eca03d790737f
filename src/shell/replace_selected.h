// "Replace Selected": the selected Key List rows' items replaced as a run replaces them, the rest
// of the list left alone. The rows name the items (root, key path, value name, and where the text
// was found); the run itself is the engine's, restricted to them (ItemFilter), and its outcome
// for each item is written back on the item's row.
#pragma once

#include <cstddef>
#include <vector>

#include "engine/item_filter.h"
#include "shell/key_list_rows.h"

namespace keyloom::shell {

// The items of rows `indices`, in their order; rows that are not result rows are passed over.
std::vector<engine::OnlyItem> ItemsOfRows(const KeyListRows& rows,
                                          const std::vector<std::size_t>& indices);

// Writes what the run did to each item it came upon on the item's row (`indices` as given to
// ItemsOfRows, whose result rows follow the filter's items in order). Rows of items the run passed
// over keep what they showed.
void ApplyOutcomes(KeyListRows& rows, const std::vector<std::size_t>& indices,
                   const engine::ItemFilter& filter);

}  // namespace keyloom::shell
