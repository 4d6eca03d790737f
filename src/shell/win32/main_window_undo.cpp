// "Undo a run...": from the status log's right-click menu and Ctrl+Z, the dialog that takes back
// a whole run from its undo files.
#include <windowsx.h>

#include "shell/win32/main_window.h"
#include "shell/win32/resource_ids.h"
#include "shell/win32/undo_run_dialog.h"

namespace keyloom::shell {

void TfrmMain::lstStatusContextMenu(int x, int y) {
  if (x == -1 && y == -1) {  // from the keyboard: at the list's top left corner
    RECT rect{};
    GetWindowRect(Control(IDC_LST_STATUS), &rect);
    x = rect.left + 8;
    y = rect.top + 8;
  }
  HMENU menu = CreatePopupMenu();
  if (menu == nullptr) return;
  AppendMenuW(menu, MF_STRING, IDM_UNDO_RUN, L"&Undo a run...\tCtrl+Z");
  TrackPopupMenu(menu, TPM_LEFTALIGN | TPM_RIGHTBUTTON, x, y, 0, hwnd(), nullptr);
  DestroyMenu(menu);
}

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
        deps.undo = undo_.get();
        deps.journal = journal_.get();
        deps.settings = CurrentChangeSettings();
        return deps;
      },
      [this] { return controller_->Active(); }, [this](const std::string& line) { Log(line); });
  dialog.Show(instance_, hwnd());
}

}  // namespace keyloom::shell
