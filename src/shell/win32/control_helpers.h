// One-line helpers for the standard controls.
#pragma once

#include <windows.h>

#include <string>

namespace keyloom::shell {

inline bool IsChecked(HWND check) { return SendMessageW(check, BM_GETCHECK, 0, 0) == BST_CHECKED; }

inline void SetChecked(HWND check, bool on) {
  SendMessageW(check, BM_SETCHECK, on ? BST_CHECKED : BST_UNCHECKED, 0);
}

// The combo box's selected item index; 0 when none is selected.
inline int Selection(HWND combo) {
  const LRESULT index = SendMessageW(combo, CB_GETCURSEL, 0, 0);
  return index == CB_ERR ? 0 : static_cast<int>(index);
}

inline void Select(HWND combo, int index) {
  SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

// The text of a list box's item `index`.
inline std::wstring ListBoxText(HWND list, LRESULT index) {
  const auto item = static_cast<WPARAM>(index);
  std::wstring text(static_cast<std::size_t>(SendMessageW(list, LB_GETTEXTLEN, item, 0)), L'\0');
  SendMessageW(list, LB_GETTEXT, item, reinterpret_cast<LPARAM>(text.data()));
  return text;
}

}  // namespace keyloom::shell
