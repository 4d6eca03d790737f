// The Options dialog as the hive operations see it: message boxes owned by the dialog, the save
// and open-file dialogs, the please-wait window, and the wait for the hive-save worker.
//
// The wait. The worker runs on a thread of its own; the GUI thread waits for that thread's end
// with MsgWaitForMultipleObjects and dispatches every message that arrives meanwhile, so the
// please-wait window and the program's windows keep painting and answering. The Options dialog is
// disabled for the wait (the main window already is, below the modal dialog), so no button starts
// a second operation. A WM_QUIT seen during the wait is posted again once the worker has ended.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

#include "registry/reg_api.h"
#include "shell/hive_maintenance.h"

namespace keyloom::shell {

// Opens the registry editor at `key_path` below `root_name`.
using EditorOpener = std::function<void(const std::string& root_name, const std::string& key_path)>;

// Shows the save (`save` true) or open-file dialog "All Files" with `title`, starting in
// `folder`, proposing `proposed`. Nothing when the user cancels.
std::optional<std::string> PickFile(HWND owner, bool save, const std::string& title,
                                    const std::string& folder, const std::string& proposed);

// The open-file dialog with a title; nothing when the user cancels.
using FileOpener = std::function<std::optional<std::string>(const std::string& title)>;

class OptionsHiveWindow final : public HiveWindow {
 public:
  // `folder` is where the save dialog starts.
  OptionsHiveWindow(HWND dialog, HINSTANCE instance, std::string folder, FileOpener open_file,
                    EditorOpener open_editor)
      : dialog_(dialog),
        instance_(instance),
        folder_(std::move(folder)),
        open_file_(std::move(open_file)),
        open_editor_(std::move(open_editor)) {}

  void ShowInformation(const std::string& text) override;
  void ShowWarning(const std::string& text) override;
  bool Confirm(const std::string& text) override;
  std::optional<std::string> PickSaveFile(const std::string& title,
                                          const std::string& proposed) override;
  std::optional<std::string> PickOpenFile(const std::string& title) override;
  void ShowPleaseWait() override;
  void HidePleaseWait() override;
  bool RunInBackground(const std::function<void()>& work) override;
  void OpenEditorAt(const std::string& root_name, const std::string& key_path) override;

 private:
  HWND dialog_;
  HINSTANCE instance_;
  std::string folder_;
  FileOpener open_file_;
  EditorOpener open_editor_;
};

}  // namespace keyloom::shell
