#include "shell/win32/taskbar_button.h"

#include <objbase.h>
#include <shobjidl.h>

namespace keyloom::shell {

namespace {

TBPFLAG FlagOf(TaskbarState state) {
  switch (state) {
    case TaskbarState::kIndeterminate:
      return TBPF_INDETERMINATE;
    case TaskbarState::kNormal:
      return TBPF_NORMAL;
    case TaskbarState::kPaused:
      return TBPF_PAUSED;
    case TaskbarState::kError:
      return TBPF_ERROR;
    case TaskbarState::kNone:
      break;
  }
  return TBPF_NOPROGRESS;
}

}  // namespace

Win32TaskbarButton::~Win32TaskbarButton() { Release(); }

UINT Win32TaskbarButton::CreatedMessage() {
  static const UINT message = RegisterWindowMessageW(L"TaskbarButtonCreated");
  return message;
}

void Win32TaskbarButton::Listen(HWND window) {
  ChangeWindowMessageFilterEx(window, CreatedMessage(), MSGFLT_ALLOW, nullptr);
}

bool Win32TaskbarButton::OnButtonCreated(HWND window) {
  Release();
  window_ = window;
  // The GUI thread's apartment; one the thread has already (another mode included) serves too.
  const HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED | COINIT_DISABLE_OLE1DDE);
  com_initialized_ = SUCCEEDED(com);
  ITaskbarList3* list = nullptr;
  if (FAILED(CoCreateInstance(CLSID_TaskbarList, nullptr, CLSCTX_INPROC_SERVER,
                              IID_PPV_ARGS(&list)))) {
    Release();
    return false;
  }
  if (FAILED(list->HrInit())) {
    list->Release();
    Release();
    return false;
  }
  list_ = list;
  Apply();
  return true;
}

void Win32TaskbarButton::Release() {
  if (list_ != nullptr) {
    list_->Release();
    list_ = nullptr;
  }
  if (com_initialized_) {
    CoUninitialize();
    com_initialized_ = false;
  }
}

void Win32TaskbarButton::Show(const TaskbarShow& show) {
  show_ = show;
  if (list_ != nullptr) Apply();
}

void Win32TaskbarButton::Apply() {
  // A value is set before the state: setting one turns any bar into a normal one.
  if (show_.total > 0) {
    list_->SetProgressValue(window_, show_.done, show_.total);
  }
  list_->SetProgressState(window_, FlagOf(show_.state));
}

}  // namespace keyloom::shell
