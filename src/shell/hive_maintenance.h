// Hive maintenance: the five operations of the Options dialog's Backup/Restore page on whole
// registry hives of the local machine (never a remote one). Backup saves the chosen root to hive
// files in the backup folder (HKEY_LOCAL_MACHINE and HKEY_USERS one file per direct subkey),
// Restore writes a hive file back into the root at once, Replace arranges the swap of the root's
// hive at the next start, Load mounts a hive file as HKEY_USERS\KL_Load and opens the registry
// editor there, Unload removes it again.
//
// How it works. The dialog owns a HiveMaintenance and calls one handler per button on its GUI
// thread. The flow decides everything and reaches the user only through HiveWindow: questions,
// messages, the file dialogs, the please-wait window and the wait for the hive-save worker. Each
// operation enables the privilege it needs for its own duration and then sets it back to exactly
// the state it had before.
//
// A backup never costs the user an older one: when the chosen file exists and may be overwritten,
// the hive is saved to a name beside it first, and only a save that succeeded replaces the old
// file. A failed save leaves no empty file behind.
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "base/local_date.h"
#include "registry/reg_api.h"
#include "registry/registry.h"

namespace keyloom::shell {

inline constexpr char kLoadedHiveKey[] = "KL_Load";

// The dialog and its windows as the hive operations see them; called on the GUI thread only.
class HiveWindow {
 public:
  virtual ~HiveWindow() = default;
  // An information / a warning box with an OK button.
  virtual void ShowInformation(const std::string& text) = 0;
  virtual void ShowWarning(const std::string& text) = 0;
  // A question with Yes and No: true for Yes.
  virtual bool Confirm(const std::string& text) = 0;
  // The save dialog ("All Files", no default extension) with `title`, proposing `proposed`;
  // nothing when the user cancels.
  virtual std::optional<std::string> PickSaveFile(const std::string& title,
                                                  const std::string& proposed) = 0;
  // The open-file dialog for an existing file, starting in the backup folder.
  virtual std::optional<std::string> PickOpenFile(const std::string& title) = 0;
  virtual void ShowPleaseWait() = 0;
  virtual void HidePleaseWait() = 0;
  // Runs `work` on a thread of its own and returns once it has ended; the program keeps painting
  // and answering meanwhile (it may refuse input). False, with `work` not run, when no thread
  // could be started.
  virtual bool RunInBackground(const std::function<void()>& work) = 0;
  // Opens the system's registry editor at `key_path` below root `root_name`.
  virtual void OpenEditorAt(const std::string& root_name, const std::string& key_path) = 0;
};

// "yymmdd": the backup name the save dialog proposes.
std::string ProposedBackupName(const base::LocalDate& date);
// The file a backup of a root with short form `short_form` goes to when the user chose `chosen`:
// the chosen folder, then the short form and the chosen name with every "." made "_".
std::filesystem::path BackupFilePath(const std::filesystem::path& chosen,
                                     std::string_view short_form);
// Whether the file's name starts with the root's short form, letter case ignored.
bool NamesRoot(const std::filesystem::path& file, std::string_view short_form);

// Clears the file's read-only attribute and deletes it, unless `only_if_empty` and it holds
// bytes. A missing file and every failure are ignored.
void DeleteHiveFile(const std::filesystem::path& file, bool only_if_empty);

class HiveMaintenance {
 public:
  struct Options {
    reg::RegApi* api = nullptr;  // the local registry; required
    std::string hive_folder;     // ProgramFolder + "RegBack"
    std::function<base::LocalDate()> today = base::TodayLocalDate;
  };

  HiveMaintenance(HiveWindow& window, Options options)
      : window_(window), options_(std::move(options)) {}

  // `root_index` is the selection of the root list: 1 to 5 for the roots, 0 for "<none selected>".
  void btnBackupClick(int root_index);
  void btnRestoreClick(int root_index);
  void btnReplaceClick(int root_index);
  void btnLoadClick();
  void btnUnloadClick();

  // Saves `subkey` of the root (empty: the root itself) to `file` on the worker while the
  // please-wait window shows. False + the system's message in `*error` on failure.
  bool RunWithPleaseWait(int root_index, const std::string& subkey,
                         const std::filesystem::path& file, std::string* error);

 private:
  // Enables privilege `name` for the life of `*scope`, which sets it back to its earlier state;
  // false (after saying why) when that failed.
  bool EnablePrivilege(const char* name, std::optional<reg::PrivilegeScope>* scope);
  void WarnNoPrivilege();
  // The backup folder, created one level deep when missing.
  std::filesystem::path PrepareFolder();
  // The steps Restore and Replace share, up to the hive call: the root chosen, the file picked,
  // the questions answered and the restore privilege enabled in `*privilege`. The file, or
  // nothing when the operation ends there.
  std::optional<std::string> BeginRestore(int root_index, const char* title, const char* mismatch,
                                          const char* question,
                                          std::optional<reg::PrivilegeScope>* privilege);
  void SaveSubkeys(int root_index, const std::filesystem::path& final_path, bool overwrite);
  void SaveRoot(int root_index, const std::filesystem::path& final_path, bool overwrite);

  HiveWindow& window_;
  Options options_;
};

}  // namespace keyloom::shell
