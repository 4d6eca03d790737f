#include "shell/win32/undo_run_dialog.h"

#include <algorithm>
#include <utility>

#include "base/text.h"
#include "files/reg_file_format.h"
#include "shell/about_text.h"
#include "shell/win32/control_helpers.h"
#include "shell/win32/resource_ids.h"
#include "shell/win32/wide_text.h"

namespace keyloom::shell {
namespace {

using text::Cat;

void AddLine(HWND list, const std::string& line) {
  const auto index =
      SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToWide(line).c_str()));
  SendMessageW(list, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
}

// Lets the list scroll sideways as far as its longest line; only the lines from `first` on are
// measured, the rest keep the width they were given.
void FitExtent(HWND list, LRESULT first = 0) {
  HDC dc = GetDC(list);
  const auto font = reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0));
  const auto old = SelectObject(dc, font);
  LONG widest =
      first == 0 ? 0 : static_cast<LONG>(SendMessageW(list, LB_GETHORIZONTALEXTENT, 0, 0));
  const auto count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = first; i < count; ++i) {
    const std::wstring text = ListBoxText(list, i);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    widest = std::max(widest, size.cx + 8);
  }
  SelectObject(dc, old);
  ReleaseDC(list, dc);
  SendMessageW(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest), 0);
}

constexpr UINT_PTR kDrainTimer = 1;
constexpr UINT kDrainMilliseconds = 50;

std::string Thousands(std::size_t n) {
  std::string digits = std::to_string(n);
  for (auto at = digits.size(); at > 3;) {
    at -= 3;
    digits.insert(at, ",");
  }
  return digits;
}

}  // namespace

TfrmUndoRun::~TfrmUndoRun() {
  // Only a dialog that failed midway gets here with a worker: it ends at its next file.
  if (queue_) queue_->RequestStop();
  if (worker_.joinable()) worker_.join();
}

TfrmUndoRun::TfrmUndoRun(std::function<edit::RunUndoDeps()> deps, std::function<bool()> busy,
                         std::function<void(const std::string&)> log)
    : deps_(std::move(deps)), busy_(std::move(busy)), log_(std::move(log)) {}

void TfrmUndoRun::Show(HINSTANCE instance, HWND owner) {
  owner_ = owner;
  DoModal(instance, IDD_UNDO_RUN, owner);
}

bool TfrmUndoRun::OnInit() {
  CenterOn(owner_);
  FillRuns();
  return true;
}

bool TfrmUndoRun::OnCommand(int id, int code, HWND control) {
  if (id == IDC_UNDO_LST_RUNS && code == LBN_SELCHANGE) {
    lstRunsClick();
    return true;
  }
  if (id == IDC_UNDO_BTN_UNDO && code == BN_CLICKED) {
    btnUndoClick();
    return true;
  }
  return Dialog::OnCommand(id, code, control);
}

void TfrmUndoRun::FillRuns() {
  const edit::RunUndoDeps deps = deps_();
  ShowRuns(deps.journal->Runs(deps.settings.undo_folder));
}

void TfrmUndoRun::ShowRuns(std::vector<files::JournalRun> runs) {
  runs_ = std::move(runs);
  HWND list = Item(IDC_UNDO_LST_RUNS);
  SendMessageW(list, LB_RESETCONTENT, 0, 0);
  for (const auto& run : runs_) {
    SendMessageW(list, LB_ADDSTRING, 0,
                 reinterpret_cast<LPARAM>(ToWide(edit::RunSummary(run)).c_str()));
  }
  FitExtent(list);
  SendMessageW(Item(IDC_UNDO_LST_RESTORE), LB_RESETCONTENT, 0, 0);
  EnableWindow(Item(IDC_UNDO_BTN_UNDO), FALSE);
}

void TfrmUndoRun::lstRunsClick() {
  const auto index = SendMessageW(Item(IDC_UNDO_LST_RUNS), LB_GETCURSEL, 0, 0);
  HWND restore = Item(IDC_UNDO_LST_RESTORE);
  SendMessageW(restore, LB_RESETCONTENT, 0, 0);
  if (index < 0 || static_cast<std::size_t>(index) >= runs_.size()) return;
  SendMessageW(restore, WM_SETREDRAW, FALSE, 0);
  for (const auto& line : edit::RunRestoreLines(runs_[static_cast<std::size_t>(index)])) {
    SendMessageW(restore, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToWide(line).c_str()));
  }
  SendMessageW(restore, WM_SETREDRAW, TRUE, 0);
  FitExtent(restore);
  EnableWindow(Item(IDC_UNDO_BTN_UNDO), TRUE);
}

