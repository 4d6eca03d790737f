// The three value editors and the main window's answer to the edit flow's dialog requests. Each
// editor is shown modally for one edit, centred on its owner: the caller puts its text in, and
// takes the text out afterwards. "&Accept" keeps the text as edited; "&Cancel" (also Escape) puts
// back the text the dialog opened with. Their layouts are templates in res/edit_dialogs.rc.
#pragma once

#include <windows.h>

#include <optional>
#include <string>
#include <string_view>

#include "edit/change_key.h"
#include "edit/number_entry.h"
#include "shell/win32/ui_font.h"
#include "shell/win32/window_base.h"

namespace keyloom::shell {

// The common part: the "Key :" label in large bold type, the text field and the two buttons.
class ValueEditor : public Dialog {
 public:
  // Shows the dialog modally, centred on `owner`, its field holding `text`; the field's text
  // after it closed.
  std::string Edit(HINSTANCE instance, HWND owner, std::string text);

 protected:
  // `select_all`: the field opens with its whole text selected (a one-line field), else with the
  // caret at its start (the memo, where a key press must not replace every line).
  ValueEditor(int template_id, int field_id, bool select_all)
      : template_id_(template_id), field_id_(field_id), select_all_(select_all) {}
  // FormActivate: the field gets the text, which is kept for "&Cancel".
  void FormActivate();
  void btnAcceptClick();
  void btnCancelClick();
  void SetLargeLabel(int label_id);
  HWND Field() const { return Item(field_id_); }

 private:
  bool OnInit() override;
  void OnOK() override { btnAcceptClick(); }
  void OnCancel() override { btnCancelClick(); }
  virtual void FormCreate() {}

  int template_id_;
  int field_id_;
  bool select_all_;
  std::string text_;
  HWND owner_ = nullptr;
  std::wstring saved_text_;  // SavedText
  UniqueFont large_font_;
};

// A string value's data, or the new name of a value or a key.
class TfrmEditReg final : public ValueEditor {
 public:
  TfrmEditReg();
  std::string caption = "Edit Registry Key";
  std::string key_label;  // lblKey

 private:
  void FormCreate() override;
};

// A REG_DWORD or REG_QWORD number, typed in decimal or hexadecimal. Every key press and paste is
// judged by the text it would leave (see edit/number_entry.h); "&Accept" hands back decimal.
class TfrmEditDword final : public ValueEditor {
 public:
  TfrmEditDword();
  std::string key_label;  // lblKey
  bool Is64Bit = false;

 private:
  void FormCreate() override;
  bool OnCommand(int id, int code, HWND control) override;
  void radHexClick();
  void radDecClick();
  using Conversion = std::optional<std::string> (*)(std::string_view);
  void SwitchBase(edit::NumberBase base, Conversion convert);
  void btnAcceptDwordClick();
  void ShowStatus(const std::string& status);
  // The key filter (edtKeyValueKeyPress) and the paste check, on the field's own messages.
  static LRESULT CALLBACK FieldProc(HWND field, UINT message, WPARAM wparam, LPARAM lparam,
                                    UINT_PTR id, DWORD_PTR self);
  bool AcceptsInsert(HWND field, std::wstring_view typed) const;

  edit::NumberBase current_base_ = edit::NumberBase::kDecimal;  // CurrentBase
  HWND status_ = nullptr;
};

// The strings of a REG_MULTI_SZ, one per line of the memo; Enter makes a new line. The caption
// names the value. "&Accept" removes empty lines, which the value cannot hold, and says how many.
class TfrmMultiEdit final : public ValueEditor {
 public:
  TfrmMultiEdit();
  std::string value_label;  // root, key path and value name

 private:
  void FormCreate() override;
  void OnOK() override;
};

// The main window's dialogs for the edit flow.
class WindowEditDialogs final : public edit::EditDialogs {
 public:
  WindowEditDialogs(HINSTANCE instance, HWND owner) : instance_(instance), owner_(owner) {}
  std::string ShowEditReg(const std::string& caption, const std::string& key_label,
                          const std::string& text) override;
  std::string ShowEditDword(const std::string& key_label, const std::string& text,
                            bool is_64bit) override;
  std::string ShowMultiEdit(const std::string& value_label, const std::string& text) override;

 private:
  HINSTANCE instance_;
  HWND owner_;
};

}  // namespace keyloom::shell
