#include "shell/win32/net_machine_dialog.h"

#include <commctrl.h>

#include "shell/win32/hints.h"
#include "shell/win32/resource_ids.h"
#include "shell/win32/wide_text.h"

namespace keyloom::shell {

TfrmNetMachine::TfrmNetMachine(reg::RegApi& api, std::string& search_machine,
                               std::function<void()> empty_key_list)
    : api_(api), search_machine_(search_machine), empty_key_list_(std::move(empty_key_list)) {}

TfrmNetMachine::~TfrmNetMachine() { FormDestroy(); }

void TfrmNetMachine::Show(HINSTANCE instance, HWND owner) {
  owner_ = owner;
  DoModal(instance, IDD_NET_MACHINE, owner);
}

bool TfrmNetMachine::OnInit() {
  FormCreate();
  FormActivate();
  return false;  // the focus is set
}

void TfrmNetMachine::FormCreate() {
  NetMachineFlow::Options options;
  options.api = &api_;
  HWND dialog = hwnd();
  options.wake = [dialog] { PostMessageW(dialog, kMsgRefresh, 0, 0); };
  flow_ =
      std::make_unique<NetMachineFlow>(static_cast<NetMachineWindow&>(*this), std::move(options));
  AddHints();
  CenterOn(owner_);
}

void TfrmNetMachine::FormActivate() { SetFocus(Item(IDC_EDT_NET_MACHINE)); }

// A test still in progress is abandoned: it changes nothing after this.
void TfrmNetMachine::FormDestroy() {
  flow_.reset();
  if (tooltip_ != nullptr) {
    DestroyWindow(tooltip_);
    tooltip_ = nullptr;
  }
}

void TfrmNetMachine::AddHints() {
  tooltip_ = CreateHintWindow(hwnd(), nullptr);
  AddHint(tooltip_, hwnd(), Item(IDC_EDT_NET_MACHINE),
          L"Enter the Name or IP Address of the Machine to Connect to.");
  AddHint(tooltip_, hwnd(), Item(IDCANCEL), L"Cancel Network Machine Selection (connect to local)");
}

bool TfrmNetMachine::OnMessage(UINT message, WPARAM, LPARAM) {
  switch (message) {
    case kMsgRefresh:
      if (flow_) flow_->Refresh();
      return true;
    case WM_CLOSE:  // closed without Cancel: SearchMachine stays as it is
      FormDestroy();
      End(IDABORT);
      return true;
    case WM_DESTROY:
      FormDestroy();
      return false;
    default:
      return false;
  }
}

void TfrmNetMachine::btnConnectClick() {
  if (flow_) flow_->btnConnectClick(WindowTextUtf8(Item(IDC_EDT_NET_MACHINE)));
}

void TfrmNetMachine::btnCancelClick() {
  if (flow_) flow_->btnCancelClick();
}

void TfrmNetMachine::ShowStatus(const std::string& text) {
  const std::wstring wide = ToWide(text);
  SendMessageW(Item(IDC_STS_WAIT), SB_SETTEXTW, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

void TfrmNetMachine::EnableConnect(bool enabled) {
  HWND connect = Item(IDOK);
  // A disabled button cannot keep the focus: it goes back to the name.
  if (!enabled && GetFocus() == connect) SetFocus(Item(IDC_EDT_NET_MACHINE));
  EnableWindow(connect, enabled ? TRUE : FALSE);
}

void TfrmNetMachine::SetSearchMachine(const std::string& machine) { search_machine_ = machine; }

void TfrmNetMachine::EmptyKeyList() {
  if (empty_key_list_) empty_key_list_();
}

void TfrmNetMachine::CloseDialog() { End(IDOK); }

}  // namespace keyloom::shell
