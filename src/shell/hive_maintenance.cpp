#include "shell/hive_maintenance.h"

#include <cctype>
#include <cstdio>
#include <system_error>
#include <vector>

#include "base/text.h"
#include "base/utf8_path.h"

namespace keyloom::shell {
namespace {

constexpr char kSelectRoot[] = "Please select a Key to Backup/Restore.";
constexpr char kNoPrivilege[] =
    "You do not have the required security privileges to do this operation on this computer.";
constexpr char kBackupPrivilege[] = "SeBackupPrivilege";
constexpr char kRestorePrivilege[] = "SeRestorePrivilege";
constexpr char kUsers[] = "HKEY_USERS";

std::string Bracketed(std::string_view prefix, std::string_view detail) {
  return std::string(prefix) + "[" + std::string(detail) + "]";
}

std::string Utf8(const std::filesystem::path& path) { return base::PathToUtf8(path); }

bool Exists(const std::filesystem::path& path) {
  std::error_code error;
  return std::filesystem::exists(path, error);
}

// A name beside `path` that no file has yet: `path` + ".new" (then ".new2", ".new3", ...).
std::filesystem::path UnusedSibling(const std::filesystem::path& path) {
  for (int n = 1;; ++n) {
    std::filesystem::path sibling = path;
    sibling += n == 1 ? std::string(".new") : ".new" + std::to_string(n);
    if (!Exists(sibling)) return sibling;
  }
}

// Roots whose direct subkeys are the hives: they are saved one file per subkey.
bool SavedBySubkey(const reg::RootKey& root) {
  return root.handle == reg::kLocalMachine || root.handle == reg::kUsers;
}

}  // namespace

std::string ProposedBackupName(const base::LocalDate& date) {
  char text[16];
  std::snprintf(text, sizeof(text), "%02d%02d%02d", date.year % 100, date.month, date.day);
  return text;
}

std::filesystem::path BackupFilePath(const std::filesystem::path& chosen,
                                     std::string_view short_form) {
  std::string name = std::string(short_form) + Utf8(chosen.filename());
  for (char& c : name) {
    if (c == '.') c = '_';
  }
  return chosen.parent_path() / base::PathFromUtf8(name);
}

bool NamesRoot(const std::filesystem::path& file, std::string_view short_form) {
  const std::string name = Utf8(file.filename());
  if (name.size() < short_form.size()) return false;
  for (std::size_t i = 0; i < short_form.size(); ++i) {
    const auto upper = static_cast<char>(std::toupper(static_cast<unsigned char>(name[i])));
    if (upper != short_form[i]) return false;
  }
  return true;
}

void DeleteHiveFile(const std::filesystem::path& file, bool only_if_empty) {
  std::error_code error;
  if (!std::filesystem::is_regular_file(file, error)) return;
  std::filesystem::permissions(file, std::filesystem::perms::owner_write,
                               std::filesystem::perm_options::add, error);
  const std::uintmax_t size = std::filesystem::file_size(file, error);
  if (error) return;
  if (only_if_empty && size != 0) return;
  std::filesystem::remove(file, error);
}

// ---- Steps shared by the operations ----

bool HiveMaintenance::EnablePrivilege(const char* name, std::optional<reg::PrivilegeScope>* scope) {
  const reg::PrivilegeScope& enabled = scope->emplace(*options_.api, name);
  const reg::ErrorCode error = enabled.error();
  if (error == reg::kSuccess) return true;
  if (error == reg::kNoneMapped) {
    window_.ShowInformation(Bracketed("Failed LookupPrivilegeValue ",
                                      text::TrimMessage(options_.api->ErrorMessage(error))));
  } else {
    window_.ShowInformation("Failed AdjustTokenPrivileges.");
  }
  return false;
}

void HiveMaintenance::WarnNoPrivilege() { window_.ShowWarning(kNoPrivilege); }

std::filesystem::path HiveMaintenance::PrepareFolder() {
  const std::filesystem::path folder = base::PathFromUtf8(options_.hive_folder);
  std::error_code error;
  std::filesystem::create_directory(folder, error);  // one level; a failure shows in the dialog
  return folder;
}

bool HiveMaintenance::RunWithPleaseWait(int root_index, const std::string& subkey,
                                        const std::filesystem::path& file, std::string* error) {
  const reg::RootKey* root = reg::RootByIndex(root_index);
  const std::string path = Utf8(file);
  bool saved = false;
  std::string failure;
  window_.ShowPleaseWait();
  // The worker has its own registry object and touches no window; its results are read only
  // after it has ended.
  const bool ran = window_.RunInBackground([&, api = options_.api] {
    reg::TRegistry registry(*api);
    registry.SetRootKey(root->handle);
    saved = registry.SaveKey(subkey, path);
    failure = registry.LastErrorText();
  });
  window_.HidePleaseWait();
  if (!ran) failure = "No thread could be started for the save";
  *error = failure;
  return ran && saved;
}

// ---- Backup ----

void HiveMaintenance::btnBackupClick(int root_index) {
  const reg::RootKey* root = reg::RootByIndex(root_index);
  if (root == nullptr) return window_.ShowInformation(kSelectRoot);
  const std::filesystem::path folder = PrepareFolder();
  const std::filesystem::path proposed = folder / ProposedBackupName(options_.today());
  const auto chosen = window_.PickSaveFile("Backup Registry", Utf8(proposed));
  if (!chosen) return;
  const std::filesystem::path final_path =
      BackupFilePath(base::PathFromUtf8(*chosen), root->short_form);
  const bool overwrite = Exists(final_path);
  if (overwrite &&
      !window_.Confirm(Bracketed("Overwrite existing file ", Utf8(final_path)) + "?")) {
    return;
  }
  std::optional<reg::PrivilegeScope> privilege;
  if (!EnablePrivilege(kBackupPrivilege, &privilege)) return WarnNoPrivilege();
  if (SavedBySubkey(*root)) {
    SaveSubkeys(root_index, final_path, overwrite);
  } else {
    SaveRoot(root_index, final_path, overwrite);
  }
}

// One file per direct subkey: final path + "_" + the subkey's name. A subkey that fails is
// reported and the others are still saved. The old file at the final path, which the user let
// go, goes only once every subkey is saved.
void HiveMaintenance::SaveSubkeys(int root_index, const std::filesystem::path& final_path,
                                  bool overwrite) {
  const reg::RootKey* root = reg::RootByIndex(root_index);
  std::vector<std::string> names;
  {
    reg::TRegistry registry(*options_.api);
    registry.SetRootKey(root->handle);
    registry.SetAccessMode(1);
    if (!registry.OpenKey("")) {
      return window_.ShowWarning(Bracketed(
          std::string("Unable to list the Keys of ") + root->name + " ", registry.LastErrorText()));
    }
    names = registry.GetKeyNames();
  }
  bool failed = false;
  for (const std::string& name : names) {
    std::filesystem::path file = final_path;
    file += "_" + name;
    std::string error;
    if (!RunWithPleaseWait(root_index, name, file, &error)) {
      window_.ShowWarning(Bracketed("Unable to Save Key ", error));
      DeleteHiveFile(file, true);
      failed = true;
    }
  }
  if (!failed && overwrite) DeleteHiveFile(final_path, false);
  window_.ShowInformation(failed ? "Finished Saving Keys" : "All Keys Saved Successfully.");
}

// The root to one file. An existing file the user lets go is replaced only by a save that
// succeeded: the hive goes to a new name beside it first.
void HiveMaintenance::SaveRoot(int root_index, const std::filesystem::path& final_path,
                               bool overwrite) {
  const std::filesystem::path target = overwrite ? UnusedSibling(final_path) : final_path;
  std::string error;
  if (!RunWithPleaseWait(root_index, "", target, &error)) {
    window_.ShowWarning(Bracketed("Unable to Save Key ", error));
    DeleteHiveFile(target, true);
    return;
  }
  if (overwrite) {
    std::error_code replaced;
    std::filesystem::rename(target, final_path, replaced);
    if (replaced) {
      DeleteHiveFile(target, false);
      return window_.ShowWarning(Bracketed("Unable to Save Key ", replaced.message()));
    }
  }
  window_.ShowInformation(Bracketed("Key Saved Successfully. ", Utf8(final_path)));
}

// ---- Restore and Replace ----

std::optional<std::string> HiveMaintenance::BeginRestore(
    int root_index, const char* title, const char* mismatch, const char* question,
    std::optional<reg::PrivilegeScope>* privilege) {
  const reg::RootKey* root = reg::RootByIndex(root_index);
  if (root == nullptr) {
    window_.ShowInformation(kSelectRoot);
    return std::nullopt;
  }
  PrepareFolder();
  auto file = window_.PickOpenFile(title);
  if (!file) return std::nullopt;
  if (!NamesRoot(base::PathFromUtf8(*file), root->short_form) &&
      !window_.Confirm(
          Bracketed("The Current Backup File is not for the selected key ", root->name) +
          mismatch)) {
    return std::nullopt;
  }
  if (!window_.Confirm(Bracketed(question, root->name) + " key?")) return std::nullopt;
  if (!EnablePrivilege(kRestorePrivilege, privilege)) {
    WarnNoPrivilege();
    return std::nullopt;
  }
  return file;
}

void HiveMaintenance::btnRestoreClick(int root_index) {
  std::optional<reg::PrivilegeScope> privilege;
  const auto file = BeginRestore(
      root_index, "Restore Registry",
      ", Are you Sure you wish to perform this Restore?  Your Windows system may not boot if this "
      "restore is performed.",
      "Are you sure you wish to restore the Backup File selected to the ", &privilege);
  if (!file) return;
  reg::TRegistry registry(*options_.api);
  registry.SetRootKey(reg::RootByIndex(root_index)->handle);
  if (registry.RestoreKey("", *file)) return window_.ShowInformation("Key Restored Successfully.");
  if (registry.LastError() == reg::kAccessDenied) {
    return window_.ShowWarning(Bracketed("Unable to Restore Key ", registry.LastErrorText()) +
                               ", Try using Replace to Restore the Key.");
  }
  window_.ShowWarning(Bracketed("Unable to Restore Key ", registry.LastErrorText()));
}

void HiveMaintenance::btnReplaceClick(int root_index) {
  std::optional<reg::PrivilegeScope> privilege;
  const auto file = BeginRestore(
      root_index, "Replace Registry",
      ", Are you Sure you wish to perform this Replace?  Your Windows system may not boot if this "
      "Replace is performed.",
      "Are you sure you wish to Replace the Backup File selected to the ", &privilege);
  if (!file) return;
  reg::TRegistry registry(*options_.api);
  registry.SetRootKey(reg::RootByIndex(root_index)->handle);
  if (registry.ReplaceKey("", *file, *file + ".OLD")) {
    return window_.ShowInformation(
        "Key Replaced Successfully, you must now Re-boot to activate the change.");
  }
  window_.ShowWarning(Bracketed("Unable to Replace Key ", registry.LastErrorText()));
}

// ---- Load and Unload ----

void HiveMaintenance::btnLoadClick() {
  PrepareFolder();
  const auto file = window_.PickOpenFile("Load Registry Backup");
  if (!file) return;
  {
    reg::TRegistry registry(*options_.api);
    registry.SetRootKey(reg::kUsers);
    if (registry.KeyExists(kLoadedHiveKey)) {
      return window_.ShowWarning(
          "There is already a Keyloom Backup Key Loaded please unload it first.");
    }
    std::optional<reg::PrivilegeScope> privilege;
    if (!EnablePrivilege(kRestorePrivilege, &privilege)) return WarnNoPrivilege();
    if (!registry.LoadKey(kLoadedHiveKey, *file)) {
      return window_.ShowWarning(
          Bracketed("Unable to Load Keyloom Backup Key ", registry.LastErrorText()));
    }
  }  // the privilege is set back before the registry editor starts
  window_.ShowInformation("Keyloom Backup Key Loaded Successfully, Switching to Regedit.");
  window_.OpenEditorAt(kUsers, kLoadedHiveKey);
}

void HiveMaintenance::btnUnloadClick() {
  std::optional<reg::PrivilegeScope> privilege;
  if (!EnablePrivilege(kRestorePrivilege, &privilege)) return WarnNoPrivilege();
  reg::TRegistry registry(*options_.api);
  registry.SetRootKey(reg::kUsers);
  if (!registry.KeyExists(kLoadedHiveKey)) {
    return window_.ShowWarning("There is no Keyloom Backup Key to Unload.");
  }
  window_.ShowWarning(
      "Ensure that you do not have the Keyloom Backup Key Open otherwise you will not be able to "
      "unload it");
  if (registry.UnLoadKey(kLoadedHiveKey)) {
    return window_.ShowInformation("Keyloom Backup UnLoaded Successfully.");
  }
  window_.ShowWarning(Bracketed("Unable to UnLoad Keyloom Backup Key ", registry.LastErrorText()));
}

}  // namespace keyloom::shell
