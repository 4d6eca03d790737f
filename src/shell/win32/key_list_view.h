// The Key List (lstKeys): a virtual report list view over rows that the GUI thread owns. The
// control holds no text: it asks for each visible cell on LVN_GETDISPINFOW, and the cell is cut
// from the row by the one parsing rule of Key List rows. Appending rows only tells the control the
// new count, without repainting what it already shows, so a long run costs the control nothing but
// the rows in view.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <commctrl.h>

#include "shell/key_list_order.h"
#include "shell/key_list_rows.h"

namespace keyloom::shell {

// A last write time (FILETIME count) in the user's local time and date and time format.
std::string LocalTimeText(std::uint64_t file_time);

// LocalTimeText for many times in a row (a filter looking at every row): the time zone is read
// once, and the text of each date and of each time of day is made once.
class LocalTimeTexts {
 public:
  LocalTimeTexts();
  std::string operator()(std::uint64_t file_time);

 private:
  TIME_ZONE_INFORMATION zone_{};
  bool has_zone_ = false;
  std::unordered_map<std::uint32_t, std::string> dates_;  // by local year, month and day
  std::unordered_map<std::uint32_t, std::string> times_;  // by local second of the day
};

class KeyListView {
 public:
  static constexpr int kColumns = 3;  // the row's own columns
  static constexpr int kDetailColumns = 4;

  // Creates the control with the columns "ROOT", "Registry Key", "Value Name", then a hit's
  // "Type", "Data", "Found in" and "Modified".
  HWND Create(HWND parent, int id, HINSTANCE instance);
  HWND hwnd() const { return hwnd_; }

  // The rows, in list order: root TAB path TAB value name. After changing them, call ShowRows.
  KeyListRows& rows() { return rows_; }
  const KeyListRows& rows() const { return rows_; }

  // Tells the control the rows. `reset` when rows were removed or replaced (forgets the
  // selection, sorts and filters again and repaints everything); otherwise rows were only
  // appended: those that pass the filter show at the end, also while the list is sorted, until
  // the next ApplyOrder.
  void ShowRows(bool reset);
  void Clear();

  // The rows shown and their order. The control's items are the shown rows; every row index the
  // view takes or gives is an index into rows().
  std::size_t ShownCount() const { return mapped_ ? shown_.size() : rows_.size(); }
  std::size_t RowAt(std::size_t item) const { return mapped_ ? shown_[item] : item; }
  // The shown rows' indices in their order, or nullopt when all rows show in list order.
  const std::vector<std::size_t>* ShownOrder() const { return mapped_ ? &shown_ : nullptr; }

  // Sorts by `column`: ascending, or the other way when it is already sorted by it. The header
  // shows the arrow.
  void SortBy(int column);
  int SortColumn() const { return sort_column_; }
  bool SortDescending() const { return descending_; }
  // Whether rows were appended at the end of a sorted list since it was last sorted.
  bool UnsortedTail() const { return unsorted_tail_; }
  void SetFilter(std::string_view text);
  bool Filtered() const { return !filter_.empty(); }
  // Sorts and filters all rows again (the selection is forgotten).
  void ApplyOrder();

  std::size_t SelectedCount() const;
  // The selected rows' indices, in shown order.
  std::vector<std::size_t> SelectedRows() const;
  // Selects exactly those of the given rows that show.
  void Select(const std::vector<std::size_t>& rows);
  // Selects every shown row.
  void SelectAll();

  // Widths of the columns by their index (not their displayed order).
  std::array<int, kColumns> ColumnWidths() const;
  void SetColumnWidths(const std::array<int, kColumns>& widths);
  std::array<int, kDetailColumns> DetailColumnWidths() const;
  void SetDetailColumnWidths(const std::array<int, kDetailColumns>& widths);

  // LVN_GETDISPINFOW: the cell's text.
  void OnGetDispInfo(NMLVDISPINFOW& info) const;

 private:
  void ShowSortArrow() const;
  // Shows the rows that pass the filter: of `narrowed` when given, else of all rows in their
  // sorted order (the selection is forgotten).
  void ShowOrder(const std::vector<std::size_t>* narrowed);

  HWND hwnd_ = nullptr;
  KeyListRows rows_;
  bool mapped_ = false;             // shown_ decides what shows (a sort or a filter is active)
  std::vector<std::size_t> shown_;  // row indices in shown order, when mapped_
  // When sorted: the rows there were at the sort, in sorted order (a filter change does not sort
  // again).
  std::vector<std::size_t> sorted_;
  std::size_t rows_seen_ = 0;  // rows_.size() when the view last looked at it
  int sort_column_ = -1;
  bool descending_ = false;
  bool unsorted_tail_ = false;
  TextFilter filter_;
};

}  // namespace keyloom::shell
