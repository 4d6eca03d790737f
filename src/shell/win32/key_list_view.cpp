#include "shell/win32/key_list_view.h"

#include <algorithm>
#include <chrono>
#include <optional>
#include <string_view>
#include <utility>

#include "shell/key_list_cells.h"
#include "shell/win32/wide_text.h"

namespace keyloom::shell {

LocalTimeTexts::LocalTimeTexts() {
  has_zone_ = GetTimeZoneInformation(&zone_) != TIME_ZONE_ID_INVALID;
}

std::string LocalTimeTexts::operator()(std::uint64_t file_time) {
  FILETIME utc{static_cast<DWORD>(file_time & 0xFFFFFFFFu), static_cast<DWORD>(file_time >> 32)};
  SYSTEMTIME universal{};
  SYSTEMTIME local{};
  if (!FileTimeToSystemTime(&utc, &universal) ||
      !SystemTimeToTzSpecificLocalTime(has_zone_ ? &zone_ : nullptr, &universal, &local)) {
    return {};
  }
  // The date's text depends on the day alone, the time's on the time of day alone.
  const auto day =
      static_cast<std::uint32_t>(local.wYear * 10000 + local.wMonth * 100 + local.wDay);
  const auto second =
      static_cast<std::uint32_t>(local.wHour * 3600 + local.wMinute * 60 + local.wSecond);
  wchar_t buffer[80] = L"";
  auto date = dates_.find(day);
  if (date == dates_.end()) {
    GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &local, nullptr, buffer, 80);
    date = dates_.emplace(day, FromWide(buffer)).first;
  }
  auto time = times_.find(second);
  if (time == times_.end()) {
    buffer[0] = L'\0';
    GetTimeFormatW(LOCALE_USER_DEFAULT, 0, &local, nullptr, buffer, 80);
    time = times_.emplace(second, FromWide(buffer)).first;
  }
  std::string text;
  text.reserve(date->second.size() + 1 + time->second.size());
  text.append(date->second).append(" ").append(time->second);
  return text;
}

std::string LocalTimeText(std::uint64_t file_time) { return LocalTimeTexts()(file_time); }

namespace {

constexpr int kColumnWidths[kKeyListColumnCount] = {140, 330, 150, 110, 260, 80, 130, 60, 90};

int PixelWidthOf(HWND list, int column) {
  return static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(column), 0));
}

