#include "shell/row_results.h"

#include "engine/hit_details.h"
#include "engine/key_list_entry.h"
#include "registry/registry.h"

namespace keyloom::shell {
namespace {

// The item's details read again in the search's machine and view; only the result when its key
// cannot be opened.
engine::HitDetails ReadNow(reg::RegApi& api, const reg::Target& target, const reg::RootKey& root,
                           const edit::ChangeTarget& now, bool value_row,
                           engine::FoundIn found_in) {
  reg::KeyHandle base = root.handle;
  reg::UniqueKey remote;
  if (!target.machine.empty()) {
    reg::KeyHandle connected = reg::kNullKey;
    if (api.ConnectRegistry(target.machine, root.handle, &connected) != reg::kSuccess) {
      return {};
    }
    remote = reg::UniqueKey(api, connected);
    base = connected;
  }
  reg::KeyHandle key = reg::kNullKey;
  const std::uint32_t access = reg::access::kQueryValue | reg::ViewFlag(target.view);
  if (api.OpenKey(base, reg::WithoutLeadingBackslash(now.key_path), access, &key) !=
      reg::kSuccess) {
    return {};
  }
  const reg::UniqueKey guard(api, key);
  return engine::ReadHitDetails(api, key, value_row ? &now.value_name : nullptr, found_in);
}

}  // namespace

void ApplyChange(KeyListRows& rows, std::size_t index, const std::string& row,
                 const edit::RowOutcome& outcome, reg::RegApi& api, const reg::Target& target) {
  using change::ChangeResult;
  if (outcome.result == ChangeResult::kNone || index >= rows.size()) return;
  if (outcome.result != ChangeResult::kReplaced && outcome.result != ChangeResult::kRenamed) {
    rows.SetResult(index, outcome.result, outcome.reason);
    return;
  }
  const auto entry = engine::ParseKeyListEntry(row);
  const reg::RootKey* root = entry ? reg::RootByName(entry->root) : nullptr;
  if (root == nullptr) return;
  const RowDetails before = rows.Details(index);
  const bool value_row = !entry->value_name.empty();
  engine::HitDetails details = ReadNow(api, target, *root, outcome.now, value_row, before.found_in);
  details.result = outcome.result;
  const std::string& name = outcome.now.value_name;
  const std::string shown = !value_row     ? ""
                            : name.empty() ? std::string(engine::kDefaultValueName)
                                           : name;
  rows.Replace(index, engine::MakeKeyListEntry(entry->root, outcome.now.key_path, shown), details);
}

void ApplyDeletions(KeyListRows& rows, const std::vector<std::size_t>& indices,
                    const std::vector<RowDeletion>& done) {
  for (std::size_t i = 0; i < indices.size() && i < done.size(); ++i) {
    if (done[i].result == change::ChangeResult::kNone) continue;
    rows.SetResult(indices[i], done[i].result, done[i].reason);
  }
}

bool RowDeleted(const KeyListRows& rows, std::size_t index) {
  return index < rows.size() && rows.Details(index).result == change::ChangeResult::kDeleted;
}

std::string DeletedItemLine(const std::string& row) {
  const auto entry = engine::ParseKeyListEntry(row);
  std::string item = entry ? entry->root + entry->path : row;
  if (entry && !entry->value_name.empty()) item += "\\" + entry->value_name;
  return "This item was deleted, there is nothing to edit [" + item + "]";
}

}  // namespace keyloom::shell
