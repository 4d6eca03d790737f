// The main window (TfrmMain): the search request, the run buttons, the status list, the Key List
// and the status bar; program start-up (FormCreate), the unattended start and the window's end
// (FormDestroy).
//
// How a run's output reaches the window: the run's worker writes everything through a
// RunOutputQueue and never touches a window. The GUI thread drains the queue on a timer, at the
// pace an OutputPacer sets, and at once when a kMsgDrain message arrives: posted for the run's end
// and the quit request, and for lines written on the GUI thread itself. A drained batch is folded
// into the Key List's rows and the status list's model, then the controls get the net change (see
// run_output_queue.h). The end of a run reaches RunController::OnRunFinished only after every
// line and row written before it is shown. The worker reads the request from a ControlsSnapshot
// that the GUI thread keeps up to date as the controls change.
//
// Closing the window while a run is going asks first ("A run is in progress. Stop it and close
// Keyloom?"): Yes stops the run at its next item, and the window closes once the run has written
// its summary (the end reaches the window through the queue like any run's end); No keeps the run
// going. The end of the Windows session stops the run the same way, without asking, and waits for
// it before the window goes.
//
// At the window's end a running run is stopped and waited for (kStopBoundMs at most) before the
// pause gate is released; a run that does not stop in time ends the process instead of leaving a
// worker behind that uses freed objects.
#pragma once

#include <windows.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <optional>
#include <string>

#include "edit/change_key.h"
#include "engine/debug_log.h"
#include "engine/run_context.h"
#include "engine/key_walk.h"
#include "engine/pause_gate.h"
#include "engine/search_session.h"
#include "engine/status_log.h"
#include "files/run_journal.h"
#include "files/undo_file.h"
#include "registry/permission_repair.h"
#include "registry/reg_api.h"
#include "shell/controls_snapshot.h"
#include "shell/main_layout.h"
#include "shell/output_pacer.h"
#include "shell/run_output_queue.h"
#include "shell/row_budget.h"
#include "shell/run_parts.h"
#include "shell/run_progress.h"
#include "shell/settings.h"
#include "shell/taskbar_progress.h"
#include "shell/win32/key_list_view.h"
#include "shell/win32/list_export_ui.h"
#include "shell/win32/status_list.h"
#include "shell/win32/taskbar_button.h"
#include "shell/win32/ui_font.h"
#include "shell/win32/window_base.h"

namespace keyloom::shell {

struct MainWindowOptions {
  reg::RegApi* api = nullptr;  // required; outlives the window
  // The program's folder (UTF-8, ending in a backslash); by default the program file's folder.
  std::optional<std::string> program_folder;
  // The 64-bit detection's result; by default asked of the system.
  std::optional<bool> is_64bit_windows;
  // The walk below each root; by default the registry walk.
  engine::KeyWalker* walker = nullptr;
  // Post WM_QUIT with the exit code when the window is destroyed (off in tests).
  bool quit_on_destroy = true;
};

class TfrmMain final : public Window, public engine::RunWindow {
 public:
  static constexpr const wchar_t* kClassName = L"TfrmMain";
  static constexpr UINT kMsgDrain = WM_APP + 1;      // drain the output queue now
  static constexpr UINT kMsgAutoStart = WM_APP + 2;  // the start-up replace run (FormActivate)
  static constexpr UINT kDrainTickMs = 50;           // how often the timer asks the pacer
  static constexpr int kStopBoundMs = 5000;

  explicit TfrmMain(MainWindowOptions options);
  ~TfrmMain() override;

  // Registers the window classes and creates the window, hidden; FormCreate runs inside. False
  // when the window could not be created.
  bool CreateMain(HINSTANCE instance);
  // Whether start-up left the window to be shown (false in the silent mode).
  bool ShouldShow() const { return should_show_; }
  // The show command for the window's first showing: maximized when it was kept maximized and
  // `requested` asks for a plain showing.
  int ShowCommandFor(int requested) const;
  // The Key List rows the first start shows.
  static constexpr int kFirstStartRows = 15;
  // Keyboard handling for a message loop: Tab, Enter (Search), the & accelerators.
  bool PreTranslate(MSG& message);
  // The exit code the program ends with once the window is gone.
  int exit_code() const { return exit_code_; }

