// What the user's changes did to the Key List's rows: an edit or a rename rewrites its row for the
// item as it is now (read again, as the row was made), a delete marks its rows, and a failure says
// why. The rows stay where they are.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "edit/change_key.h"
#include "registry/reg_api.h"
#include "registry/registry.h"
#include "shell/delete_rows.h"
#include "shell/key_list_rows.h"

namespace keyloom::shell {

// Rewrites row `index`, whose text is `row`, for `outcome`: a change made for real shows the item
// read again through `api` on `target`, the search's machine and view (a rename with its new name
// and path); a simulated or failed one keeps the row and says so. Nothing for kNone.
void ApplyChange(KeyListRows& rows, std::size_t index, const std::string& row,
                 const edit::RowOutcome& outcome, reg::RegApi& api, const reg::Target& target);

// Marks rows `indices[i]` with `done[i]`; a deleted row keeps its last data.
void ApplyDeletions(KeyListRows& rows, const std::vector<std::size_t>& indices,
                    const std::vector<RowDeletion>& done);

// Whether the item of row `index` was deleted (by a run or by the user).
bool RowDeleted(const KeyListRows& rows, std::size_t index);

// The line for a deleted row that the user asks to edit: "This item was deleted, there is
// nothing to edit [HKEY_CURRENT_USER\Software\X\name]".
std::string DeletedItemLine(const std::string& row);

}  // namespace keyloom::shell
