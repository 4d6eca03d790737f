#include "shell/win32/value_editors.h"

#include <commctrl.h>

#include "change/value_text.h"
#include "shell/about_text.h"
#include "shell/win32/control_helpers.h"
#include "shell/win32/resource_ids.h"
#include "shell/win32/wide_text.h"

namespace keyloom::shell {
namespace {

std::u16string_view Units(std::wstring_view text) {
  return std::u16string_view(reinterpret_cast<const char16_t*>(text.data()), text.size());
}

// The clipboard's text; empty when it holds none.
std::wstring ClipboardText(HWND owner) {
  std::wstring text;
  if (!OpenClipboard(owner)) return text;
  if (HANDLE data = GetClipboardData(CF_UNICODETEXT)) {
    if (const auto* chars = static_cast<const wchar_t*>(GlobalLock(data))) {
      text = chars;
      GlobalUnlock(data);
    }
  }
  CloseClipboard();
  return text;
}

}  // namespace

// ---- The common part ----

std::string ValueEditor::Edit(HINSTANCE instance, HWND owner, std::string text) {
  owner_ = owner;
  text_ = std::move(text);
  DoModal(instance, template_id_, owner);
  return std::move(text_);
}

bool ValueEditor::OnInit() {
  // The field takes texts of any length, not only the 32767 characters typing allows by default.
  SendMessageW(Field(), EM_SETLIMITTEXT, 0, 0);
  FormCreate();
  FormActivate();
  CenterOn(owner_);
  if (select_all_) return true;  // the dialog manager focuses the field and selects its text
  SetFocus(Field());
  SendMessageW(Field(), EM_SETSEL, 0, 0);
  return false;
}

void ValueEditor::FormActivate() {
  SetWindowTextUtf8(Field(), text_);
  saved_text_ = WindowTextW(Field());
}

void ValueEditor::btnAcceptClick() {
  text_ = WindowTextUtf8(Field());
  End(IDOK);
}

// The text put in goes back, exactly as it came.
void ValueEditor::btnCancelClick() {
  SetWindowTextW(Field(), saved_text_.c_str());
  End(IDCANCEL);
}

void ValueEditor::SetLargeLabel(int label_id) {
  large_font_ =
      CreateDerivedFont(reinterpret_cast<HFONT>(SendMessageW(hwnd(), WM_GETFONT, 0, 0)), true, 1.8);
  SendMessageW(Item(label_id), WM_SETFONT, reinterpret_cast<WPARAM>(large_font_.get()), FALSE);
}

// ---- TfrmEditReg ----

TfrmEditReg::TfrmEditReg() : ValueEditor(IDD_EDIT_REG, IDC_EDIT_VALUE, true) {}

void TfrmEditReg::FormCreate() {
  SetWindowTextUtf8(hwnd(), caption);
  SetWindowTextUtf8(Item(IDC_EDIT_KEY), key_label);
  SetLargeLabel(IDC_EDIT_KEY_CAPTION);
}

// ---- TfrmEditDword ----

TfrmEditDword::TfrmEditDword() : ValueEditor(IDD_EDIT_DWORD, IDC_DWORD_VALUE, true) {}

void TfrmEditDword::FormCreate() {
  current_base_ = edit::NumberBase::kDecimal;
  SetWindowTextUtf8(Item(IDC_DWORD_KEY), key_label);
  SetLargeLabel(IDC_DWORD_KEY_CAPTION);
  SetChecked(Item(IDC_DWORD_DEC), true);
  INITCOMMONCONTROLSEX classes{sizeof(classes), ICC_BAR_CLASSES};
  InitCommonControlsEx(&classes);
  status_ = CreateWindowExW(0, STATUSCLASSNAMEW, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, hwnd(),
                            reinterpret_cast<HMENU>(static_cast<INT_PTR>(IDC_DWORD_STATUS)),
                            reinterpret_cast<HINSTANCE>(GetWindowLongPtrW(hwnd(), GWLP_HINSTANCE)),
                            nullptr);
  SendMessageW(status_, SB_SIMPLE, TRUE, 0);
  SendMessageW(status_, WM_SETFONT, static_cast<WPARAM>(SendMessageW(hwnd(), WM_GETFONT, 0, 0)),
               FALSE);
  SetWindowSubclass(Field(), FieldProc, 1, reinterpret_cast<DWORD_PTR>(this));
}

bool TfrmEditDword::OnCommand(int id, int code, HWND control) {
  if (id == IDC_DWORD_HEX && code == BN_CLICKED) {
    radHexClick();
  } else if (id == IDC_DWORD_DEC && code == BN_CLICKED) {
    radDecClick();
  } else if (id == IDOK) {
    btnAcceptDwordClick();
  } else {
    return ValueEditor::OnCommand(id, code, control);
  }
  return true;
}

void TfrmEditDword::radHexClick() {
  SwitchBase(edit::NumberBase::kHexadecimal, edit::DecimalToHex);
}

void TfrmEditDword::radDecClick() { SwitchBase(edit::NumberBase::kDecimal, edit::HexToDecimal); }

// A text that cannot be converted stays, and so does the base; the status line says so.
void TfrmEditDword::SwitchBase(edit::NumberBase base, Conversion convert) {
  ShowStatus("");
  if (current_base_ == base) return;
  const std::optional<std::string> converted = convert(WindowTextUtf8(Field()));
  if (!converted) {
    ShowStatus(edit::kConversionError);
    return;
  }
  SetWindowTextUtf8(Field(), *converted);
  current_base_ = base;
}

// Back to decimal first; a text that cannot be converted goes out as it is.
void TfrmEditDword::btnAcceptDwordClick() {
  SetChecked(Item(IDC_DWORD_HEX), false);
  SetChecked(Item(IDC_DWORD_DEC), true);
  radDecClick();
  btnAcceptClick();
}

void TfrmEditDword::ShowStatus(const std::string& status) {
  const std::wstring wide = ToWide(status);
  SendMessageW(status_, SB_SETTEXTW, SB_SIMPLEID, reinterpret_cast<LPARAM>(wide.c_str()));
}

bool TfrmEditDword::AcceptsInsert(HWND field, std::wstring_view typed) const {
  DWORD start = 0, end = 0;
  SendMessageW(field, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  const std::wstring current = WindowTextW(field);
  return edit::AcceptsTyping(Units(current), start, end, Units(typed), current_base_, Is64Bit);
}

LRESULT CALLBACK TfrmEditDword::FieldProc(HWND field, UINT message, WPARAM wparam, LPARAM lparam,
                                          UINT_PTR id, DWORD_PTR self) {
  const auto* editor = reinterpret_cast<const TfrmEditDword*>(self);
  switch (message) {
    case WM_CHAR: {
      // Control characters (backspace, the clipboard keys) keep their meaning.
      const auto typed = static_cast<wchar_t>(wparam);
      if (typed >= L' ' && !editor->AcceptsInsert(field, std::wstring_view(&typed, 1))) return 0;
      break;
    }
    case WM_PASTE:
      if (!editor->AcceptsInsert(field, ClipboardText(field))) return 0;
      break;
    case WM_NCDESTROY:
      RemoveWindowSubclass(field, FieldProc, id);
      break;
    default:
      break;
  }
  return DefSubclassProc(field, message, wparam, lparam);
}

// ---- TfrmMultiEdit ----

TfrmMultiEdit::TfrmMultiEdit() : ValueEditor(IDD_MULTI_EDIT, IDC_MULTI_TEXT, false) {}

void TfrmMultiEdit::FormCreate() {
  SetWindowTextUtf8(hwnd(), WindowTextUtf8(hwnd()) + " - " + value_label);
}

void TfrmMultiEdit::OnOK() {
  std::size_t removed = 0;
  const std::string kept = change::WithoutEmptyLines(WindowTextUtf8(Field()), &removed);
  if (removed > 0) {
    SetWindowTextUtf8(Field(), kept);
    MessageBoxW(hwnd(), ToWide(change::EmptyLinesRemovedText(removed)).c_str(), kAppTitle,
                MB_OK | MB_ICONWARNING);
  }
  btnAcceptClick();
}

// ---- The main window's dialogs ----

std::string WindowEditDialogs::ShowEditReg(const std::string& caption, const std::string& key_label,
                                           const std::string& text) {
  TfrmEditReg dialog;
  dialog.caption = caption;
  dialog.key_label = key_label;
  return dialog.Edit(instance_, owner_, text);
}

std::string WindowEditDialogs::ShowEditDword(const std::string& key_label, const std::string& text,
                                             bool is_64bit) {
  TfrmEditDword dialog;
  dialog.key_label = key_label;
  dialog.Is64Bit = is_64bit;
  return dialog.Edit(instance_, owner_, text);
}

std::string WindowEditDialogs::ShowMultiEdit(const std::string& value_label,
                                             const std::string& text) {
  TfrmMultiEdit dialog;
  dialog.value_label = value_label;
  return dialog.Edit(instance_, owner_, text);
}

}  // namespace keyloom::shell
