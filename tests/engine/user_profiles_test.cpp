// Runs over every user's profile in the memory registry, whose hive files and LoadKey behave as
// Windows' do (a hive loaded elsewhere is locked, changes reach the file when it is unloaded):
// signed-in users searched in place, the others' hives loaded for the run and unloaded after it,
// after a stop and after failures, the journal's hive notes and the take-back loading them again.
#include "engine/user_profiles.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "edit/run_undo.h"
#include "engine/walk_fixture.h"
#include "files/reg_file_testing.h"
#include "support/temp_folder.h"

namespace keyloom::engine::testing {
namespace {

constexpr char kSignedIn[] = "S-1-5-21-0-0-0-1000";
constexpr char kAnn[] = "S-1-5-21-7-7-7-1001";
constexpr char kBob[] = "S-1-5-21-7-7-7-1002";
constexpr char kCy[] = "S-1-5-21-7-7-7-1003";

class UserProfilesTest : public WalkTest {
 protected:
  void SetUp() override {
    config_.environment.push_back({"Profiles", base::PathToUtf8(profiles_.path())});
    WalkTest::SetUp();
    controls_.root_choice = kProfilesChoice;
    controls_.find = "old";
    controls_.replace = "new";
    AddProfile(kSignedIn, "me", "");
    SignedInData("old-me");
    for (const auto& [sid, user] : {std::pair{kAnn, "ann"}, {kBob, "bob"}, {kCy, "cy"}}) {
      AddProfile(sid, user, "old-" + std::string(user));
    }
    controls_.key_names = true;
  }

  static std::string Users(const std::string& key) { return "HKEY_USERS\\" + key; }
  // The signed-in user's hive, loaded at HKEY_USERS\<SID>.
  void SignedInData(const std::string& data) {
    Put(std::string(kSignedIn) + "\\Software\\App", "Path", StringValue(data), reg::kUsers);
  }
  std::string SignedInData() {
    reg::TRegistry reg(*registry_);
    reg.SetRootKey(reg::kUsers);
    return reg.OpenKey(std::string("\\") + kSignedIn + "\\Software\\App") ? reg.ReadString("Path")
                                                                          : "(none)";
  }
  std::string Message(reg::ErrorCode code) {
    return text::TrimMessage(registry_->ErrorMessage(code));
  }
  std::filesystem::path Folder(const std::string& user) { return profiles_.path() / user; }
  std::string Hive(const std::string& user) {
    return base::PathToUtf8(Folder(user) / "NTUSER.DAT");
  }

  // A ProfileList entry naming %Profiles%\<user>, and (with `data`) the user's hive file holding
  // Software\App "Path" = data; ann has a classes hive too.
  void AddProfile(const std::string& sid, const std::string& user, const std::string& data) {
    const std::string entry =
        std::string("SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\ProfileList\\") + sid;
    // The list is in the 64-bit view, where the system keeps it.
    reg::KeyHandle key = reg::kNullKey;
    ASSERT_EQ(
        registry_->CreateKey(reg::kLocalMachine, entry, 0,
                             reg::access::kAllAccess | reg::access::kWow64_64Key, &key, nullptr),
        reg::kSuccess);
    const reg::RawValue path =
        StringValue("%Profiles%" + std::string(1, base::kPathSeparator) + user, reg::kRegExpandSz);
    ASSERT_EQ(registry_->SetValue(key, "ProfileImagePath", path.type, path.data), reg::kSuccess);
    registry_->CloseKey(key);
    if (data.empty()) return;
    std::filesystem::create_directories(Folder(user) / "AppData" / "Local" / "Microsoft" /
                                        "Windows");
    // cy's hive holds a key whose name is a hit: renamed, then searched again in its new name.
    if (user == "cy") PutString("Seed\\Software\\old-cy", "Path", "old-renamed");
    SaveTree("Software\\App", data, Hive(user));
    if (user == "ann") {
      SaveTree("Ann.File", "old-class",
               base::PathToUtf8(Folder(user) / "AppData" / "Local" / "Microsoft" / "Windows" /
                                "UsrClass.dat"));
    }
  }
  // Saves a tree holding `path` "Path" = `data` as a hive file.
  void SaveTree(const std::string& path, const std::string& data, const std::string& file) {
    PutString("Seed\\" + path, "Path", data);
    const reg::PrivilegeScope backup(*registry_, "SeBackupPrivilege");
    reg::TRegistry reg(*registry_);
    ASSERT_TRUE(reg.SaveKey("\\Seed", file)) << reg.LastErrorText();
    reg.DeleteKey("\\Seed");
  }
  // "Path" of `path` in the hive file, loaded for the question.
  std::string InFile(const std::string& file, const std::string& path) {
    const reg::PrivilegeScope restore(*registry_, "SeRestorePrivilege");
    if (registry_->LoadKey(reg::kUsers, "Check", file) != reg::kSuccess) return "(not loaded)";
    reg::TRegistry reg(*registry_);
    reg.SetRootKey(reg::kUsers);
    std::string data = reg.OpenKey("\\Check\\" + path) ? reg.ReadString("Path") : "(none)";
    reg.CloseKey();
    EXPECT_EQ(registry_->UnLoadKey(reg::kUsers, "Check"), reg::kSuccess);
    return data;
  }
  // Each row of the last run and the user it names: "row @ user".
  std::vector<std::string> RowUsers() {
    std::vector<std::string> rows;
    std::string user;
    for (const auto& e : output_.Events()) {
      if (e.rfind("details: ", 0) == 0) {
        const std::size_t at = e.find(" | user ");
        user = at == std::string::npos ? "" : e.substr(at + 8);
      } else if (e.rfind("row: ", 0) == 0) {
        rows.push_back(e.substr(5) + " @ " + user);
        user.clear();
      }
    }
    return rows;
  }
  // The keys below HKEY_USERS a run left loaded.
  std::vector<std::string> LeftLoaded() {
    reg::TRegistry reg(*registry_);
    reg.SetRootKey(reg::kUsers);
    std::vector<std::string> left;
    if (reg.OpenKey("\\")) {
      for (auto& name : reg.GetKeyNames()) {
        if (name.rfind("KL_", 0) == 0) left.push_back(name);
      }
    }
    return left;
  }

