// Hive files of the memory registry: save, restore, replace, load and unload.
#include <filesystem>

#include "base/text.h"
#include "base/utf8_path.h"
#include "memory_fixture.h"
#include "registry/registry.h"
#include "support/temp_folder.h"

namespace keyloom::reg::testing {
namespace {

class Hives : public MemoryRegistryTest {
 protected:
  void SetUp() override {
    MemoryRegistryTest::SetUp();
    auto key = Create(kCurrentUser, "Software\\Saved");
    ASSERT_EQ(api_->SetValue(key.get(), "", kRegSz, Sz(u"default")), kSuccess);
    ASSERT_EQ(api_->SetValue(key.get(), "with space%and\\slash", kRegBinary, Bytes{0, 1, 0xFF}),
              kSuccess);
    ASSERT_EQ(api_->SetValue(key.get(), "empty", kRegNone, Bytes{}), kSuccess);
    auto sub = Create(key.get(), "Sub Key\\\xC3\xA9t\xC3\xA9");
    ASSERT_EQ(api_->SetValue(sub.get(), "n", kRegDword, Bytes{7, 0, 0, 0}), kSuccess);
  }

  std::string File(const char* name) const { return base::PathToUtf8(folder_.path() / name); }

  void Enable(const char* privilege) {
    bool was = false;
    ASSERT_EQ(api_->SetPrivilege(privilege, true, &was), kSuccess);
  }

  // The tree below `key` as "path|value|type|size" lines.
  std::vector<std::string> Dump(KeyHandle key, const std::string& prefix = "") {
    std::vector<std::string> lines;
    std::string name;
    std::uint32_t type = 0;
    Bytes data;
    for (std::uint32_t i = 0; api_->EnumValue(key, i, &name, &type, &data) == kSuccess; ++i) {
      lines.push_back(prefix + "|" + name + "|" + std::to_string(type) + "|" +
                      std::to_string(data.size()));
    }
    for (const std::string& child : SubkeyNames(key)) {
      auto sub = Open(key, child, access::kRead);
      for (auto& line : Dump(sub.get(), prefix + "\\" + child)) lines.push_back(line);
    }
    return lines;
  }

