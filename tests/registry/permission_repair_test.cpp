#include "registry/permission_repair.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "base/text.h"
#include "registry/memory/memory_registry.h"

namespace keyloom::reg {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

constexpr const char* kUserSid = "S-1-5-21-0-0-0-1000";
constexpr const char* kAdminsSid = "S-1-5-32-544";
constexpr const char* kLockedPath = "HKEY_CURRENT_USER\\Software\\Locked";

Ace MakeAce(std::uint8_t type, const char* sid, std::uint32_t mask, std::uint8_t flags = 0) {
  Ace ace;
  ace.type = type;
  ace.flags = flags;
  ace.mask = mask;
  ace.sid = *Sid::FromText(sid);
  return ace;
}

class PermissionRepairTest : public ::testing::Test {
 protected:
  void SetUp() override {
    registry_ = NewMemoryRegistry();
    TRegistry reg(*registry_);
    reg.CreateKey("\\Software\\Locked\\Inside");
    context_.api = registry_.get();
    context_.account = &account_;
    context_.logging_level = [this] { return level_; };
    context_.log = [this](const std::string& text, bool debug_only) {
      (debug_only ? debug_lines_ : lines_).push_back(text);
    };
  }

  // The user is denied everything; Administrators (not the user) may do everything.
  Bytes Lock(std::vector<Ace> extra = {}, std::uint16_t dacl_bits = kSdDaclProtected) {
    SecurityDescriptor sd;
    sd.control = static_cast<std::uint16_t>(kSdSelfRelative | kSdDaclPresent | dacl_bits);
    sd.owner = Sid::FromText(kUserSid);
    sd.group = Sid::FromText(kAdminsSid);
    Acl dacl;
    dacl.aces.push_back(MakeAce(kAceTypeDenied, kUserSid, access::kAllAccess, 3));
    dacl.aces.push_back(MakeAce(kAceTypeAllowed, kAdminsSid, access::kAllAccess, 3));
    for (auto& ace : extra) dacl.aces.push_back(std::move(ace));
    sd.dacl = dacl;
    const Bytes bytes = sd.Serialize();
    EXPECT_EQ(registry_->SetKeySecurityForTest(kLockedPath, bytes), kSuccess);
    return Current();
  }

  Bytes Current() {
    Bytes bytes;
    EXPECT_EQ(registry_->GetKeySecurityForTest(kLockedPath, &bytes), kSuccess);
    return bytes;
  }

  bool CanRead() {
    KeyHandle key = kNullKey;
    if (registry_->OpenKey(kCurrentUser, "Software\\Locked", access::kRead, &key) != kSuccess) {
      return false;
    }
    registry_->CloseKey(key);
    return true;
  }

