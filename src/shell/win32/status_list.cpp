#include "shell/win32/status_list.h"

#include "shell/win32/wide_text.h"

namespace keyloom::shell {
namespace {

std::string ItemText(HWND list, int index) {
  const LRESULT length = SendMessageW(list, LB_GETTEXTLEN, static_cast<WPARAM>(index), 0);
  if (length == LB_ERR) return {};
  std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
  const LRESULT copied = SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(index),
                                      reinterpret_cast<LPARAM>(text.data()));
  text.resize(copied == LB_ERR ? 0 : static_cast<std::size_t>(copied));
  return FromWide(text);
}

}  // namespace

HWND StatusList::Create(HWND parent, int id, HINSTANCE instance) {
  hwnd_ = CreateWindowExW(
      WS_EX_CLIENTEDGE, L"LISTBOX", L"",
      WS_CHILD | WS_VISIBLE | WS_TABSTOP | WS_VSCROLL | LBS_NOTIFY | LBS_NOINTEGRALHEIGHT, 0, 0, 0,
      0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
  return hwnd_;
}

void StatusList::Apply(std::size_t removed_front, const std::vector<std::string>& appended) {
  if (removed_front == 0 && appended.empty()) return;
  const bool many = removed_front + appended.size() > 8;
  if (many) SendMessageW(hwnd_, WM_SETREDRAW, FALSE, 0);
  const LRESULT count = SendMessageW(hwnd_, LB_GETCOUNT, 0, 0);
  if (count != LB_ERR && removed_front >= static_cast<std::size_t>(count)) {
    SendMessageW(hwnd_, LB_RESETCONTENT, 0, 0);
  } else {
    for (std::size_t i = 0; i < removed_front; ++i) SendMessageW(hwnd_, LB_DELETESTRING, 0, 0);
  }
  for (const std::string& line : appended) {
    const std::wstring wide = ToWide(line);
    SendMessageW(hwnd_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(wide.c_str()));
  }
  const LRESULT last = SendMessageW(hwnd_, LB_GETCOUNT, 0, 0) - 1;
  if (last >= 0) SendMessageW(hwnd_, LB_SETCURSEL, static_cast<WPARAM>(last), 0);
  if (many) {
    SendMessageW(hwnd_, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(hwnd_, nullptr, TRUE);
  }
}

std::vector<std::string> StatusList::Lines() const {
  std::vector<std::string> lines;
  const LRESULT count = SendMessageW(hwnd_, LB_GETCOUNT, 0, 0);
  for (LRESULT i = 0; i < count; ++i) lines.push_back(ItemText(hwnd_, static_cast<int>(i)));
  return lines;
}

std::optional<std::string> StatusList::SelectedLine() const {
  const LRESULT selected = SendMessageW(hwnd_, LB_GETCURSEL, 0, 0);
  if (selected == LB_ERR) return std::nullopt;
  return ItemText(hwnd_, static_cast<int>(selected));
}

}  // namespace keyloom::shell
