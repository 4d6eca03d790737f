// Hints: a tooltip window that shows a text while the mouse rests on a control.
#pragma once

#include <windows.h>

#include <commctrl.h>

namespace keyloom::shell {

// A tooltip window owned by `owner`; null when it cannot be made.
inline HWND CreateHintWindow(HWND owner, HINSTANCE instance) {
  HWND tooltip =
      CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr,
                      WS_POPUP | TTS_ALWAYSTIP | TTS_NOPREFIX, CW_USEDEFAULT, CW_USEDEFAULT,
                      CW_USEDEFAULT, CW_USEDEFAULT, owner, nullptr, instance, nullptr);
  if (tooltip != nullptr) SendMessageW(tooltip, TTM_SETMAXTIPWIDTH, 0, 400);
  return tooltip;
}

// Shows `hint` for `control`, a child of `owner`.
inline void AddHint(HWND tooltip, HWND owner, HWND control, const wchar_t* hint) {
  if (tooltip == nullptr || control == nullptr) return;
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof(tool);
  tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
  tool.hwnd = owner;
  tool.uId = reinterpret_cast<UINT_PTR>(control);
  tool.lpszText = const_cast<wchar_t*>(hint);
  SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
}

// Shows `hint` over the area of `owner` that tool `id` names; the owner sets the area with
// TTM_NEWTOOLRECTW. Unlike a control's own hint, it shows while the control is disabled, since a
// disabled control's mouse messages go to its owner.
inline void AddAreaHint(HWND tooltip, HWND owner, int id, const wchar_t* hint) {
  if (tooltip == nullptr) return;
  TTTOOLINFOW area{};
  area.cbSize = sizeof(area);
  area.uFlags = TTF_SUBCLASS;
  area.hwnd = owner;
  area.uId = static_cast<UINT_PTR>(id);
  area.lpszText = const_cast<wchar_t*>(hint);
  SendMessageW(tooltip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&area));
}

}  // namespace keyloom::shell
