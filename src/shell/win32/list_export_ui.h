// The main window's side of the Key List exports and the log save: the save dialog, the
// questions, the status log's pop-up menu, and the export's worker.
//
// How an export runs. The steps up to the writing (the refusal, the dialog, the erase question)
// run on the GUI thread; then a worker reads every row afresh from the registry and writes the
// file beside its target, while the GUI thread keeps answering. The Key List is disabled meanwhile
// (its rows must not change under the worker), and so are the Search, Replace and remote-machine
// buttons. A timer on the main window watches the worker: at the pace an OutputPacer sets it adds
// a dot to the status bar's "Please wait Creating export file", and once the worker is done it
// joins it, gives the controls back and says how the export ended. The status bar's right part
// shows the rows written of all, with the time, a few times a second and once more at the end;
// the taskbar button shows the same fraction. Escape cancels: the worker
// stops at the next row and the former file stays as it was. Closing the window cancels too and
// waits for the worker.
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "engine/run_context.h"
#include "files/export_flow.h"
#include "files/list_export.h"
#include "files/registry_snapshot.h"
#include "shell/key_list_export_rows.h"
#include "shell/output_pacer.h"
#include "shell/run_progress.h"
#include "shell/taskbar_progress.h"
#include "shell/win32/key_list_view.h"
#include "shell/win32/status_list.h"

namespace keyloom::shell {

// What the exports need of the main window.
struct ListExportDeps {
  HWND window = nullptr;
  HINSTANCE instance = nullptr;
  HWND status_bar = nullptr;
  KeyListView* key_list = nullptr;
  StatusList* status_list = nullptr;
  // The settings and the machine the items are read with, the status log, the session's whole
  // log (when kept; else the list's lines are saved) and the silent mode.
  const engine::RunContext* context = nullptr;
  files::RegistryReader reader;  // reads the items
  std::function<bool()> run_active;
  TaskbarProgress* taskbar = nullptr;  // the taskbar button's share of the export's progress
};

class ListExportUi final : public files::ExportHost {
 public:
  static constexpr UINT kTickMs = 50;

  explicit ListExportUi(ListExportDeps deps);
  // Cancels a running export and waits for it.
  ~ListExportUi() override;
  ListExportUi(const ListExportUi&) = delete;
  ListExportUi& operator=(const ListExportUi&) = delete;

  // ExportFile: the whole Key List as CSV or REG.
  void ExportFile(files::ExportKind kind);
  // SavetoLogfile1Click.
  void SaveLog();
  // The status log's pop-up menu at screen point x, y (-1, -1: from the keyboard).
  void ShowStatusMenu(int x, int y);
  HMENU status_menu() const { return status_menu_; }

  bool Busy() const { return worker_.joinable(); }
  // Escape: the running export stops and leaves the former file.
  void Cancel();
  // The window's export timer.
  void OnTimer();
  // The window's end: cancels and waits.
  void Stop();

  // files::ExportHost
  bool RunInProgress() override;
  void EnableRunButtons(bool enabled) override;
  std::optional<std::string> PickSaveFile(const files::SaveDialogOptions& dialog) override;
  bool Confirm(const std::string& question) override;
  void ShowError(const std::string& text) override;
  void SetStatusBar(const std::string& text) override;
  void Log(const std::string& line) override;
  bool Silent() override;

 private:
  void Finish();
  // The rows written of all and the time, in the status bar's right part and the taskbar.
  void ShowProgress();

  ListExportDeps deps_;
  HMENU menu_resource_ = nullptr;
  HMENU status_menu_ = nullptr;
  std::thread worker_;
  files::ExportProgress progress_;
  std::atomic<bool> done_{false};
  files::ExportOutcome outcome_ = files::ExportOutcome::kWriteFailed;
  std::unique_ptr<KeyListExportRows> rows_;
  OutputPacer pacer_;
  std::string bar_;
  std::chrono::steady_clock::time_point started_;
  std::int64_t total_ = 0;
  ProgressThrottle progress_throttle_{std::chrono::milliseconds(250)};
};

}  // namespace keyloom::shell
