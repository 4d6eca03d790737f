#include "shell/win32/filters_dialog.h"

#include <string>

#include "base/file_io.h"
#include "base/os_error.h"
#include "base/utf8_path.h"
#include "shell/about_text.h"
#include "shell/win32/hive_window.h"
#include "shell/win32/resource_ids.h"
#include "shell/win32/wide_text.h"

namespace keyloom::shell {
namespace {

// Each field's edit control and its text.
struct FieldControl {
  FilterField field;
  int id;
  std::string FilterTexts::*text;
};

constexpr FieldControl kFields[] = {
    {FilterField::kModifiedAfter, IDC_FLT_EDT_AFTER, &FilterTexts::modified_after},
    {FilterField::kModifiedBefore, IDC_FLT_EDT_BEFORE, &FilterTexts::modified_before},
    {FilterField::kMinSize, IDC_FLT_EDT_MIN, &FilterTexts::min_size},
    {FilterField::kMaxSize, IDC_FLT_EDT_MAX, &FilterTexts::max_size},
    {FilterField::kExcluded, IDC_FLT_EDT_EXCLUDED, &FilterTexts::excluded},
};

int ControlOf(FilterField field) {
  for (const FieldControl& f : kFields) {
    if (f.field == field) return f.id;
  }
  return IDOK;
}

}  // namespace

bool TfrmFilters::Show(HINSTANCE instance, HWND owner) {
  owner_ = owner;
  return DoModal(instance, IDD_FILTERS, owner) == IDOK;
}

bool TfrmFilters::OnInit() {
  CenterOn(owner_);
  SendMessageW(Item(IDC_FLT_EDT_EXCLUDED), EM_LIMITTEXT, 0, 0);
  ShowTexts(FilterTextsOf(rules_));
  return true;
}

bool TfrmFilters::OnCommand(int id, int code, HWND control) {
  static constexpr CommandRoute<TfrmFilters> kRoutes[] = {
      {IDC_FLT_BTN_LOAD, BN_CLICKED, &TfrmFilters::btnLoadClick},
      {IDC_FLT_BTN_CLEAR, BN_CLICKED, &TfrmFilters::btnClearClick},
  };
  return RouteCommand(*this, kRoutes, id, code) || Dialog::OnCommand(id, code, control);
}

FilterTexts TfrmFilters::Texts() const {
  FilterTexts texts;
  for (const FieldControl& f : kFields) texts.*f.text = WindowTextUtf8(Item(f.id));
  return texts;
}

void TfrmFilters::ShowTexts(const FilterTexts& texts) {
  for (const FieldControl& f : kFields) SetWindowTextUtf8(Item(f.id), texts.*f.text);
}

void TfrmFilters::btnOKClick() {
  const std::optional<FilterRefusal> refused = ReadFilterTexts(Texts(), &rules_);
  if (!refused) {
    End(IDOK);
    return;
  }
  MessageBoxW(hwnd(), ToWide(refused->message).c_str(), kAppTitle, MB_OK | MB_ICONWARNING);
  HWND field = Item(ControlOf(refused->field));
  SendMessageW(field, EM_SETSEL, 0, -1);
  SetFocus(field);
}

// The keys of a file are added below those listed; OK reads them all.
void TfrmFilters::btnLoadClick() {
  const std::optional<std::string> file = PickFile(hwnd(), false, "Load excluded keys", "", "");
  if (!file) return;
  std::string bytes;
  if (!base::ReadWholeFile(base::PathFromUtf8(*file), &bytes)) {
    const std::string message = "Cannot read " + *file + " [" + base::LastFileErrorText() + "]";
    MessageBoxW(hwnd(), ToWide(message).c_str(), kAppTitle, MB_OK | MB_ICONWARNING);
    return;
  }
  std::string listed = WindowTextUtf8(Item(IDC_FLT_EDT_EXCLUDED));
  if (!listed.empty() && !listed.ends_with("\n")) listed += "\r\n";
  SetWindowTextUtf8(Item(IDC_FLT_EDT_EXCLUDED), listed + ExclusionFileLines(bytes));
}

void TfrmFilters::btnClearClick() { ShowTexts({}); }

}  // namespace keyloom::shell
