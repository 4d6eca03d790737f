// The Key List's columns and the text of each cell, cut from a row and its details.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

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
  kColumnResult,
  kColumnUser,
  kKeyListColumnCount,
};

// The column titles, in column order.
inline constexpr const char* kKeyListColumnTitles[kKeyListColumnCount] = {
    "ROOT", "Registry Key", "Value Name", "Type", "Data", "Found in", "Modified", "Result", "User"};

// A last write time (FILETIME count) as the user reads it; the window formats it in the user's
// local time and format.
using TimeText = std::function<std::string(std::uint64_t)>;

// A row's cells read at once: the text of every column but "Modified" as views into the rows
// (texts[kColumnModified] stays empty), and the row's last write time (0 when unknown).
struct RowCells {
  std::string_view texts[kKeyListColumnCount];
  std::uint64_t modified = 0;
};
RowCells CellsOf(const KeyListRows& rows, std::size_t row);

// The text of a cell of any column but "Modified", as a view into the rows.
std::string_view CellView(const KeyListRows& rows, std::size_t row, int column);

// The text of one cell. A text without a TAB is not a result row: it shows whole in the first
// column. An unknown time (0) shows empty.
std::string CellText(const KeyListRows& rows, std::size_t row, int column, const TimeText& time);

// The given rows as tab-separated text for a spreadsheet: a line of the column titles, then one
// line per row, lines ended by CR LF. A cell holding a TAB, a quote or a line break is put in
// quotes, its quotes doubled.
std::string RowsAsTabText(const KeyListRows& rows, const std::vector<std::size_t>& which,
                          const TimeText& time);

// The row's key as the registry editor names it: HKEY_CURRENT_USER\Software\Vendor. Empty for
// a text that is not a result row.
std::string KeyPathText(std::string_view row);

}  // namespace keyloom::shell