  keyloom::testing::TempFolder folder_;
};

TEST_F(Hives, SaveAndRestoreRoundTrip) {
  auto saved = Open(kCurrentUser, "Software\\Saved", access::kRead);
  EXPECT_EQ(api_->SaveKey(saved.get(), File("hive")), kPrivilegeNotHeld);
  EXPECT_FALSE(std::filesystem::exists(folder_.path() / "hive"));
  Enable("SeBackupPrivilege");
  ASSERT_EQ(api_->SaveKey(saved.get(), File("hive")), kSuccess);
  EXPECT_EQ(api_->SaveKey(saved.get(), File("hive")), kAlreadyExists);
  EXPECT_EQ(api_->SaveKey(saved.get(), File("no-such-folder/hive")), kPathNotFound);

  auto target = Create(kCurrentUser, "Software\\Target");
  ASSERT_EQ(api_->SetValue(target.get(), "old", kRegSz, Sz(u"gone")), kSuccess);
  auto old_child = Create(target.get(), "OldChild");
  EXPECT_EQ(api_->RestoreKey(target.get(), File("hive"), 0), kPrivilegeNotHeld);
  Enable("SeRestorePrivilege");
  ASSERT_EQ(api_->RestoreKey(target.get(), File("hive"), 0), kSuccess);
  EXPECT_EQ(Dump(target.get()), Dump(saved.get()));
  // The replaced subkeys are deleted keys now.
  std::string name;
  EXPECT_EQ(api_->EnumKey(old_child.get(), 0, &name), kKeyDeleted);

  Bytes data;
  std::uint32_t type = 0;
  auto sub = Open(target.get(), "Sub Key\\\xC3\xA9T\xC3\xA9", access::kRead);
  ASSERT_EQ(api_->QueryValue(sub.get(), "n", &type, &data), kSuccess);
  EXPECT_EQ(data, (Bytes{7, 0, 0, 0}));
}

TEST_F(Hives, BadFilesAreRefusedWithoutChangingAnything) {
  Enable("SeRestorePrivilege");
  auto target = Create(kCurrentUser, "Software\\Target");
  ASSERT_EQ(api_->SetValue(target.get(), "keep", kRegSz, Sz(u"me")), kSuccess);
  EXPECT_EQ(api_->RestoreKey(target.get(), File("missing"), 0), kFileNotFound);
  const char* bad_files[] = {
      "",
      "not a hive\n",
      "KEYLOOM-HIVE 1\nK top\n",                     // never ends
      "KEYLOOM-HIVE 1\nK top\nV 1 4 a\nE\n",         // odd hex
      "KEYLOOM-HIVE 1\nK top\nV x 00 a\nE\n",        // bad type
      "KEYLOOM-HIVE 1\nK top\nK a\nE\nK A\nE\nE\n",  // repeated subkey
      "KEYLOOM-HIVE 1\nK top\nV 1  a\nV 1  A\nE\n",  // repeated value
      "KEYLOOM-HIVE 1\nK top\nS 0100\nE\n",          // unreadable descriptor
      "KEYLOOM-HIVE 1\nK top\nE\nK second\nE\n",     // two tops
      "KEYLOOM-HIVE 1\nK top\nK \nE\nE\n",           // empty subkey name
      "KEYLOOM-HIVE 1\nK top\nV 1 00 %4\nE\n",       // truncated escape
  };
  for (const char* content : bad_files) {
    keyloom::testing::WriteBytes(folder_.path() / "bad", content);
    EXPECT_EQ(api_->RestoreKey(target.get(), File("bad"), 0), kBadDbFile) << content;
  }
  EXPECT_EQ(ValueNames(target.get()), std::vector<std::string>{"keep"});

  // Nesting deeper than the registry allows is refused too.
  std::string deep = "KEYLOOM-HIVE 1\nK top\n";
  for (int i = 0; i < 600; ++i) deep += "K k\n";
  for (int i = 0; i < 601; ++i) deep += "E\n";
  keyloom::testing::WriteBytes(folder_.path() / "deep", deep);
  EXPECT_EQ(api_->RestoreKey(target.get(), File("deep"), 0), kBadDbFile);
}

TEST_F(Hives, MachineAndUsersRootsCannotBeRestoredWhole) {
  Enable("SeBackupPrivilege");
  Enable("SeRestorePrivilege");
  auto saved = Open(kCurrentUser, "Software\\Saved", access::kRead);
  ASSERT_EQ(api_->SaveKey(saved.get(), File("hive")), kSuccess);
  EXPECT_EQ(api_->RestoreKey(kLocalMachine, File("hive"), 0), kAccessDenied);
  EXPECT_EQ(api_->RestoreKey(kUsers, File("hive"), 0), kAccessDenied);
  EXPECT_EQ(api_->RestoreKey(kCurrentConfig, File("hive"), 0), kSuccess);
}

TEST_F(Hives, LoadAndUnloadMountAFileBelowUsersOrMachine) {
  Enable("SeBackupPrivilege");
  auto saved = Open(kCurrentUser, "Software\\Saved", access::kRead);
  ASSERT_EQ(api_->SaveKey(saved.get(), File("hive")), kSuccess);
  EXPECT_EQ(api_->LoadKey(kUsers, "KL_Load", File("hive")), kPrivilegeNotHeld);
  Enable("SeRestorePrivilege");
  ASSERT_EQ(api_->LoadKey(kUsers, "KL_Load", File("hive")), kSuccess);
  EXPECT_EQ(api_->LoadKey(kUsers, "kl_load", File("hive")), kAlreadyExists);
  EXPECT_EQ(api_->LoadKey(kCurrentUser, "KL_Load", File("hive")), kInvalidParameter);
  EXPECT_EQ(api_->LoadKey(kLocalMachine, "Mounted", File("missing")), kFileNotFound);
  {
    auto loaded = Open(kUsers, "KL_Load", access::kRead);
    EXPECT_EQ(Dump(loaded.get()), Dump(saved.get()));
    // A mounted hive cannot go while a key of it is open, nor be deleted like a key.
    EXPECT_EQ(api_->UnLoadKey(kUsers, "KL_Load"), kAccessDenied);
    EXPECT_EQ(api_->DeleteKey(kUsers, "KL_Load\\Sub Key\\\xC3\xA9t\xC3\xA9", 0), kSuccess);
    EXPECT_EQ(api_->DeleteKey(kUsers, "KL_Load\\Sub Key", 0), kSuccess);
    EXPECT_EQ(api_->DeleteKey(kUsers, "KL_Load", 0), kAccessDenied);
  }
  Create(kUsers, "Plain");
  EXPECT_EQ(api_->UnLoadKey(kUsers, "Plain"), kInvalidParameter);
  EXPECT_EQ(api_->UnLoadKey(kUsers, "Nothing"), kFileNotFound);
  ASSERT_EQ(api_->UnLoadKey(kUsers, "KL_Load"), kSuccess);
  EXPECT_EQ(OpenCode(kUsers, "KL_Load", access::kRead), kFileNotFound);
  EXPECT_EQ(api_->OpenHandleCount(), 1u);  // `saved`
}

TEST_F(Hives, ReplaceRecordsThePendingSwap) {
  keyloom::testing::WriteBytes(folder_.path() / "new", "anything");
  EXPECT_EQ(api_->ReplaceKey(kCurrentUser, "", File("new"), File("new.OLD")), kPrivilegeNotHeld);
  Enable("SeRestorePrivilege");
  EXPECT_EQ(api_->ReplaceKey(kCurrentUser, "", File("missing"), File("x.OLD")), kFileNotFound);
  ASSERT_EQ(api_->ReplaceKey(kCurrentUser, "Software", File("new"), File("new.OLD")), kSuccess);
  const auto pending = api_->PendingReplacements();
  ASSERT_EQ(pending.size(), 1u);
  EXPECT_EQ(pending[0].key_path, "HKEY_CURRENT_USER\\Software");
  EXPECT_EQ(pending[0].new_file, File("new"));
  EXPECT_EQ(pending[0].old_file, File("new.OLD"));
}

}  // namespace
}  // namespace keyloom::reg::testing

