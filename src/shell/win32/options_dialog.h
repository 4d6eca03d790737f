// The Options dialog (TfrmOptions): the settings the main window does not show, on six pages of a
// tab control, and the hive maintenance's page. It works on a copy: created, it fills its controls
// from the settings; Save puts them back, lets the main window react (the Replace button's caption,
// the settings file written at once) and closes; Cancel closes and changes nothing. A new dialog is
// made for every opening. What the controls mean lives in shell/options_values.h.
//
// Keyboard: Ctrl+Tab and Ctrl+Shift+Tab go round the pages; Alt + a page title's letter opens that
// page unless a control shown on the current page (or Save and Cancel) has the letter; Enter is
// Save and Escape is Cancel. The dialog's modal loop hands its messages to a message filter hook
// first, which is where the page keys are taken.
#pragma once

#include <windows.h>

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "shell/hive_maintenance.h"
#include "shell/options_values.h"
#include "shell/settings.h"
#include "shell/win32/hive_window.h"
#include "shell/win32/window_base.h"

namespace keyloom::engine {
struct RunContext;
}  // namespace keyloom::engine

namespace keyloom::shell {

class TfrmOptions final : public Dialog {
 public:
  // `settings` is the store the context reads. The hive operations act on the context's registry,
  // always on the local machine, with their files in the program's folder. `saved` runs after
  // Save has changed the settings and before the dialog closes: the main window refreshes what
  // shows them and writes the file. `context` must outlive the dialog.
  TfrmOptions(SettingsStore& settings, const engine::RunContext& context,
              std::function<void()> saved)
      : settings_(settings), context_(context), saved_(std::move(saved)) {}
  ~TfrmOptions() override;

  // Shown modally, centred on `owner`. True when the user saved.
  bool Show(HINSTANCE instance, HWND owner);

  // The Backup/Restore page's open-file dialog with `title`: asks for an existing file, starting
  // in ProgramFolder + "RegBack". Nothing when the user cancels.
  std::optional<std::string> OpenHiveFile(const std::string& title);
  const std::string& hive_folder() const { return hive_folder_; }
  // What opens the registry editor after a hive was loaded; by default the system's editor.
  void SetEditorOpener(EditorOpener opener) { open_editor_ = std::move(opener); }

 private:
  bool OnInit() override;
  bool OnCommand(int id, int code, HWND control) override;
  bool OnMessage(UINT message, WPARAM wparam, LPARAM lparam) override;
  void OnOK() override { btnSaveClick(); }
  void OnCancel() override { btnCancelClick(); }

  void FormCreate();
  void FormDestroy();
  void btnSaveClick();
  void btnCancelClick();
  void btnBrowseClick();
  void chkEnableDeleteClick();
  void chkAutoClick();
  void chkRegErrorsClick();
  void cmbLoggingLevelChange();
  void btnBackupClick();
  void btnRestoreClick();
  void btnReplaceClick();
  void btnLoadClick();
  void btnUnloadClick();
  // 1 to 5 for the root chosen in cmbKeyRootList, 0 for "<none selected>".
  int SelectedRoot() const;

  void Arrange();
  void PlacePages();
  void AddHints();
  void ShowPage(int page, bool focus_first_control);
  int CurrentPage() const;
  OptionsValues ReadControls() const;
  // A user's check while the dialog is shown: the warning, with the box left checked.
  void WarnOnUserCheck(int id, const char* text);
  // The page keys, from the message filter: true when the message was taken.
  bool PreTranslate(const MSG& message);
  bool OwnsMnemonic(char letter) const;
  static LRESULT CALLBACK MessageFilter(int code, WPARAM wparam, LPARAM lparam);

  SettingsStore& settings_;
  const engine::RunContext& context_;
  std::function<void()> saved_;
  std::string hive_folder_;
  EditorOpener open_editor_;
  std::unique_ptr<OptionsHiveWindow> hive_window_;
  std::unique_ptr<HiveMaintenance> hives_;
  HWND owner_ = nullptr;
  HWND tooltip_ = nullptr;
  HHOOK filter_ = nullptr;
  static inline thread_local TfrmOptions* active_ = nullptr;
};

}  // namespace keyloom::shell
