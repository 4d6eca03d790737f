// Key security, privileges and accounts of the memory registry.
#include "memory_fixture.h"
#include "registry/security_descriptor.h"

namespace keyloom::reg::testing {
namespace {

class Security : public MemoryRegistryTest {
 protected:
  static constexpr const char* kPath = "HKEY_CURRENT_USER\\Software\\Locked";
  static constexpr const char* kUser = "S-1-5-21-0-0-0-1000";

  void SetUp() override {
    MemoryRegistryTest::SetUp();
    Create(kCurrentUser, "Software\\Locked\\Inside");
  }

  SecurityDescriptor Current() {
    Bytes bytes;
    EXPECT_EQ(api_->GetKeySecurityForTest(kPath, &bytes), kSuccess);
    return SecurityDescriptor::Parse(bytes).value_or(SecurityDescriptor{});
  }

  // Gives the key `dacl`, keeping its owner.
  void SetDacl(std::vector<Ace> aces) {
    SecurityDescriptor sd = Current();
    sd.dacl = Acl{kAclRevision, std::move(aces)};
    ASSERT_EQ(api_->SetKeySecurityForTest(kPath, sd.Serialize()), kSuccess);
  }

  static Ace Entry(std::uint8_t type, const char* sid, std::uint32_t mask) {
    return Ace{type, 0, mask, *Sid::FromText(sid), {}};
  }

