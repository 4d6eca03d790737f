// Helpers for tests that drive the real windows: message pumping, acting on a modal dialog or
// message box from inside its own modal loop, and reading window texts.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <string>
#include <vector>

#include "shell/win32/wide_text.h"

namespace keyloom::shell::testing {

// Dispatches this thread's messages until `done` holds or `timeout` passes; `pre` may take a
// message first (a window's keyboard handling). True when `done` held.
inline bool PumpUntil(const std::function<bool()>& done,
                      std::chrono::milliseconds timeout = std::chrono::seconds(10),
                      const std::function<bool(MSG&)>& pre = {}) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  while (true) {
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (pre && pre(message)) continue;
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
    if (done()) return true;
    if (std::chrono::steady_clock::now() >= deadline) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

inline void PumpFor(std::chrono::milliseconds time) {
  PumpUntil([] { return false; }, time);
}

// The texts of a window's children, in z-order.
inline std::vector<std::string> ChildTexts(HWND window) {
  std::vector<std::string> texts;
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    texts.push_back(WindowTextUtf8(child));
  }
  return texts;
}

inline HWND ChildWithText(HWND window, const std::string& text) {
  for (HWND child = GetWindow(window, GW_CHILD); child != nullptr;
       child = GetWindow(child, GW_HWNDNEXT)) {
    if (WindowTextUtf8(child) == text) return child;
  }
  return nullptr;
}

// While alive, watches this thread for a visible dialog or message box (class "#32770") other than
// `outer` (the dialog a nested one is shown from) and calls `action` once with it, from inside the
// modal loop that shows it. The action must close it. Watchers nest: the newest one acts.
class ModalWatcher {
 public:
  explicit ModalWatcher(std::function<void(HWND)> action, HWND outer = nullptr)
      : action_(std::move(action)), outer_(outer), previous_(current_) {
    current_ = this;
    timer_ = SetTimer(nullptr, 0, 20, OnTimer);
  }
  ~ModalWatcher() {
    KillTimer(nullptr, timer_);
    current_ = previous_;
  }
  ModalWatcher(const ModalWatcher&) = delete;
  ModalWatcher& operator=(const ModalWatcher&) = delete;

  int seen() const { return static_cast<int>(texts_.size()); }
  // The message text of each dialog seen, in order ("" for a dialog that is no message box).
  const std::vector<std::string>& texts() const { return texts_; }

 private:
  static BOOL CALLBACK FindDialog(HWND window, LPARAM found) {
    wchar_t name[16] = {};
    GetClassNameW(window, name, 16);
    if (window != current_->outer_ && std::wstring(name) == L"#32770" && IsWindowVisible(window)) {
      *reinterpret_cast<HWND*>(found) = window;
      return FALSE;
    }
    return TRUE;
  }
  static void CALLBACK OnTimer(HWND, UINT, UINT_PTR, DWORD) {
    ModalWatcher* self = current_;
    if (self == nullptr || self->busy_) return;
    HWND dialog = nullptr;
    EnumThreadWindows(GetCurrentThreadId(), FindDialog, reinterpret_cast<LPARAM>(&dialog));
    if (dialog == nullptr || dialog == self->last_) return;
    self->busy_ = true;
    self->last_ = dialog;
    self->texts_.push_back(WindowTextUtf8(GetDlgItem(dialog, 0xFFFF)));
    self->action_(dialog);
    self->busy_ = false;
  }

  static inline ModalWatcher* current_ = nullptr;
  std::function<void(HWND)> action_;
  HWND outer_;
  ModalWatcher* previous_;
  UINT_PTR timer_ = 0;
  HWND last_ = nullptr;
  std::vector<std::string> texts_;
  bool busy_ = false;
};

// The texts of a combo box's items.
inline std::vector<std::string> ComboItems(HWND combo) {
  std::vector<std::string> texts;
  const auto count = SendMessageW(combo, CB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t text[64] = {};
    SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(text));
    texts.push_back(FromWide(text));
  }
  return texts;
}

