// Deleting the registry items of selected Key List rows: one confirmation for the whole selection,
// then every row in list order through its own TRegAction. A value row deletes that value, a key
// row the key with its whole subtree, a row of a key's unnamed value only that value. A row that
// fails is logged and the others are still deleted; nothing is logged for a row that succeeds.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "change/change_report.h"
#include "engine/run_context.h"

namespace keyloom::shell {

// What the delete flow needs of the window.
class DeleteRowsUi {
 public:
  virtual ~DeleteRowsUi() = default;
  // A question with the buttons Yes and No: true for Yes.
  virtual bool Confirm(const std::string& question) = 0;
  // One status log line.
  virtual void Log(const std::string& line) = 0;
};

// What the delete did to one row's item: kDeleted, kSimulated, kFailed with why, or kNone (not a
// result row).
struct RowDeletion {
  change::ChangeResult result = change::ChangeResult::kNone;
  std::string reason;
};

// Asks, then deletes the items of `rows` (the selected rows' texts in list order) with the
// context's settings as they are after the answer: undo records when UNDO holds the delete bit,
// SIMULATE, the search's machine and view. Rows that are not result rows are passed over. Returns
// what was done to each row, in their order; nothing when the user said No.
std::vector<RowDeletion> DeleteRows(const std::vector<std::string_view>& rows,
                                    const engine::RunContext& context, DeleteRowsUi& ui);

}  // namespace keyloom::shell