void SetPixelWidth(HWND list, int column, int width) {
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

// The order being made: the rows sorted (when they are sorted again), then the rows of `source`
// that pass the filter. `source` is the sorted rows and those appended since, or the rows a
// narrowed filter looks at; rows appended while the filter works are added to it.
struct KeyListView::OrderWork {
  OrderWork(TextFilter filter, int column)
      : filter(std::move(filter), LocalTimeTexts()), column(column) {}
  std::optional<SteppedRowSort> sort;
  bool sorted = false;          // the rows were sorted again for this order
  std::size_t sorted_rows = 0;  // how many, once sorted
  bool ready = false;           // the filter has looked at every row of `source`
  std::vector<std::size_t> source;
  SteppedRowFilter filter;
  int column;
};

KeyListView::KeyListView() = default;
KeyListView::~KeyListView() = default;

void KeyListView::ShowRows(bool reset) {
  if (reset || rows_seen_ > rows_.size()) {
    // The rows were replaced: the order is made again at once, before anything reads it.
    work_.reset();
    rows_seen_ = rows_.size();
    BeginOrder(sort_column_ >= 0, nullptr);
    WorkOnOrder(true);
    return;
  }
  if (work_ != nullptr && !work_->sort) {
    for (std::size_t row = rows_seen_; row < rows_.size(); ++row) work_->source.push_back(row);
    work_->ready = false;
  }
  if (mapped_) {
    LocalTimeTexts times;
    for (std::size_t row = rows_seen_; row < rows_.size(); ++row) {
      if (!RowMatches(rows_, row, shown_filter_, times)) continue;
      shown_.push_back(row);
      if (shown_sorted_) unsorted_tail_ = true;
    }
  }
  rows_seen_ = rows_.size();
  SendMessageW(hwnd_, LVM_SETITEMCOUNT, static_cast<WPARAM>(ShownCount()),
               LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
}

void KeyListView::ApplyOrder() {
  BeginOrder(sort_column_ >= 0, nullptr);
  WorkOnOrder(false);
}

void KeyListView::BeginOrder(bool sort, const std::vector<std::size_t>* narrowed) {
  work_ = std::make_unique<OrderWork>(filter_, sort_column_);
  if (sort) {
    work_->sort.emplace(rows_, sort_column_, descending_, AllRows(rows_seen_));
    work_->sorted = true;
  } else if (narrowed != nullptr) {
    work_->source = *narrowed;
  } else if (sort_column_ >= 0) {
    // The sorted rows, then those added at the end since the sort.
    work_->source.reserve(rows_seen_);
    work_->source = sorted_;
    for (std::size_t row = sorted_.size(); row < rows_seen_; ++row) work_->source.push_back(row);
  } else {
    work_->source = AllRows(rows_seen_);
  }
}

bool KeyListView::WorkOnOrder(bool to_end) {
  constexpr std::size_t kSortUnits = 4096;
  constexpr std::size_t kFilterRows = 128;
  using Clock = std::chrono::steady_clock;
  const auto start = Clock::now();
  const auto end = start + std::chrono::milliseconds(kSliceMs);
  OrderWork& work = *work_;
  while (!work.ready) {
    if (!to_end && Clock::now() >= end) {
      ScheduleStep();
      return false;
    }
    if (work.sort) {
      if (!work.sort->Step(kSortUnits)) continue;
      work.source = work.sort->Take();
      work.sort.reset();
      work.sorted_rows = work.source.size();
      // Rows appended while sorting show after the sorted ones.
      for (std::size_t row = work.source.size(); row < rows_seen_; ++row) {
        work.source.push_back(row);
      }
    }
    work.ready = work.filter.Step(rows_, work.source, kFilterRows);
  }
  // The list control takes a while to take a new order: a slice of its own, unless this one has
  // hardly begun.
  if (!to_end && Clock::now() - start > std::chrono::milliseconds(kSliceMs / 4)) {
    ScheduleStep();
    return false;
  }
  ShowWork();
  return true;
}

void KeyListView::ShowWork() {
  const std::unique_ptr<OrderWork> work = std::move(work_);
  if (work->sorted) {
    // The rows there were at the sort, in sorted order.
    sorted_ = std::move(work->source);
    sorted_.resize(work->sorted_rows);
  } else if (work->column < 0) {
    sorted_.clear();
  }
  if (work->column < 0) sorted_.shrink_to_fit();
  shown_filter_ = work->filter.filter();
  shown_sorted_ = work->column >= 0;
  mapped_ = shown_sorted_ || !shown_filter_.empty();
  shown_ = mapped_ ? work->filter.Take() : std::vector<std::size_t>();
  unsorted_tail_ = shown_sorted_ && sorted_.size() < rows_seen_;
  ShowItemsAfresh();
}

void KeyListView::ShowItemsAfresh() {
  // Without redrawing in between: the control repaints once, with the new items.
  SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
  SendMessageW(hwnd_, LVM_DELETEALLITEMS, 0, 0);
  SendMessageW(hwnd_, LVM_SETITEMCOUNT, static_cast<WPARAM>(ShownCount()), 0);
  SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
  InvalidateRect(hwnd_, nullptr, TRUE);
}

void KeyListView::ScheduleStep() {
  if (step_pending_ || hwnd_ == nullptr) return;
  step_pending_ = true;
  // A post comes before input and painting: while they wait, a timer lets them go first.
  if (HIWORD(GetQueueStatus(QS_INPUT | QS_PAINT)) != 0 &&
      SetTimer(hwnd_, reinterpret_cast<UINT_PTR>(this), USER_TIMER_MINIMUM, &StepTimer) != 0) {
    return;
  }
  PostMessageW(GetParent(hwnd_), kMsgOrderStep, 0, 0);
}

void CALLBACK KeyListView::StepTimer(HWND window, UINT, UINT_PTR id, DWORD) {
  KillTimer(window, id);
  reinterpret_cast<KeyListView*>(id)->OnOrderStep();
}

void KeyListView::OnOrderStep() {
  step_pending_ = false;
  if (work_ == nullptr) return;
  const bool sorted = work_->sorted;
  if (WorkOnOrder(false) && order_shown_) order_shown_(sorted);
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

// A filter that narrows the one shown looks only at the rows shown now; any other shows the rows
// in their sorted order again, without sorting them again. A filter asked for while the rows are
// being sorted waits for the sort.
void KeyListView::SetFilter(std::string_view text) {
  TextFilter filter(text);
  if (work_ != nullptr && work_->sorted) {
    // The rows sorted for it stay: the new filter looks at them (and at the rows appended since)
    // when they are.
    filter_ = std::move(filter);
    work_->filter = SteppedRowFilter(filter_, LocalTimeTexts());
    work_->ready = false;
    if (!work_->sort) WorkOnOrder(false);
    return;
  }
  work_.reset();  // a filter being made gives way to the newer one
  const bool narrows = mapped_ && !shown_filter_.empty() && rows_seen_ == rows_.size() &&
                       filter.Narrows(shown_filter_);
  filter_ = std::move(filter);
  if (sorted_.size() > rows_.size()) {  // rows were removed without being shown yet
    ShowRows(true);
    return;
  }
  BeginOrder(false, narrows ? &shown_ : nullptr);
  WorkOnOrder(false);
}

void KeyListView::Clear() {
  rows_.Clear();
  ShowRows(true);
}

void KeyListView::RemoveRows(std::vector<std::size_t> indices) {
  std::sort(indices.begin(), indices.end());
  indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
  indices.erase(std::lower_bound(indices.begin(), indices.end(), rows_.size()), indices.end());
  if (indices.empty()) return;
  rows_.Remove(indices);
  if (work_ != nullptr || rows_seen_ != rows_.size() + indices.size()) {
    // An order being made, or rows not shown yet: the order is made again.
    ShowRows(true);
    return;
  }
  rows_seen_ = rows_.size();
  RemoveFromOrder(indices, shown_);
  RemoveFromOrder(indices, sorted_);
  unsorted_tail_ = shown_sorted_ && sorted_.size() < rows_seen_;
  ShowItemsAfresh();
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

void KeyListView::SetDpi(int dpi) {
  if (dpi <= 0 || dpi == dpi_) return;
  std::array<int, kKeyListColumnCount> widths{};
  for (int i = 0; i < kKeyListColumnCount; ++i) widths[static_cast<std::size_t>(i)] = WidthOf(i);
  dpi_ = dpi;
  for (int i = 0; i < kKeyListColumnCount; ++i) SetWidth(i, widths[static_cast<std::size_t>(i)]);
}

int KeyListView::WidthOf(int column) const {
  return ScaleFromDpi(PixelWidthOf(hwnd_, column), dpi_);
}

void KeyListView::SetWidth(int column, int width) {
  SetPixelWidth(hwnd_, column, ScaleToDpi(width, dpi_));
}

std::array<int, KeyListView::kColumns> KeyListView::ColumnWidths() const {
  std::array<int, kColumns> widths{};
  for (int i = 0; i < kColumns; ++i) widths[static_cast<std::size_t>(i)] = WidthOf(i);
  return widths;
}

void KeyListView::SetColumnWidths(const std::array<int, kColumns>& widths) {
  for (int i = 0; i < kColumns; ++i) SetWidth(i, widths[static_cast<std::size_t>(i)]);
}

std::array<int, KeyListView::kDetailColumns> KeyListView::DetailColumnWidths() const {
  std::array<int, kDetailColumns> widths{};
  for (int i = 0; i < kDetailColumns; ++i) {
    widths[static_cast<std::size_t>(i)] = WidthOf(kColumns + i);
  }
  return widths;
}

void KeyListView::SetDetailColumnWidths(const std::array<int, kDetailColumns>& widths) {
  for (int i = 0; i < kDetailColumns; ++i) {
    SetWidth(kColumns + i, widths[static_cast<std::size_t>(i)]);
  }
}

void KeyListView::SetAfterReplace(std::unique_ptr<const AfterReplace> after) {
  const bool shown = after_ != nullptr;
  after_ = std::move(after);
  if (after_ == nullptr) {
    if (shown) SendMessageW(hwnd_, LVM_DELETECOLUMN, kAfterReplaceColumn, 0);
    return;
  }
  if (!shown) {
    std::wstring title = L"After replace";
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = title.data();
    column.cx = ScaleToDpi(kColumnWidths[kColumnData], dpi_);
    column.iSubItem = kAfterReplaceColumn;
    SendMessageW(hwnd_, LVM_INSERTCOLUMNW, kAfterReplaceColumn, reinterpret_cast<LPARAM>(&column));
  }
  InvalidateRect(hwnd_, nullptr, FALSE);  // the cells shown are made anew
}

void KeyListView::OnGetDispInfo(NMLVDISPINFOW& info) const {
  LVITEMW& item = info.item;
  if ((item.mask & LVIF_TEXT) == 0 || item.pszText == nullptr || item.cchTextMax <= 0) return;
  item.pszText[0] = L'\0';
  if (item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= ShownCount()) return;
  const std::size_t row = RowAt(static_cast<std::size_t>(item.iItem));
  const std::wstring wide =
      ToWide(item.iSubItem == kAfterReplaceColumn && after_ != nullptr
                 ? after_->CellText(rows_, row)
                 : CellText(rows_, row, item.iSubItem, LocalTimeText));
  const std::size_t room = static_cast<std::size_t>(item.cchTextMax) - 1;
  const std::size_t length = std::min(wide.size(), room);
  std::copy_n(wide.data(), length, item.pszText);
  item.pszText[length] = L'\0';
}

LRESULT KeyListView::OnCustomDraw(NMLVCUSTOMDRAW& draw) const {
  switch (draw.nmcd.dwDrawStage) {
    case CDDS_PREPAINT:
      return CDRF_NOTIFYITEMDRAW;
    case CDDS_ITEMPREPAINT: {
      const std::size_t item = static_cast<std::size_t>(draw.nmcd.dwItemSpec);
      if (item < ShownCount() &&
          rows_.Details(RowAt(item)).result == change::ChangeResult::kDeleted) {
        draw.clrText = GetSysColor(COLOR_GRAYTEXT);
        return CDRF_NEWFONT;
      }
      return CDRF_DODEFAULT;
    }
    default:
      return CDRF_DODEFAULT;
  }
}

void KeyListView::RedrawRow(std::size_t row) const {
  std::size_t item = row;
  if (mapped_) {
    const auto at = std::find(shown_.begin(), shown_.end(), row);
    if (at == shown_.end()) return;
    item = static_cast<std::size_t>(at - shown_.begin());
  } else if (row >= rows_.size()) {
    return;
  }
  SendMessageW(hwnd_, LVM_REDRAWITEMS, static_cast<WPARAM>(item), static_cast<LPARAM>(item));
}

}  // namespace keyloom::shell