// The titles of a tab control's tabs or of a header's columns.
inline std::vector<std::string> ItemTitles(HWND control) {
  wchar_t name[32] = {};
  GetClassNameW(control, name, 32);
  const bool tabs = std::wstring(name) == WC_TABCONTROLW;
  const auto count = SendMessageW(control, tabs ? TCM_GETITEMCOUNT : HDM_GETITEMCOUNT, 0, 0);
  std::vector<std::string> titles;
  for (LRESULT i = 0; i < count; ++i) {
    wchar_t text[64] = {};
    TCITEMW tab{};
    tab.mask = TCIF_TEXT;
    tab.pszText = text;
    tab.cchTextMax = 64;
    HDITEMW column{};
    column.mask = HDI_TEXT;
    column.pszText = text;
    column.cchTextMax = 64;
    SendMessageW(control, tabs ? TCM_GETITEMW : HDM_GETITEMW, static_cast<WPARAM>(i),
                 tabs ? reinterpret_cast<LPARAM>(&tab) : reinterpret_cast<LPARAM>(&column));
    titles.push_back(FromWide(text));
  }
  return titles;
}

// The tooltip window owned by `owner`, or null.
struct TooltipSearch {
  HWND owner;
  HWND tooltip;
  static BOOL CALLBACK Visit(HWND window, LPARAM data) {
    auto* search = reinterpret_cast<TooltipSearch*>(data);
    wchar_t name[32] = {};
    GetClassNameW(window, name, 32);
    if (std::wstring(name) != TOOLTIPS_CLASSW || GetWindow(window, GW_OWNER) != search->owner) {
      return TRUE;
    }
    search->tooltip = window;
    return FALSE;
  }
};

// The hint that the tooltip window owned by `dialog` holds for its control `id`; "" when none.
inline std::string DialogHint(HWND dialog, int id) {
  TooltipSearch search{dialog, nullptr};
  EnumThreadWindows(GetCurrentThreadId(), TooltipSearch::Visit, reinterpret_cast<LPARAM>(&search));
  if (search.tooltip == nullptr) return {};
  wchar_t text[256] = {};
  TTTOOLINFOW tool{};
  tool.cbSize = sizeof(tool);
  tool.hwnd = dialog;
  tool.uId = reinterpret_cast<UINT_PTR>(GetDlgItem(dialog, id));
  tool.lpszText = text;
  SendMessageW(search.tooltip, TTM_GETTEXTW, 256, reinterpret_cast<LPARAM>(&tool));
  return FromWide(text);
}

// Runs `press` while the keyboard state shows Ctrl and Shift held as given, then restores it.
inline void WithModifiers(bool control, bool shift, const std::function<void()>& press) {
  BYTE keys[256] = {};
  GetKeyboardState(keys);
  BYTE held[256];
  std::copy(std::begin(keys), std::end(keys), std::begin(held));
  held[VK_CONTROL] = control ? 0x80 : 0;
  held[VK_SHIFT] = shift ? 0x80 : 0;
  SetKeyboardState(held);
  press();
  SetKeyboardState(keys);
}

// Presses a dialog's button the way a click does.
inline void Click(HWND button) { SendMessageW(button, BM_CLICK, 0, 0); }

// Posts a key's press and release to `control`, as the keyboard delivers them.
inline void PostKey(HWND control, WPARAM key) {
  PostMessageW(control, WM_KEYDOWN, key, 1);
  PostMessageW(control, WM_KEYUP, key, static_cast<LPARAM>(0xC0000001u));
}

// The text of a status bar control's first part.
inline std::string StatusBarText(HWND bar) {
  wchar_t text[256] = {};
  SendMessageW(bar, SB_GETTEXTW, 0, reinterpret_cast<LPARAM>(text));
  return FromWide(text);
}

// The text of a message box (its static control 0xFFFF).
inline std::string MessageBoxText(HWND box) { return WindowTextUtf8(GetDlgItem(box, 0xFFFF)); }

// A click on a list view's column header, as the header reports it to the list. (Under Wine a
// mouse click sent to the header is taken only once; its report is what a real click produces.)
inline void ClickListHeader(HWND list, int column) {
  HWND header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  NMHEADERW click{};
  click.hdr.hwndFrom = header;
  click.hdr.idFrom = static_cast<UINT_PTR>(GetDlgCtrlID(header));
  click.hdr.code = HDN_ITEMCLICKW;
  click.iItem = column;
  click.iButton = 0;
  SendMessageW(list, WM_NOTIFY, click.hdr.idFrom, reinterpret_cast<LPARAM>(&click));
}

}  // namespace keyloom::shell::testing
