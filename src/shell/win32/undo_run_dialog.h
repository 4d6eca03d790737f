// The "Undo a run" dialog (TfrmUndoRun): the runs of the undo folder's journal newest first, what
// the chosen run's undo files restore, and "&Undo Run", which takes the run back through
// edit::UndoRun and shows its result lines (they also go to the status log).
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "edit/run_undo.h"
#include "files/run_journal.h"
#include "shell/win32/window_base.h"

namespace keyloom::shell {

class TfrmUndoRun final : public Dialog, private edit::RunUndoUi {
 public:
  // `deps` gives the registry, the undo writer, the journal and the settings of the moment;
  // `busy` tells whether a run is in progress (no run is taken back meanwhile); `log` writes a
  // status log line.
  TfrmUndoRun(std::function<edit::RunUndoDeps()> deps, std::function<bool()> busy,
              std::function<void(const std::string&)> log);

  // Shown modally, centred on `owner`.
  void Show(HINSTANCE instance, HWND owner);

 private:
  bool OnInit() override;
  bool OnCommand(int id, int code, HWND control) override;

  void FillRuns();
  void lstRunsClick();
  void btnUndoClick();

  // edit::RunUndoUi.
  bool Confirm(const std::string& question) override;
  void Show(const std::string& line) override;

  std::function<edit::RunUndoDeps()> deps_;
  std::function<bool()> busy_;
  std::function<void(const std::string&)> log_;
  HWND owner_ = nullptr;
  std::vector<files::JournalRun> runs_;
};

}  // namespace keyloom::shell
