#include "shell/win32/hive_window.h"

#include <commdlg.h>

#include "registry/registry.h"
#include "shell/about_text.h"
#include "shell/win32/dialogs.h"
#include "shell/win32/wide_text.h"

namespace keyloom::shell {
namespace {

DWORD WINAPI RunWork(LPVOID data) {
  try {
    (*static_cast<const std::function<void()>*>(data))();
  } catch (...) {
    // The work reports its own failures; nothing may leave the thread.
  }
  return 0;
}

// Waits for `handle` while dispatching this thread's messages (see the header).
void WaitAnswering(HANDLE handle) {
  bool quit = false;
  int exit_code = 0;
  while (!quit) {
    const DWORD woken = MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_ALLINPUT);
    if (woken != WAIT_OBJECT_0 + 1) break;  // the thread ended (or the wait cannot go on)
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        quit = true;
        exit_code = static_cast<int>(message.wParam);
        break;
      }
      TranslateMessage(&message);
      DispatchMessageW(&message);
    }
  }
  WaitForSingleObject(handle, INFINITE);  // at once unless the message wait gave up
  if (quit) PostQuitMessage(exit_code);
}

}  // namespace

std::optional<std::string> PickFile(HWND owner, bool save, const std::string& title,
                                    const std::string& folder, const std::string& proposed) {
  const std::wstring initial = ToWide(folder);
  const std::wstring caption = ToWide(title);
  std::wstring file = ToWide(proposed);
  file.resize(32768, L'\0');
  OPENFILENAMEW dialog{};
  dialog.lStructSize = sizeof(dialog);
  dialog.hwndOwner = owner;
  dialog.lpstrFilter = L"All Files (*.*)\0*.*\0";
  dialog.lpstrFile = file.data();
  dialog.nMaxFile = static_cast<DWORD>(file.size());
  dialog.lpstrInitialDir = initial.c_str();
  dialog.lpstrTitle = caption.empty() ? nullptr : caption.c_str();
  // No overwrite prompt: the backup asks its own question about the file it will write.
  dialog.Flags = OFN_EXPLORER | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  if (!save) dialog.Flags |= OFN_FILEMUSTEXIST;
  if (!(save ? GetSaveFileNameW(&dialog) : GetOpenFileNameW(&dialog))) return std::nullopt;
  file.resize(file.find(L'\0'));
  return FromWide(file);
}

void OptionsHiveWindow::ShowInformation(const std::string& text) {
  MessageBoxW(dialog_, ToWide(text).c_str(), kAppTitle, MB_OK | MB_ICONINFORMATION);
}

void OptionsHiveWindow::ShowWarning(const std::string& text) {
  MessageBoxW(dialog_, ToWide(text).c_str(), kAppTitle, MB_OK | MB_ICONWARNING);
}

bool OptionsHiveWindow::Confirm(const std::string& text) {
  return MessageBoxW(dialog_, ToWide(text).c_str(), kAppTitle, MB_YESNO | MB_ICONQUESTION) == IDYES;
}

std::optional<std::string> OptionsHiveWindow::PickSaveFile(const std::string& title,
                                                           const std::string& proposed) {
  return PickFile(dialog_, true, title, folder_, proposed);
}

std::optional<std::string> OptionsHiveWindow::PickOpenFile(const std::string& title) {
  return open_file_ ? open_file_(title) : std::nullopt;
}

void OptionsHiveWindow::ShowPleaseWait() { TfrmPleaseWait::Instance(instance_).ShowCentered(); }

void OptionsHiveWindow::HidePleaseWait() { TfrmPleaseWait::Instance(instance_).Hide(); }

bool OptionsHiveWindow::RunInBackground(const std::function<void()>& work) {
  // Input is refused before the work begins, so the work never sees the dialog taking any.
  const bool was_enabled = EnableWindow(dialog_, FALSE) == FALSE;
  HANDLE thread =
      CreateThread(nullptr, 0, RunWork, const_cast<std::function<void()>*>(&work), 0, nullptr);
  if (thread == nullptr) {
    if (was_enabled) EnableWindow(dialog_, TRUE);
    return false;
  }
  WaitAnswering(thread);
  if (was_enabled) EnableWindow(dialog_, TRUE);
  CloseHandle(thread);
  return true;
}

void OptionsHiveWindow::OpenEditorAt(const std::string& root_name, const std::string& key_path) {
  if (open_editor_) open_editor_(root_name, key_path);
}

}  // namespace keyloom::shell
