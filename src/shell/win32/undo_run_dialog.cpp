#include "shell/win32/undo_run_dialog.h"

#include <algorithm>

#include "shell/about_text.h"
#include "shell/win32/control_helpers.h"
#include "shell/win32/resource_ids.h"
#include "shell/win32/wide_text.h"

namespace keyloom::shell {
namespace {

void AddLine(HWND list, const std::string& line) {
  const auto index =
      SendMessageW(list, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(ToWide(line).c_str()));
  SendMessageW(list, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
}

// Lets the list scroll sideways as far as its longest line.
void FitExtent(HWND list) {
  HDC dc = GetDC(list);
  const auto font = reinterpret_cast<HFONT>(SendMessageW(list, WM_GETFONT, 0, 0));
  const auto old = SelectObject(dc, font);
  LONG widest = 0;
  const auto count = SendMessageW(list, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    const std::wstring text = ListBoxText(list, i);
    SIZE size{};
    GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
    widest = std::max(widest, size.cx);
  }
  SelectObject(dc, old);
  ReleaseDC(list, dc);
  SendMessageW(list, LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(widest + 8), 0);
}

}  // namespace

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
  runs_ = deps.journal->Runs(deps.settings.undo_folder);
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
  const auto index = SendMessageW(Item(IDC_UNDO_LST_RUNS), LB_GETCURSEL, 0, 0);
  if (index < 0 || static_cast<std::size_t>(index) >= runs_.size()) return;
  if (busy_()) {
    Show("A run is in progress: wait for its end before taking a run back.");
    return;
  }
  const auto runs = runs_;
  const HCURSOR cursor = SetCursor(LoadCursorW(nullptr, IDC_WAIT));
  edit::UndoRun(runs, static_cast<std::size_t>(index), deps_(), *this);
  SetCursor(cursor);
  FillRuns();
  FitExtent(Item(IDC_UNDO_LST_RESULTS));
  // The Undo button is disabled again: the focus goes to the runs, where Tab and Enter work.
  SendMessageW(hwnd(), WM_NEXTDLGCTL, reinterpret_cast<WPARAM>(Item(IDC_UNDO_LST_RUNS)), TRUE);
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