  keyloom::testing::TempFolder profiles_;
};

// One replace run over four profiles: the signed-in user's in place, ann's and cy's hives loaded
// (ann's classes hive too) and changed in their files, bob's locked one reported and skipped;
// every hit names its user (the profile folder's name), also after a rename and in the renamed
// key's own pass. The journal and the run's output name the hives loaded; the take-back loads
// them again and restores the files. A run that is not over the profiles names no user.
TEST_F(UserProfilesTest, ReplaceRunOverProfilesThenTakeBack) {
  // bob's hive is in use by someone else: loaded under another name.
  {
    const reg::PrivilegeScope restore(*registry_, "SeRestorePrivilege");
    ASSERT_EQ(registry_->LoadKey(reg::kUsers, "InUse", Hive("bob")), reg::kSuccess);
  }
  const auto lines = Run(true);
  const std::string ann = std::string("KL_") + kAnn;
  const std::string cy = std::string("HKEY_USERS\t\\KL_") + kCy + "\\Software\\";
  EXPECT_THAT(RowUsers(),
              ::testing::UnorderedElementsAre(
                  std::string("HKEY_USERS\t\\") + kSignedIn + "\\Software\\App\tPath @ me",
                  "HKEY_USERS\t\\" + ann + "\\Software\\App\tPath @ ann",
                  "HKEY_USERS\t\\" + ann + "_Classes\\Ann.File\tPath @ ann", cy + "App\tPath @ cy",
                  cy + "new-cy\t @ cy", cy + "new-cy\tPath @ cy"));
  EXPECT_THAT(lines, Contains(AllOf(HasSubstr("Unable to load the profile of [bob]"),
                                    HasSubstr(Message(reg::kSharingViolation)))));
  EXPECT_THAT(lines, Contains("User profile [ann]"));
  EXPECT_THAT(lines, Contains("Finished, Replaced [6] Entries."));
  EXPECT_THAT(LeftLoaded(), IsEmpty());
  EXPECT_EQ(SignedInData(), "new-me");
  ASSERT_EQ(registry_->UnLoadKey(reg::kUsers, "InUse"), reg::kPrivilegeNotHeld);
  {
    const reg::PrivilegeScope restore(*registry_, "SeRestorePrivilege");
    ASSERT_EQ(registry_->UnLoadKey(reg::kUsers, "InUse"), reg::kSuccess);
  }
  EXPECT_EQ(InFile(Hive("ann"), "Software\\App"), "new-ann");
  EXPECT_EQ(InFile(Hive("cy"), "Software\\App"), "new-cy");
  EXPECT_EQ(InFile(Hive("cy"), "Software\\new-cy"), "new-renamed");
  EXPECT_EQ(InFile(Hive("bob"), "Software\\App"), "old-bob");

  // The undo file names the keys by their names during the run; the journal, their files.
  const auto runs = journal_.Runs(undo_folder_.Utf8());
  ASSERT_FALSE(runs.empty());
  EXPECT_THAT(
      runs[0].info.hives,
      ElementsAre(reg::HiveMount{ann, Hive("ann")},
                  reg::HiveMount{ann + "_Classes",
                                 base::PathToUtf8(Folder("ann") / "AppData" / "Local" /
                                                  "Microsoft" / "Windows" / "UsrClass.dat")},
                  reg::HiveMount{std::string("KL_") + kCy, Hive("cy")}));
  // The rows' readers are told them too, to load them again (an export after the run).
  EXPECT_EQ(output_.Hives(), runs[0].info.hives);
  std::vector<std::string> undo;
  for (const auto& file : UndoFiles()) {
    for (auto& line : files::testing::ReadRegFileLines(file)) undo.push_back(line);
  }
  EXPECT_THAT(undo, Contains("[HKEY_USERS\\" + ann + "\\Software\\App]"));

  ScriptedUi ui;
  StoreSettings();
  EXPECT_TRUE(edit::UndoRun(runs, 0, context_, ui)) << ::testing::PrintToString(ui.shown);
  EXPECT_THAT(LeftLoaded(), IsEmpty());
  EXPECT_EQ(InFile(Hive("ann"), "Software\\App"), "old-ann");
  EXPECT_EQ(InFile(Hive("cy"), "Software\\App"), "old-cy");
  EXPECT_EQ(InFile(Hive("cy"), "Software\\old-cy"), "old-renamed");
  EXPECT_EQ(InFile(Hive("cy"), "Software\\new-cy"), "(none)");
  EXPECT_EQ(SignedInData(), "old-me");
  // The take-back's own run names the same hives, so it can be taken back in turn.
  EXPECT_EQ(journal_.Runs(undo_folder_.Utf8())[0].info.hives, runs[0].info.hives);

  controls_.root_choice = 4;  // HKEY_USERS, not the profiles
  Run(false);
  EXPECT_THAT(RowUsers(),
              ElementsAre(std::string("HKEY_USERS\t\\") + kSignedIn + "\\Software\\App\tPath @ "));
}

// Every loaded hive is unloaded after a stop, after failures inside it and after a damaged or
// missing hive file; without the privileges only the signed-in user is searched, said once.
TEST_F(UserProfilesTest, HivesAreUnloadedAfterStopsAndFailures) {
  keyloom::testing::WriteBytes(Folder("cy") / "NTUSER.DAT", "not a hive");
  std::filesystem::remove(Folder("bob") / "NTUSER.DAT");
  RecordingOutput& out = output_;
  DeletingOutput stopping(out, *registry_);
  stopping.trigger = "HKEY_USERS\t\\KL_" + std::string(kAnn) + "\\Software\\App\tPath";
  stopping.then = [this] { controller_->StopRun(); };
  walk_output_ = &stopping;
  Build();
  auto lines = Run(false);
  EXPECT_THAT(Rows(), Contains(stopping.trigger));
  EXPECT_THAT(lines, Contains(HasSubstr("Unable to load the profile of [cy]")));
  EXPECT_THAT(lines, Contains(AllOf(HasSubstr("Unable to load the profile of [bob]"),
                                    HasSubstr(Message(reg::kFileNotFound)))));
  EXPECT_THAT(LeftLoaded(), IsEmpty());

  walk_output_ = nullptr;
  Build();
  registry_->InjectFault({reg::MemoryRegistry::Op::kEnumValue,
                          "HKEY_USERS\\KL_" + std::string(kAnn), 0, reg::kAccessDenied});
  lines = Run(false);
  EXPECT_THAT(Rows(), ElementsAre(HasSubstr(kSignedIn), HasSubstr("_Classes")));
  EXPECT_THAT(LeftLoaded(), IsEmpty());
  registry_->ClearFaults();

  registry_->SetPrivilegeForTest("SeRestorePrivilege", false, false);
  lines = Run(false);
  EXPECT_EQ(std::count_if(lines.begin(), lines.end(),
                          [](const std::string& l) { return l.find("privileges") != l.npos; }),
            1);
  EXPECT_THAT(Rows(), ElementsAre(HasSubstr(kSignedIn)));
  EXPECT_THAT(LeftLoaded(), IsEmpty());
}

// Replace Selected over rows a profiles search listed: the hives that search loaded and unloaded
// are loaded again for the restricted run (its journal names them, for the take-back) and
// unloaded after it; only the selected item changes.
TEST_F(UserProfilesTest, ReplaceSelectedLoadsTheSearchsHivesAgain) {
  Run(false);
  const std::vector<reg::HiveMount> hives = output_.Hives();
  ASSERT_THAT(hives, SizeIs(4));  // ann and her classes, bob, cy
  EXPECT_THAT(LeftLoaded(), IsEmpty());

  StoreSettings();
  output_.Clear();
  const std::string ann = std::string("\\KL_") + kAnn + "\\Software\\App";
  ASSERT_TRUE(controller_->ReplaceItems({{4, ann, "Path", FoundIn::kData}}, hives));
  ASSERT_TRUE(output_.WaitFor("finished"));
  controller_->OnRunFinished();
  EXPECT_THAT(output_.Lines(), Contains("Finished, Replaced [1] Entries."));
  EXPECT_THAT(LeftLoaded(), IsEmpty());
  EXPECT_EQ(InFile(Hive("ann"), "Software\\App"), "new-ann");
  EXPECT_EQ(InFile(Hive("cy"), "Software\\App"), "old-cy");
  EXPECT_EQ(SignedInData(), "old-me");
  EXPECT_EQ(journal_.Runs(undo_folder_.Utf8())[0].info.hives, hives);
}

}  // namespace
}  // namespace keyloom::engine::testing
