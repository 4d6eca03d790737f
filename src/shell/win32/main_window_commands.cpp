// The main window's commands and notifications: one handler per control, and the drain of the
// run's output.
#include <windowsx.h>

#include <algorithm>
#include <iterator>

#include "shell/about_text.h"
#include "shell/filter_texts.h"
#include "shell/key_list_menu.h"
#include "shell/win32/control_helpers.h"
#include "shell/win32/dialogs.h"
#include "shell/win32/filters_dialog.h"
#include "shell/win32/main_window.h"
#include "shell/win32/net_machine_dialog.h"
#include "shell/win32/options_dialog.h"
#include "shell/win32/resource_ids.h"
#include "shell/win32/wide_text.h"

namespace keyloom::shell {

void TfrmMain::OnCommand(int id, int code) {
  static constexpr CommandRoute<TfrmMain> kRoutes[] = {
      {IDC_BTN_SEARCH, BN_CLICKED, &TfrmMain::btnSearchClick},
      {IDOK, kAnyCommandCode, &TfrmMain::btnSearchClick},
      {IDC_BTN_REPLACE, BN_CLICKED, &TfrmMain::btnReplaceClick},
      {IDC_BTN_PAUSE, BN_CLICKED, &TfrmMain::btnPauseClick},
      {IDC_BTN_CLOSE, BN_CLICKED, &TfrmMain::btnCloseClick},
      {IDC_BTN_ABOUT, BN_CLICKED, &TfrmMain::btnAboutClick},
      {IDC_BTN_NETWORK, BN_CLICKED, &TfrmMain::btnNetworkClick},
      {IDC_BTN_OPTIONS, BN_CLICKED, &TfrmMain::btnOptionsClick},
      {IDC_BTN_FILTERS, BN_CLICKED, &TfrmMain::btnFiltersClick},
      {IDC_CHK_TREE, BN_CLICKED, &TfrmMain::chkTreeClick},
      {IDC_CHK_REG_UNDO, BN_CLICKED, &TfrmMain::chkRegUndoClick},
      {IDC_CMB_SCAN_METHOD, CBN_SELCHANGE, &TfrmMain::cmbScanMethodChange},
      {IDC_LST_STATUS, LBN_DBLCLK, &TfrmMain::lstStatusDblClick},
      {IDM_EDIT, kAnyCommandCode, &TfrmMain::mnuEditClick},
      {IDM_RENAME, kAnyCommandCode, &TfrmMain::mnuRenameClick},
      {IDM_SAVE_CSV, kAnyCommandCode, &TfrmMain::mnuSaveListCSVClick},
      {IDM_SAVE_REG, kAnyCommandCode, &TfrmMain::mnuSaveListREGClick},
      {IDM_SAVE_LOG, kAnyCommandCode, &TfrmMain::SavetoLogfile1Click},
      {IDCANCEL, kAnyCommandCode, &TfrmMain::CancelExport},
      {IDM_DELETE, kAnyCommandCode, &TfrmMain::mnuDeleteClick},
      {IDM_REPLACE_SELECTED, kAnyCommandCode, &TfrmMain::mnuReplaceSelectedClick},
      {IDM_OPEN_REGEDIT, kAnyCommandCode, &TfrmMain::mnuOpenRegeditClick},
      {IDM_UNDO_RUN, kAnyCommandCode, &TfrmMain::mnuUndoRunClick},
      {IDM_COPY, kAnyCommandCode, &TfrmMain::mnuCopyClick},
      {IDM_COPY_KEY_PATH, kAnyCommandCode, &TfrmMain::mnuCopyKeyPathClick},
      {IDM_SELECT_ALL, kAnyCommandCode, &TfrmMain::mnuSelectAllClick},
      {IDM_FILTER, kAnyCommandCode, &TfrmMain::mnuFilterClick},
      {IDC_EDT_FILTER, EN_CHANGE, &TfrmMain::edtFilterChange},
      {IDC_EDT_FIND, EN_CHANGE, &TfrmMain::SyncControls},
      {IDC_EDT_REPLACE, EN_CHANGE, &TfrmMain::SyncControls},
      {IDC_CMB_KEYS, CBN_SELCHANGE, &TfrmMain::SyncControls},
      {IDC_CMB_TYPE, CBN_SELCHANGE, &TfrmMain::SyncControls},
      {IDC_CMB_MODE, CBN_SELCHANGE, &TfrmMain::SyncControls},
      {IDC_CHK_VALUES, BN_CLICKED, &TfrmMain::SyncControls},
      {IDC_CHK_NAMES, BN_CLICKED, &TfrmMain::SyncControls},
      {IDC_CHK_CASE, BN_CLICKED, &TfrmMain::SyncControls},
  };
  RouteCommand(*this, kRoutes, id, code);
}

LRESULT TfrmMain::OnNotify(const NMHDR& header, LPARAM lparam) {
  if (header.hwndFrom != key_list_.hwnd()) return 0;
  switch (header.code) {
    case LVN_GETDISPINFOW:
      key_list_.OnGetDispInfo(*reinterpret_cast<NMLVDISPINFOW*>(lparam));
      return 0;
    case LVN_ODFINDITEMW:
      return -1;  // nothing ever searches through the control
    case NM_CUSTOMDRAW:
      return key_list_.OnCustomDraw(*reinterpret_cast<NMLVCUSTOMDRAW*>(lparam));
    case NM_DBLCLK:
      if (reinterpret_cast<const NMITEMACTIVATE&>(header).iItem >= 0) lstKeysDblClick();
      return 0;
    case LVN_KEYDOWN:
      lstKeysKeyDown(reinterpret_cast<const NMLVKEYDOWN*>(lparam)->wVKey);
      return 0;
    case LVN_COLUMNCLICK:
      lstKeysColumnClick(reinterpret_cast<const NMLISTVIEW*>(lparam)->iSubItem);
      return 0;
    default:
      return 0;
  }
}

void TfrmMain::OnContextMenu(HWND source, int x, int y) {
  if (source == status_list_.hwnd()) {
    export_->ShowStatusMenu(x, y);
    return;
  }
  if (source != key_list_.hwnd() || key_menu_ == nullptr) return;
  if (x == -1 && y == -1) {  // from the keyboard: at the list's top left corner
    RECT rect{};
    GetWindowRect(source, &rect);
    x = rect.left + 8;
    y = rect.top + 24;
  }
  lstKeysMouseDown();
  TrackPopupMenu(key_menu_, TPM_LEFTALIGN | TPM_RIGHTBUTTON, x, y, 0, hwnd(), nullptr);
}

void TfrmMain::lstKeysMouseDown() {
  if (key_menu_ == nullptr) return;
  const KeyListMenuState state = KeyListMenuStateFor(key_list_.SelectedCount());
  auto enable = [&](UINT item, UINT by, bool on) {
    EnableMenuItem(key_menu_, item, by | (on ? MF_ENABLED : MF_GRAYED));
  };
  enable(IDM_EDIT, MF_BYCOMMAND, state.edit);
  enable(IDM_RENAME, MF_BYCOMMAND, state.rename);
  enable(IDM_OPEN_REGEDIT, MF_BYCOMMAND, state.open_regedit);
  enable(KEYLIST_MENU_SAVE_POS, MF_BYPOSITION, state.save_list);
  enable(IDM_REPLACE_SELECTED, MF_BYCOMMAND, state.replace_selected && !controller_->Active());
}

// Enter clicks the focused push button, edits the selected row in the Key List, otherwise Search
// (the window's default button).
int TfrmMain::DefaultButtonId() const {
  HWND focus = GetFocus();
  if (focus != nullptr && focus == key_list_.hwnd()) return IDM_EDIT;
  if (focus != nullptr && GetParent(focus) == hwnd() &&
      (SendMessageW(focus, WM_GETDLGCODE, 0, 0) & (DLGC_DEFPUSHBUTTON | DLGC_UNDEFPUSHBUTTON))) {
    return GetDlgCtrlID(focus);
  }
  return IDC_BTN_SEARCH;
}

// ---- Run buttons ----

void TfrmMain::btnSearchClick() {
  if (!IsWindowEnabled(Control(IDC_BTN_SEARCH))) return;
  SyncControls();
  const bool was_active = controller_->Active();
  controller_->btnSearchClick();
  if (!was_active && controller_->Active()) BeginProgress();
}

void TfrmMain::btnReplaceClick() {
  SyncControls();
  const bool was_active = controller_->Active();
  controller_->btnReplaceClick();
  if (!was_active && controller_->Active()) BeginProgress();
}

void TfrmMain::btnPauseClick() { controller_->btnPauseClick(); }

void TfrmMain::btnCloseClick() { controller_->btnCloseClick(); }

// ---- Dialog buttons ----

void TfrmMain::btnAboutClick() {
  TfrmAbout about;
  about.Show(instance_, hwnd());
}

// Opens the remote-machine dialog, then refreshes the root combo and the caption. The button is
// disabled while a run goes: the computer searched changes only between runs.
void TfrmMain::btnNetworkClick() {
  if (!IsWindowEnabled(Control(IDC_BTN_NETWORK))) return;
  {
    TfrmNetMachine dialog(*options_.api, run_parts_->context().machine,
                          [this] { key_list_.Clear(); });
    dialog.Show(instance_, hwnd());
  }
  UpdateKeysCombo();
}

// A new Options dialog for every opening, so it starts from the settings as they are now.
void TfrmMain::btnOptionsClick() {
  TfrmOptions options(settings_, run_parts_->context(), [this] { OptionsSaved(); });
  // A loaded hive is shown in the registry editor.
  options.SetEditorOpener([this](const std::string& root_name, const std::string& key_path) {
    OpenRegeditAt(root_name, "", key_path);
  });
  options.Show(instance_, hwnd());
}

// Options saved: the window shows the new settings and the file is written at once.
void TfrmMain::OptionsSaved() {
  ShowAfterReplace(ReadWindowSettings());  // WHOLENUM may have changed
  controller_->RefreshReplaceCaption();
  ShowRunUndo();
  WriteSettings(true);
}

// ---- Request controls ----

void TfrmMain::btnFiltersClick() {
  TfrmFilters dialog(filters_);
  if (!dialog.Show(instance_, hwnd())) return;
  filters_ = dialog.rules();
  ShowFilterCount();
  SyncControls();
}

void TfrmMain::ShowFilterCount() {
  const int count = FilterCount(filters_);
  SetWindowTextUtf8(Control(IDC_BTN_FILTERS), count == 0
                                                  ? std::string("Fi&lters...")
                                                  : "Fi&lters (" + std::to_string(count) + ")...");
}

void TfrmMain::chkTreeClick() {
  SyncControls();
  if (!IsChecked(Control(IDC_CHK_TREE))) return;
  if (settings_.Snapshot().suppress_key_name_warning) return;
  TfrmTreeWarn warning(settings_);
  warning.Show(instance_, hwnd());
}

// "Create Registry Undo File": checked, runs record their edits and deletes; cleared, they record
// none. The same UNDO bits as the Options dialog's undo boxes; a greyed box becomes checked.
void TfrmMain::chkRegUndoClick() {
  settings_.Update([](Settings& s) {
    s.undo = WithRunUndo(s.undo, RunUndoStateOf(s.undo) != RunUndoState::kAll);
  });
  ShowRunUndo();
}

void TfrmMain::cmbScanMethodChange() {
  const int index = Selection(Control(IDC_CMB_SCAN_METHOD));
  settings_.Update([index](Settings& s) { s.scanmethod = index; });
}

// Line zoom: the selected line in an information box, so a line wider than the list can be read.
void TfrmMain::lstStatusDblClick() {
  const std::optional<std::string> line = status_list_.SelectedLine();
  if (!line) return;
  MessageBoxW(hwnd(), ToWide(*line).c_str(), kAppTitle, MB_OK | MB_ICONINFORMATION);
}

// ---- Key List export and log save ----

void TfrmMain::ExportFile(files::ExportKind kind) { export_->ExportFile(kind); }

void TfrmMain::mnuSaveListCSVClick() { ExportFile(files::ExportKind::kCsv); }

void TfrmMain::mnuSaveListREGClick() { ExportFile(files::ExportKind::kReg); }

void TfrmMain::SavetoLogfile1Click() { export_->SaveLog(); }

// Escape: a running export stops and leaves the former file as it was.
void TfrmMain::CancelExport() { export_->Cancel(); }

// ---- Output ----

void TfrmMain::OnDrainTimer() {
  if (controller_->Active()) queue_.StockRowBlocks();
  const auto start = OutputPacer::Clock::now();
  if (run_start_ && progress_throttle_.Take(start)) ShowProgress();
  if (!pacer_.Due(start) || queue_.Empty()) return;
  DrainOutput();
  pacer_.Shown(start, OutputPacer::Clock::now());
}

void TfrmMain::DrainOutput() {
  drain_posted_ = false;
  std::vector<OutputSegment> segments = queue_.Drain();
  const auto clearings = static_cast<std::size_t>(
      std::count_if(segments.begin(), segments.end(),
                    [](const OutputSegment& segment) { return segment.clears_first; }));
  std::size_t next = 0;
  while (next < segments.size() && hwnd() != nullptr && !destroyed_) {
    const OutputBatch batch = FoldOutput(segments, next, key_list_.rows(), status_list_.model());
    next = batch.next;
    ShowBatch(batch);
    if (batch.finished) {
      queue_.ReleaseRowBlocks();
      controller_->OnRunFinished();
      RowsRunEnded();
      KeyListRunEnded();
      EndProgress();
      if (close_when_run_ends_) CloseMainWindow();  // the user chose to stop it and close
    }
    if (batch.quit) CloseMainWindow();
  }
  if (clearings > 0) queue_.ClearingsShown(clearings);
}

void TfrmMain::BeginProgress() {
  run_start_ = std::chrono::steady_clock::now();
  progress_base_ = queue_.Counts();
  progress_throttle_ = ProgressThrottle(std::chrono::milliseconds(1000 / kProgressPerSecond));
  const engine::RunState state = controller_->state();
  run_changes_ = state == engine::RunState::kReplacing || state == engine::RunState::kReplacePaused;
  taskbar_.Started();
}

// The counts since the run started: the queue's are never reset.
static ProgressCounts CountsSince(const ProgressCounts& now, const ProgressCounts& base) {
  ProgressCounts counts = now;
  counts.keys -= base.keys;
  counts.hits -= base.hits;
  counts.changes -= base.changes;
  counts.failures -= base.failures;
  return counts;
}

void TfrmMain::ShowProgress() {
  if (!run_start_) return;
  ProgressCounts counts = CountsSince(queue_.Counts(), progress_base_);
  counts.changing = run_changes_;
  const auto elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(
      std::chrono::steady_clock::now() - *run_start_);
  const std::wstring text = ToWide(ProgressText(counts, elapsed));
  SendMessageW(status_bar_, SB_SETTEXTW, 1, reinterpret_cast<LPARAM>(text.c_str()));
  const engine::RunState state = controller_->state();
  taskbar_.Waiting(state == engine::RunState::kSearchPaused ||
                   state == engine::RunState::kReplacePaused);
}

void TfrmMain::EndProgress() {
  if (!run_start_) return;
  ShowProgress();
  run_start_.reset();
  taskbar_.Ended(CountsSince(queue_.Counts(), progress_base_).failures > 0);
}

void TfrmMain::ShowBatch(const OutputBatch& batch) {
  if (batch.lists_cleared) {
    key_list_.ShowRows(true);
  } else if (batch.rows_added > 0) {
    key_list_.ShowRows(false);
  }
  status_list_.Apply(batch.status_removed_front, batch.status_appended);
  if (batch.status_bar) SetStatusBarText(*batch.status_bar);
}

}  // namespace keyloom::shell
