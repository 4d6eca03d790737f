#include "shell/win32/key_list_view.h"

#include <algorithm>
#include <string_view>

#include "shell/key_list_cells.h"
#include "shell/win32/wide_text.h"

namespace keyloom::shell {

std::string LocalTimeText(std::uint64_t file_time) {
  FILETIME utc{static_cast<DWORD>(file_time & 0xFFFFFFFFu), static_cast<DWORD>(file_time >> 32)};
  SYSTEMTIME universal{};
  SYSTEMTIME local{};
  if (!FileTimeToSystemTime(&utc, &universal) ||
      !SystemTimeToTzSpecificLocalTime(nullptr, &universal, &local)) {
    return {};
  }
  wchar_t date[80] = L"";
  wchar_t time[80] = L"";
  GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, date, 80);
  GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &local, nullptr, time, 80);
  return FromWide(std::wstring(date) + L" " + time);
}

namespace {

constexpr int kColumnWidths[kKeyListColumnCount] = {140, 330, 150, 110, 260, 80, 130};

int WidthOf(HWND list, int column) {
  return static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
}

void SetWidth(HWND list, int column, int width) {
  SendMessageW(list, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(column), MAKELPARAM(width, 0));
}

}  // namespace

HWND KeyListView::Create(HWND parent, int id, HINSTANCE instance) {
  hwnd_ = CreateWindowExW(
      WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
      WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS, 0, 0, 0,
      0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
  if (hwnd_ == nullptr) return nullptr;
  const DWORD ex_style = LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP | LVS_EX_DOUBLEBUFFER;
  SendMessageW(hwnd_, LVM_SETEXTENDEDLISTVIEWSTYLE, ex_style, ex_style);
  for (int i = 0; i < kKeyListColumnCount; ++i) {
    std::wstring title = ToWide(kKeyListColumnTitles[i]);
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = title.data();
    column.cx = kColumnWidths[i];
    column.iSubItem = i;
    SendMessageW(hwnd_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i),
                 reinterpret_cast<LPARAM>(&column));
  }
  return hwnd_;
}

