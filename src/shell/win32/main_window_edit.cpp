// The Key List's edit and rename: "&Edit", "&Rename", a double click on a row and Enter on the
// list hand the first selected row to the edit flow, whose dialogs the window shows.
#include "engine/key_list_entry.h"
#include "shell/row_results.h"
#include "shell/win32/main_window.h"
#include "shell/win32/value_editors.h"

namespace keyloom::shell {

void TfrmMain::mnuEditClick() { procChangeKey(edit::ChangeAction::kEdit); }

void TfrmMain::mnuRenameClick() { procChangeKey(edit::ChangeAction::kRename); }

void TfrmMain::lstKeysDblClick() { procChangeKey(edit::ChangeAction::kEdit); }

void TfrmMain::procChangeKey(edit::ChangeAction action) {
  const std::vector<std::size_t> selected = key_list_.SelectedRows();
  if (selected.empty()) return;
  const std::size_t index = selected.front();
  const std::string row(key_list_.rows()[index]);
  const std::optional<engine::KeyListEntry> entry = engine::ParseKeyListEntry(row);
  if (!entry) return;
  if (RowDeleted(key_list_.rows(), index)) {
    Log(DeletedItemLine(row));
    return;
  }

  WindowEditDialogs dialogs(instance_, hwnd());
  const engine::RunContext& context = run_parts_->context();
  const reg::Target target = context.TargetNow();
  const edit::RowOutcome outcome = edit::procChangeKey(
      context, dialogs, action, {entry->root, entry->path, entry->RegistryValueName()});
  // The row shows what was done; a run may have added rows meanwhile, never removed any.
  if (index < key_list_.rows().size() && key_list_.rows()[index] == row) {
    ApplyChange(key_list_.rows(), index, row, outcome, *context.api, target);
    key_list_.RedrawRow(index);
  }
}

}  // namespace keyloom::shell
