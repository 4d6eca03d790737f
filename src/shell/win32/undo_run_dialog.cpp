#include "shell/win32/undo_run_dialog.h"

#include <algorithm>
#include <chrono>
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

// Measures lines for a list's sideways scrolling, in the list's font, as they are added.
class ListWidth {
 public:
  explicit ListWidth(HWND list)
      : list_(list),
        dc_(GetDC(list)),
        old_(SelectObject(dc_, reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0)))) {}
  ListWidth(const ListWidth&) = delete;
  ListWidth& operator=(const ListWidth&) = delete;
  ~ListWidth() {
    SelectObject(dc_, old_);
    ReleaseDC(list_, dc_);
  }
  void Measure(const std::wstring& text) {
    SIZE size{};
    GetTextExtentPoint32W(dc_, text.c_str(), static_cast<int>(text.size()), &size);
    widest_ = std::max(widest_, size.cx + 8);
  }
  // Lets the list scroll as far as its longest line; `grow` keeps the width it had if wider.
  void Apply(bool grow) const {
    const LONG had =
        grow ? static_cast<LONG>(SendMessageW(list_, LB_GETHORIZONTALEXTENT, 0, 0)) : 0;
    if (!grow || widest_ > had) {
      SendMessageW(list_, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest_), 0);
    }
  }

 private:
  HWND list_;
  HDC dc_;
  HGDIOBJ old_;
  LONG widest_ = 0;
};

void AddLine(HWND list, const std::string& line) {
  const std::wstring text = ToWide(line);
  const auto index = SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
  SendMessageW(list, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
  ListWidth width(list);
  width.Measure(text);
  width.Apply(true);
}

// Lets the list scroll sideways as far as its longest line.
void FitExtent(HWND list) {
  ListWidth width(list);
  const auto count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) width.Measure(ListBoxText(list, i));
  width.Apply(false);
}

constexpr UINT_PTR kDrainTimer = 1;
constexpr UINT kDrainMilliseconds = 25;
// How long one tick may add result lines: a merge of small files yields lines faster than a list
// box takes them, so the rest waits for the next ticks and the dialog keeps answering.
constexpr auto kShowBudget = std::chrono::milliseconds(8);

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

TfrmUndoRun::TfrmUndoRun(const engine::RunContext& context, std::function<bool()> busy,
                         std::function<void(const std::string&)> log)
    : context_(context), busy_(std::move(busy)), log_(std::move(log)) {}

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

void TfrmUndoRun::FillRuns() { ShowRuns(context_.journal->Runs(context_.SettingsNow().undodir)); }

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
  if (watch_ != nullptr) watch_->Started(-1);
  StartWorker([runs = runs_, chosen = static_cast<std::size_t>(index),
               &context = context_](TakeBackQueue& queue) {
    queue.SetPlan(edit::PrepareTakeBack(runs, chosen, context));
  });
}

void TfrmUndoRun::StartWorker(std::function<void(TakeBackQueue&)> job) {
  queue_ = std::make_unique<TakeBackQueue>(log_);
  worker_ended_ = false;
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
  whole_ = true;
  if (watch_ != nullptr) watch_->Started(static_cast<std::int64_t>(plan.file_count));
  StartWorker([this, plan = std::move(plan)](TakeBackQueue& queue) {
    whole_ = edit::ExecuteTakeBack(plan, context_, queue);
    // The list to show next.
    queue.SetRuns(context_.journal->Runs(context_.SettingsNow().undodir));
  });
}

void TfrmUndoRun::DrainTakeBack() {
  if (!queue_) return;
  auto batch = queue_->Drain();
  for (auto& line : batch.lines) backlog_.push_back(std::move(line));
  worker_ended_ = worker_ended_ || batch.ended;
  ShowBacklog();
  const auto& progress = batch.progress;
  if (watch_ != nullptr && merging_ && progress.total_files != 0) {
    watch_->Advanced(static_cast<std::int64_t>(progress.files),
                     static_cast<std::int64_t>(progress.total_files));
  }
  if (progress.total_files != 0 && IsWindowEnabled(Item(IDC_UNDO_BTN_UNDO))) {
    SetWindowTextW(Item(IDC_UNDO_LBL_RESULTS),
                   ToWide(Cat({"Results: merged ", Thousands(progress.files), " of ",
                               Thousands(progress.total_files), " files, ",
                               Thousands(progress.records), " records"}))
                       .c_str());
  }
  // The end is shown once every line before it is.
  if (worker_ended_ && backlog_.empty()) EndTakeBack();
}

void TfrmUndoRun::ShowBacklog() {
  if (backlog_.empty()) return;
  HWND results = Item(IDC_UNDO_LST_RESULTS);
  const auto deadline = std::chrono::steady_clock::now() + kShowBudget;
  SendMessageW(results, WM_SETREDRAW, FALSE, 0);
  ListWidth width(results);
  LRESULT last = 0;
  for (std::size_t shown = 1; !backlog_.empty(); ++shown) {
    const std::wstring text = ToWide(backlog_.front());
    backlog_.pop_front();
    last = SendMessageW(results, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    width.Measure(text);
    if (shown % 16 == 0 && std::chrono::steady_clock::now() >= deadline) break;
  }
  width.Apply(true);
  SendMessageW(results, LB_SETTOPINDEX, static_cast<WPARAM>(last), 0);
  SendMessageW(results, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(results, nullptr, TRUE);
}

void TfrmUndoRun::EndTakeBack() {
  KillTimer(hwnd(), kDrainTimer);
  worker_.join();
  auto plan = queue_->TakePlan();
  auto runs = queue_->TakeRuns();
  const bool stop_asked = queue_->StopRequested();
  queue_.reset();
  if (!merging_) {
    SetWindowTextW(Item(IDC_UNDO_LBL_RESULTS), L"Results:");
    if (watch_ != nullptr) watch_->Asking(true);
    const bool confirmed = edit::ConfirmTakeBack(plan, context_, *this);
    if (watch_ != nullptr) watch_->Asking(false);
    if (confirmed) {
      StartTakeBack(std::move(plan));
      return;
    }
  }
  const bool merged = merging_;
  if (watch_ != nullptr) watch_->Ended(merged && !whole_ && !stop_asked);
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
  if (log_) log_(line);
}

}  // namespace keyloom::shell
