// The Network Machine dialog (TfrmNetMachine): the name of the computer whose registry the program
// searches. The test connection and its animation run in NetMachineFlow (shell/net_machine.h); the
// dialog shows what the flow tells it, and the flow's workers reach it only by a posted
// kMsgRefresh.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "registry/reg_api.h"
#include "shell/net_machine.h"
#include "shell/win32/window_base.h"

namespace keyloom::shell {

class TfrmNetMachine final : public Dialog, private NetMachineWindow {
 public:
  static constexpr UINT kMsgRefresh = WM_APP + 1;  // the flow's workers have news

  // `search_machine` is SearchMachine; `empty_key_list` empties the main window's Key List. Both
  // are used on the GUI thread only.
  TfrmNetMachine(reg::RegApi& api, std::string& search_machine,
                 std::function<void()> empty_key_list);
  ~TfrmNetMachine() override;

  // Shown modally, centred on `owner`.
  void Show(HINSTANCE instance, HWND owner);

 private:
  // Dialog.
  bool OnInit() override;
  void OnOK() override { btnConnectClick(); }
  void OnCancel() override { btnCancelClick(); }
  bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam) override;

  void FormCreate();
  void FormActivate();
  void FormDestroy();
  void btnConnectClick();
  void btnCancelClick();
  void AddHints();

  // NetMachineWindow.
  void ShowStatus(const std::string& text) override;
  void EnableConnect(bool enabled) override;
  void SetSearchMachine(const std::string& machine) override;
  void EmptyKeyList() override;
  void CloseDialog() override;

  reg::RegApi& api_;
  std::string& search_machine_;
  std::function<void()> empty_key_list_;
  HWND owner_ = nullptr;
  HWND tooltip_ = nullptr;
  std::unique_ptr<NetMachineFlow> flow_;
};

}  // namespace keyloom::shell
