#include "shell/win32/dialogs.h"

#include "shell/about_text.h"
#include "shell/win32/resource_ids.h"
#include "shell/win32/wide_text.h"

namespace keyloom::shell {

std::string CurrentOsLine() {
  OSVERSIONINFOW version{};
  version.dwOSVersionInfoSize = sizeof(version);
  using RtlGetVersionFn = LONG(WINAPI*)(OSVERSIONINFOW*);
  bool known = false;
  if (HMODULE ntdll = GetModuleHandleW(L"ntdll.dll")) {
    auto rtl_get_version = reinterpret_cast<RtlGetVersionFn>(
        reinterpret_cast<void*>(GetProcAddress(ntdll, "RtlGetVersion")));
    known = rtl_get_version != nullptr && rtl_get_version(&version) == 0;
  }
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  if (!known) known = GetVersionExW(&version) != FALSE;
#pragma GCC diagnostic pop
  if (!known) return OsLineText(~0u, 0, 0, 0);
  return OsLineText(version.dwPlatformId, version.dwMajorVersion, version.dwMinorVersion,
                    version.dwBuildNumber);
}

// ---- About box ----

void TfrmAbout::Show(HINSTANCE instance, HWND center_on) {
  center_on_ = center_on;
  DoModal(instance, IDD_ABOUT, center_on);
}

bool TfrmAbout::OnInit() {
  heading_font_ =
      CreateDerivedFont(reinterpret_cast<HFONT>(SendMessageW(hwnd(), WM_GETFONT, 0, 0)), true, 1.6);
  SendMessageW(Item(IDC_ABOUT_HEADING), WM_SETFONT, reinterpret_cast<WPARAM>(heading_font_.get()),
               FALSE);
  SetWindowTextUtf8(Item(IDC_ABOUT_VERSION), kVersionText);
  SetWindowTextUtf8(Item(IDC_ABOUT_OS), CurrentOsLine());
  CenterOn(center_on_);
  return true;
}

// ---- Key-name warning ----

void TfrmTreeWarn::Show(HINSTANCE instance, HWND owner) {
  owner_ = owner;
  DoModal(instance, IDD_TREE_WARN, owner);
}

bool TfrmTreeWarn::OnInit() {
  bold_font_ =
      CreateDerivedFont(reinterpret_cast<HFONT>(SendMessageW(hwnd(), WM_GETFONT, 0, 0)), true, 1.0);
  for (int id = IDC_WARN_LINE1; id <= IDC_WARN_LINE5; ++id) {
    SendMessageW(Item(id), WM_SETFONT, reinterpret_cast<WPARAM>(bold_font_.get()), FALSE);
  }
  const bool suppressed = settings_.Snapshot().suppress_key_name_warning;
  SendMessageW(Item(IDC_WARN_DONT_SHOW), BM_SETCHECK, suppressed ? BST_CHECKED : BST_UNCHECKED, 0);
  CenterOn(owner_);
  return true;
}

bool TfrmTreeWarn::OnCommand(int id, int code, HWND control) {
  if (id == IDC_WARN_DONT_SHOW && code == BN_CLICKED) {
    chkTreeWarnClick();
    return true;
  }
  return Dialog::OnCommand(id, code, control);
}

void TfrmTreeWarn::chkTreeWarnClick() {
  const bool checked = SendMessageW(Item(IDC_WARN_DONT_SHOW), BM_GETCHECK, 0, 0) == BST_CHECKED;
  settings_.Update([checked](Settings& s) { s.suppress_key_name_warning = checked; });
}

// ---- Please-wait window ----

TfrmPleaseWait& TfrmPleaseWait::Instance(HINSTANCE instance) {
  static TfrmPleaseWait* window = [instance] {
    auto* created = new TfrmPleaseWait;  // kept until the program ends
    created->CreateModeless(instance, IDD_PLEASE_WAIT, nullptr);
    return created;
  }();
  return *window;
}

bool TfrmPleaseWait::OnInit() {
  title_font_ =
      CreateDerivedFont(reinterpret_cast<HFONT>(SendMessageW(hwnd(), WM_GETFONT, 0, 0)), true, 2.0);
  SendMessageW(Item(IDC_WAIT_TITLE), WM_SETFONT, reinterpret_cast<WPARAM>(title_font_.get()),
               FALSE);
  return true;
}

void TfrmPleaseWait::ShowCentered() {
  if (hwnd() == nullptr) return;
  CenterOn(nullptr);
  ShowWindow(hwnd(), SW_SHOWNOACTIVATE);
  Repaint();
}

void TfrmPleaseWait::Repaint() {
  if (hwnd() == nullptr) return;
  RedrawWindow(hwnd(), nullptr, nullptr,
               RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW);
}

void TfrmPleaseWait::Hide() {
  if (hwnd() != nullptr) ShowWindow(hwnd(), SW_HIDE);
}

}  // namespace keyloom::shell
