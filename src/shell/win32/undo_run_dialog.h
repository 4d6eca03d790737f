// The "Undo a run" dialog (TfrmUndoRun): the runs of the undo folder's journal newest first, what
// the chosen run's undo files restore, and "&Undo Run", which takes the run back: the files are
// read (edit::PrepareTakeBack) on a worker, the questions asked on the dialog's thread
// (edit::ConfirmTakeBack), and the merging (edit::ExecuteTakeBack) done on a worker again; each
// worker reports through a TakeBackQueue. Meanwhile the button is "&Stop" (the take-back ends at
// the next file boundary), the results label counts the files and records merged, and the
// result lines (which also go to the status log) come in batches on a timer. The dialog cannot
// close before the worker ends; Close asks it to stop.
#pragma once

#include <windows.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "edit/run_undo.h"
#include "files/run_journal.h"
#include "shell/take_back_queue.h"
#include "shell/win32/window_base.h"

namespace keyloom::shell {

// Where a take-back's progress shows besides the dialog (the main window's status bar and its
// taskbar button). Called on the dialog's thread.
class TakeBackWatch {
 public:
  virtual ~TakeBackWatch() = default;
  // The files are being read (a total of -1), or merging starts with `total_files` to merge.
  virtual void Started(std::int64_t total_files) = 0;
  virtual void Advanced(std::int64_t files, std::int64_t total_files) = 0;
  // The take-back waits for the user's answer to its question.
  virtual void Asking(bool asking) = 0;
  // It ended; `failed` when a file was not merged whole (a stop asked for is no failure).
  virtual void Ended(bool failed) = 0;
};

class TfrmUndoRun final : public Dialog, private edit::RunUndoUi {
 public:
  // `context` gives the registry, the undo writer, the journal and the settings (it must outlive
  // the dialog); `busy` tells whether a run is in progress (no run is taken back meanwhile); `log`
  // writes a status log line, from any thread.
  TfrmUndoRun(const engine::RunContext& context, std::function<bool()> busy,
              std::function<void(const std::string&)> log);
  ~TfrmUndoRun() override;

  // Shown modally, centred on `owner`.
  void Show(HINSTANCE instance, HWND owner);
  // Set before Show; must outlive the dialog.
  void SetWatch(TakeBackWatch* watch) { watch_ = watch; }

 private:
  bool OnInit() override;
  bool OnCommand(int id, int code, HWND control) override;
  bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  void OnCancel() override;

  void FillRuns();  // reads the journal
  void ShowRuns(std::vector<files::JournalRun> runs);
  void lstRunsClick();
  void btnUndoClick();
  void StartWorker(std::function<void(TakeBackQueue&)> job);
  void StartTakeBack(edit::TakeBackPlan plan);
  void DrainTakeBack();  // on the timer: lines, progress, and the end
  void ShowBacklog();    // the lines waiting, for a few milliseconds
  void EndTakeBack();

  // edit::RunUndoUi.
  bool Confirm(const std::string& question) override;
  void Show(const std::string& line) override;

  const engine::RunContext& context_;
  std::function<bool()> busy_;
  std::function<void(const std::string&)> log_;
  HWND owner_ = nullptr;
  std::vector<files::JournalRun> runs_;
  std::unique_ptr<TakeBackQueue> queue_;  // while a worker prepares or merges
  bool merging_ = false;                  // the worker merges (else it reads the files)
  bool worker_ended_ = false;             // it has returned; its lines may still wait
  std::deque<std::string> backlog_;       // lines the worker gave that the list does not show yet
  std::thread worker_;
  TakeBackWatch* watch_ = nullptr;
  bool whole_ = true;  // the merge took every run back whole; written by its worker before it ends
};

}  // namespace keyloom::shell
