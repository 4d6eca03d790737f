// The Key List's row commands: deleting the selected rows' items, replacing them (Replace
// Selected, a run of its own) and opening the registry editor at the first selected row. The rows
// stay in the list after a delete.
#include "edit/open_regedit.h"
#include "edit/win32/registry_editor_window.h"
#include "engine/key_list_entry.h"
#include "shell/about_text.h"
#include "shell/delete_rows.h"
#include "shell/replace_selected.h"
#include "shell/row_results.h"
#include "shell/win32/main_window.h"
#include "shell/win32/wide_text.h"

namespace keyloom::shell {
namespace {

class WindowDeleteUi final : public DeleteRowsUi {
 public:
  explicit WindowDeleteUi(TfrmMain& window) : window_(window) {}
  bool Confirm(const std::string& question) override {
    return MessageBoxW(window_.hwnd(), ToWide(question).c_str(), kAppTitle,
                       MB_YESNO | MB_ICONQUESTION) == IDYES;
  }
  void Log(const std::string& line) override { window_.Log(line); }

 private:
  TfrmMain& window_;
};

}  // namespace

void TfrmMain::mnuDeleteClick() {
  // Copies: the question's modal loop may show more rows of a run meanwhile.
  const std::vector<std::size_t> selected = key_list_.SelectedRows();
  std::vector<std::string> texts;
  for (std::size_t row : selected) texts.emplace_back(key_list_.rows()[row]);
  const std::vector<std::string_view> rows(texts.begin(), texts.end());
  WindowDeleteUi ui(*this);
  const std::vector<RowDeletion> done = DeleteRows(rows, run_parts_->context(), ui);
  // A run may have added rows meanwhile, never removed any: the indices still hold.
  ApplyDeletions(key_list_.rows(), selected, done);
  if (!done.empty()) InvalidateRect(key_list_.hwnd(), nullptr, FALSE);
}

void TfrmMain::mnuReplaceSelectedClick() {
  if (controller_->Active()) return;
  std::vector<std::size_t> selected = key_list_.SelectedRows();
  std::vector<engine::OnlyItem> items = ItemsOfRows(key_list_.rows(), selected);
  if (items.empty()) return;
  SyncControls();
  snapshot_.SetRowsRun(true);
  if (!controller_->ReplaceItems(std::move(items), key_list_.rows().hives())) {
    snapshot_.SetRowsRun(false);
    return;
  }
  rows_run_ = std::move(selected);
  BeginProgress();
}

void TfrmMain::RowsRunEnded() {
  snapshot_.SetRowsRun(false);
  if (rows_run_.empty()) return;
  const auto& only = controller_->engine().session().only;
  if (only) ApplyOutcomes(key_list_.rows(), rows_run_, *only);
  rows_run_.clear();
  InvalidateRect(key_list_.hwnd(), nullptr, FALSE);
}

void TfrmMain::mnuOpenRegeditClick() {
  const std::vector<std::size_t> selected = key_list_.SelectedRows();
  if (selected.empty()) return;
  if (!run_parts_->context().machine.empty()) {
    Log("You cannot open regedit on a Remote Registry");
    return;
  }
  const auto entry = engine::ParseKeyListEntry(key_list_.rows()[selected.front()]);
  if (!entry) return;
  OpenRegeditAt(entry->root, entry->RegistryValueName(), entry->path);
}

void TfrmMain::OpenRegeditAt(const std::string& root_name, const std::string& value_name,
                             const std::string& key_path) {
  edit::RegistryEditorWindow editor;
  const auto show_error = [this](const std::string& text) {
    MessageBoxW(hwnd(), ToWide(text).c_str(), kAppTitle, MB_OK | MB_ICONERROR);
  };
  edit::OpenRegeditAt(run_parts_->context(), editor, show_error, root_name, value_name, key_path);
}

void TfrmMain::lstKeysKeyDown(WORD key) {
  if (key == VK_DELETE) {
    mnuDeleteClick();
  } else if (key == 'R' && GetKeyState(VK_CONTROL) < 0) {
    mnuReplaceSelectedClick();
  } else if (key == 'A' && GetKeyState(VK_CONTROL) < 0) {
    mnuSelectAllClick();
  } else if (key == 'C' && GetKeyState(VK_CONTROL) < 0) {
    if (GetKeyState(VK_SHIFT) < 0) {
      mnuCopyKeyPathClick();
    } else {
      mnuCopyClick();
    }
  }
}

}  // namespace keyloom::shell
