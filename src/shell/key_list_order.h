// Which of the Key List's rows show and in what order: a sort by one column and a text filter,
// both computed over an index of the rows, never moving the rows themselves.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "shell/key_list_cells.h"
#include "shell/key_list_rows.h"

namespace keyloom::shell {

// Whether a cell holds a text, letter case ignored (ASCII letters and the letters the registry
// folds in names).
class TextFilter {
 public:
  explicit TextFilter(std::string_view text = {});
  bool empty() const { return ascii_.empty() && units_.empty(); }
  bool Matches(std::string_view cell) const;
  bool HasTab() const;
  // Whether every cell this filter matches is matched by `wider` too (its text holds wider's), so
  // that narrowing a filter needs to look only at the rows the wider one kept.
  bool Narrows(const TextFilter& wider) const;

 private:
  std::string ascii_;     // the text in lower case, when it is all ASCII
  std::u16string units_;  // the text upper-cased as UTF-16, otherwise
};

// Whether any of the row's cells holds the filter's text.
bool RowMatches(const KeyListRows& rows, std::size_t row, const TextFilter& filter,
                const TimeText& time);

// The rows of `order` that match `filter`, in their order.
std::vector<std::size_t> FilterRows(const KeyListRows& rows, const std::vector<std::size_t>& order,
                                    const TextFilter& filter, const TimeText& time);

// Filters an order of rows as FilterRows does, in steps of bounded work.
class SteppedRowFilter {
 public:
  SteppedRowFilter(TextFilter filter, TimeText time);
  const TextFilter& filter() const { return filter_; }
  // Looks at up to `budget` more rows of `order`, from where the last step stopped. `order` may
  // have grown at its end since. True when every row of `order` has been looked at.
  bool Step(const KeyListRows& rows, const std::vector<std::size_t>& order, std::size_t budget);
  // The rows that matched, in their order.
  std::vector<std::size_t> Take() { return std::move(shown_); }

 private:
  TextFilter filter_;
  TimeText time_;
  std::size_t next_ = 0;
  // The hits of one key follow each other and share its time: its text is made and looked at
  // once.
  std::uint64_t last_time_ = 0;
  bool last_matched_ = false;
  std::vector<std::size_t> shown_;
};

// Sorts an order of rows as SortRows does, in steps of bounded work. The rows may grow between
// steps (appending moves no row's text) but must not lose rows.
class SteppedRowSort {
 public:
  SteppedRowSort(const KeyListRows& rows, int column, bool descending,
                 std::vector<std::size_t> order);
  SteppedRowSort(SteppedRowSort&&) = default;
  SteppedRowSort& operator=(SteppedRowSort&&) = default;
  ~SteppedRowSort();
  // Does up to about `budget` units of work (a cell read, keyed, moved or looked at). True when
  // the order is sorted.
  bool Step(std::size_t budget);
  // The sorted order, once Step said so.
  std::vector<std::size_t> Take() { return std::move(order_); }

 private:
  struct State;
  const KeyListRows* rows_;
  std::vector<std::size_t> order_;
  std::unique_ptr<State> state_;
};

// `order` (row indices) sorted by a column, stably: rows that compare equal keep their order.
// Text compares with ASCII letter case ignored; "Modified" compares the times as numbers (an
// unknown time first).
void SortRows(const KeyListRows& rows, int column, bool descending,
              std::vector<std::size_t>& order);

// 0, 1, ..., count - 1.
std::vector<std::size_t> AllRows(std::size_t count);

// `order` (row indices) after the rows `removed` (ascending, no repeats) were taken out of the
// list: their indices are dropped, every other one moves down by the number of removed rows
// before it, and the order stays as it is.
void RemoveFromOrder(const std::vector<std::size_t>& removed, std::vector<std::size_t>& order);

}  // namespace keyloom::shell