  // ---- For the program's other parts (and tests) ----
  HWND Control(int id) const { return GetDlgItem(hwnd(), id); }
  HWND tooltip() const { return tooltip_; }
  HWND status_bar() const { return status_bar_; }
  HMENU key_list_menu() const { return key_menu_; }
  engine::RunController& controller() { return *controller_; }
  engine::RunOutput& output() { return queue_; }
  // What runs and the flows beside them work with; the computer searched among it.
  engine::RunContext& context() { return run_parts_->context(); }
  SettingsStore& settings() { return settings_; }
  KeyListView& key_list() { return key_list_; }
  StatusList& status_list() { return status_list_; }
  // StatusLog: one line to the status log (and the debug log file at level 2).
  void Log(const std::string& text, bool debug_only = false);
  // Shows everything the queue holds now.
  void DrainOutput();
  void OnDrainTimer();
  // Refills cmbKeys ("All" and the five roots, "All" selected) and sets the caption.
  void UpdateKeysCombo();
  // Right button on the Key List: sets the pop-up menu's states for the selection.
  void lstKeysMouseDown();
  // The Key List exports and the log save.
  ListExportUi& list_export() { return *export_; }
  // What the taskbar button shows of the long work, and whether the shell's button takes it.
  const TaskbarProgress& taskbar() const { return taskbar_; }
  bool taskbar_attached() const { return taskbar_button_.attached(); }
  // Starts or activates the registry editor and steers it to the key (and the value, when
  // `value_name` is not empty) below the root named `root_name`.
  void OpenRegeditAt(const std::string& root_name, const std::string& value_name,
                     const std::string& key_path);

 private:
  LRESULT HandleMessage(UINT message, WPARAM wparam, LPARAM lparam) override;

  // Life cycle (main_window.cpp).
  void FormCreate();
  void FormActivate();
  void FormDestroy();
  // WM_CLOSE (Alt+F4, the title bar, the task bar) while a run is going: asks whether to stop it
  // and close. True when the window stays open for now: the answer was No, or the run is being
  // stopped and the window closes once it has ended, with its summary written.
  bool KeepOpenForRun();
  // The end of the Windows session: a run is stopped as Yes stops it, without a question, and
  // waited for before the window goes.
  void EndSession();
  void StartSilentRun();
  void ApplyWindowSettings(const WindowSettings& window);
  WindowSettings ReadWindowSettings() const;
  // SaveSettings with the window's controls; a failure becomes a status log line.
  void WriteSettings(bool force);
  void ApplyButtons(const engine::ButtonState& state) override;
  void ShowWarning(const std::string& text) override;
  void ProcessPendingEvents() override;
  void CloseMainWindow() override;
  void WakeDrain(bool urgent);

  // Controls and layout (main_window_layout.cpp).
  void CreateControls();
  void AddHints();
  // Fonts, column widths and layout for `dpi`.
  void ApplyDpi(int dpi);
  // WM_DPICHANGED: lays out for the new DPI and takes the suggested window rectangle.
  void OnDpiChanged(int dpi, const RECT& suggested);
  // Places every part for the client area and repaints the whole window.
  void Relayout();
  // WM_NEXTDLGCTL, as a dialog takes it: the focus to the control `wparam` names (`is_control`)
  // or to the next (previous when `wparam` is not 0) control in tab order.
  void OnNextControl(WPARAM wparam, bool is_control);

  // Size and place (main_window_place.cpp). The window size that shows every Key List column and
  // kFirstStartRows rows.
  LayoutSize FirstStartSize() const;
  // Opens the window at the kept place, or centred at the first start's size.
  void PlaceOnStart(const WindowPlace& kept);
  void FitColumnsToList();
  // The window's normal place and whether it is maximized.
  WindowPlace CurrentPlace() const;
  void LayoutLists();
  // Places the request panel's controls (and their hint areas) for the client width.
  void LayoutPanel(int client_width);
  // The least window size: the whole request panel and a few Key List rows.
  void OnGetMinMaxInfo(MINMAXINFO& info) const;
  bool OnSetCursor(LPARAM lparam);
  void OnMouseDown(int x, int y);
  void OnMouseMove(int y);
  void OnMouseUp();

  // Commands and notifications (main_window_commands.cpp).
  void OnCommand(int id, int code);
  LRESULT OnNotify(const NMHDR& header, LPARAM lparam);
  void OnContextMenu(HWND source, int x, int y);
  int DefaultButtonId() const;
  void SyncControls();
  void ShowAfterReplace(const WindowSettings& request);
  void btnSearchClick();
  void btnReplaceClick();
  void btnPauseClick();
  void btnCloseClick();
  void btnAboutClick();
  void btnNetworkClick();
  void btnOptionsClick();
  void OptionsSaved();
  void chkRegUndoClick();
  // The undo box from the UNDO bits that runs use.
  void ShowRunUndo();
  // The Filters dialog; OK gives the next runs its filters.
  void btnFiltersClick();
  // "Fi&lters..." with the number of filters set, when any is.
  void ShowFilterCount();
  void chkTreeClick();
  void cmbScanMethodChange();
  void lstStatusDblClick();
  // The status log's right-click menu, and "Undo a run..." (main_window_undo.cpp).
  void mnuUndoRunClick();
  // Ctrl+Z outside the edit boxes (where it takes back typing).
  static bool IsUndoRunKey(const MSG& message);
  // The Key List's edit and rename (main_window_edit.cpp).
  void mnuEditClick();
  void mnuRenameClick();
  void lstKeysDblClick();
  void procChangeKey(edit::ChangeAction action);

