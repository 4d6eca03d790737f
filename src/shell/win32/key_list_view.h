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
#include <vector>

#include <commctrl.h>

#include "shell/key_list_rows.h"

namespace keyloom::shell {

// A last write time (FILETIME count) in the user's local time and date and time format.
std::string LocalTimeText(std::uint64_t file_time);

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

  // Tells the control the row count. `reset` when rows were removed or replaced (forgets the
  // selection and repaints everything); otherwise rows were only appended.
  void ShowRows(bool reset);
  void Clear();

  std::size_t SelectedCount() const;
  // The selected rows' indices, in list order.
  std::vector<std::size_t> SelectedRows() const;
  // Selects exactly the given rows.
  void Select(const std::vector<std::size_t>& rows);
  void SelectAll();

  // Widths of the columns by their index (not their displayed order).
  std::array<int, kColumns> ColumnWidths() const;
  void SetColumnWidths(const std::array<int, kColumns>& widths);
  std::array<int, kDetailColumns> DetailColumnWidths() const;
  void SetDetailColumnWidths(const std::array<int, kDetailColumns>& widths);

  // LVN_GETDISPINFOW: the cell's text.
  void OnGetDispInfo(NMLVDISPINFOW& info) const;

 private:
  HWND hwnd_ = nullptr;
  KeyListRows rows_;
};

}  // namespace keyloom::shell
