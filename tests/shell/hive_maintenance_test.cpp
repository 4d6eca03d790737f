// The hive operations against the memory registry with a scripted window: every question and
// message, the backup file names, the per-subkey files, the safe overwrite, the refusals. Restore
// and Replace are tested only here because Wine's RegRestoreKey and RegReplaceKey report success
// and do nothing.
#include "shell/hive_maintenance.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <deque>
#include <thread>

#include "base/text.h"
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
using Log = std::vector<std::string>;

constexpr int kCurrentUser = 2;
constexpr int kLocalMachine = 3;
constexpr int kUsers = 4;
constexpr reg::ErrorCode kDiskFull = 112;
constexpr char kSaveDialog[] = "save dialog: Backup Registry";
constexpr char kLoadDialog[] = "open dialog: Load Registry Backup";
constexpr char kRestoreDialog[] = "open dialog: Restore Registry";
constexpr char kSavedTo[] = "info: Key Saved Successfully. [";

// Every call is recorded as "kind: text"; answers and chosen files are scripted.
class ScriptedWindow : public HiveWindow {
 public:
  void ShowInformation(const std::string& text) override { log.push_back("info: " + text); }
  void ShowWarning(const std::string& text) override { log.push_back("warning: " + text); }
  bool Confirm(const std::string& text) override {
    log.push_back("ask: " + text);
    if (answers.empty()) ADD_FAILURE() << "unexpected question: " << text;
    const bool yes = !answers.empty() && answers.front();
    if (!answers.empty()) answers.pop_front();
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
    std::thread(work).join();
    return true;
  }
  void OpenEditorAt(const std::string& root, const std::string& key) override {
    log.push_back("editor: " + root + "\\" + key);
  }

  Log log;
  std::deque<bool> answers;
  std::optional<std::string> save_file = "";  // "" accepts the proposal; nothing cancels
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

