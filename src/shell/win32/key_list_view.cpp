#include "shell/win32/key_list_view.h"

#include <algorithm>
#include <string_view>

#include "engine/key_list_entry.h"
#include "shell/win32/wide_text.h"

namespace keyloom::shell {
namespace {

struct ColumnSpec {
  const wchar_t* title;
  int width;
};
constexpr ColumnSpec kColumnSpecs[KeyListView::kColumns] = {
    {L"ROOT", 140}, {L"Registry Key", 330}, {L"Value Name", 150}};

}  // namespace

HWND KeyListView::Create(HWND parent, int id, HINSTANCE instance) {
  hwnd_ = CreateWindowExW(
      WS_EX_CLIENTEDGE, WC_LISTVIEWW, L"",
      WS_CHILD | WS_VISIBLE | WS_TABSTOP | LVS_REPORT | LVS_OWNERDATA | LVS_SHOWSELALWAYS, 0, 0, 0,
      0, parent, reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), instance, nullptr);
  if (hwnd_ == nullptr) return nullptr;
  const DWORD ex_style = LVS_EX_FULLROWSELECT | LVS_EX_HEADERDRAGDROP | LVS_EX_DOUBLEBUFFER;
  SendMessageW(hwnd_, LVM_SETEXTENDEDLISTVIEWSTYLE, ex_style, ex_style);
  for (int i = 0; i < kColumns; ++i) {
    LVCOLUMNW column{};
    column.mask = LVCF_TEXT | LVCF_WIDTH | LVCF_SUBITEM;
    column.pszText = const_cast<wchar_t*>(kColumnSpecs[i].title);
    column.cx = kColumnSpecs[i].width;
    column.iSubItem = i;
    SendMessageW(hwnd_, LVM_INSERTCOLUMNW, static_cast<WPARAM>(i),
                 reinterpret_cast<LPARAM>(&column));
  }
  return hwnd_;
}

void KeyListView::ShowRows(bool reset) {
  const auto count = static_cast<WPARAM>(rows_.size());
  if (reset) {
    SendMessageW(hwnd_, LVM_DELETEALLITEMS, 0, 0);
    SendMessageW(hwnd_, LVM_SETITEMCOUNT, count, 0);
    InvalidateRect(hwnd_, nullptr, TRUE);
  } else {
    SendMessageW(hwnd_, LVM_SETITEMCOUNT, count, LVSICF_NOINVALIDATEALL | LVSICF_NOSCROLL);
  }
}

void KeyListView::Clear() {
  rows_.Clear();
  ShowRows(true);
}

std::size_t KeyListView::SelectedCount() const {
  return static_cast<std::size_t>(SendMessageW(hwnd_, LVM_GETSELECTEDCOUNT, 0, 0));
}

std::vector<std::size_t> KeyListView::SelectedRows() const {
  std::vector<std::size_t> rows;
  int index = -1;
  while ((index = static_cast<int>(SendMessageW(hwnd_, LVM_GETNEXTITEM, static_cast<WPARAM>(index),
                                                LVNI_SELECTED))) != -1) {
    rows.push_back(static_cast<std::size_t>(index));
  }
  return rows;
}

void KeyListView::Select(const std::vector<std::size_t>& rows) {
  LVITEMW state{};
  state.stateMask = LVIS_SELECTED;
  state.state = 0;
  SendMessageW(hwnd_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
  state.state = LVIS_SELECTED;
  for (std::size_t row : rows) {
    if (row >= rows_.size()) continue;
    SendMessageW(hwnd_, LVM_SETITEMSTATE, static_cast<WPARAM>(row),
                 reinterpret_cast<LPARAM>(&state));
  }
}

void KeyListView::SelectAll() {
  LVITEMW state{};
  state.stateMask = LVIS_SELECTED;
  state.state = LVIS_SELECTED;
  SendMessageW(hwnd_, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&state));
}

std::array<int, KeyListView::kColumns> KeyListView::ColumnWidths() const {
  std::array<int, kColumns> widths{};
  for (int i = 0; i < kColumns; ++i) {
    widths[static_cast<std::size_t>(i)] =
        static_cast<int>(SendMessageW(hwnd_, LVM_GETCOLUMNWIDTH, static_cast<WPARAM>(i), 0));
  }
  return widths;
}

void KeyListView::SetColumnWidths(const std::array<int, kColumns>& widths) {
  for (int i = 0; i < kColumns; ++i) {
    SendMessageW(hwnd_, LVM_SETCOLUMNWIDTH, static_cast<WPARAM>(i),
                 MAKELPARAM(widths[static_cast<std::size_t>(i)], 0));
  }
}

void KeyListView::OnGetDispInfo(NMLVDISPINFOW& info) const {
  LVITEMW& item = info.item;
  if ((item.mask & LVIF_TEXT) == 0 || item.pszText == nullptr || item.cchTextMax <= 0) return;
  item.pszText[0] = L'\0';
  if (item.iItem < 0 || static_cast<std::size_t>(item.iItem) >= rows_.size()) return;
  const std::string_view row = rows_[static_cast<std::size_t>(item.iItem)];
  std::string_view cell;
  const auto entry = engine::ParseKeyListEntry(row);
  if (!entry) {
    if (item.iSubItem == 0) cell = row;  // not a result row: shown whole in the first column
  } else if (item.iSubItem == 0) {
    cell = entry->root;
  } else if (item.iSubItem == 1) {
    cell = entry->path;
  } else if (item.iSubItem == 2) {
    cell = entry->value_name;
  }
  const std::wstring wide = ToWide(cell);
  const std::size_t room = static_cast<std::size_t>(item.cchTextMax) - 1;
  const std::size_t length = std::min(wide.size(), room);
  std::copy_n(wide.data(), length, item.pszText);
  item.pszText[length] = L'\0';
}

}  // namespace keyloom::shell