namespace keyloom::reg::testing {
namespace {

// The wrapper's hive operations. Wine's RegRestoreKey and RegReplaceKey report success and do
// nothing, so they are proven here, on the memory registry.
TEST_F(Hives, WrapperHiveOperationsOnMemoryRegistryBecauseWineStubsRestoreAndReplace) {
  TRegistry reg(*api_);
  EXPECT_FALSE(reg.SaveKey("\\Software\\Saved", File("wrapped")));
  EXPECT_EQ(reg.LastErrorText(), text::TrimMessage(api_->ErrorMessage(kPrivilegeNotHeld)));
  Enable("SeBackupPrivilege");
  ASSERT_TRUE(reg.SaveKey("\\Software\\Saved", File("wrapped"))) << reg.LastErrorText();

  // Restore enables SeRestorePrivilege for itself and sets it back afterwards.
  ASSERT_TRUE(reg.RestoreKey("\\Software\\Copy", File("wrapped"))) << reg.LastErrorText();
  EXPECT_FALSE(api_->PrivilegeEnabled("SeRestorePrivilege"));
  auto saved = Open(kCurrentUser, "Software\\Saved", access::kRead);
  auto copy = Open(kCurrentUser, "Software\\Copy", access::kRead);
  EXPECT_EQ(Dump(copy.get()), Dump(saved.get()));

  Enable("SeRestorePrivilege");
  reg.SetRootKey(kUsers);
  ASSERT_TRUE(reg.LoadKey("\\KL_Load", File("wrapped"))) << reg.LastErrorText();
  EXPECT_TRUE(reg.KeyExists("\\KL_Load\\Sub Key"));
  EXPECT_FALSE(reg.LoadKey("KL_Load", File("wrapped")));
  EXPECT_TRUE(reg.UnLoadKey("KL_Load")) << reg.LastErrorText();
  EXPECT_FALSE(reg.KeyExists("\\KL_Load"));

  reg.SetRootKey(kCurrentUser);
  ASSERT_TRUE(reg.ReplaceKey("\\Software\\Saved", File("wrapped"), File("wrapped.OLD")));
  ASSERT_EQ(api_->PendingReplacements().size(), 1u);
  EXPECT_EQ(api_->PendingReplacements()[0].new_file, File("wrapped"));
  EXPECT_FALSE(reg.ReplaceKey("\\Software\\Saved", File("missing"), File("missing.OLD")));
}

}  // namespace
}  // namespace keyloom::reg::testing