void TfrmUndoRun::btnUndoClick() {
  if (queue_ && !merging_) return;
  if (queue_) {
    queue_->RequestStop();
    EnableWindow(Item(IDC_UNDO_BTN_UNDO), FALSE);
    SetWindowTextW(Item(IDC_UNDO_LBL_RESULTS), L"Results: stopping after the file being merged...");
    return;
  }
  const auto index = SendMessageW(Item(IDC_UNDO_LST_RUNS), LB_GETCURSEL, 0, 0);
  if (index < 0 || static_cast<std::size_t>(index) >= runs_.size()) return;
  if (busy_()) {
    Show("A run is in progress: wait for its end before taking a run back.");
    return;
  }
  if (!edit::AskAgainIfUndone(runs_[static_cast<std::size_t>(index)], *this)) return;
  // The files are read beside the window; the questions come when they are.
  EnableWindow(Item(IDC_UNDO_BTN_UNDO), FALSE);
  SetWindowTextW(Item(IDC_UNDO_LBL_RESULTS), L"Results: reading the run's undo files...");
  merging_ = false;
  StartWorker([runs = runs_, chosen = static_cast<std::size_t>(index),
               deps = deps_()](TakeBackQueue& queue) {
    queue.SetPlan(edit::PrepareTakeBack(runs, chosen, deps));
  });
}

void TfrmUndoRun::StartWorker(std::function<void(TakeBackQueue&)> job) {
  queue_ = std::make_unique<TakeBackQueue>();
  EnableWindow(Item(IDC_UNDO_LST_RUNS), FALSE);
  SetTimer(hwnd(), kDrainTimer, kDrainMilliseconds, nullptr);
  worker_ = std::thread([queue = queue_.get(), job = std::move(job)] {
    job(*queue);
    queue->End();
  });
}

void TfrmUndoRun::StartTakeBack(edit::TakeBackPlan plan) {
  EnableWindow(Item(IDC_UNDO_BTN_UNDO), TRUE);
  SetWindowTextW(Item(IDC_UNDO_BTN_UNDO), L"&Stop");
  SetWindowTextW(
      Item(IDC_UNDO_LBL_RESULTS),
      ToWide(Cat({"Results: merged 0 of ", Thousands(plan.file_count), " files"})).c_str());
  merging_ = true;
  StartWorker([deps = deps_(), plan = std::move(plan)](TakeBackQueue& queue) {
    edit::ExecuteTakeBack(plan, deps, queue);
    queue.SetRuns(deps.journal->Runs(deps.settings.undo_folder));  // the list to show next
  });
}

void TfrmUndoRun::DrainTakeBack() {
  if (!queue_) return;
  auto batch = queue_->Drain();
  HWND results = Item(IDC_UNDO_LST_RESULTS);
  if (!batch.lines.empty()) {
    const auto first = SendMessageW(results, LB_GETCOUNT, 0, 0);
    SendMessageW(results, WM_SETREDRAW, FALSE, 0);
    for (const auto& line : batch.lines) Show(line);
    SendMessageW(results, WM_SETREDRAW, TRUE, 0);
    FitExtent(results, first);
    InvalidateRect(results, nullptr, TRUE);
  }
  const auto& progress = batch.progress;
  if (progress.total_files != 0 && IsWindowEnabled(Item(IDC_UNDO_BTN_UNDO))) {
    SetWindowTextW(Item(IDC_UNDO_LBL_RESULTS),
                   ToWide(Cat({"Results: merged ", Thousands(progress.files), " of ",
                               Thousands(progress.total_files), " files, ",
                               Thousands(progress.records), " records"}))
                       .c_str());
  }
  if (batch.ended) EndTakeBack();
}

void TfrmUndoRun::EndTakeBack() {
  KillTimer(hwnd(), kDrainTimer);
  worker_.join();
  auto plan = queue_->TakePlan();
  auto runs = queue_->TakeRuns();
  queue_.reset();
  if (!merging_) {
    SetWindowTextW(Item(IDC_UNDO_LBL_RESULTS), L"Results:");
    if (edit::ConfirmTakeBack(plan, deps_(), *this)) {
      StartTakeBack(std::move(plan));
      return;
    }
  }
  const bool merged = merging_;
  merging_ = false;
  SetWindowTextW(Item(IDC_UNDO_BTN_UNDO), L"&Undo Run");
  EnableWindow(Item(IDC_UNDO_LST_RUNS), TRUE);
  if (merged) {
    ShowRuns(std::move(runs));  // no run is chosen: the Undo button is disabled
  } else {
    EnableWindow(Item(IDC_UNDO_BTN_UNDO), TRUE);  // nothing changed: the run stays chosen
  }
  // The focus goes to the runs, where Tab and Enter work.
  SendMessageW(hwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(IDC_UNDO_LST_RUNS)), TRUE);
}

bool TfrmUndoRun::OnMessage(UINT message, WPARAM wparam, LPARAM) {
  if (message != WM_TIMER || wparam != kDrainTimer) return false;
  DrainTakeBack();
  return true;
}

void TfrmUndoRun::OnCancel() {
  if (queue_ && !merging_) return;  // the files are being read: the questions come next
  if (queue_) {
    btnUndoClick();  // asks the take-back to stop; the dialog stays until it has
    return;
  }
  Dialog::OnCancel();
}

bool TfrmUndoRun::Confirm(const std::string& question) {
  return MessageBoxW(hwnd(), ToWide(question).c_str(), kAppTitle, MB_YESNO | MB_ICONQUESTION) ==
         IDYES;
}

void TfrmUndoRun::Show(const std::string& line) {
  AddLine(Item(IDC_UNDO_LST_RESULTS), line);
  // A file merged whole is told here only; the status log gets everything else.
  if (log_ && line.rfind("Merged [", 0) != 0) log_(line);
}

}  // namespace keyloom::shell
