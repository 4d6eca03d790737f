// "Undo a run...": from the status log's right-click menu and Ctrl+Z, the dialog that takes back
// a whole run from its undo files.
#include <windowsx.h>

#include "shell/win32/main_window.h"
#include "shell/win32/resource_ids.h"
#include "shell/win32/undo_run_dialog.h"

namespace keyloom::shell {

bool TfrmMain::IsUndoRunKey(const MSG& message) {
  if (message.message != WM_KEYDOWN || message.wParam != 'Z') return false;
  if (GetKeyState(VK_CONTROL) >= 0 || GetKeyState(VK_MENU) < 0 || GetKeyState(VK_SHIFT) < 0) {
    return false;
  }
  wchar_t name[16] = {};
  GetClassNameW(message.hwnd, name, 16);
  return lstrcmpiW(name, L"Edit") != 0;
}

void TfrmMain::mnuUndoRunClick() {
  TfrmUndoRun dialog(
      [this] {
        edit::RunUndoDeps deps;
        deps.api = options_.api;
        deps.undo = &run_parts_->undo();
        deps.journal = &run_parts_->journal();
        deps.settings = CurrentChangeSettings();
        return deps;
      },
      [this] { return controller_->Active(); }, [this](const std::string& line) { Log(line); });
  dialog.Show(instance_, hwnd());
}

}  // namespace keyloom::shell
