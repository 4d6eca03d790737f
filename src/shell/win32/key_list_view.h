// The Key List (lstKeys): a virtual report list view over rows that the GUI thread owns. The
// control holds no text: it asks for each visible cell on LVN_GETDISPINFOW, and the cell is cut
// from the row by the one parsing rule of Key List rows. Appending rows only tells the control the
// new count, without repainting what it already shows, so a long run costs the control nothing but
// the rows in view.
//
// Sorting and filtering a large list takes longer than a window may go without answering. Both
// are done in slices of about kSliceMs on the window's thread: a request does the first slice at
// once; when more is left, the view posts kMsgOrderStep to its parent, which passes it on to
// OnOrderStep for the next slice (a timer takes the post's place while input or painting waits,
// so that keys and clicks are not held up behind the slices). The list keeps showing the former
// order until the new one is complete, then switches in one step: everything that reads the shown
// rows sees either order whole. A newer sort or filter takes the place of the one in progress;
// resetting the rows ends it; rows appended meanwhile are handled as rows appended to a shown
// order are.
#pragma once

#include <windows.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include <commctrl.h>

#include "shell/after_replace.h"
#include "shell/dpi_scale.h"
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
  static constexpr int kDetailColumns = 6;
  // Posted to the parent window, which calls OnOrderStep.
  static constexpr UINT kMsgOrderStep = WM_APP + 3;
  static constexpr int kSliceMs = 20;

  KeyListView();
  ~KeyListView();

  // Creates the control with the columns "ROOT", "Registry Key", "Value Name", then a hit's
  // "Type", "Data", "Found in", "Modified" and "Result".
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
  // Takes the rows at `indices` (into rows()) out of the list. The others keep the order they
  // show in, without being sorted or filtered again; the selection is forgotten.
  void RemoveRows(std::vector<std::size_t> indices);

  // The rows shown and their order. The control's items are the shown rows; every row index the
  // view takes or gives is an index into rows().
  std::size_t ShownCount() const { return mapped_ ? shown_.size() : rows_.size(); }
  std::size_t RowAt(std::size_t item) const { return mapped_ ? shown_[item] : item; }
  // The shown rows' indices in their order, or nullopt when all rows show in list order.
  const std::vector<std::size_t>* ShownOrder() const { return mapped_ ? &shown_ : nullptr; }

  // Sorts by `column`: ascending, or the other way when it was last asked to sort by it. The
  // header shows the arrow at once, the rows when they are sorted.
  void SortBy(int column);
  // Whether rows were appended at the end of a sorted list since it was last sorted.
  bool UnsortedTail() const { return unsorted_tail_; }
  void SetFilter(std::string_view text);
  // Whether the rows shown are filtered.
  bool Filtered() const { return !shown_filter_.empty(); }
  // Sorts and filters all rows again (the selection is forgotten).
  void ApplyOrder();
  // Whether a sort or filter is still being made (the former order shows meanwhile).
  bool Ordering() const { return work_ != nullptr; }
  // Called when an order that took more than one slice shows; `sorted` when the rows were sorted
  // again for it.
  void SetOrderShown(std::function<void(bool sorted)> shown) { order_shown_ = std::move(shown); }
  // The next slice of the order being made (kMsgOrderStep).
  void OnOrderStep();

  std::size_t SelectedCount() const;
  // The selected rows' indices, in shown order.
  std::vector<std::size_t> SelectedRows() const;
  // Selects exactly those of the given rows that show.
  void Select(const std::vector<std::size_t>& rows);
  // Selects every shown row.
  void SelectAll();

  // The DPI the control is shown at: the columns keep their widths in design units.
  void SetDpi(int dpi);
  int dpi() const { return dpi_; }
  // Widths of the columns by their index (not their displayed order), in design units (pixels at
  // 96 DPI).
  std::array<int, kColumns> ColumnWidths() const;
  void SetColumnWidths(const std::array<int, kColumns>& widths);
  std::array<int, kDetailColumns> DetailColumnWidths() const;
  void SetDetailColumnWidths(const std::array<int, kDetailColumns>& widths);
  // The width of the column with index `column` in design units; sets it.
  int WidthOf(int column) const;
  void SetWidth(int column, int width);

  // The "After replace" column, after all others: shown with `after`, whose cells are made as rows
  // are drawn, and taken away again with null. It is neither exported nor kept in the settings.
  static constexpr int kAfterReplaceColumn = kKeyListColumnCount;
  void SetAfterReplace(std::unique_ptr<const AfterReplace> after);
  const AfterReplace* after_replace() const { return after_.get(); }

  // LVN_GETDISPINFOW: the cell's text.
  void OnGetDispInfo(NMLVDISPINFOW& info) const;
  // NM_CUSTOMDRAW: rows whose item was deleted are drawn in the grey of unavailable text.
  LRESULT OnCustomDraw(NMLVCUSTOMDRAW& draw) const;
  // Repaints the shown item of row `row` (an index into rows()) after it was rewritten.
  void RedrawRow(std::size_t row) const;

 private:
  struct OrderWork;

  void ShowSortArrow() const;
  // The control's items made anew for the order shown (the selection is forgotten).
  void ShowItemsAfresh();
  // Begins the order asked for: the rows sorted again when `sort`, else in their sorted order;
  // of `narrowed` when given. Does the first slice.
  void BeginOrder(bool sort, const std::vector<std::size_t>* narrowed);
  // Works on the order for one slice (or to its end); true when it shows.
  bool WorkOnOrder(bool to_end);
  // Shows the finished order in one step (the selection is forgotten).
  void ShowWork();
  void ScheduleStep();
  static void CALLBACK StepTimer(HWND window, UINT message, UINT_PTR id, DWORD time);

  int dpi_ = kDesignDpi;
  HWND hwnd_ = nullptr;
  KeyListRows rows_;
  // What shows.
  bool mapped_ = false;             // shown_ decides what shows (a sort or a filter is active)
  std::vector<std::size_t> shown_;  // row indices in shown order, when mapped_
  // When sorted: the rows there were at the sort, in sorted order (a filter change does not sort
  // again).
  std::vector<std::size_t> sorted_;
  std::size_t rows_seen_ = 0;  // rows_.size() when the view last looked at it
  bool shown_sorted_ = false;
  bool unsorted_tail_ = false;
  TextFilter shown_filter_;
  // What was asked for last.
  int sort_column_ = -1;
  bool descending_ = false;
  TextFilter filter_;
  // The order being made, and whether its next slice is posted or timed.
  std::unique_ptr<OrderWork> work_;
  bool step_pending_ = false;
  std::function<void(bool)> order_shown_;
  std::unique_ptr<const AfterReplace> after_;  // while the "After replace" column shows
};

}  // namespace keyloom::shell
