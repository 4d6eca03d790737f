// The Key List as a working surface: sorting by a column, the filter field, copying rows and key
// paths, selecting every shown row.
#include <algorithm>
#include <string>
#include <utility>
#include <vector>

#include "shell/key_list_cells.h"
#include "shell/win32/control_helpers.h"
#include "shell/win32/main_window.h"
#include "shell/win32/resource_ids.h"
#include "shell/win32/wide_text.h"

namespace keyloom::shell {
namespace {

// Puts UTF-16 text on the clipboard. False when the clipboard could not be had.
bool SetClipboardText(HWND owner, const std::wstring& text) {
  if (!OpenClipboard(owner)) return false;
  EmptyClipboard();
  bool done = false;
  const std::size_t bytes = (text.size() + 1) * sizeof(wchar_t);
  if (HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, bytes)) {
    if (void* target = GlobalLock(memory)) {
      std::copy_n(text.c_str(), text.size() + 1, static_cast<wchar_t*>(target));
      GlobalUnlock(memory);
      done = SetClipboardData(CF_UNICODETEXT, memory) != nullptr;
    }
    if (!done) GlobalFree(memory);
  }
  CloseClipboard();
  return done;
}

}  // namespace

void TfrmMain::SetStatusBarText(const std::string& text) {
  const std::wstring wide = ToWide(text);
  SendMessageW(status_bar_, SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

void TfrmMain::lstKeysColumnClick(int column) {
  // The "After replace" cells are made as rows are drawn: there is nothing to sort them by.
  if (column == KeyListView::kAfterReplaceColumn) return;
  key_list_.SortBy(column);
  ShowListOrdering("Sorting the list...", true);
}

void TfrmMain::ShowListOrdering(const char* busy_text, bool sorted) {
  list_status_owed_ = true;
  if (key_list_.Ordering()) {
    SetStatusBarText(busy_text);
  } else {
    KeyListOrderShown(sorted);
  }
}

void TfrmMain::KeyListOrderShown(bool sorted) {
  const bool owed = std::exchange(list_status_owed_, false);
  if (owed && sorted && controller_->Active()) {
    SetStatusBarText("Sorted; rows found from now on are added at the end until the run ends.");
  } else if (key_list_.Filtered()) {
    ShowShownCount();
  } else if (owed) {
    SetStatusBarText(std::to_string(key_list_.rows().size()) + " rows shown");
  }
}

// The rows shown after the run's end: the rows it added at the end of a sorted list take their
// places.
void TfrmMain::KeyListRunEnded() {
  if (key_list_.UnsortedTail()) key_list_.ApplyOrder();
  if (!key_list_.Ordering()) ShowShownCount();
}

void TfrmMain::ShowShownCount() {
  if (!key_list_.Filtered()) return;
  SetStatusBarText(std::to_string(key_list_.ShownCount()) + " of " +
                   std::to_string(key_list_.rows().size()) + " rows shown");
}

void TfrmMain::edtFilterChange() {
  key_list_.SetFilter(WindowTextUtf8(Control(IDC_EDT_FILTER)));
  ShowListOrdering("Filtering the list...", false);
}

void TfrmMain::mnuFilterClick() {
  HWND filter = Control(IDC_EDT_FILTER);
  SetFocus(filter);
  SendMessageW(filter, EM_SETSEL, 0, -1);
}

void TfrmMain::mnuSelectAllClick() { key_list_.SelectAll(); }

void TfrmMain::mnuCopyClick() {
  const std::vector<std::size_t> selected = key_list_.SelectedRows();
  if (selected.empty()) return;
  if (!SetClipboardText(hwnd(), ToWide(RowsAsTabText(key_list_.rows(), selected, LocalTimeText)))) {
    Log("Unable to copy to the clipboard");
  }
}

void TfrmMain::mnuCopyKeyPathClick() {
  const std::vector<std::size_t> selected = key_list_.SelectedRows();
  if (selected.empty()) return;
  const std::string path = KeyPathText(key_list_.rows()[selected.front()]);
  if (path.empty()) return;
  if (!SetClipboardText(hwnd(), ToWide(path))) Log("Unable to copy to the clipboard");
}

// The list's keys that work wherever the focus is in the window: Ctrl+F, and Escape in the
// filter field, which empties it.
bool TfrmMain::HandleListKeys(const MSG& message) {
  if (message.message != WM_KEYDOWN) return false;
  const bool control = GetKeyState(VK_CONTROL) < 0;
  if (control && message.wParam == 'F') {
    mnuFilterClick();
    return true;
  }
  if (message.wParam == VK_ESCAPE && message.hwnd == Control(IDC_EDT_FILTER) &&
      GetWindowTextLengthW(message.hwnd) > 0) {
    SetWindowTextW(message.hwnd, L"");  // EN_CHANGE shows every row again
    return true;
  }
  return false;
}

}  // namespace keyloom::shell
