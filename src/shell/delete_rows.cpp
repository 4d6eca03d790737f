#include "shell/delete_rows.h"

#include "change/change_report.h"
#include "change/reg_action.h"
#include "engine/key_list_entry.h"
#include "registry/registry.h"

namespace keyloom::shell {
namespace {

// The question asked before deleting `rows`; "" when there is nothing to ask about (no row, or one
// row that is not a result row).
std::string DeleteQuestion(const std::vector<std::string_view>& rows) {
  if (rows.empty()) return {};
  if (rows.size() > 1) return "Are you sure you wish to delete the Selected Key/Value(s)";
  if (!engine::ParseKeyListEntry(rows.front())) return {};
  return "Are you sure you wish to delete the Key/Value : " + std::string(rows.front());
}

}  // namespace

std::vector<RowDeletion> DeleteRows(const std::vector<std::string_view>& rows,
                                    const engine::RunContext& context, DeleteRowsUi& ui) {
  const std::string question = DeleteQuestion(rows);
  if (question.empty() || !ui.Confirm(question)) return {};
  const files::ChangeSettings settings = context.ChangeSettingsNow();
  const auto log = [&ui](const std::string& line) { ui.Log(line); };
  std::vector<RowDeletion> done(rows.size());
  for (std::size_t i = 0; i < rows.size(); ++i) {
    const auto entry = engine::ParseKeyListEntry(rows[i]);
    if (!entry) continue;
    const reg::RootKey* root = reg::RootByName(entry->root);
    change::TRegAction action = change::TRegAction::Create(*context.api, *context.undo, settings);
    action.RootKey = root != nullptr ? root->handle : 0;
    action.KeyPath = entry->path;
    action.ValueName = entry->RegistryValueName();
    // "(Default)" is the key's unnamed value: only that value goes, never the key.
    action.UnnamedValue = entry->value_name == engine::kDefaultValueName;
    action.CreateUndo = (settings.undo_mask & config::kUndoDeletes) != 0;
    action.MachineName = settings.target.machine;
    const bool made = change::MakeChange(action, change::ChangeOp::kDelete, log);
    done[i].result = change::ResultOf(action, made, change::ChangeResult::kDeleted);
    if (!made) done[i].reason = change::OneLineReason(action.ErrorText);
  }
  return done;
}

}  // namespace keyloom::shell
