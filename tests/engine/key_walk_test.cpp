#include "engine/key_walk.h"

#include "base/text.h"
#include "engine/walk_fixture.h"
#include "registry/security_descriptor.h"

namespace keyloom::engine::testing {
namespace {

TEST_F(WalkTest, KeysBelowLevel41AreNotVisited) {
  std::string path;
  for (int level = 1; level <= 45; ++level)
    path += (level > 1 ? "\\D" : "D") + std::to_string(level);
  MakeKey(path);
  controls_.find = "D";
  controls_.key_names = true;
  controls_.values = false;
  settings_.logging = 2;
  Run();
  EXPECT_EQ(controller_->engine().session().matched_count, 41);
  std::string level41;
  for (int level = 1; level <= 41; ++level)
    level41 += (level > 1 ? "\\D" : "D") + std::to_string(level);
  EXPECT_THAT(debug_file_, Contains("Subtree Depth has hit 40, skipping tree [\\" + level41 + "]"));
  EXPECT_THAT(output_.Lines(), Not(Contains(HasSubstr("Subtree Depth"))));
  EXPECT_EQ(controller_->engine().session().depth, 0);
}

TEST_F(WalkTest, SubkeysOfARootCarryALeadingBackslash) {
  PutString("First", "v", "needle");
  PutString("Second", "v", "needle");
  Run();
  EXPECT_THAT(Rows(),
              ElementsAre("HKEY_CURRENT_USER\t\\First\tv", "HKEY_CURRENT_USER\t\\Second\tv"));
  EXPECT_THAT(output_.Lines(), Contains("Found in Key  : \\First\tv"));
}

TEST_F(WalkTest, Wow6432NodeIsSkippedOnlyInItsExactSpelling) {
  context_.program.is_64bit_windows = true;
  settings_.scanmethod = 1;
  Put("Software\\Wow6432Node\\Hidden", "v", {reg::kRegSz, {'n', 0, 'e', 0}}, reg::kLocalMachine);
  PutString("Software\\wow6432node", "v", "needle");
  controls_.root_choice = 0;
  controls_.find = "ne";
  const auto lines = Run();
  EXPECT_THAT(lines, Contains("Skipping WoW6432Node : \\Software\\Wow6432Node"));
  EXPECT_THAT(Rows(), ElementsAre("HKEY_CURRENT_USER\t\\Software\\wow6432node\tv"));
}

TEST_F(WalkTest, KeyNameHitsAreListedInSearchesAndAsDeletedInDeleteRuns) {
  MakeKey("Software\\OldApp\\Inner");
  controls_.find = "OldApp";
  controls_.key_names = true;
  Run();
  EXPECT_THAT(Rows(), ElementsAre("HKEY_CURRENT_USER\t\\Software\\OldApp\t"));
  EXPECT_THAT(output_.Lines(), Contains("Tree Found : \\Software\\OldApp\t"));

  controls_.delete_mode = true;
  const auto lines = Run(true);
  EXPECT_THAT(Rows(), ElementsAre("HKEY_CURRENT_USER\t\\Software\\OldApp\t"));
  EXPECT_THAT(output_.Events(), Contains("details:  |  | Key name | dated | Deleted"));
  EXPECT_THAT(lines, Contains("Key Deleted Successfully"));
  EXPECT_FALSE(Exists("Software\\OldApp"));
  EXPECT_THAT(Last(lines, 2), ElementsAre("Finished, Deleted [1] Entries.",
                                          "Undo files: [1] written to [" + undo_folder_.Utf8() +
                                              "]. Ctrl+Z takes this run back."));
}

TEST_F(WalkTest, ARenamedKeyIsSearchedAgainUnderItsNewPath) {
  PutString("Software\\OldApp", "path", "C:\\OldApp\\bin");
  controls_.find = "Old";
  controls_.key_names = true;
  const auto lines = Run(true);
  EXPECT_THAT(lines, Contains("Key Renamed Successfully"));
  EXPECT_THAT(lines, Contains("New Tree is : \\Software\\NewApp"));
  EXPECT_THAT(lines, Contains("Searching Renamed Key [HKEY_CURRENT_USER\\Software\\NewApp]"));
  EXPECT_THAT(lines, Contains("Found in Key  : \\Software\\NewApp\tpath"));
  EXPECT_FALSE(Exists("Software\\OldApp"));
  EXPECT_EQ(Read("Software\\NewApp", "path").data,
            text::Utf16ToBytes(std::u16string(u"C:\\NewApp\\bin\0", 14)));
  EXPECT_EQ(controller_->engine().session().changed_count, 2) << "one rename, one value";
  EXPECT_THAT(Rows(), ElementsAre("HKEY_CURRENT_USER\t\\Software\\NewApp\t",
                                  "HKEY_CURRENT_USER\t\\Software\\NewApp\tpath"));
}

TEST_F(WalkTest, ASimulatedRenameChangesNothingAndSaysSo) {
  MakeKey("Software\\OldApp");
  settings_.simulate = true;
  controls_.find = "Old";
  controls_.key_names = true;
  controls_.values = false;
  const auto lines = Run(true);
  EXPECT_THAT(lines, Contains("Key Renamed Successfully"));
  EXPECT_THAT(lines, Contains("Error: Unable to Rename Key."));
  EXPECT_THAT(Rows(), ElementsAre("HKEY_CURRENT_USER\t\\Software\\OldApp\t"));
  EXPECT_TRUE(Exists("Software\\OldApp"));
  EXPECT_TRUE(UndoFiles().empty());
}

class DeniedKeyWalkTest : public WalkTest {
 protected:
  void SetUp() override {
    WalkTest::SetUp();
    PutString("Software\\Locked", "v", "needle");
    reg::SecurityDescriptor sd;
    sd.control = reg::kSdSelfRelative | reg::kSdDaclPresent | reg::kSdDaclProtected;
    sd.owner = reg::Sid::FromText("S-1-5-21-0-0-0-1000");
    reg::Acl dacl;
    reg::Ace deny;
    deny.type = reg::kAceTypeDenied;
    deny.mask = reg::access::kAllAccess;
    deny.sid = *reg::Sid::FromText("S-1-5-21-0-0-0-1000");
    dacl.aces.push_back(deny);
    sd.dacl = dacl;
    ASSERT_EQ(registry_->SetKeySecurityForTest(kPath, sd.Serialize()), reg::kSuccess);
    ASSERT_EQ(registry_->GetKeySecurityForTest(kPath, &before_), reg::kSuccess);
  }
  static constexpr const char* kPath = "HKEY_CURRENT_USER\\Software\\Locked";
  reg::Bytes before_;
};

TEST_F(DeniedKeyWalkTest, WithoutRepairTheKeyIsReported) {
  const auto lines = Run();
  const std::string denied = text::TrimMessage(registry_->ErrorMessage(reg::kAccessDenied));
  EXPECT_THAT(lines, Contains("Unable to open key : \\Software\\Locked - [" + denied + "]"));
  EXPECT_TRUE(Rows().empty());
}

TEST_F(DeniedKeyWalkTest, WithRepairTheKeyIsSearchedAndItsDaclComesBackIdentical) {
  settings_.fixperms = true;
  settings_.logging = 1;
  const auto lines = Run();
  EXPECT_THAT(lines, Contains(HasSubstr("Security - Error accessing registry Locked [")));
  EXPECT_THAT(lines, Contains("Security - Re-open of key after permission change successful"));
  EXPECT_THAT(lines, Contains("Security - Registry permissions have been changed, setting "
                              "permissions back to original settings"));
  EXPECT_THAT(Rows(), ElementsAre("HKEY_CURRENT_USER\t\\Software\\Locked\tv"));
  reg::Bytes after;
  ASSERT_EQ(registry_->GetKeySecurityForTest(kPath, &after), reg::kSuccess);
  EXPECT_EQ(after, before_);
  EXPECT_EQ(registry_->OpenHandleCount(), 0u);
}

TEST_F(WalkTest, PauseHoldsTheWalkBeforeTheNextSubkey) {
  for (int i = 0; i < 5; ++i) PutString("K" + std::to_string(i), "v", "needle");
  gate_.Close();
  controller_->btnSearchClick();
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  EXPECT_TRUE(Rows().empty()) << "the closed gate holds the first subkey";
  gate_.Open();
  ASSERT_TRUE(output_.WaitFor("finished"));
  controller_->OnRunFinished();
  EXPECT_EQ(Rows().size(), 5u);
}

TEST_F(WalkTest, AKeyThatVanishesAbandonsThePass) {
  for (int i = 0; i < 3; ++i) PutString("Gone\\K" + std::to_string(i), "v", "needle");
  PutString("Later", "v", "needle");
  // The key Gone is deleted while its first subkey is examined (opening the next one through
  // Gone's handle answers "key deleted"): its next subkeys are never examined, the enclosing level
  // goes on, and the pass ends after this root.
  registry_->InjectFault(
      {reg::MemoryRegistry::Op::kOpenKey, "HKEY_CURRENT_USER\\Gone\\K1", 0, reg::kKeyDeleted});
  Run();
  EXPECT_TRUE(controller_->engine().session().abandon);
  EXPECT_THAT(Rows(),
              ElementsAre("HKEY_CURRENT_USER\t\\Gone\\K0\tv", "HKEY_CURRENT_USER\t\\Later\tv"));
  EXPECT_THAT(output_.Lines(), Not(Contains(HasSubstr("Unable to open key"))));

  // Deleted while its last subkey is examined: the question about it after the last subkey.
  registry_->ClearFaults();
  registry_->InjectFault(
      {reg::MemoryRegistry::Op::kQueryInfoKey, "HKEY_CURRENT_USER\\Gone", 0, reg::kKeyDeleted});
  Run();
  EXPECT_TRUE(controller_->engine().session().abandon);
  EXPECT_EQ(Rows().size(), 4u);
}

TEST_F(WalkTest, AKeyDeletedWhileItsSubkeysAreWalkedEndsItsLevelAndThePass) {
  struct Case {
    const char* deleted_at;  // the row whose report deletes Gone
    std::vector<std::string> rows;
    bool abandoned;
  };
  const std::string root = "HKEY_CURRENT_USER\t";
  const std::vector<Case> cases = {
      // Deleted at its first subkey: opening the next one through Gone's handle tells.
      {"\\Gone\\K0", {root + "\\Gone\\K0\tv", root + "\\Later\tv"}, true},
      // Deleted at its last subkey, whose own subkey is still to be read.
      {"\\Gone\\K2",
       {root + "\\Gone\\K0\tv", root + "\\Gone\\K1\tv", root + "\\Gone\\K2\tv",
        root + "\\Later\tv"},
       true},
      // Deleted after the walk's last read in it (Inner's values are read before its row): no
      // read can tell it from a key deleted after the walk left it, and the pass goes on.
      {"\\Gone\\K2\\Inner",
       {root + "\\Gone\\K0\tv", root + "\\Gone\\K1\tv", root + "\\Gone\\K2\tv",
        root + "\\Gone\\K2\\Inner\tv", root + "\\Later\tv"},
       false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.deleted_at);
    Reset();
    for (const char* key : {"Gone\\K0", "Gone\\K1", "Gone\\K2", "Gone\\K2\\Inner", "Later"})
      PutString(key, "v", "needle");
    PutString("Gone\\K2\\Inner", "w", "other");
    DeletingOutput deleting(output_, *registry_);
    deleting.trigger = root + c.deleted_at + "\tv";
    deleting.doomed = "\\Gone";
    walk_output_ = &deleting;
    Build();
    Run();
    EXPECT_TRUE(deleting.deleted);
    EXPECT_THAT(Rows(), ElementsAreArray(c.rows));
    EXPECT_EQ(controller_->engine().session().abandon, c.abandoned);
    EXPECT_THAT(output_.Lines(), Not(Contains(HasSubstr("Unable"))));
    EXPECT_EQ(registry_->OpenHandleCount(), 0u);
    walk_output_ = nullptr;
    Build();  // `deleting` ends here
  }
}

// A machine whose connection is lost while the walk is inside one of its keys: the opens that
// follow fail, the key is asked whether it is still there, and the pass ends with that root.
TEST_F(WalkTest, AConnectionLostDuringTheWalkEndsThePass) {
  registry_->AddMachine("SERVER", true);
  reg::KeyHandle remote = reg::kNullKey;
  ASSERT_EQ(registry_->ConnectRegistry("SERVER", reg::kLocalMachine, &remote), reg::kSuccess);
  for (const char* key : {"A\\K0", "A\\K1"}) {
    reg::KeyHandle created = reg::kNullKey;
    ASSERT_EQ(registry_->CreateKey(remote, key, 0, reg::access::kAllAccess, &created, nullptr),
              reg::kSuccess);
    registry_->SetValue(created, "v", reg::kRegSz, text::Utf16ToBytes(u"needle\0"));
    registry_->CloseKey(created);
  }
  registry_->CloseKey(remote);
  context_.machine = "\\\\SERVER";
  controls_.root_choice = 0;
  DeletingOutput losing(output_, *registry_);
  losing.trigger = "HKEY_LOCAL_MACHINE\t\\A\\K0\tv";
  losing.then = [this] { registry_->SetMachineReachable("SERVER", false); };
  walk_output_ = &losing;
  Build();
  const auto lines = Run();
  EXPECT_TRUE(controller_->engine().session().abandon);
  EXPECT_THAT(Rows(), ElementsAre("HKEY_LOCAL_MACHINE\t\\A\\K0\tv"));
  EXPECT_THAT(lines, Contains(HasSubstr("Unable to open key : \\A\\K1 - [")));
  const std::string connecting = "Connecting to remote registry on \\\\SERVER";
  EXPECT_EQ(std::count(lines.begin(), lines.end(), connecting), 1) << "HKEY_USERS is not tried";
  walk_output_ = nullptr;
  Build();
}

// With SAUNDO off a run writes one undo file; the next run starts a file of its own.
TEST_F(WalkTest, EachRunStartsAnUndoFileOfItsOwn) {
  controls_.find = "needle";
  PutString("A", "v", "needle");
  Run(true);
  PutString("B", "v", "needle");
  Run(true);
  EXPECT_EQ(UndoFiles().size(), 2u);
}

}  // namespace
}  // namespace keyloom::engine::testing