  std::unique_ptr<MemoryRegistry> registry_;
  ProgramAccount account_{"root"};
  PermissionRepairContext context_;
  int level_ = 0;
  std::vector<std::string> lines_, debug_lines_;
};

TEST_F(PermissionRepairTest, GrantsFullControlThenRestoresTheDaclByteForByte) {
  const Bytes before = Lock();
  ASSERT_FALSE(CanRead());

  TAccessControlList saved;
  ASSERT_TRUE(AddKeySecurity(context_, 2, "\\Software\\Locked", saved));
  EXPECT_TRUE(CanRead());
  EXPECT_EQ(account_.AccountText(), "KEYLOOM-PC\\root");
  const auto granted = SecurityDescriptor::Parse(Current());
  ASSERT_TRUE(granted && granted->dacl);
  const Ace& added = granted->dacl->aces.back();
  EXPECT_EQ(added.mask, kRepairAccessMask);
  EXPECT_EQ(added.flags, kRepairAceFlags);
  EXPECT_EQ(added.sid.ToText(), kUserSid);
  EXPECT_EQ(saved.Count(), 2u) << "the saved list holds the entries from before";

  RestoreKeySecurity(context_, 2, "Software\\Locked", saved);
  EXPECT_EQ(Current(), before);
  EXPECT_FALSE(CanRead());
  EXPECT_THAT(lines_, IsEmpty());
  EXPECT_EQ(registry_->OpenHandleCount(), 0u);
  EXPECT_FALSE(registry_->PrivilegeEnabled("SeSecurityPrivilege"));
}

TEST_F(PermissionRepairTest, AnOlderEntryOfTheAccountComesBack) {
  // The account's own allow entry (read only) sits behind the deny entry.
  const Bytes before = Lock({MakeAce(kAceTypeAllowed, kUserSid, access::kRead)}, 0);
  TAccessControlList saved;
  ASSERT_TRUE(AddKeySecurity(context_, 2, "Software\\Locked", saved));
  const auto granted = SecurityDescriptor::Parse(Current());
  ASSERT_TRUE(granted && granted->dacl);
  int entries_of_user = 0;
  for (const auto& ace : granted->dacl->aces) entries_of_user += ace.sid.ToText() == kUserSid;
  EXPECT_EQ(entries_of_user, 2) << "the first entry of the account (the deny) was replaced";
  RestoreKeySecurity(context_, 2, "Software\\Locked", saved);
  EXPECT_EQ(Current(), before);
}

TEST_F(PermissionRepairTest, AnEmptyDaclIsRestoredEmptyNeverRemoved) {
  SecurityDescriptor sd;
  sd.control = kSdSelfRelative | kSdDaclPresent;
  sd.owner = Sid::FromText(kUserSid);
  sd.dacl = Acl{};
  ASSERT_EQ(registry_->SetKeySecurityForTest(kLockedPath, sd.Serialize()), kSuccess);
  const Bytes before = Current();
  ASSERT_FALSE(CanRead());
  TAccessControlList saved;
  ASSERT_TRUE(AddKeySecurity(context_, 2, "Software\\Locked", saved)) << "the owner may repair";
  EXPECT_TRUE(CanRead());
  RestoreKeySecurity(context_, 2, "Software\\Locked", saved);
  EXPECT_EQ(Current(), before);
  EXPECT_FALSE(CanRead()) << "an empty DACL stays a DACL that refuses everyone";
}

TEST_F(PermissionRepairTest, ARefusedWriteIsLoggedByLevel) {
  const Bytes before = Lock();
  registry_->InjectFault({MemoryRegistry::Op::kSetKeySecurity, "", 0, kAccessDenied});
  const std::string denied = text::TrimMessage(registry_->ErrorMessage(kAccessDenied));
  for (int level : {0, 1, 2}) {
    level_ = level;
    lines_.clear();
    debug_lines_.clear();
    TAccessControlList saved;
    EXPECT_FALSE(AddKeySecurity(context_, 2, "Software\\Locked", saved));
    EXPECT_EQ(Current(), before);
    if (level == 0) {
      EXPECT_THAT(lines_, IsEmpty());
      EXPECT_THAT(debug_lines_, IsEmpty());
    } else if (level == 1) {
      EXPECT_THAT(lines_, ElementsAre("Security - Adding security failed [" + denied + "]"));
    } else {
      EXPECT_THAT(lines_, IsEmpty());
      EXPECT_EQ(debug_lines_.front(), "Security - Adding security [2],[Software\\Locked]");
      EXPECT_EQ(debug_lines_.back(),
                "Security - Adding security failed [" + denied + "],[2],[Software\\Locked]");
    }
  }
}

TEST_F(PermissionRepairTest, ANullDaclAndEntriesOfEveryTypeComeBackExactly) {
  // No DACL at all (everyone may do everything), then a DACL holding a callback entry.
  SecurityDescriptor open;
  open.control = kSdSelfRelative | kSdDaclPresent;
  open.owner = Sid::FromText(kUserSid);
  Ace callback;
  callback.type = 9;  // an allow entry with a condition: bytes the list of elements cannot hold
  callback.extra = {0x3F, 0, 0, 0, 1, 1, 0, 0, 0, 0, 0, 5, 0x12, 0, 0, 0, 'a', 'r', 't', 'x'};
  const Bytes locked = Lock({callback});
  for (const Bytes& before : {open.Serialize(), locked}) {
    ASSERT_EQ(registry_->SetKeySecurityForTest(kLockedPath, before), kSuccess);
    const Bytes as_set = Current();
    TAccessControlList saved;
    ASSERT_TRUE(AddKeySecurity(context_, 2, "Software\\Locked", saved));
    RestoreKeySecurity(context_, 2, "Software\\Locked", saved);
    EXPECT_EQ(Current(), as_set);
  }
  EXPECT_THAT(lines_, IsEmpty());
}

TEST_F(PermissionRepairTest, NothingIsSaidOfAGrantThatIsGoneOrWasNeverMade) {
  const Bytes before = Lock();
  TAccessControlList never_filled;
  RestoreKeySecurity(context_, 2, "Software\\Locked", never_filled);
  EXPECT_EQ(Current(), before) << "an empty list is not written as an empty DACL";

  TAccessControlList saved;
  ASSERT_TRUE(AddKeySecurity(context_, 2, "Software\\Locked", saved));
  TRegistry reg(*registry_);
  ASSERT_TRUE(reg.DeleteKey("\\Software\\Locked"));  // the key took the grant with it
  RestoreKeySecurity(context_, 2, "Software\\Locked", saved);
  EXPECT_THAT(lines_, IsEmpty());
}

TEST_F(PermissionRepairTest, AFailedRestoreAlwaysNamesTheKeyThatKeepsTheGrant) {
  Lock();
  TAccessControlList saved;
  ASSERT_TRUE(AddKeySecurity(context_, 2, "Software\\Locked", saved));
  registry_->InjectFault({MemoryRegistry::Op::kSetKeySecurity, "", 0, kAccessDenied});
  RestoreKeySecurity(context_, 2, "Software\\Locked", saved);
  ASSERT_EQ(lines_.size(), 1u);
  EXPECT_THAT(lines_[0], HasSubstr("[KEYLOOM-PC\\root] still has full control of "
                                   "[HKEY_CURRENT_USER\\Software\\Locked]"));
}

TEST_F(PermissionRepairTest, AKeyThatCannotBeOpenedForSecurityWorkIsLeftAlone) {
  // Neither owner nor granted WRITE_DAC: nothing can be repaired, and nothing is said.
  SecurityDescriptor sd;
  sd.control = kSdSelfRelative | kSdDaclPresent;
  sd.owner = Sid::FromText(kAdminsSid);
  Acl dacl;
  dacl.aces.push_back(MakeAce(kAceTypeDenied, kUserSid, access::kAllAccess));
  sd.dacl = dacl;
  ASSERT_EQ(registry_->SetKeySecurityForTest(kLockedPath, sd.Serialize()), kSuccess);
  const Bytes before = Current();
  TAccessControlList saved;
  EXPECT_FALSE(AddKeySecurity(context_, 2, "Software\\Locked", saved));
  EXPECT_FALSE(AddKeySecurity(context_, 2, "Software\\Missing", saved));
  EXPECT_EQ(Current(), before);
  EXPECT_THAT(lines_, IsEmpty());
}

TEST_F(PermissionRepairTest, WithoutTheSecurityPrivilegeNothingHappens) {
  const Bytes before = Lock();
  registry_->SetPrivilegeForTest("SeSecurityPrivilege", false, false);
  TAccessControlList saved;
  EXPECT_FALSE(AddKeySecurity(context_, 2, "Software\\Locked", saved));
  EXPECT_EQ(Current(), before);
}

}  // namespace
}  // namespace keyloom::reg