void KeyListView::ShowRows(bool reset) {
  if (reset || rows_seen_ > rows_.size()) {
    ApplyOrder();
    return;
  }
  if (mapped_) {
    for (std::size_t row = rows_seen_; row < rows_.size(); ++row) {
      if (!RowMatches(rows_, row, filter_, LocalTimeText)) continue;
      shown_.push_back(row);
      if (sort_column_ >= 0) unsorted_tail_ = true;
    }
  }
  rows_seen_ = rows_.size();
  SendMessageW(hwnd_, LVM_SETITEMCOUNT, static_cast<WPARAM>(ShownCount()),
               LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
}

void KeyListView::ApplyOrder() {
  mapped_ = sort_column_ >= 0 || !filter_.empty();
  shown_.clear();
  shown_.shrink_to_fit();
  if (mapped_) {
    std::vector<std::size_t> order = AllRows(rows_.size());
    if (sort_column_ >= 0) SortRows(rows_, sort_column_, descending_, order);
    shown_ = filter_.empty() ? std::move(order) : FilterRows(rows_, order, filter_, LocalTimeText);
  }
  rows_seen_ = rows_.size();
  unsorted_tail_ = false;
  SendMessageW(hwnd_, LVM_DELETEALLITEMS, 0, 0);
  SendMessageW(hwnd_, LVM_SETITEMCOUNT, static_cast<WPARAM>(ShownCount()), 0);
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void KeyListView::SortBy(int column) {
  if (column < 0 || column >= kKeyListColumnCount) return;
  descending_ = column == sort_column_ && !descending_;
  sort_column_ = column;
  ShowSortArrow();
  ApplyOrder();
}

void KeyListView::ShowSortArrow() const {
  HWND header = reinterpret_cast<HWND>(SendMessageW(hwnd_, LVM_GETHEADER, 0, 0));
  if (header == nullptr) return;
  for (int i = 0; i < kKeyListColumnCount; ++i) {
    HDITEMW item{};
    item.mask = HDI_FORMAT;
    if (!SendMessageW(header, HDM_GETITEMW, static_cast<WPARAM>(i),
                      reinterpret_cast<LPARAM>(&item))) {
      continue;
    }
    item.fmt &= ~(HDF_SORTUP | HDF_SORTDOWN);
    if (i == sort_column_) item.fmt |= descending_ ? HDF_SORTDOWN : HDF_SORTUP;
    SendMessageW(header, HDM_SETITEMW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&item));
  }
}

void KeyListView::SetFilter(std::string_view text) {
  filter_ = TextFilter(text);
  ApplyOrder();
}

void KeyListView::Clear() {
  rows_.Clear();
  ShowRows(true);
}

std::size_t KeyListView::SelectedCount() const {
  return static_cast<std::size_t>(SendMessageW(hwnd_, LVM_GETSELECTEDCOUNT, 0, 0));
}

std::vector<std::size_t> KeyListView::SelectedRows() const {
  std::vector<std::size_t> rows;
  int index = -1;
  while ((index = static_cast<int>(SendMessageW(hwnd_, LVM_GETNEXTITEM, static_cast<WPARAM>(index),
                                                LVNI_SELECTED))) != -1) {
    if (static_cast<std::size_t>(index) < ShownCount()) {
      rows.push_back(RowAt(static_cast<std::size_t>(index)));
    }
  }
  return rows;
}

void KeyListView::Select(const std::vector<std::size_t>& rows) {
  LVITEMW state{};
  state.stateMask = LVIS_SELECTED;
  state.state = 0;
  SendMessageW(hwnd_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
  state.state = LVIS_SELECTED;
  std::vector<bool> wanted(rows_.size());
  for (std::size_t row : rows) {
    if (row < wanted.size()) wanted[row] = true;
  }
  for (std::size_t item = 0; item < ShownCount(); ++item) {
    if (!wanted[RowAt(item)]) continue;
    SendMessageW(hwnd_, LVM_SETITEMSTATE, static_cast<WPARAM>(item),
                 reinterpret_cast<LPARAM>(&state));
  }
}

void KeyListView::SelectAll() {
  LVITEMW state{};
  state.stateMask = LVIS_SELECTED;
  state.state = LVIS_SELECTED;
  SendMessageW(hwnd_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
}

std::array<int, KeyListView::kColumns> KeyListView::ColumnWidths() const {
  std::array<int, kColumns> widths{};
  for (int i = 0; i < kColumns; ++i) widths[static_cast<std::size_t>(i)] = WidthOf(hwnd_, i);
  return widths;
}

void KeyListView::SetColumnWidths(const std::array<int, kColumns>& widths) {
  for (int i = 0; i < kColumns; ++i) SetWidth(hwnd_, i, widths[static_cast<std::size_t>(i)]);
}

std::array<int, KeyListView::kDetailColumns> KeyListView::DetailColumnWidths() const {
  std::array<int, kDetailColumns> widths{};
  for (int i = 0; i < kDetailColumns; ++i) {
    widths[static_cast<std::size_t>(i)] = WidthOf(hwnd_, kColumns + i);
  }
  return widths;
}

void KeyListView::SetDetailColumnWidths(const std::array<int, kDetailColumns>& widths) {
  for (int i = 0; i < kDetailColumns; ++i) {
    SetWidth(hwnd_, kColumns + i, widths[static_cast<std::size_t>(i)]);
  }
}

void KeyListView::OnGetDispInfo(NMLVDISPINFOW& info) const {
  LVITEMW& item = info.item;
  if ((item.mask & LVIF_TEXT) == 0 || item.pszText == nullptr || item.cchTextMax <= 0) return;
  item.pszText[0] = L'\0';
  if (item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= ShownCount()) return;
  const std::wstring wide = ToWide(
      CellText(rows_, RowAt(static_cast<std::size_t>(item.iItem)), item.iSubItem, LocalTimeText));
  const std::size_t room = static_cast<std::size_t>(item.cchTextMax) - 1;
  const std::size_t length = std::min(wide.size(), room);
  std::copy_n(wide.data(), length, item.pszText);
  item.pszText[length] = L'\0';
}

}  // namespace keyloom::shell
