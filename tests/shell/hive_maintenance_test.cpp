// The hive operations against the memory registry with a scripted window: every question and
// message, the backup file names, the per-subkey files, the safe overwrite, the refusals. Restore
// and Replace are tested only here because Wine's RegRestoreKey and RegReplaceKey report success
// and do nothing.
#include "shell/hive_maintenance.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <thread>

#include "base/utf8_path.h"
#include "registry/memory/memory_registry.h"
#include "registry/registry.h"
#include "support/temp_folder.h"

namespace keyloom::shell {
namespace {

using keyloom::testing::ReadBytes;
using keyloom::testing::WriteBytes;
using reg::MemoryRegistry;
using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr int kCurrentUser = 2;
constexpr int kLocalMachine = 3;
constexpr int kUsers = 4;
constexpr reg::ErrorCode kDiskFull = 112;

// Every call is recorded as "kind: text"; answers and chosen files are scripted.
class ScriptedWindow : public HiveWindow {
 public:
  void ShowInformation(const std::string& text) override { log.push_back("info: " + text); }
  void ShowWarning(const std::string& text) override { log.push_back("warning: " + text); }
  bool Confirm(const std::string& text) override {
    log.push_back("ask: " + text);
    if (answers.empty()) {
      ADD_FAILURE() << "unexpected question: " << text;
      return false;
    }
    const bool yes = answers.front();
    answers.pop_front();
    return yes;
  }
  std::optional<std::string> PickSaveFile(const std::string& title,
                                          const std::string& proposed) override {
    log.push_back("save dialog: " + title);
    proposal = proposed;
    if (!save_file) return std::nullopt;
    return save_file->empty() ? proposed : *save_file;
  }
  std::optional<std::string> PickOpenFile(const std::string& title) override {
    log.push_back("open dialog: " + title);
    return open_file;
  }
  void ShowPleaseWait() override { ++waits_shown; }
  void HidePleaseWait() override { ++waits_hidden; }
  bool RunInBackground(const std::function<void()>& work) override {
    if (no_threads) return false;
    std::thread worker(work);
    worker.join();
    return true;
  }
  void OpenEditorAt(const std::string& root, const std::string& key) override {
    log.push_back("editor: " + root + "\\" + key);
  }

  std::vector<std::string> log;
  std::deque<bool> answers;
  std::optional<std::string> save_file;  // "" accepts the proposal; nothing cancels
  std::optional<std::string> open_file;
  std::string proposal;
  int waits_shown = 0;
  int waits_hidden = 0;
  bool no_threads = false;
};

class HiveMaintenanceTest : public ::testing::Test {
 protected:
  void SetUp() override {
    reg::TRegistry registry(*api_);
    registry.CreateKey("Software\\Saved");
    ASSERT_TRUE(registry.OpenKey("Software\\Saved"));
    registry.WriteString("name", "value");
    registry.SetRootKey(reg::kUsers);
    for (const char* user : {"S-1-5-18", "S-1-5-21-1", "S-1-5-21-2"}) registry.CreateKey(user);
  }