  // Key List export and log save (list_export_ui.cpp does the work).
  void ExportFile(files::ExportKind kind);
  void mnuSaveListCSVClick();
  void mnuSaveListREGClick();
  void SavetoLogfile1Click();
  void CancelExport();
  void ShowBatch(const OutputBatch& batch);

  // The Key List's row commands (main_window_rows.cpp).
  void mnuDeleteClick();
  // Replace Selected: a replace run restricted to the selected rows' items; at its end
  // (RowsRunEnded) their rows show what it did.
  void mnuReplaceSelectedClick();
  void RowsRunEnded();
  void mnuOpenRegeditClick();
  // LVN_KEYDOWN of the Key List: Delete deletes the selected rows, Ctrl+R replaces their items,
  // Ctrl+A selects every shown row, Ctrl+C copies the selected rows, Ctrl+Shift+C the first
  // one's key path.
  void lstKeysKeyDown(WORD key);

  // Sorting, filtering and copying the Key List (main_window_list.cpp).
  void SetStatusBarText(const std::string& text);
  // The run's progress in the status bar's right part: keys examined, hits and the time it has
  // run, at most kProgressPerSecond times a second while it goes and once more at its end.
  static constexpr int kProgressPerSecond = 4;
  static constexpr int kProgressPartWidth = 260;  // 96-DPI units
  void BeginProgress();
  void ShowProgress();
  // The run's end: its final figures, and the taskbar's error state when changes failed.
  void EndProgress();
  void lstKeysColumnClick(int column);
  void KeyListRunEnded();
  // The status bar after a sort or filter: says that the list is being sorted or filtered while
  // it is, what shows once it does.
  void ShowListOrdering(const char* busy_text, bool sorted);
  void KeyListOrderShown(bool sorted);
  // "N of M rows shown" in the status bar while a filter is active.
  void ShowShownCount();
  void edtFilterChange();
  void mnuFilterClick();
  void mnuSelectAllClick();
  void mnuCopyClick();
  void mnuCopyKeyPathClick();
  bool HandleListKeys(const MSG& message);

  MainWindowOptions options_;
  HINSTANCE instance_ = nullptr;
  DWORD gui_thread_ = 0;
  SettingsStore settings_;
  ControlsSnapshot snapshot_{settings_};
  // The rows a Replace Selected run acts on, in the order of its items; empty otherwise.
  std::vector<std::size_t> rows_run_;
  AddressSpaceBudget row_budget_;
  RunOutputQueue queue_;
  std::unique_ptr<RunParts> run_parts_;
  std::unique_ptr<engine::PauseGate> gate_;  // declared before the controller: released after it
  std::unique_ptr<engine::RunController> controller_;
  std::unique_ptr<ListExportUi> export_;

  KeyListView key_list_;
  StatusList status_list_;
  HWND status_bar_ = nullptr;
  HWND tooltip_ = nullptr;
  HMENU menu_resource_ = nullptr;
  HMENU key_menu_ = nullptr;
  UniqueFont font_;
  MainLayout layout_;
  Splitter dragging_ = Splitter::kNone;
  int drag_offset_ = 0;
  HWND last_focus_ = nullptr;

  std::atomic<HWND> post_target_{nullptr};
  std::atomic<bool> drain_posted_{false};
  OutputPacer pacer_;
  ProgressThrottle progress_throttle_{std::chrono::milliseconds(1000 / kProgressPerSecond)};
  std::optional<std::chrono::steady_clock::time_point> run_start_;  // while a run is shown
  ProgressCounts progress_base_;  // the queue's counts when the run started
  bool run_changes_ = false;      // the run shown is a replace or delete run
  Win32TaskbarButton taskbar_button_;
  TaskbarProgress taskbar_{taskbar_button_};
  // The filters of the next runs (their match mode is the mode drop-down's).
  engine::MatchRules filters_;
  bool should_show_ = false;
  bool open_maximized_ = false;
  bool ever_shown_ = false;
  bool activated_ = false;
  bool list_status_owed_ = false;  // a sort or filter asked for has not said what shows yet
  bool destroyed_ = false;
  bool close_when_run_ends_ = false;  // the window closes once the run it stopped has ended
  int exit_code_ = 0;
};

}  // namespace keyloom::shell
