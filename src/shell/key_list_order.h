// Which of the Key List's rows show and in what order: a sort by one column and a text filter,
// both computed over an index of the rows, never moving the rows themselves.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
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

// `order` (row indices) sorted by a column, stably: rows that compare equal keep their order.
// Text compares with ASCII letter case ignored; "Modified" compares the times as numbers (an
// unknown time first).
void SortRows(const KeyListRows& rows, int column, bool descending,
              std::vector<std::size_t>& order);

// 0, 1, ..., count - 1.
std::vector<std::size_t> AllRows(std::size_t count);

}  // namespace keyloom::shell