  std::filesystem::path Folder() const { return folder_.path() / "RegBack"; }
  std::string InFolder(const std::string& name) const { return base::PathToUtf8(Folder() / name); }
  std::vector<std::string> FolderFiles() const {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(Folder())) {
      names.push_back(base::PathToUtf8(entry.path().filename()));
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string Message(reg::ErrorCode code) { return reg::TrimMessage(api_->ErrorMessage(code)); }
  std::string ReadSaved(const char* key) {
    reg::TRegistry registry(*api_);
    registry.SetRootKey(reg::kCurrentUser);
    return registry.OpenKey(key) ? registry.ReadString("name") : "<missing>";
  }

  keyloom::testing::TempFolder folder_;
  std::unique_ptr<MemoryRegistry> api_ = reg::NewMemoryRegistry();
  ScriptedWindow window_;
  HiveMaintenance hives_{window_, {api_.get(), base::PathToUtf8(folder_.path() / "RegBack"), [] {
                                     return base::LocalDate{2026, 12, 6};
                                   }}};
};

TEST(HiveFileNamesTest, ProposalFinalPathAndRootCheck) {
  EXPECT_EQ(ProposedBackupName({2026, 12, 6}), "261206");
  EXPECT_EQ(ProposedBackupName({2000, 1, 31}), "000131");
  const struct {
    const char* chosen;
    const char* short_form;
    const char* final_path;
  } paths[] = {
      {"back/my.hive", "CU", "back/CUmy_hive"},
      {"back/261206", "CU", "back/CU261206"},
      {"a.b/c.d.e", "LM", "a.b/LMc_d_e"},  // the folder keeps its dots: it exists as it is
  };
  for (const auto& p : paths) {
    EXPECT_EQ(BackupFilePath(p.chosen, p.short_form), std::filesystem::path(p.final_path))
        << p.chosen;
  }
  const struct {
    const char* file;
    const char* short_form;
    bool names;
  } checks[] = {
      {"back/lm-old", "LM", true}, {"back/LMx", "LM", true}, {"back/Cu", "CU", true},
      {"back/cu", "LM", false},    {"back/L", "LM", false},  {"lm/x", "LM", false},
  };
  for (const auto& c : checks) EXPECT_EQ(NamesRoot(c.file, c.short_form), c.names) << c.file;
}

TEST_F(HiveMaintenanceTest, NoRootSelectedRefusesBackupRestoreAndReplace) {
  hives_.btnBackupClick(0);
  hives_.btnRestoreClick(0);
  hives_.btnReplaceClick(0);
  const std::string refusal = "info: Please select a Key to Backup/Restore.";
  EXPECT_THAT(window_.log, ElementsAre(refusal, refusal, refusal));
  EXPECT_FALSE(std::filesystem::exists(Folder()));
}

TEST_F(HiveMaintenanceTest, BackupOfCurrentUserGoesToTheProposedFileAndLoadsBackAsKlLoad) {
  window_.save_file = "";  // the proposal
  hives_.btnBackupClick(kCurrentUser);
  EXPECT_EQ(window_.proposal, InFolder("261206"));
  EXPECT_THAT(window_.log,
              ElementsAre("save dialog: Backup Registry", "info: Key Saved Successfully."));
  EXPECT_THAT(FolderFiles(), ElementsAre("CU261206"));
  EXPECT_EQ(window_.waits_shown, 1);
  EXPECT_EQ(window_.waits_hidden, 1);
  EXPECT_FALSE(api_->PrivilegeEnabled("SeBackupPrivilege"));  // set back

  // Loaded as HKEY_USERS\KL_Load, readable, shown in the registry editor.
  window_.log.clear();
  window_.open_file = InFolder("CU261206");
  hives_.btnLoadClick();
  EXPECT_THAT(window_.log,
              ElementsAre("open dialog: Load Registry Backup",
                          "info: Keyloom Backup Key Loaded Successfully, Switching to Regedit.",
                          "editor: HKEY_USERS\\KL_Load"));
  {
    reg::TRegistry registry(*api_);
    registry.SetRootKey(reg::kUsers);
    ASSERT_TRUE(registry.OpenKey("KL_Load\\Software\\Saved"));
    EXPECT_EQ(registry.ReadString("name"), "value");
  }
  EXPECT_FALSE(api_->PrivilegeEnabled("SeRestorePrivilege"));

  // A second load is refused; unload removes it; a second unload is refused.
  window_.log.clear();
  hives_.btnLoadClick();
  hives_.btnUnloadClick();
  hives_.btnUnloadClick();
  EXPECT_THAT(
      window_.log,
      ElementsAre("open dialog: Load Registry Backup",
                  "warning: There is already a Keyloom Backup Key Loaded please unload it first.",
                  "warning: Ensure that you do not have the Keyloom Backup Key Open otherwise you "
                  "will not be able to unload it",
                  "info: Keyloom Backup UnLoaded Successfully.",
                  "warning: There is no Keyloom Backup Key to Unload."));
  reg::TRegistry users(*api_);
  users.SetRootKey(reg::kUsers);
  EXPECT_FALSE(users.KeyExists("KL_Load"));
}

TEST_F(HiveMaintenanceTest, ChosenNameGetsTheShortFormAndLosesItsDots) {
  window_.save_file = InFolder("my.hive");
  hives_.btnBackupClick(kCurrentUser);
  EXPECT_THAT(FolderFiles(), ElementsAre("CUmy_hive"));
  window_.save_file = std::nullopt;  // cancelled: nothing more happens
  window_.log.clear();
  hives_.btnBackupClick(kCurrentUser);
  EXPECT_THAT(window_.log, ElementsAre("save dialog: Backup Registry"));
}

TEST_F(HiveMaintenanceTest, OverwriteKeepsTheOldBackupUntilTheNewSaveSucceeded) {
  std::filesystem::create_directory(Folder());
  const std::string existing = InFolder("CU261206");
  WriteBytes(existing, "old backup");
  window_.save_file = "";
  const std::string question = "ask: Overwrite existing file [" + existing + "]?";

  window_.answers = {false};  // No: nothing is written
  hives_.btnBackupClick(kCurrentUser);
  EXPECT_THAT(window_.log, ElementsAre("save dialog: Backup Registry", question));
  EXPECT_EQ(ReadBytes(existing), "old backup");

  // Yes, and the save fails: the old backup stays, and no empty file is left anywhere.
  api_->InjectFault({MemoryRegistry::Op::kSaveKey, "", 0, kDiskFull});
  window_.log.clear();
  window_.answers = {true};
  hives_.btnBackupClick(kCurrentUser);
  EXPECT_THAT(window_.log, ElementsAre("save dialog: Backup Registry", question,
                                       "warning: Unable to Save Key [" + Message(kDiskFull) + "]"));
  EXPECT_EQ(ReadBytes(existing), "old backup");
  EXPECT_THAT(FolderFiles(), ElementsAre("CU261206"));

  // Yes, and the save succeeds: the new hive replaces the old file. A file that already has the
  // name the save would go to first is not touched.
  WriteBytes(existing + ".new", "the user's");
  api_->ClearFaults();
  window_.log.clear();
  window_.answers = {true};
  hives_.btnBackupClick(kCurrentUser);
  EXPECT_THAT(window_.log, ElementsAre("save dialog: Backup Registry", question,
                                       "info: Key Saved Successfully."));
  EXPECT_THAT(FolderFiles(), ElementsAre("CU261206", "CU261206.new"));
  EXPECT_EQ(ReadBytes(existing + ".new"), "the user's");
  EXPECT_NE(ReadBytes(existing), "old backup");
  EXPECT_FALSE(ReadBytes(existing).empty());
}

TEST_F(HiveMaintenanceTest, UsersAreSavedOneFilePerSubkeyAndOneFailureStopsNoOther) {
  window_.save_file = "";
  api_->InjectFault({MemoryRegistry::Op::kSaveKey, "HKEY_USERS\\S-1-5-21-1", 0, kDiskFull});
  hives_.btnBackupClick(kUsers);
  EXPECT_THAT(window_.log, ElementsAre("save dialog: Backup Registry",
                                       "warning: Unable to Save Key [" + Message(kDiskFull) + "]",
                                       "info: Finished Saving Keys"));
  EXPECT_THAT(FolderFiles(), ElementsAre("US261206_S-1-5-18", "US261206_S-1-5-21-2"));
  EXPECT_EQ(window_.waits_shown, 3);

  // Without the fault every subkey is saved; an existing file of a subkey makes its save fail.
  api_->ClearFaults();
  window_.log.clear();
  window_.save_file = InFolder("all");
  hives_.btnBackupClick(kUsers);
  EXPECT_THAT(window_.log,
              ElementsAre("save dialog: Backup Registry", "info: All Keys Saved Successfully."));
  EXPECT_EQ(FolderFiles().size(), 5u);
  window_.log.clear();
  hives_.btnBackupClick(kUsers);
  EXPECT_EQ(window_.log.back(), "info: Finished Saving Keys");
  EXPECT_EQ(FolderFiles().size(), 5u);

  // A file at the final path itself is asked about; with Yes it goes once every subkey is saved.
  WriteBytes(Folder() / "USfresh", "old");
  for (const bool subkeys_saved : {false, true}) {
    window_.save_file = InFolder(subkeys_saved ? "fresh" : "all");
    if (!subkeys_saved) WriteBytes(Folder() / "USall", "old");
    window_.log.clear();
    window_.answers = {true};
    hives_.btnBackupClick(kUsers);
    EXPECT_EQ(window_.log.back(),
              subkeys_saved ? "info: All Keys Saved Successfully." : "info: Finished Saving Keys");
  }
  EXPECT_EQ(ReadBytes(Folder() / "USall"), "old");  // kept: the "all" files were there already
  EXPECT_FALSE(std::filesystem::exists(Folder() / "USfresh"));
  EXPECT_TRUE(std::filesystem::exists(Folder() / "USfresh_S-1-5-18"));
}

TEST_F(HiveMaintenanceTest, RootThatCannotBeListedWritesNoFileAndClaimsNothing) {
  window_.save_file = "";
  api_->InjectFault({MemoryRegistry::Op::kOpenKey, "HKEY_LOCAL_MACHINE", 0, reg::kAccessDenied});
  hives_.btnBackupClick(kLocalMachine);
  EXPECT_THAT(window_.log, ElementsAre("save dialog: Backup Registry",
                                       "warning: Unable to list the Keys of HKEY_LOCAL_MACHINE [" +
                                           Message(reg::kAccessDenied) + "]"));
  EXPECT_THAT(FolderFiles(), IsEmpty());
}

TEST_F(HiveMaintenanceTest, NoWorkerThreadMeansNoFileAndAMessage) {
  window_.save_file = "";
  window_.no_threads = true;
  hives_.btnBackupClick(kCurrentUser);
  EXPECT_THAT(window_.log,
              ElementsAre("save dialog: Backup Registry",
                          "warning: Unable to Save Key [No thread could be started for the save]"));
  EXPECT_THAT(FolderFiles(), IsEmpty());
}

TEST_F(HiveMaintenanceTest, RestoreOnMemoryRegistryBecauseWineStubsRegRestoreKey) {
  window_.save_file = InFolder("saved");
  hives_.btnBackupClick(kCurrentUser);
  {
    reg::TRegistry registry(*api_);
    ASSERT_TRUE(registry.OpenKey("Software\\Saved"));
    registry.WriteString("name", "changed");
  }
  const std::string mismatch =
      "ask: The Current Backup File is not for the selected key [HKEY_CURRENT_USER], Are you Sure "
      "you wish to perform this Restore?  Your Windows system may not boot if this restore is "
      "performed.";
  const std::string question =
      "ask: Are you sure you wish to restore the Backup File selected to the [HKEY_CURRENT_USER] "
      "key?";

  // A file of another root: the mismatch question; No stops.
  std::filesystem::copy_file(Folder() / "CUsaved", Folder() / "lmsaved");
  window_.open_file = InFolder("lmsaved");
  window_.log.clear();
  window_.answers = {false};
  hives_.btnRestoreClick(kCurrentUser);
  EXPECT_THAT(window_.log, ElementsAre("open dialog: Restore Registry", mismatch));
  // The second question's No stops too.
  window_.open_file = InFolder("CUsaved");
  window_.log.clear();
  window_.answers = {false};
  hives_.btnRestoreClick(kCurrentUser);
  EXPECT_THAT(window_.log, ElementsAre("open dialog: Restore Registry", question));
  EXPECT_EQ(ReadSaved("Software\\Saved"), "changed");

  // Restored, with the restore privilege left on as it was before.
  api_->SetPrivilegeForTest("SeRestorePrivilege", true, true);
  window_.log.clear();
  window_.answers = {true};
  hives_.btnRestoreClick(kCurrentUser);
  EXPECT_THAT(window_.log, ElementsAre("open dialog: Restore Registry", question,
                                       "info: Key Restored Successfully."));
  EXPECT_EQ(ReadSaved("Software\\Saved"), "value");
  EXPECT_TRUE(api_->PrivilegeEnabled("SeRestorePrivilege"));

  // HKEY_LOCAL_MACHINE refuses with access denied: the hint towards Replace. "lm-old" names
  // that root, letter case ignored, so no mismatch question comes.
  std::filesystem::copy_file(Folder() / "CUsaved", Folder() / "lm-old");
  window_.open_file = InFolder("lm-old");
  window_.log.clear();
  window_.answers = {true};
  hives_.btnRestoreClick(kLocalMachine);
  EXPECT_THAT(window_.log,
              ElementsAre("open dialog: Restore Registry",
                          "ask: Are you sure you wish to restore the Backup File selected to the "
                          "[HKEY_LOCAL_MACHINE] key?",
                          "warning: Unable to Restore Key [" + Message(reg::kAccessDenied) +
                              "], Try using Replace to Restore the Key."));
  // Any other failure is reported as it is.
  window_.open_file = InFolder("CUmissing");
  window_.log.clear();
  window_.answers = {true};
  hives_.btnRestoreClick(kCurrentUser);
  EXPECT_EQ(window_.log.back(),
            "warning: Unable to Restore Key [" + Message(reg::kFileNotFound) + "]");
}

TEST_F(HiveMaintenanceTest, ReplaceOnMemoryRegistryBecauseWineStubsRegReplaceKey) {
  std::filesystem::create_directory(Folder());
  WriteBytes(Folder() / "Lm-hive", "x");
  window_.open_file = InFolder("Lm-hive");
  window_.answers = {true};
  hives_.btnReplaceClick(kLocalMachine);
  EXPECT_THAT(
      window_.log,
      ElementsAre("open dialog: Replace Registry",
                  "ask: Are you sure you wish to Replace the Backup File selected to the "
                  "[HKEY_LOCAL_MACHINE] key?",
                  "info: Key Replaced Successfully, you must now Re-boot to activate the change."));
  const auto pending = api_->PendingReplacements();
  ASSERT_EQ(pending.size(), 1u);
  EXPECT_EQ(pending[0].new_file, InFolder("Lm-hive"));
  EXPECT_EQ(pending[0].old_file, InFolder("Lm-hive") + ".OLD");
  EXPECT_FALSE(api_->PrivilegeEnabled("SeRestorePrivilege"));

  // A file of another root asks first; a refused replace is reported with the system's text.
  api_->InjectFault({MemoryRegistry::Op::kReplaceKey, "", 0, reg::kAccessDenied});
  window_.log.clear();
  window_.answers = {true, true};
  hives_.btnReplaceClick(kCurrentUser);
  EXPECT_THAT(
      window_.log,
      ElementsAre("open dialog: Replace Registry",
                  "ask: The Current Backup File is not for the selected key [HKEY_CURRENT_USER], "
                  "Are you Sure you wish to perform this Replace?  Your Windows system may not "
                  "boot if this Replace is performed.",
                  "ask: Are you sure you wish to Replace the Backup File selected to the "
                  "[HKEY_CURRENT_USER] key?",
                  "warning: Unable to Replace Key [" + Message(reg::kAccessDenied) + "]"));
}

TEST_F(HiveMaintenanceTest, PrivilegeThatCannotBeSetStopsEveryOperation) {
  api_->InjectFault({MemoryRegistry::Op::kSetPrivilege, "", 0, reg::kAccessDenied});
  const std::string failed = "info: Failed AdjustTokenPrivileges.";
  const std::string no_rights =
      "warning: You do not have the required security privileges to do this operation on this "
      "computer.";
  window_.save_file = "";
  hives_.btnBackupClick(kCurrentUser);
  EXPECT_THAT(window_.log, ElementsAre("save dialog: Backup Registry", failed, no_rights));
  EXPECT_THAT(FolderFiles(), IsEmpty());
  window_.log.clear();
  hives_.btnUnloadClick();
  EXPECT_THAT(window_.log, ElementsAre(failed, no_rights));
  WriteBytes(Folder() / "CUx", "x");
  window_.open_file = InFolder("CUx");
  window_.log.clear();
  hives_.btnLoadClick();
  EXPECT_THAT(window_.log, ElementsAre("open dialog: Load Registry Backup", failed, no_rights));
}

TEST_F(HiveMaintenanceTest, FailedLoadAndUnloadSayWhy) {
  std::filesystem::create_directory(Folder());
  WriteBytes(Folder() / "CUbroken", "not a hive");
  window_.open_file = InFolder("CUbroken");
  hives_.btnLoadClick();
  EXPECT_THAT(window_.log, ElementsAre("open dialog: Load Registry Backup",
                                       "warning: Unable to Load Keyloom Backup Key [" +
                                           Message(reg::kBadDbFile) + "]"));
  window_.open_file = std::nullopt;  // cancelled: nothing happens
  window_.log.clear();
  hives_.btnLoadClick();
  EXPECT_THAT(window_.log, ElementsAre("open dialog: Load Registry Backup"));

  // A key of the loaded hive still open: the unload fails with the system's message.
  window_.save_file = InFolder("h");
  hives_.btnBackupClick(kCurrentUser);
  window_.open_file = InFolder("CUh");
  hives_.btnLoadClick();
  reg::TRegistry holder(*api_);
  holder.SetRootKey(reg::kUsers);
  ASSERT_TRUE(holder.OpenKey("KL_Load\\Software"));
  window_.log.clear();
  hives_.btnUnloadClick();
  EXPECT_EQ(window_.log.back(),
            "warning: Unable to UnLoad Keyloom Backup Key [" + Message(reg::kAccessDenied) + "]");
}

}  // namespace
}  // namespace keyloom::shell
