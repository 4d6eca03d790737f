// The Key List's right-click menu: which row commands a selection allows. Editing, renaming,
// opening the registry editor and saving the list act on one row (or the whole list), so they are
// offered only while at most one row is selected; "&Delete" works on any number of rows and is
// left as it is; "Re&place Selected" needs at least one.
#pragma once

#include <cstddef>

namespace keyloom::shell {

struct KeyListMenuState {
  bool edit = true;          // "&Edit" (mnuEdit)
  bool rename = true;        // "&Rename" (mnuRename)
  bool open_regedit = true;  // "&Open Regedit" (mnuOpenRegedit)
  bool save_list = true;     // "&Save List to.." (mnuSaveList)
  bool replace_selected = true;  // "Re&place Selected": any number of rows, at least one
  bool operator==(const KeyListMenuState&) const = default;
};

inline KeyListMenuState KeyListMenuStateFor(std::size_t selected_rows) {
  const bool single = selected_rows <= 1;
  return KeyListMenuState{single, single, single, single, selected_rows > 0};
}

}  // namespace keyloom::shell
