// The Key List's columns and the text of each cell, cut from a row and its details.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

#include "shell/key_list_rows.h"

namespace keyloom::shell {

enum KeyListColumn : int {
  kColumnRoot,
  kColumnPath,
  kColumnValueName,
  kColumnType,
  kColumnData,
  kColumnFoundIn,
  kColumnModified,
  kKeyListColumnCount,
};

// The column titles, in column order.
inline constexpr const char* kKeyListColumnTitles[kKeyListColumnCount] = {
    "ROOT", "Registry Key", "Value Name", "Type", "Data", "Found in", "Modified"};

// A last write time (FILETIME count) as the user reads it; the window formats it in the user's
// local time and format.
using TimeText = std::function<std::string(std::uint64_t)>;

// The text of a cell of any column but "Modified", as a view into the rows.
std::string_view CellView(const KeyListRows& rows, std::size_t row, int column);

// The text of one cell. A text without a TAB is not a result row: it shows whole in the first
// column. An unknown time (0) shows empty.
std::string CellText(const KeyListRows& rows, std::size_t row, int column, const TimeText& time);

}  // namespace keyloom::shell