  void EnableSecurityPrivilege() {
    bool was = true;
    ASSERT_EQ(api_->SetPrivilege("SeSecurityPrivilege", true, &was), kSuccess);
    EXPECT_FALSE(was);
  }
};

TEST_F(Security, NewKeysInheritTheDefaultDescriptor) {
  const SecurityDescriptor sd = Current();
  ASSERT_TRUE(sd.owner);
  EXPECT_EQ(sd.owner->ToText(), kUser);
  ASSERT_TRUE(sd.dacl);
  ASSERT_FALSE(sd.dacl->aces.empty());
  EXPECT_EQ(sd.dacl->aces[0].sid.ToText(), kUser);
  EXPECT_EQ(sd.dacl->aces[0].mask, access::kAllAccess);
  EXPECT_EQ(sd.dacl->aces[0].flags, kAceObjectInherit | kAceContainerInherit | kAceInherited);

  // An inheritable entry added to a key reaches the keys created below it later.
  std::vector<Ace> aces = sd.dacl->aces;
  aces.push_back(Ace{kAceTypeAllowed,
                     kAceContainerInherit,
                     access::kRead,
                     *Sid::FromText("S-1-5-21-9-9-9-9"),
                     {}});
  SetDacl(aces);
  Create(kCurrentUser, "Software\\Locked\\Later");
  Bytes bytes;
  ASSERT_EQ(api_->GetKeySecurityForTest(std::string(kPath) + "\\Later", &bytes), kSuccess);
  const auto later = SecurityDescriptor::Parse(bytes);
  ASSERT_TRUE(later && later->dacl);
  EXPECT_EQ(later->dacl->aces.back().sid.ToText(), "S-1-5-21-9-9-9-9");
  EXPECT_EQ(later->dacl->aces.back().flags, kAceContainerInherit | kAceInherited);
}

TEST_F(Security, DenyEntryRefusesAndTheOwnerCanRepair) {
  SetDacl({Entry(kAceTypeDenied, kUser, access::kAllAccess),
           Entry(kAceTypeAllowed, "S-1-1-0", access::kAllAccess)});
  EXPECT_EQ(OpenCode(kCurrentUser, "Software\\Locked", access::kRead), kAccessDenied);
  EXPECT_EQ(OpenCode(kCurrentUser, "Software\\Locked", access::kMaximumAllowed), kSuccess);
  // Subkeys keep their own descriptors: no traverse check on the way down.
  EXPECT_EQ(OpenCode(kCurrentUser, "Software\\Locked\\Inside", access::kRead), kSuccess);

  auto repair = Open(kCurrentUser, "Software\\Locked", access::kReadControl | access::kWriteDac);
  Bytes bytes;
  ASSERT_EQ(api_->GetKeySecurity(repair.get(), kDaclSecurityInformation, &bytes), kSuccess);
  auto sd = SecurityDescriptor::Parse(bytes);
  ASSERT_TRUE(sd && sd->dacl);
  EXPECT_FALSE(sd->owner);  // only the part asked for
  sd->dacl->aces.erase(sd->dacl->aces.begin());
  ASSERT_EQ(api_->SetKeySecurity(repair.get(), kDaclSecurityInformation, sd->Serialize()),
            kSuccess);
  EXPECT_EQ(OpenCode(kCurrentUser, "Software\\Locked", access::kRead), kSuccess);
}

TEST_F(Security, EmptyDaclLocksOutAllButTheOwnerAndNoDaclOpensEverything) {
  SetDacl({});
  EXPECT_EQ(OpenCode(kCurrentUser, "Software\\Locked", access::kQueryValue), kAccessDenied);
  EXPECT_EQ(OpenCode(kCurrentUser, "Software\\Locked", access::kReadControl), kSuccess);

  SecurityDescriptor sd = Current();
  sd.owner = Sid::FromText("S-1-5-18");
  sd.dacl.reset();
  sd.control = static_cast<std::uint16_t>(sd.control & ~kSdDaclPresent);
  ASSERT_EQ(api_->SetKeySecurityForTest(kPath, sd.Serialize()), kSuccess);
  EXPECT_EQ(OpenCode(kCurrentUser, "Software\\Locked", access::kAllAccess), kSuccess);

  sd.dacl = Acl{};  // empty again, and someone else owns it now
  ASSERT_EQ(api_->SetKeySecurityForTest(kPath, sd.Serialize()), kSuccess);
  EXPECT_EQ(OpenCode(kCurrentUser, "Software\\Locked", access::kReadControl), kAccessDenied);
}

TEST_F(Security, CreateAndDeleteAskTheKeysOwnDescriptor) {
  SetDacl({Entry(kAceTypeAllowed, kUser, access::kRead)});
  KeyHandle key = kNullKey;
  bool created = false;
  EXPECT_EQ(
      api_->CreateKey(kCurrentUser, "Software\\Locked\\New", 0, access::kRead, &key, &created),
      kAccessDenied);
  EXPECT_EQ(api_->CreateKey(kCurrentUser, "Software\\Locked", 0, access::kRead, &key, &created),
            kSuccess);  // exists: only the open is checked
  api_->CloseKey(key);
  EXPECT_EQ(api_->DeleteKey(kCurrentUser, "Software\\Locked\\Inside", 0), kSuccess);
  EXPECT_EQ(api_->DeleteKey(kCurrentUser, "Software\\Locked", 0), kAccessDenied);  // no DELETE

  // With the backup/restore option and an enabled privilege the DACL is bypassed, and the
  // privileges decide the handle's access whatever was asked: reading for backup, writing for
  // restore.
  auto create_with = [&](bool backup, bool restore) {
    EXPECT_EQ(api_->SetPrivilege("SeBackupPrivilege", backup, nullptr), kSuccess);
    EXPECT_EQ(api_->SetPrivilege("SeRestorePrivilege", restore, nullptr), kSuccess);
    KeyHandle made = kNullKey;
    EXPECT_EQ(api_->CreateKey(kCurrentUser, "Software\\Locked\\New", kOptionBackupRestore,
                              access::kAllAccess | access::kAccessSystemSecurity, &made, &created),
              kSuccess);
    return UniqueKey(*api_, made);
  };
  const Bytes data = Sz(u"x");
  Bytes read;
  {
    auto backup = create_with(true, false);
    EXPECT_TRUE(created);
    EXPECT_EQ(api_->SetValue(backup.get(), "v", kRegSz, data), kAccessDenied);
    EXPECT_EQ(api_->QueryValue(backup.get(), "v", nullptr, &read), kFileNotFound);
    EXPECT_EQ(api_->GetKeySecurity(backup.get(), kSaclSecurityInformation, &read), kSuccess);
  }
  {
    auto restore = create_with(false, true);
    EXPECT_EQ(api_->SetValue(restore.get(), "v", kRegSz, data), kSuccess);
    EXPECT_EQ(api_->QueryValue(restore.get(), "v", nullptr, &read), kAccessDenied);
  }
  auto both = create_with(true, true);
  EXPECT_EQ(api_->QueryValue(both.get(), "v", nullptr, &read), kSuccess);
  EXPECT_EQ(read, data);
  EXPECT_EQ(api_->DeleteValue(both.get(), "v"), kSuccess);
}

TEST_F(Security, SystemSecurityNeedsTheEnabledPrivilege) {
  constexpr std::uint32_t kRepairMode =
      access::kReadControl | access::kWriteDac | access::kAccessSystemSecurity;
  EXPECT_EQ(OpenCode(kCurrentUser, "Software\\Locked", kRepairMode), kPrivilegeNotHeld);
  EnableSecurityPrivilege();
  auto key = Open(kCurrentUser, "Software\\Locked", kRepairMode);
  Bytes bytes;
  ASSERT_EQ(api_->GetKeySecurity(key.get(), kSaclSecurityInformation, &bytes), kSuccess);
  auto plain = Open(kCurrentUser, "Software\\Locked", access::kReadControl);
  EXPECT_EQ(api_->GetKeySecurity(plain.get(), kSaclSecurityInformation, &bytes), kAccessDenied);

  // A privilege the account does not hold: no effect, kNotAllAssigned.
  api_->SetPrivilegeForTest("SeSecurityPrivilege", false, false);
  bool was = true;
  EXPECT_EQ(api_->SetPrivilege("SeSecurityPrivilege", true, &was), kNotAllAssigned);
  EXPECT_FALSE(was);
  EXPECT_FALSE(api_->PrivilegeEnabled("SeSecurityPrivilege"));
  EXPECT_EQ(OpenCode(kCurrentUser, "Software\\Locked", kRepairMode), kPrivilegeNotHeld);
  EXPECT_EQ(api_->SetPrivilege("SeNoSuchPrivilege", true, &was), kNoneMapped);
}

TEST_F(Security, SetPrivilegeReportsThePreviousState) {
  bool was = true;
  ASSERT_EQ(api_->SetPrivilege("sebackupprivilege", true, &was), kSuccess);
  EXPECT_FALSE(was);
  EXPECT_TRUE(api_->PrivilegeEnabled("SeBackupPrivilege"));
  ASSERT_EQ(api_->SetPrivilege("SeBackupPrivilege", false, &was), kSuccess);
  EXPECT_TRUE(was);
  EXPECT_FALSE(api_->PrivilegeEnabled("SeBackupPrivilege"));
}

TEST_F(Security, GetAndSetHonourTheHandlesRightsAndTheInfoBits) {
  auto read_only = Open(kCurrentUser, "Software\\Locked", access::kRead);
  Bytes bytes;
  ASSERT_EQ(api_->GetKeySecurity(read_only.get(),
                                 kOwnerSecurityInformation | kDaclSecurityInformation, &bytes),
            kSuccess);
  const auto sd = SecurityDescriptor::Parse(bytes);
  ASSERT_TRUE(sd);
  EXPECT_TRUE(sd->owner && sd->dacl);
  EXPECT_FALSE(sd->group);
  EXPECT_EQ(api_->SetKeySecurity(read_only.get(), kDaclSecurityInformation, bytes), kAccessDenied);
  auto query_only = Open(kCurrentUser, "Software\\Locked", access::kQueryValue);
  EXPECT_EQ(api_->GetKeySecurity(query_only.get(), kDaclSecurityInformation, &bytes),
            kAccessDenied);

  auto writer = Open(kCurrentUser, "Software\\Locked", access::kWriteDac | access::kWriteOwner);
  EXPECT_EQ(api_->SetKeySecurity(writer.get(), kDaclSecurityInformation, Bytes{1, 0, 4}),
            kInvalidParameter);
  EXPECT_EQ(api_->SetKeySecurity(writer.get(), 0, bytes), kInvalidParameter);
  // Only the parts named change; an owner must be the user (or a group the user may assign).
  SecurityDescriptor foreign;
  foreign.owner = Sid::FromText("S-1-5-21-9-9-9-9");
  foreign.dacl = Acl{};
  EXPECT_EQ(api_->SetKeySecurity(writer.get(), kOwnerSecurityInformation, foreign.Serialize()),
            kInvalidOwner);
  ASSERT_EQ(api_->SetKeySecurity(writer.get(), kGroupSecurityInformation, foreign.Serialize()),
            kSuccess);
  const SecurityDescriptor after = Current();
  EXPECT_FALSE(after.group);
  EXPECT_EQ(after.owner->ToText(), kUser);
  EXPECT_EQ(after.dacl, sd->dacl);
}

TEST_F(Security, AccountsAreLookedUpBothWays) {
  Bytes sid;
  std::string domain;
  ASSERT_EQ(api_->LookupAccountByName("root", &sid, &domain), kSuccess);
  EXPECT_EQ(Sid::Parse(sid)->ToText(), kUser);
  EXPECT_EQ(domain, "KEYLOOM-PC");
  ASSERT_EQ(api_->LookupAccountByName("keyloom-pc\\ROOT", &sid, &domain), kSuccess);
  EXPECT_EQ(api_->LookupAccountByName("OTHER\\root", &sid, &domain), kNoneMapped);
  EXPECT_EQ(api_->LookupAccountByName("nobody", &sid, &domain), kNoneMapped);

  std::string name;
  ASSERT_EQ(api_->LookupAccountBySid(Sid::FromText("S-1-5-32-544")->ToBytes(), &name, &domain),
            kSuccess);
  EXPECT_EQ(name, "Administrators");
  EXPECT_EQ(domain, "BUILTIN");
  const Bytes stranger = Sid::FromText("S-1-5-21-7-7-7-7")->ToBytes();
  EXPECT_EQ(api_->LookupAccountBySid(stranger, &name, &domain), kNoneMapped);
  ASSERT_TRUE(api_->AddAccount("guest", "ELSEWHERE", "S-1-5-21-7-7-7-7"));
  ASSERT_EQ(api_->LookupAccountBySid(stranger, &name, &domain), kSuccess);
  EXPECT_EQ(name + "@" + domain, "guest@ELSEWHERE");
  EXPECT_EQ(api_->LookupAccountBySid(Bytes{1, 5, 0}, &name, &domain), kInvalidSid);

  std::string user;
  ASSERT_EQ(api_->CurrentUserName(&user), kSuccess);
  EXPECT_EQ(user, "root");
  ASSERT_EQ(api_->ComputerName(&user), kSuccess);
  EXPECT_EQ(user, "KEYLOOM-PC");
}

TEST_F(Security, AdministratorsMayOwnAndGetTheirEntry) {
  MemoryRegistry::Config config;
  config.administrator = true;
  config.user_name = "admin";
  Reset(config);
  const auto sids = api_->CallerSids();
  EXPECT_EQ(sids.back(), "S-1-5-32-544");
  auto key = Create(kCurrentUser, "Software\\Admin");
  SecurityDescriptor owned;
  owned.owner = Sid::FromText("S-1-5-32-544");
  EXPECT_EQ(api_->SetKeySecurity(key.get(), kOwnerSecurityInformation, owned.Serialize()),
            kSuccess);
}

}  // namespace
}  // namespace keyloom::reg::testing