  // Clicks with the scripted answers; returns what the window was told during the click.
  Log Run(const std::function<void()>& click, std::deque<bool> answers = {}) {
    window_.log.clear();
    window_.answers = std::move(answers);
    click();
    return window_.log;
  }
  std::filesystem::path Folder() const { return folder_.path() / "RegBack"; }
  std::string InFolder(const std::string& name) const { return base::PathToUtf8(Folder() / name); }
  Log FolderFiles() const {
    Log names;
    if (!std::filesystem::exists(Folder())) return names;
    for (const auto& entry : std::filesystem::directory_iterator(Folder())) {
      names.push_back(base::PathToUtf8(entry.path().filename()));
    }
    std::sort(names.begin(), names.end());
    return names;
  }
  std::string Message(reg::ErrorCode code) { return text::TrimMessage(api_->ErrorMessage(code)); }
  std::string Read(reg::KeyHandle root, const char* key) {
    reg::TRegistry registry(*api_);
    registry.SetRootKey(root);
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

// Refusals, cancels and failures before anything is written: the messages, and no backup file.
TEST_F(HiveMaintenanceTest, RefusalsCancelsAndEarlyFailuresWriteNoFile) {
  const std::string refusal = "info: Please select a Key to Backup/Restore.";
  const std::string failed = "info: Failed AdjustTokenPrivileges.";
  const std::string no_rights =
      "warning: You do not have the required security privileges to do this operation on this "
      "computer.";
  const std::string outside = base::PathToUtf8(folder_.path() / "CUx");
  WriteBytes(outside, "not a hive");
  EXPECT_THAT(Run([&] {
                hives_.btnBackupClick(0);
                hives_.btnRestoreClick(0);
                hives_.btnReplaceClick(0);
              }),
              ElementsAre(refusal, refusal, refusal));
  EXPECT_FALSE(std::filesystem::exists(Folder()));  // not even the folder is made

  const auto backup = [&] { hives_.btnBackupClick(kCurrentUser); };
  const auto load = [&] { hives_.btnLoadClick(); };
  window_.save_file = std::nullopt;
  EXPECT_THAT(Run(backup), ElementsAre(kSaveDialog));  // cancelled
  window_.save_file = "";
  api_->InjectFault({MemoryRegistry::Op::kOpenKey, "HKEY_LOCAL_MACHINE", 0, reg::kAccessDenied});
  EXPECT_THAT(Run([&] { hives_.btnBackupClick(kLocalMachine); }),
              ElementsAre(kSaveDialog, "warning: Unable to list the Keys of HKEY_LOCAL_MACHINE [" +
                                           Message(reg::kAccessDenied) + "]"));
  api_->ClearFaults();
  window_.no_threads = true;
  EXPECT_THAT(Run(backup), ElementsAre(kSaveDialog,
                                       "warning: Unable to Save Key [No thread could "
                                       "be started for the save]"));
  window_.no_threads = false;
  EXPECT_THAT(Run(load), ElementsAre(kLoadDialog));  // cancelled
  window_.open_file = outside;
  EXPECT_THAT(Run(load), ElementsAre(kLoadDialog, "warning: Unable to Load Keyloom Backup Key [" +
                                                      Message(reg::kBadDbFile) + "]"));

  // A privilege that cannot be set stops every operation.
  api_->InjectFault({MemoryRegistry::Op::kSetPrivilege, "", 0, reg::kAccessDenied});
  EXPECT_THAT(Run(backup), ElementsAre(kSaveDialog, failed, no_rights));
  EXPECT_THAT(Run([&] { hives_.btnUnloadClick(); }), ElementsAre(failed, no_rights));
  EXPECT_THAT(Run(load), ElementsAre(kLoadDialog, failed, no_rights));
  EXPECT_THAT(FolderFiles(), IsEmpty());
}

TEST_F(HiveMaintenanceTest, BackupOfCurrentUserOverwritesSafelyAndLoadsBackAsKlLoad) {
  const auto backup = [&] { hives_.btnBackupClick(kCurrentUser); };
  EXPECT_THAT(Run(backup), ElementsAre(kSaveDialog, kSavedTo + InFolder("CU261206") + "]"));
  EXPECT_EQ(window_.proposal, InFolder("261206"));
  EXPECT_EQ(window_.waits_shown, 1);
  EXPECT_EQ(window_.waits_hidden, 1);
  EXPECT_FALSE(api_->PrivilegeEnabled("SeBackupPrivilege"));  // set back
  // A chosen name gets the short form and loses its dots.
  window_.save_file = InFolder("my.hive");
  backup();
  EXPECT_THAT(FolderFiles(), ElementsAre("CU261206", "CUmy_hive"));

  // Overwriting keeps the old backup until the new save succeeded. No: nothing is written.
  window_.save_file = "";
  const std::string existing = InFolder("CU261206");
  WriteBytes(existing, "old backup");
  const std::string question = "ask: Overwrite existing file [" + existing + "]?";
  EXPECT_THAT(Run(backup, {false}), ElementsAre(kSaveDialog, question));
  EXPECT_EQ(ReadBytes(existing), "old backup");
  // Yes, and the save fails: the old backup stays, and no empty file is left anywhere.
  api_->InjectFault({MemoryRegistry::Op::kSaveKey, "", 0, kDiskFull});
  EXPECT_THAT(Run(backup, {true}),
              ElementsAre(kSaveDialog, question,
                          "warning: Unable to Save Key [" + Message(kDiskFull) + "]"));
  EXPECT_EQ(ReadBytes(existing), "old backup");
  EXPECT_THAT(FolderFiles(), ElementsAre("CU261206", "CUmy_hive"));
  // Yes, and the save succeeds: the new hive replaces the old file. A file that already has the
  // name the save would go to first is not touched.
  WriteBytes(existing + ".new", "the user's");
  api_->ClearFaults();
  EXPECT_THAT(Run(backup, {true}), ElementsAre(kSaveDialog, question, kSavedTo + existing + "]"));
  EXPECT_THAT(FolderFiles(), ElementsAre("CU261206", "CU261206.new", "CUmy_hive"));
  EXPECT_EQ(ReadBytes(existing + ".new"), "the user's");
  EXPECT_NE(ReadBytes(existing), "old backup");
  EXPECT_FALSE(ReadBytes(existing).empty());

  // Loaded as HKEY_USERS\KL_Load, readable, shown in the registry editor; a second load refused.
  window_.open_file = InFolder("CU261206");
  EXPECT_THAT(Run([&] { hives_.btnLoadClick(); }),
              ElementsAre(kLoadDialog,
                          "info: Keyloom Backup Key Loaded Successfully, Switching to Regedit.",
                          "editor: HKEY_USERS\\KL_Load"));
  EXPECT_EQ(Read(reg::kUsers, "KL_Load\\Software\\Saved"), "value");
  EXPECT_FALSE(api_->PrivilegeEnabled("SeRestorePrivilege"));
  EXPECT_THAT(
      Run([&] { hives_.btnLoadClick(); }),
      ElementsAre(kLoadDialog,
                  "warning: There is already a Keyloom Backup Key Loaded please unload it first."));

  // A key of the loaded hive still open: the unload fails with the system's message.
  const std::string ensure =
      "warning: Ensure that you do not have the Keyloom Backup Key Open otherwise you will not be "
      "able to unload it";
  {
    reg::TRegistry holder(*api_);
    holder.SetRootKey(reg::kUsers);
    ASSERT_TRUE(holder.OpenKey("KL_Load\\Software"));
    EXPECT_EQ(Run([&] { hives_.btnUnloadClick(); }).back(),
              "warning: Unable to UnLoad Keyloom Backup Key [" + Message(reg::kAccessDenied) + "]");
  }
  EXPECT_THAT(Run([&] {
                hives_.btnUnloadClick();
                hives_.btnUnloadClick();
              }),
              ElementsAre(ensure, "info: Keyloom Backup UnLoaded Successfully.",
                          "warning: There is no Keyloom Backup Key to Unload."));
  EXPECT_EQ(Read(reg::kUsers, "KL_Load"), "<missing>");
}

TEST_F(HiveMaintenanceTest, UsersAreSavedOneFilePerSubkeyAndOneFailureStopsNoOther) {
  const auto backup = [&] { hives_.btnBackupClick(kUsers); };
  api_->InjectFault({MemoryRegistry::Op::kSaveKey, "HKEY_USERS\\S-1-5-21-1", 0, kDiskFull});
  EXPECT_THAT(Run(backup),
              ElementsAre(kSaveDialog, "warning: Unable to Save Key [" + Message(kDiskFull) + "]",
                          "info: Finished Saving Keys"));
  EXPECT_THAT(FolderFiles(), ElementsAre("US261206_S-1-5-18", "US261206_S-1-5-21-2"));
  EXPECT_EQ(window_.waits_shown, 3);

  // Without the fault every subkey is saved; an existing file of a subkey makes its save fail.
  api_->ClearFaults();
  window_.save_file = InFolder("all");
  EXPECT_THAT(Run(backup), ElementsAre(kSaveDialog, "info: All Keys Saved Successfully."));
  EXPECT_EQ(FolderFiles().size(), 5u);
  EXPECT_EQ(Run(backup).back(), "info: Finished Saving Keys");
  EXPECT_EQ(FolderFiles().size(), 5u);

  // A file at the final path itself is asked about; with Yes it goes once every subkey is saved.
  WriteBytes(Folder() / "USfresh", "old");
  WriteBytes(Folder() / "USall", "old");
  EXPECT_EQ(Run(backup, {true}).back(), "info: Finished Saving Keys");
  window_.save_file = InFolder("fresh");
  EXPECT_EQ(Run(backup, {true}).back(), "info: All Keys Saved Successfully.");
  EXPECT_EQ(ReadBytes(Folder() / "USall"), "old");  // kept: the "all" files were there already
  EXPECT_FALSE(std::filesystem::exists(Folder() / "USfresh"));
  EXPECT_TRUE(std::filesystem::exists(Folder() / "USfresh_S-1-5-18"));
}

TEST_F(HiveMaintenanceTest, ReplaceAndRestoreOnMemoryRegistryBecauseWineStubsThem) {
  window_.save_file = InFolder("saved");
  hives_.btnBackupClick(kCurrentUser);
  {
    reg::TRegistry registry(*api_);
    ASSERT_TRUE(registry.OpenKey("Software\\Saved"));
    registry.WriteString("name", "changed");
  }
  // "lm-old" names HKEY_LOCAL_MACHINE, letter case ignored, so no mismatch question comes.
  std::filesystem::copy_file(Folder() / "CUsaved", Folder() / "lm-old");
  std::filesystem::copy_file(Folder() / "CUsaved", Folder() / "lmsaved");
  window_.open_file = InFolder("lm-old");
  const auto question = [](const char* verb, const char* root) {
    return "ask: Are you sure you wish to " + std::string(verb) +
           " the Backup File selected to the [" + root + "] key?";
  };
  const auto mismatch = [](const char* verb, const char* lower) {
    return "ask: The Current Backup File is not for the selected key [HKEY_CURRENT_USER], Are you "
           "Sure you wish to perform this " +
           std::string(verb) + "?  Your Windows system may not boot if this " + lower +
           " is performed.";
  };

  const std::string replace_dialog = "open dialog: Replace Registry";
  EXPECT_THAT(
      Run([&] { hives_.btnReplaceClick(kLocalMachine); }, {true}),
      ElementsAre(replace_dialog, question("Replace", "HKEY_LOCAL_MACHINE"),
                  "info: Key Replaced Successfully, you must now Re-boot to activate the change."));
  const auto pending = api_->PendingReplacements();
  ASSERT_EQ(pending.size(), 1u);
  EXPECT_EQ(pending[0].new_file, InFolder("lm-old"));
  EXPECT_EQ(pending[0].old_file, InFolder("lm-old") + ".OLD");
  EXPECT_FALSE(api_->PrivilegeEnabled("SeRestorePrivilege"));
  // A file of another root asks first; a refused replace is reported with the system's text.
  api_->InjectFault({MemoryRegistry::Op::kReplaceKey, "", 0, reg::kAccessDenied});
  EXPECT_THAT(Run([&] { hives_.btnReplaceClick(kCurrentUser); }, {true, true}),
              ElementsAre(replace_dialog, mismatch("Replace", "Replace"),
                          question("Replace", "HKEY_CURRENT_USER"),
                          "warning: Unable to Replace Key [" + Message(reg::kAccessDenied) + "]"));
  api_->ClearFaults();

  // Restore: the mismatch question's No stops, and so does the second question's.
  const auto restore = [&](int root) { return [this, root] { hives_.btnRestoreClick(root); }; };
  const std::string cu_question = question("restore", "HKEY_CURRENT_USER");
  window_.open_file = InFolder("lmsaved");
  EXPECT_THAT(Run(restore(kCurrentUser), {false}),
              ElementsAre(kRestoreDialog, mismatch("Restore", "restore")));
  window_.open_file = InFolder("CUsaved");
  EXPECT_THAT(Run(restore(kCurrentUser), {false}), ElementsAre(kRestoreDialog, cu_question));
  EXPECT_EQ(Read(reg::kCurrentUser, "Software\\Saved"), "changed");

  // Restored, with the restore privilege left on as it was before.
  api_->SetPrivilegeForTest("SeRestorePrivilege", true, true);
  EXPECT_THAT(Run(restore(kCurrentUser), {true}),
              ElementsAre(kRestoreDialog, cu_question, "info: Key Restored Successfully."));
  EXPECT_EQ(Read(reg::kCurrentUser, "Software\\Saved"), "value");
  EXPECT_TRUE(api_->PrivilegeEnabled("SeRestorePrivilege"));

  // HKEY_LOCAL_MACHINE refuses with access denied: the hint towards Replace.
  window_.open_file = InFolder("lm-old");
  EXPECT_THAT(Run(restore(kLocalMachine), {true}),
              ElementsAre(kRestoreDialog, question("restore", "HKEY_LOCAL_MACHINE"),
                          "warning: Unable to Restore Key [" + Message(reg::kAccessDenied) +
                              "], Try using Replace to Restore the Key."));
  // Any other failure is reported as it is.
  window_.open_file = InFolder("CUmissing");
  EXPECT_EQ(Run(restore(kCurrentUser), {true}).back(),
            "warning: Unable to Restore Key [" + Message(reg::kFileNotFound) + "]");
}

}  // namespace
}  // namespace keyloom::shell
